#include "PBuyPlanForm.h"

#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>

#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kPeriodLookup = 202; // the record type of the period list

const basenote::Resource master{
    .formName = "PBuyPlanForm",
    .caption = "采购计划",
    .noteType = 1,
    .masterSql = "select m.* from purchasepthPlan m",
    .controls = {
        {"PLANTYPE", "计划期间", Ctl::Lookup, "cmbPlanType", "dsPlanPeriod"},
        {"STARTDATE", "开始日期", Ctl::Date, "edStartDate"},
        {"ENDDATE", "结束日期", Ctl::Date, "edEndDate"},
        {"LASTUPDATEDATE", "最后修改日期", Ctl::Text, "edLastUpdateDate"},
    },
    .lookups = {QStringLiteral("qryPlanPeriod")},
    .size = {1000, 600},
    .tableName = "purchasepthPlan",
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, "
                 "u.NAME as UNITNAME, g.TIMESEC, s.CODE as STORECODE, s.NAME as BUILDINGNAME, "
                 "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice "
                 "from purchasepthPlanDetail m left join Commoditylth g on g.COMMODITYID = m.COMMODITYID "
                 "left join unitlth u on u.UNITSID = g.UNITSID left join storelth s on s.BUILDINGID = m.BUILDINGID",
    .detailTable = "purchasepthPlanDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"AMOUNT"},
                {.field = "REFERQTY", .caption = "已订货数量"}, {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TPBuyPlanForm", [](QWidget *owner) { return CreateNoteForm<TPBuyPlanForm>(owner); });

// The period list as a lookup source, defined once for the program.
void definePeriodLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kPeriodLookup)
            return;
    QStringList rows;
    const QStringList &names = TPBuyPlanForm::PeriodNames();
    for (int i = 0; i < names.size(); ++i)
        rows << QStringLiteral("select %1 as ID, '%2' as NAME").arg(i).arg(names[i]);
    pub::registerLookup({kPeriodLookup, QStringLiteral("PlanPeriod"), rows.join(QStringLiteral(" union all ")),
                         QStringLiteral("ID")});
}

// The resource of a plan window, with the period list it looks up.
const basenote::Resource &declared(const basenote::Resource &resource)
{
    definePeriodLookup();
    return resource;
}

} // namespace

const PlanSide kPurchasePlan{
    .master = master,
    .lines = lines,
    .orderForm = "PNOrderForm",
    .orderCaption = "生成采购订单...",
    .priceClass = 1,
    .businessSide = 1,
};

const QStringList &TPBuyPlanForm::PeriodNames()
{
    static const QStringList names{
        QStringLiteral("年度"),     QStringLiteral("第一季度"), QStringLiteral("第二季度"), QStringLiteral("第三季度"),
        QStringLiteral("第四季度"), QStringLiteral("一月份"),   QStringLiteral("二月份"),   QStringLiteral("三月份"),
        QStringLiteral("四月份"),   QStringLiteral("五月份"),   QStringLiteral("六月份"),   QStringLiteral("七月份"),
        QStringLiteral("八月份"),   QStringLiteral("九月份"),   QStringLiteral("十月份"),   QStringLiteral("十一月份"),
        QStringLiteral("十二月份")};
    return names;
}

std::pair<QDate, QDate> TPBuyPlanForm::PeriodDates(int planType, int year)
{
    int first = 1, months = 12;
    if (planType >= 1 && planType <= 4) {
        first = planType * 3 - 2;
        months = 3;
    } else if (planType >= 5 && planType <= 16) {
        first = planType - 4;
        months = 1;
    }
    const QDate start(year, first, 1);
    return {start, start.addMonths(months).addDays(-1)};
}

TPBuyPlanForm::TPBuyPlanForm(QWidget *owner) : TPBuyPlanForm(kPurchasePlan, owner) {}

