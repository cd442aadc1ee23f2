#include "SPriceForm.h"

#include "Messages.h"
#include "Notepublic.h"
#include "PricePolicyForms.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>

using basenote::Ctl;

namespace {

const basenote::Resource master{
    .formName = "SPriceForm",
    .caption = "报价单",
    .noteType = 15,
    .masterSql = "select m.* from s_price m",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0"},
        {"CONTRACTNO", "客户订单号", Ctl::Edit, "edContractNo"},
        {"REVDATE", "发货时间", Ctl::Date, "edRevDate"},
        {"CONTACTOR", "联系人", Ctl::Edit, "edContactor"},
        {"CONTACTPHONE", "联系电话", Ctl::Edit, "edContactPhone"},
        {"CONTACTFAX", "传真", Ctl::Edit, "edContactFax"},
        {"NOTETO", "发货地点", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
        {"CLOSED", "整单中止", Ctl::Check, "cbClosed"},
    },
    .lookups = {QStringLiteral("qryPartner")},
    .size = {1100, 640},
    .tableName = "s_price",
};

const mdnote::DetailResource lines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("S_PriceDetail"),
    .detailTable = "S_PriceDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"},
                {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"}, {"TAXAMT"}, {"AMOUNT"},
                {.field = "REFERQTY", .caption = "已订货数量"},
                {.field = "LINECLOSED", .caption = "中止", .width = 44, .readOnly = true},
                {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TSPriceForm", [](QWidget *owner) { return CreateNoteForm<TSPriceForm>(owner); });

} // namespace

TSPriceForm::TSPriceForm(QWidget *owner) : TClosableNoteForm(master, lines, "isnull(REFERQTY,0)<>0", owner)
{
    PriceClass = 2;
    BusinessSide = trade::kCustomerSide.side;
    Rules.pickerBySequence = false; // the customer side's filter, in ShowNote
    // A quotation promises no delivery date.
    DateMissing.clear();

    btnSetPrice = new QPushButton(QStringLiteral("价格政策"), palTitle);
    btnSetPrice->setObjectName(QStringLiteral("btnSetPrice"));
    btnSetPrice->setAutoDefault(false);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(btnSetPrice);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);
    connect(btnSetPrice, &QPushButton::clicked, this, &TSPriceForm::btnSetPriceClick);

}

void TSPriceForm::ShowNote()
{
    TClosableNoteForm::ShowNote();
    if (cmbCommodity)
        cmbCommodity->SetListFilter(trade::CommodityFilter(trade::kCustomerSide));
}

void TSPriceForm::btnSetPriceClick()
{
    TSetDefPriceForm policy(this);
    // The quotation's customer is shown first.
    const QVariant partner = MasterValue(QStringLiteral("PARTNERID"));
    const TSetDefPriceForm::Page page = policy.page(0);
    if (!partner.isNull())
        page.partner->setCurrentIndex(page.partner->findData(QVariant::fromValue(partner.toLongLong())));
    ShowModal(&policy);
}
