#include "AttaintForm.h"

#include "DataAccess.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

using basenote::Ctl;

namespace {

const basenote::Resource master{
    .formName = "AttaintForm",
    .caption = "报损单",
    .noteType = 29,
    .masterSql = "select m.* from Attaintith m",
    .controls = {
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"IOTYPESID", "出库类型", Ctl::Lookup, "cmbIOType", "dsIOType", "IOFLAG=-1 and Closed=0"},
    },
    .lookups = {QStringLiteral("qryStore"), QStringLiteral("qryIOType")},
    .tableName = "Attaintith",
};

const mdnote::DetailResource lines{
    .detailSql =
        "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "
        "(select o.QUANTITY from onhandaath o join Attaintith h on h.BUILDINGID = o.BUILDINGID "
        "where h.NOTEID = m.NOTEID and o.COMMODITYID = m.COMMODITYID) as QryCommodity "
        "from Attaintithdetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
        "left join unitlth u on u.UNITSID = g.unitsid",
    .detailTable = "Attaintithdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"},
                {.field = "QRYCOMMODITY", .caption = "库存数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {"QUANTITY"}, {"APRICE"}, {.field = "AMOUNT", .caption = "金额", .readOnly = true}, {"BCODE"},
                {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TAttaintForm", [](QWidget *owner) { return CreateNoteForm<TAttaintForm>(owner); });

} // namespace

TAttaintForm::TAttaintForm(QWidget *owner) : TStockNoteForm(master, lines, owner)
{
    PriceIsCost = true;
    AddDetailRule(QStringLiteral("COMMODITYID"), [this](data::Field &) { showOnHand(); });
    AddMasterRule(QStringLiteral("BUILDINGID"), [this](data::Field &) {
        if (!cdsDetail->Active() || cdsDetail->IsEmpty())
            return;
        const DetailUpdate update(*this);
        cdsDetail->CheckBrowseMode();
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            cdsDetail->Edit();
            showOnHand();
            cdsDetail->Post();
        }
    });
}

void TAttaintForm::showOnHand()
{
    const qint64 goods = DetailValue(Columns.CommodityID, 0).toLongLong();
    const qint64 store = MasterValue(QStringLiteral("BUILDINGID"), 0).toLongLong();
    QVariant quantity;
    if (goods > 0 && store > 0)
        GetValueOfSql(QStringLiteral("Select Quantity from onhandaath where COMMODITYID =") + QString::number(goods)
                          + QStringLiteral(" and BUILDINGID = ") + QString::number(store),
                      quantity);
    SetFieldValue(cdsDetail->FindField(QStringLiteral("QRYCOMMODITY")), quantity, false);
}