TPBuyPlanForm::TPBuyPlanForm(const PlanSide &side, QWidget *owner)
    : TPurchaseNoteForm(declared(side.master), side.lines, owner), m_side(side)
{
    PriceClass = side.priceClass;
    BusinessSide = side.businessSide;
    // The year box beside the date: choosing a year re-applies the period.
    auto *row = new QHBoxLayout;
    auto *caption = new QLabel(QStringLiteral("年份"), palTitle);
    caption->setObjectName(QStringLiteral("lbYear"));
    edYear = new QSpinBox(palTitle);
    edYear->setObjectName(QStringLiteral("edYear"));
    edYear->setRange(1990, 2099);
    edYear->setValue(QDate::currentDate().year());
    caption->setBuddy(edYear);
    row->addStretch(1);
    row->addWidget(caption);
    row->addWidget(edYear);
    row->addSpacing(12);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);
    connect(edYear, &QSpinBox::valueChanged, this, [this] {
        if (!m_showing)
            applyPeriod();
    });
    AddMasterRule(QStringLiteral("PLANTYPE"), [this](Field &) { applyPeriod(); });

    muPPlanToOrder = new QAction(QString::fromUtf8(side.orderCaption), noteMenu);
    muPPlanToOrder->setObjectName(QStringLiteral("muPPlanToOrder"));
    noteMenu->addSeparator();
    noteMenu->addAction(muPPlanToOrder);
    connect(muPPlanToOrder, &QAction::triggered, this, &TPBuyPlanForm::PPlanToOrderClick);
}

void TPBuyPlanForm::applyPeriod()
{
    if (ReadOnly() || !cdsMaster->Active())
        return;
    const QVariant type = MasterValue(QStringLiteral("PLANTYPE"));
    if (type.isNull())
        return;
    const auto [start, end] = PeriodDates(type.toInt(), edYear->value());
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValue(MasterField(QStringLiteral("STARTDATE")), start);
    SetFieldValue(MasterField(QStringLiteral("ENDDATE")), end);
}

void TPBuyPlanForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::InitNewNote(dataSet);
    const QDate date = dataSet.FieldByName(QStringLiteral("NOTEDATE"))->AsDate();
    m_showing = true;
    edYear->setValue(date.isValid() ? date.year() : QDate::currentDate().year());
    m_showing = false;
    const auto [start, end] = PeriodDates(0, edYear->value());
    SetFieldValueSilent(dataSet.FieldByName(QStringLiteral("PLANTYPE")), 0);
    SetFieldValueSilent(dataSet.FieldByName(QStringLiteral("STARTDATE")), start);
    SetFieldValueSilent(dataSet.FieldByName(QStringLiteral("ENDDATE")), end);
}

void TPBuyPlanForm::PrepareSave()
{
    TPurchaseNoteForm::PrepareSave();
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValueSilent(MasterField(QStringLiteral("LASTUPDATEDATE")), QDate::currentDate());
}

bool TPBuyPlanForm::ValidateNote()
{
    auto require = [this](const char *field, const char *control, const QString &message) {
        if (MasterValue(QString::fromLatin1(field), 0).toLongLong() != 0)
            return true;
        ShowError(message);
        if (QWidget *w = findChild<QWidget *>(QString::fromLatin1(control)))
            w->setFocus();
        return false;
    };
    if (!require("DEPID", "cmbDepartment", QStringLiteral("请选择部门！"))
        || !require("EMPID", "cmbEmp", QStringLiteral("请选择业务员！")))
        return false;
    return TPurchaseNoteForm::ValidateNote();
}

void TPBuyPlanForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    const QDate start = MasterValue(QStringLiteral("STARTDATE")).toDate();
    m_showing = true;
    if (start.isValid())
        edYear->setValue(start.year());
    m_showing = false;
    edYear->setEnabled(!ReadOnly());
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    muPPlanToOrder->setEnabled(!IsNewNote() && state != 2);
}

void TPBuyPlanForm::PPlanToOrderClick()
{
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return;
    }
    // The procedure reads the plan as stored.
    if (IsNoteModified() && !SaveNote())
        return;
    if (IsNewNote() || CurrentNoteID() == kNewNoteID)
        return;
    const qint64 plan = CurrentNoteID();
    try {
        SqlExecute(QStringLiteral("exec salepurchasetoorder @notetype=") + QString::number(NoteType())
                   + QStringLiteral(", @noteid=") + QString::number(plan));
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    // The lines no supplier's order took go to a new order for the user.
    pk_note::OpenNoteFromSource(QString::fromLatin1(m_side.orderForm), NoteType(), plan);
    ReloadNote();
    ShowInformation(QStringLiteral("执行成功！"));
}
