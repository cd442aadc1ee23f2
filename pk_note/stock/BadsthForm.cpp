#include "BadsthForm.h"

#include "DataAccess.h"
#include "Lookup.h"
#include "Messages.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "PubError.h"
#include "Rounding.h"
#include "SysParams.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/LookupCombo.h"

#include <QScopeGuard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include <cmath>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kKindLookup = 2601;

const basenote::Resource master{
    .formName = "BadsthForm",
    .caption = "调拔单",
    .noteType = 26,
    .masterSql = "select m.* from Badsthith m",
    .controls = {
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbnoteKind", "dsBadsthKind"},
        {"BUILDINGID", "调出仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"INBUILDINGID", "调入仓库", Ctl::Lookup, "cmbInBuilding", "dsStore"},
        {"TRANSLATETYPE", "运输方式", Ctl::Lookup, "cmbTranslateType", "dsTranslateType"},
        {"SUBCODE", "调价科目", Ctl::Edit, "edSubCode"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 3},
    },
    .lookups = {QStringLiteral("qryBadsthKind"), QStringLiteral("qryStore"), QStringLiteral("qryTranslateType")},
    .size = {1100, 660},
    .tableName = "Badsthith",
};

const mdnote::DetailResource lines{
    .detailSql =
        "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "
        "m.Aprice*m.Quantity as OutAmount, m.Amount-m.Aprice*m.Quantity as difAmount "
        "from Badsthithdetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
        "left join unitlth u on u.UNITSID = g.unitsid",
    .detailTable = "Badsthithdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"},
                {.field = "APRICE", .caption = "调出单价"}, {.field = "PRICE", .caption = "调入单价"},
                {.field = "OUTAMOUNT", .caption = "调出金额", .width = 100, .displayFormat = "#0.00", .readOnly = true, .total = true},
                {.field = "AMOUNT", .caption = "调入金额"},
                {.field = "DIFAMOUNT", .caption = "差额", .width = 90, .displayFormat = "#0.00", .readOnly = true, .total = true},
                {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

void defineKindLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kKindLookup)
            return;
    pub::registerLookup({kKindLookup, QStringLiteral("BadsthKind"),
                         QStringLiteral("select 1 as ID, '一般调拨' as NAME union all select 2, '调价调拨'"), QStringLiteral("ID")});
}

const basenote::Resource &declared()
{
    defineKindLookup();
    return master;
}

pk_note::FormClassRegistrar reg("TBadsthForm", [](QWidget *owner) { return CreateNoteForm<TBadsthForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

QString organisation(qint64 store)
{
    QVariant shop, name;
    if (store > 0)
        GetValueOfSql(QStringLiteral("Select Shoperateid from storelth where BuildingID =") + QString::number(store), shop);
    if (asId(shop) == 0)
        return QStringLiteral("总部");
    GetValueOfSql(QStringLiteral("Select Name from shopdth where Shoperateid =") + QString::number(asId(shop)), name);
    return name.toString();
}

} // namespace

TBadsthForm::TBadsthForm(QWidget *owner) : TStockNoteForm(declared(), lines, owner)
{
    // The transfer that changes the price needs costs kept per store.
    if (LookupSysParam(QStringLiteral("IsDistinctStore")) == QLatin1String("0"))
        RequireChild<widgets::TRqLookupCombo>(QStringLiteral("cmbnoteKind")).SetListFilter(QStringLiteral("ID=1"));

    lbOutOrg = new QLabel(palTitle);
    lbOutOrg->setObjectName(QStringLiteral("lbOutOrg"));
    lbInOrg = new QLabel(palTitle);
    lbInOrg->setObjectName(QStringLiteral("lbInOrg"));
    auto *row = new QHBoxLayout;
    row->addWidget(lbOutOrg);
    row->addSpacing(24);
    row->addWidget(lbInOrg);
    row->addStretch(1);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);

    // A plain transfer brings the goods in at the price they left at.
    AddMasterRule(QStringLiteral("NOTEKIND"), [this](Field &f) { PriceIsCost = f.AsInteger() != 2; });
    AddMasterRule(QStringLiteral("BUILDINGID"), [this](Field &) { showOrganisations(); });
    AddMasterRule(QStringLiteral("INBUILDINGID"), [this](Field &f) {
        showOrganisations();
        QVariant location;
        if (asId(f.Value()) > 0
            && GetValueOfSql(QStringLiteral("Select Location from storelth where BuildingID =") + QString::number(asId(f.Value())),
                             location))
            SetFieldValue(MasterField(QStringLiteral("NOTETO")), location);
    });
    AddMasterRule(QStringLiteral("SUBCODE"), [this](Field &f) {
        const QString code = f.AsString().trimmed();
        if (code.isEmpty()) {
            SetFieldValue(MasterField(QStringLiteral("SUBID")), QVariant());
            return;
        }
        QVariant id;
        if (!GetValueOfSql(QStringLiteral("select subjectid from subjectalth where ISDETAIL=1 and SUBCODE=")
                               + QuotedStr(code),
                           id))
            throw PubError(QStringLiteral("输入的科目不存在或不是明细科目."));
        SetFieldValue(MasterField(QStringLiteral("SUBID")), id);
    });
}

