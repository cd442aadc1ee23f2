#include "ChgPriceForm.h"

#include "DataAccess.h"
#include "Messages.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "PubError.h"
#include "Rounding.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <cmath>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource master{
    .formName = "ChgPriceForm",
    .caption = "调价单",
    .noteType = 31,
    .masterSql = "select m.* from ChgPriceith m",
    .controls = {
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"SUBCODE", "调价科目", Ctl::Edit, "edSubCode"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
    },
    .lookups = {QStringLiteral("qryStore")},
    .tableName = "ChgPriceith",
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "
                 "round(m.Price-m.Aprice,8) as PasPrice, cast(null as float) as sQuantity "
                 "from ChgPriceithDetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
                 "left join unitlth u on u.UNITSID = g.unitsid",
    .detailTable = "ChgPriceithDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"},
                {.field = "SQUANTITY", .caption = "库存数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {.field = "APRICE", .caption = "调前单价"},
                {.field = "ADJUSTRATE", .caption = "调价比率%", .width = 80, .displayFormat = "#0.####"},
                {.field = "PRICE", .caption = "调后单价"},
                {.field = "PASPRICE", .caption = "差价", .width = 90, .displayFormat = "#0.########", .readOnly = true},
                {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TChgPriceForm", [](QWidget *owner) { return CreateNoteForm<TChgPriceForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

TChgPriceForm::TChgPriceForm(QWidget *owner) : TStockNoteForm(master, lines, owner)
{
    AddDetailRule(QStringLiteral("COMMODITYID"), [this](Field &) {
        SetFieldValue(cdsDetail->FindField(QStringLiteral("ADJUSTRATE")), 100, false);
        SetFieldValue(cdsDetail->FindField(QStringLiteral("PRICE")), DetailValue(Columns.APrice), false);
        showOnHand();
        showDifference();
    });
    AddDetailRule(QStringLiteral("ADJUSTRATE"), [this](Field &f) {
        if (f.IsNull() || f.AsFloat() <= 0) {
            ShowError(QStringLiteral("对不起,调价比率超出范围,请重新输入."));
            f.SetValueSilent(100);
        }
        SetFieldValue(cdsDetail->FindField(QStringLiteral("PRICE")),
                      FormatPrice(DetailValue(Columns.APrice, 0).toDouble() * f.AsFloat() / 100), false);
        showDifference();
    });
    AddDetailRule(QStringLiteral("PRICE"), [this](Field &) { showDifference(); });
    AddMasterRule(QStringLiteral("SUBCODE"), [this](Field &f) {
        const QString code = f.AsString().trimmed();
        QVariant id;
        if (!code.isEmpty()
            && !GetValueOfSql(QStringLiteral("select subjectid from subjectalth where ISDETAIL=1 and SUBCODE=") + QuotedStr(code), id))
            throw PubError(QStringLiteral("输入的科目不存在或不是明细科目."));
        SetFieldValue(MasterField(QStringLiteral("SUBID")), id);
    });
}

void TChgPriceForm::showOnHand()
{
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    const qint64 store = asId(MasterValue(QStringLiteral("BUILDINGID")));
    QVariant quantity;
    if (goods > 0)
        GetValueOfSql(QStringLiteral("Select Sum(Quantity) as sQuantity from onhandaath Where CommodityID = ") + QString::number(goods)
                          + (store > 0 ? QStringLiteral(" and (BuildingID =") + QString::number(store) + QStringLiteral(")")
                                       : QString()),
                      quantity);
    SetFieldValue(cdsDetail->FindField(QStringLiteral("SQUANTITY")), quantity, false);
}

void TChgPriceForm::showDifference()
{
    SetFieldValue(cdsDetail->FindField(QStringLiteral("PASPRICE")),
                  RoundToEx(DetailValue(QStringLiteral("PRICE"), 0).toDouble() - DetailValue(Columns.APrice, 0).toDouble(), 8),
                  false);
}

bool TChgPriceForm::ValidateNote()
{
    QVariant detail;
    const qint64 subject = asId(MasterValue(QStringLiteral("SUBID")));
    if (subject == 0
        || !GetValueOfSql(QStringLiteral("Select isDetail from subjectalth where subjectid = ") + QString::number(subject), detail)
        || detail.toInt() != 1) {
        ShowError(QStringLiteral("调价科目为空或者不是末级科目,不能保存!"));
        return false;
    }
    return TStockNoteForm::ValidateNote();
}

bool TChgPriceForm::ValidateDetailLine()
{
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    if (goods <= 0) {
        ShowError(QStringLiteral("请选择货品."));
        return false;
    }
    const QString line = QString::number(cdsDetail->RecNo());
    if (std::fabs(DetailValue(QStringLiteral("PRICE"), 0).toDouble() - DetailValue(Columns.APrice, 0).toDouble()) < 1e-9) {
        ShowError(QStringLiteral("第[") + line + QStringLiteral("]条货品的调后单价不能等于调前单价！"));
        return false;
    }
    if (CommodityCostType(goods) == 2) {
        ShowError(QStringLiteral("第[") + line + QStringLiteral("]条货品是批次货品不可以调整单价！"));
        return false;
    }
    return TStockNoteForm::ValidateDetailLine();
}
