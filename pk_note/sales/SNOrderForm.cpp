#include "SNOrderForm.h"
#include "SNOrderProcForm.h"

#include "Globals.h"
#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "PricePolicyForms.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QAction>
#include <QMenu>
#include <QScopeGuard>

using basenote::Ctl;

namespace {

const basenote::Resource orderMaster{
    .formName = "SNOrderForm",
    .caption = "销售订单",
    .noteType = 12,
    .masterSql = "select m.* from ordersth m",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0"},
        {"CONTRACTNO", "客户订单号", Ctl::Edit, "edContractNo"},
        {"REVDATE", "发货时间", Ctl::Date, "edRevDate"},
        {"CONTACTOR", "联系人", Ctl::Edit, "edContactor"},
        {"CONTACTPHONE", "联系电话", Ctl::Edit, "edContactPhone"},
        {"ISFILL", "开票", Ctl::Check, "chkIsFill"},
        {"NOTETO", "发货地点", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
        {"CLOSED", "整单中止", Ctl::Check, "cbClosed"},
    },
    .lookups = {QStringLiteral("qryPartner")},
    .size = {1100, 640},
    .tableName = "ordersth",
};

const mdnote::DetailResource orderLines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("ordersthDetail"),
    .detailTable = "ordersthDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"},
                {"TAXAMT"}, {"AMOUNT"},
                {.field = "SALEQTY", .caption = "已发货数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {"REFERQTY"},
                {.field = "LINECLOSED", .caption = "中止", .width = 44, .readOnly = true},
                {.field = "LINEFINISHED", .caption = "完成", .width = 44, .readOnly = true},
                {"REMARK"}},
};

const basenote::Resource planMaster{
    .formName = "SalePlanForm",
    .caption = "销售计划",
    .noteType = 11,
    .masterSql = "select m.* from salesthPlan m",
    .controls = {
        {"PLANTYPE", "计划期间", Ctl::Lookup, "cmbPlanType", "dsPlanPeriod"},
        {"STARTDATE", "开始日期", Ctl::Date, "edStartDate"},
        {"ENDDATE", "结束日期", Ctl::Date, "edEndDate"},
        {"LASTUPDATEDATE", "最后修订时间", Ctl::Text, "edLastUpdateDate"},
    },
    .lookups = {QStringLiteral("qryPlanPeriod")},
    .size = {1000, 600},
    .tableName = "salesthPlan",
};

const mdnote::DetailResource planLines{
    .detailSql = "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, "
                 "u.NAME as UNITNAME, g.TIMESEC, s.CODE as STORECODE, s.NAME as BUILDINGNAME, "
                 "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice "
                 "from salesthPlanDetail m left join Commoditylth g on g.COMMODITYID = m.COMMODITYID "
                 "left join unitlth u on u.UNITSID = g.UNITSID left join storelth s on s.BUILDINGID = m.BUILDINGID",
    .detailTable = "salesthPlanDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"AMOUNT"},
                {.field = "REFERQTY", .caption = "已订货数量"}, {"REMARK"}},
};

const OrderSide salesOrder{
    .trade = trade::kCustomerSide,
    .master = orderMaster,
    .lines = orderLines,
    .referredLines = "isnull(REFERQTY,0)<>0 or isnull(SALEQTY,0)<>0",
    .dateMissing = "请选择发货时间！",
    .deliveredColumn = "SALEQTY",
    .finishedColumn = nullptr,
    .makeAction = "muSale",
    .makeCaption = "生成销售开单...",
    .makeForm = "SaleForm",
    .makeRefused = "已经完成或者整单中止不能再生成销售单",
    .planType = 11,
    .planLines = "salesthplandetail",
    .planOtherSide = "isvendor",
    .turnInType = 11,
    .priceClass = 2,
};

const PlanSide salesPlan{
    .master = planMaster,
    .lines = planLines,
    .orderForm = "SNOrderForm",
    .orderCaption = "生成销售订单...",
    .priceClass = 2,
    .businessSide = 2,
};

pk_note::FormClassRegistrar regOrder("TSNOrderForm", [](QWidget *owner) { return CreateNoteForm<TSNOrderForm>(owner); });
pk_note::FormClassRegistrar regPlan("TSalePlanForm", [](QWidget *owner) { return CreateNoteForm<TSalePlanForm>(owner); });

} // namespace

// ============================================================ the sales order

bool SalesOrderLinesOpen(TCommoditynoteForm &form)
{
    data::ClientDataSet *lines = form.DetailDataSet();
    if (!lines->Active())
        return true;
    lines->CheckBrowseMode();
    lines->DisableControls();
    const auto show = qScopeGuard([lines] { lines->EnableControls(); });
    auto value = [lines](const char *name) {
        data::Field *f = lines->FindField(QString::fromLatin1(name));
        return f && !f->IsNull() ? f->Value().toLongLong() : 0;
    };
    for (lines->First(); !lines->Eof(); lines->Next()) {
        if (value("REFERNOTETYPE") != 12)
            continue;
        QVariant closed;
        if (GetValueOfSql(QStringLiteral("Select 1 From ordersthDetail Where Closed=1 AND NOTEID = ")
                              + QString::number(value("REFERNOTEID")) + QStringLiteral(" AND ITEMSNO = ")
                              + QString::number(value("REFERITEMSNO")),
                          closed)) {
            ShowError(QStringLiteral("有销售订单记录已停止交易,不能审核交货！"));
            return false;
        }
    }
    return true;
}

TSNOrderForm::TSNOrderForm(QWidget *owner) : TPNOrderForm(salesOrder, owner)
{
    auto item = [this](const char *name, const QString &caption, void (TSNOrderForm::*slot)()) {
        auto *a = new QAction(caption, noteMenu);
        a->setObjectName(QString::fromLatin1(name));
        noteMenu->addAction(a);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    muPNOrder = item("muPNOrder", QStringLiteral("生成采购订单..."), &TSNOrderForm::muPNOrderClick);
    muProc = item("muProc", QStringLiteral("订单执行过程"), &TSNOrderForm::muProcClick);
}

QVariant TSNOrderForm::OperatorEmployee()
{
    QVariant employee;
    GetValueOfSql(QStringLiteral("Select EmpID from Employlth where OperaterID = ") + QString::number(g_iUserID), employee);
    return employee;
}

void TSNOrderForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TPNOrderForm::InitNewNote(dataSet);
    // The operator takes the order: its employee is the salesman.
    const QVariant employee = OperatorEmployee();
    if (!employee.isNull())
        if (data::Field *f = dataSet.FindField(QStringLiteral("EMPID")))
            SetFieldValueSilent(f, employee);
}

void TSNOrderForm::ShowNote()
{
    TPNOrderForm::ShowNote();
    const bool audited = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1;
    muPNOrder->setEnabled(audited);
    muProc->setEnabled(!IsNewNote());
}

void TSNOrderForm::muPNOrderClick()
{
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return;
    }
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    if (MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1 || IsComplete()) {
        ShowWarning(QStringLiteral("已经完成或者整单中止不能生成采购订单"));
        return;
    }
    pk_note::OpenNoteFromSource(QStringLiteral("PNOrderForm"), NoteType(), CurrentNoteID());
}

void TSNOrderForm::muProcClick()
{
    if (IsNewNote())
        return;
    TSNOrderProcForm progress(this);
    try {
        progress.Open(CurrentNoteID());
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    ShowModal(&progress);
}

// ============================================================ the sales plan

TSalePlanForm::TSalePlanForm(QWidget *owner) : TPBuyPlanForm(salesPlan, owner) {}