void TBadsthForm::showOrganisations()
{
    lbOutOrg->setText(QStringLiteral("调出机构:  ") + organisation(asId(MasterValue(QStringLiteral("BUILDINGID")))));
    lbInOrg->setText(QStringLiteral("调入机构:  ") + organisation(asId(MasterValue(QStringLiteral("INBUILDINGID")))));
}

void TBadsthForm::ShowNote()
{
    TStockNoteForm::ShowNote();
    PriceIsCost = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 2;
    showOrganisations();
}

void TBadsthForm::DetailFieldChange(Field &field)
{
    TStockNoteForm::DetailFieldChange(field);
    Field *out = DetailField(QStringLiteral("OUTAMOUNT")), *difference = DetailField(QStringLiteral("DIFAMOUNT"));
    if (!out || !difference)
        return;
    const double outAmount = FormatAmount(DetailValue(Columns.APrice, 0).toDouble() * DetailValue(QStringLiteral("QUANTITY"), 0).toDouble());
    SetFieldValueSilent(out, outAmount);
    SetFieldValueSilent(difference, FormatAmount(DetailValue(QStringLiteral("AMOUNT"), 0).toDouble() - outAmount));
}

bool TBadsthForm::ValidateNote()
{
    const qint64 out = asId(MasterValue(QStringLiteral("BUILDINGID")));
    if (out != 0 && out == asId(MasterValue(QStringLiteral("INBUILDINGID")))) {
        ShowError(QStringLiteral("调出仓库不能和调入仓库相同!"));
        return false;
    }
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == 2) {
        if (LookupSysParam(QStringLiteral("IsBand")) == QLatin1String("1")) {
            QVariant detail;
            const qint64 subject = asId(MasterValue(QStringLiteral("SUBID")));
            if (subject == 0
                || !GetValueOfSql(QStringLiteral("Select isDetail from subjectalth where subjectid = ") + QString::number(subject), detail)
                || detail.toInt() != 1) {
                ShowError(QStringLiteral("调价科目不能为空或不是末级科目,不能保存!"));
                return false;
            }
        }
        cdsDetail->CheckBrowseMode();
        cdsDetail->DisableControls();
        const auto show = qScopeGuard([this] { cdsDetail->EnableControls(); });
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next())
            if (std::fabs(DetailValue(Columns.APrice, 0).toDouble() - DetailValue(QStringLiteral("PRICE"), 0).toDouble()) < 1e-9) {
                ShowError(QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                          + QStringLiteral("]的调出调入单价不能相等."));
                return false;
            }
    }
    return TStockNoteForm::ValidateNote();
}
