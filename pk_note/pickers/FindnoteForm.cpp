#include "FindnoteForm.h"

#include "NoteExport.h"
#include "NoteTypes.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/FindInstance.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TFindnoteForm", [](QWidget *owner) { return new TFindnoteForm(owner); });

QString S(const char *text) { return QString::fromUtf8(text); }

constexpr int kFinderPrivilege = 2082;
constexpr int kExportAction = 4;

// ---- the lists: one per note type ----

FinderQuery q(const char *name, int type, const char *caption, const char *table, unsigned parts = 0,
              FinderSide side = FinderSide::Any, int kindGroup = 0, const char *form = "")
{
    return {S(name), type, S(caption), S(table), parts, side, kindGroup, S(form)};
}

constexpr unsigned kTrade = kPartner | kPayMethod | kAccount | kTranslate;

const QVector<FinderQuery> kQueries = {
    q("qryPurchasePlan", 1, "采购计划", "purchasepthPlan"),
    q("qryPNOrder", 2, "采购订单", "orderpth", kTrade | kClosed, FinderSide::Vendor),
    q("qryPValue", 3, "预入库", "valuepth", kPartner | kTranslate, FinderSide::Vendor, 2),
    q("qryPurchase", 4, "采购开单", "purchasepth", kTrade, FinderSide::Vendor, 2),
    q("qryRePurchase", 5, "申购单", "Repurchase"),
    q("qrySalePlan", 11, "销售计划", "salesthPlan"),
    q("qrySNOrder", 12, "销售订单", "ordersth", kTrade | kClosed, FinderSide::Client),
    q("qryDeputeMarket", 13, "委销单", "DeputeMarketsth", kTrade, FinderSide::Client, 3),
    q("qrySale", 14, "销售开单", "salesth", kTrade, FinderSide::Client, 3),
    q("qrySPrice", 15, "报价单", "S_Price", kTrade | kClosed, FinderSide::Client),
    q("qryIOStore", 21, "出入库单", "iostoreith", kPartner | kStore),
    // Types 22 and 23 are kept in two pairs of tables: the independent notes and the lending.
    q("qrySpecialIn", 22, "独立入仓单", "OtherInith", kStore, FinderSide::Any, 0, "SpecialInForm"),
    q("qrySpecialOut", 23, "独立出仓单", "OtherOutith", kStore, FinderSide::Any, 0, "SpecialOutForm"),
    q("qryBrowIn", 22, "借出还入单", "BrowIn", kPartner | kStore, FinderSide::Any, 0, "BrowInForm"),
    q("qryBrowOut", 23, "借出单", "BrowOut", kPartner | kStore, FinderSide::Any, 0, "BrowOutForm"),
    q("qryDraw", 25, "领料单", "drawith", kStore),
    q("qryBadsth", 26, "调拨单", "Badsthith", kStore),
    q("qryTogether", 27, "组装单", "Togetherith", kStore),
    q("qryDisTogether", 28, "拆卸单", "disTogetherith", kStore),
    q("qryAttaint", 29, "报损单", "Attaintith", kStore),
    q("qryBalItem", 30, "盘点单", "BalItemith", kStore),
    q("qryChgPrice", 31, "调价单", "ChgPriceith"),
    q("qryPlaceAdjust", 32, "货位调整单", "PlaceAdjustith", kStore),
    q("qryPrdCheck", 41, "成品验收单", "PrdCheckth"),
    q("qryMnfManuNOrder", 42, "加工单", "manuordermnfth"),
    q("qryManuWilldo", 43, "主生产计划", "Manuplanmnfth"),
    q("qryOutMoneyApp", 45, "费用分摊单", "OutMoneymnfth"),
    q("qryMnfOutManuOrder", 46, "委外加工单", "OutManuOrderth", kPartner),
    q("qryOutDraw", 47, "委外发料单", "Outdrawith", kPartner | kStore),
    q("qryPrdInStore", 48, "成品缴库单", "PrdInStoreth", kStore),
    q("qryOutPrdInStore", 49, "委外缴库单", "OutPrdInStoreth", kPartner | kStore),
    q("qryPrdToCheck", 50, "成品送检单", "PrdToCheckth"),
    q("qryMove", 51, "银行存取款", "movebth", kMoveAccounts),
    q("qryOutMoney", 52, "费用开支", "expenseath", kPartner | kPayMethod | kAccount),
    q("qryInCome", 53, "其他收入", "InComebth", kPayMethod | kAccount),
    q("qryPay", 61, "付款单", "payath", kPartner | kPayMethod | kAccount, FinderSide::Vendor),
    q("qryGetMoney", 62, "收款单", "chargeath", kPartner | kPayMethod | kAccount, FinderSide::Client),
    q("qryCounteract", 63, "对账单", "COUNTERACTATH", kPartner),
    q("qryPosSale", 71, "POS销售单", "saleposth", kStore),
    q("qryInOutCash", 72, "POS收银员出入款单", "inoutcashposth"),
    q("qryPosClose", 73, "POS日结单", "closeposth"),
    q("qryPosSavingCard", 74, "储值卡充值单", "savingcardposth"),
    q("qryPosAdjPrice", 75, "货品销价设置", "adjpriceposth"),
    q("qryBFPrd", 80, "报废单", "BFPrdth"),
    q("qryBackPrd", 81, "验收退回单", "BackPrdth"),
    q("qryRepairPrd", 88, "返工返修单", "RepairPrdth"),
};

// A joined name: its alias, table, join condition, the column it shows and
// the name it has in the list, and the values the filter offers.
struct Join {
    unsigned part; // 0: every list
    const char *alias;
    const char *table;
    const char *on;
    const char *column;
    const char *as;
    const char *pickSql;
};

const Join kJoins[] = {
    {0, "ks", "kindamth", "ks.KIND=1 and ks.ID=b.NOTESTATE", "NAME", "NOTESTATENAME",
     "select NAME from kindamth where kind=1 order by ID"},
    {0, "op", "operatormth", "op.OPERATEID=b.OPERATEID", "OPERATENAME", "OPERATENAME",
     "select OPERATENAME from operatormth order by OPERATEID"},
    {0, "chk", "operatormth", "chk.OPERATEID=b.CHKORID", "OPERATENAME", "CHKOR",
     "select OPERATENAME from operatormth order by OPERATEID"},
    {0, "emp", "employlth", "emp.EMPID=b.EMPID", "NAME", "EMPNAME", "select NAME from employlth order by CODE"},
    {0, "dep", "departmentlth", "dep.DEPID=b.DEPID", "NAME", "DEPNAME", "select NAME from departmentlth order by CODE"},
    {kPartner, "td", "partnerlth", "td.PARTNERID=b.PARTNERID", "NAME", "PARTNERNAME", nullptr},
    {kPayMethod, "pm", "paymethodlth", "pm.PAYTYPESID=b.PAYTYPESID", "NAME", "PAYMETHODNAME",
     "select NAME from paymethodlth order by CODE"},
    {kAccount, "ac", "accountacth", "ac.ACCOUNTID=b.ACCOUNTID", "NAME", "ACCOUNTNAME",
     "select NAME from accountacth order by CODE"},
    {kMoveAccounts, "ac", "accountacth", "ac.ACCOUNTID=b.OUTACCOUNTID", "NAME", "OUTACCOUNTNAME",
     "select NAME from accountacth order by CODE"},
    {kMoveAccounts, "ai", "accountacth", "ai.ACCOUNTID=b.INACCOUNTID", "NAME", "INACCOUNTNAME",
     "select NAME from accountacth order by CODE"},
    {kTranslate, "kt", "kindamth", "kt.KIND=4 and kt.ID=b.TRANSLATETYPE", "NAME", "TRANSLATETYPENAME",
     "select NAME from kindamth where kind=4 order by ID"},
    {kClosed, "kc", "kindamth", "kc.KIND=9 and kc.ID=b.CLOSED", "NAME", "CLOSEDNAME",
     "select NAME from kindamth where kind=9 order by ID"},
    {kStore, "st", "storelth", "st.BUILDINGID=b.BUILDINGID", "NAME", "BUILDINGNAME",
     "select NAME from storelth order by CODE"},
};

QString partnerPickSql(FinderSide side)
{
    switch (side) {
    case FinderSide::Vendor:
        return QStringLiteral("select NAME from partnerlth where IsVendor=1 and partnerID>0 order by CODE");
    case FinderSide::Client:
        return QStringLiteral("select NAME from partnerlth where IsClient=1 and partnerID>0 order by CODE");
    case FinderSide::Any:
        break;
    }
    return QStringLiteral("select NAME from partnerlth where partnerID > 0 order by CODE");
}

// The columns the grid shows, in order, when the list has them.
struct ShownColumn {
    const char *field;
    const char *title;
    int width;
};
const ShownColumn kShown[] = {
    {"NOTECODE", "单据编号", 130},     {"NOTEDATE", "单据日期", 90},        {"NOTEKINDNAME", "单据类别", 80},
    {"NOTESTATENAME", "单据状态", 70}, {"PARTNERNAME", "往来单位", 150},    {"BUILDINGNAME", "仓库", 100},
    {"OUTACCOUNTNAME", "转出帐户", 110}, {"INACCOUNTNAME", "转入帐户", 110}, {"AMOUNT", "金额", 90},
    {"PAYMETHODNAME", "结算方式", 80}, {"ACCOUNTNAME", "帐户", 100},        {"TRANSLATETYPENAME", "交货方式", 80},
    {"CLOSEDNAME", "结案状态", 70},    {"CONTRACTNO", "合同号", 100},       {"CONTACTOR", "联系人", 70},
    {"CONTACTPHONE", "联系电话", 100}, {"REVDATE", "交货日期", 90},         {"NOTETO", "送货地址", 120},
    {"EMPNAME", "经办人", 70},         {"DEPNAME", "部门", 80},             {"OPERATENAME", "制单人", 70},
    {"CHKOR", "审核人", 70},           {"REMARK", "备注", 160},             {"USRDEF1", "自定义1", 80},
    {"USRDEF2", "自定义2", 80},        {"USRDEF3", "自定义3", 80},
};

bool tableExists(const QString &table)
{
    try {
        CreateAutoQuery(QStringLiteral("select count(*) from ") + table + QStringLiteral(" where 1=0"));
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

int browsePrivilegeOf(int noteType)
{
    const QString form = NoteTypeFormName(noteType);
    for (const pk_note::FormRegistration &r : pk_note::RegistrationTable())
        if (form.compare(QString::fromLatin1(r.formName), Qt::CaseInsensitive) == 0)
            return r.privilegeId;
    return 0;
}

} // namespace

// =========================================================================== declarations

const QVector<FinderQuery> &TFindnoteForm::Queries() { return kQueries; }

const FinderQuery *TFindnoteForm::QueryOfType(int noteType)
{
    for (const FinderQuery &q : kQueries)
        if (q.noteType == noteType)
            return &q;
    return nullptr;
}

QVector<FinderField> TFindnoteForm::JoinedFields(const FinderQuery &q)
{
    QVector<FinderField> out;
    for (const Join &j : kJoins)
        if (j.part == 0 || (q.parts & j.part))
            out << FinderField{S(j.as), S(j.alias) + u'.' + S(j.column),
                               j.pickSql ? S(j.pickSql) : partnerPickSql(q.side)};
    if (q.kindGroup)
        out << FinderField{QStringLiteral("NOTEKINDNAME"), QStringLiteral("kk.NAME"),
                           QStringLiteral("select NAME from kindamth where kind=%1 order by ID").arg(q.kindGroup)};
    return out;
}

QString TFindnoteForm::QuerySql(const FinderQuery &q)
{
    QString columns = QStringLiteral("select b.*");
    QString from = QStringLiteral(" from ") + q.table + QStringLiteral(" b");
    for (const Join &j : kJoins)
        if (j.part == 0 || (q.parts & j.part)) {
            columns += QStringLiteral(", ") + S(j.alias) + u'.' + S(j.column) + QStringLiteral(" as ") + S(j.as);
            from += QStringLiteral(" left join ") + S(j.table) + u' ' + S(j.alias) + QStringLiteral(" on ") + S(j.on);
        }
    if (q.kindGroup) {
        columns += QStringLiteral(", kk.NAME as NOTEKINDNAME");
        from += QStringLiteral(" left join kindamth kk on kk.KIND=%1 and kk.ID=b.NOTEKIND").arg(q.kindGroup);
    }
    return columns + from;
}

// =========================================================================== the window

TFindnoteForm::TFindnoteForm(QWidget *owner) : TnoteBootForm(QStringLiteral("FindnoteForm"), owner)
{
    setWindowTitle(S("单据速查"));
    m_find = new widgets::TFindInstance(this);
    buildWindow();
    fillTypeList();
    InitComponents();
}

TFindnoteForm::~TFindnoteForm() = default;

void TFindnoteForm::buildWindow()
{
    auto *layout = new QVBoxLayout(this);
    auto *bar = new QHBoxLayout;
    auto *label = new QLabel(S("单据名称"), this);
    cmbNoteName = new QComboBox(this);
    cmbNoteName->setObjectName(QStringLiteral("cmbNoteName"));
    cmbNoteName->setMinimumWidth(160);
    label->setBuddy(cmbNoteName);
    bar->addWidget(label);
    bar->addWidget(cmbNoteName);
    auto button = [&](QPushButton *&b, const char *name, const char *text) {
        b = new QPushButton(S(text), this);
        b->setObjectName(QString::fromLatin1(name));
        bar->addWidget(b);
    };
    button(btnFilter, "btnFilter", "过滤(&L)");
    button(btnOpenNote, "btnOpenNote", "单据(&D)");
    button(btnToExcel, "btnToExcel", "导出Excel");
    button(btnClose, "btnClose", "关闭(&C)");
    // A list without rows says so, filtered or not.
    lblEmpty = new QLabel(S("没有符合条件的单据."), this);
    lblEmpty->setObjectName(QStringLiteral("lblEmpty"));
    lblEmpty->hide();
    bar->addSpacing(12);
    bar->addWidget(lblEmpty);
    bar->addStretch();
    layout->addLayout(bar);

    dsNotes = new data::DataSource(nullptr, this);
    dsNotes->setObjectName(QStringLiteral("dsNotes"));
    dbgNotes = new widgets::TRqDBGrid(this, QStringLiteral("dbgNotes"));
    dbgNotes->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The selected row marks the note; numbering the rows of a page of
    // hundreds cost the header a pass over every row at each reading.
    dbgNotes->verticalHeader()->hide();
    layout->addWidget(dbgNotes);
    // Room for the bar and a useful part of the list, also as an MDI child.
    setMinimumSize(720, 400);
    resize(900, 520);

    connect(cmbNoteName, &QComboBox::currentIndexChanged, this, &TFindnoteForm::cmbNoteNameChange);
    connect(btnFilter, &QPushButton::clicked, this, &TFindnoteForm::btnFilterClick);
    connect(btnOpenNote, &QPushButton::clicked, this, &TFindnoteForm::btnOpenNoteClick);
    connect(btnToExcel, &QPushButton::clicked, this, &TFindnoteForm::btnToExcelClick);
    connect(btnClose, &QPushButton::clicked, this, &TFindnoteForm::btnCloseClick);
    connect(dbgNotes, &QAbstractItemView::doubleClicked, this, &TFindnoteForm::btnOpenNoteClick);
    dbgNotes->installEventFilter(this);
    connect(dbgNotes->horizontalHeader(), &QHeaderView::sectionClicked, this, &TFindnoteForm::SortByColumn);
    // The rest of a long list is read when the user scrolls to the end of the first page.
    connect(dbgNotes->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_complete && value >= dbgNotes->verticalScrollBar()->maximum())
            FetchAll();
    });
}

void TFindnoteForm::fillTypeList()
{
    const QSignalBlocker quiet(cmbNoteName);
    cmbNoteName->clear();
    for (int i = 0; i < kQueries.size(); ++i) {
        const FinderQuery &q = kQueries[i];
        if (NoteTypeFormName(q.noteType).isEmpty() || !tableExists(q.table))
            continue;
        const int privilege = browsePrivilegeOf(q.noteType);
        if (privilege == 0 || !GetUPrivilegeItem(privilege, 1))
            continue;
        cmbNoteName->addItem(q.caption, i); // the list, as a type may have two
    }
    cmbNoteName->setCurrentIndex(-1);
}

QList<int> TFindnoteForm::OfferedTypes() const
{
    QList<int> types;
    for (int i = 0; i < cmbNoteName->count(); ++i)
        types << kQueries[cmbNoteName->itemData(i).toInt()].noteType;
    return types;
}

int TFindnoteForm::CurrentNoteType() const { return m_query ? m_query->noteType : 0; }

void TFindnoteForm::SelectNoteType(int noteType)
{
    int index = -1;
    for (int i = 0; i < cmbNoteName->count() && index < 0; ++i)
        if (kQueries[cmbNoteName->itemData(i).toInt()].noteType == noteType)
            index = i;
    if (index < 0)
        return;
    if (index == cmbNoteName->currentIndex())
        cmbNoteNameChange(); // chosen again: the list is read anew
    else
        cmbNoteName->setCurrentIndex(index);
}

data::ClientDataSet *TFindnoteForm::queryOf(const FinderQuery &q)
{
    data::ClientDataSet *&ds = m_queries[q.name];
    if (!ds) {
        ds = new data::ClientDataSet(StartupDB(), this);
        ds->setObjectName(q.name);
    }
    return ds;
}

void TFindnoteForm::cmbNoteNameChange()
{
    const int list = cmbNoteName->currentIndex() < 0 ? -1 : cmbNoteName->currentData().toInt();
    if (list < 0 || list >= kQueries.size())
        return;
    const FinderQuery *q = &kQueries[list];
    // A new type starts without the filter and the order of the one before.
    m_query = q;
    m_current = queryOf(*q);
    m_filter.clear();
    m_sortField.clear();
    m_sortAscending = true;
    m_find->Reset();
    m_expressions.clear();
    for (const FinderField &f : JoinedFields(*q))
        m_expressions.insert(f.name.toUpper(), f.expression);
    openCurrent();
}

bool TFindnoteForm::openCurrent(bool firstPageOnly)
{
    if (!m_query)
        return false;
    QString sql = QuerySql(*m_query);
    if (!m_filter.isEmpty())
        sql += QStringLiteral(" where ") + m_filter;
    if (!m_sortField.isEmpty()) {
        // A master field sorts as b.<field>; a joined name by its own alias.
        const QString expression = FieldExpression(m_sortField);
        sql += expression.startsWith(QLatin1String("b.")) ? QStringLiteral(" Order by b.") + expression.mid(2)
                                                          : QStringLiteral(" Order by ") + expression;
        sql += m_sortAscending ? QStringLiteral(" Asc ") : QStringLiteral(" Desc");
    }
    // Books with many notes show the first page at once; one row more than a
    // page tells whether the page is the whole list.
    const bool paged = firstPageOnly && PageSize > 0;
    if (paged)
        sql = QStringLiteral("select top ") + QString::number(PageSize + 1) + sql.mid(QStringLiteral("select").size());
    // Another list's columns are bound on a detached grid: left bound, it
    // would rebuild its rows and header at the close and again at the open,
    // only to be rebuilt once more for the columns. The same list read again
    // (a sort, a filter, the rest of its rows) keeps its grid and widths.
    const bool rebind = m_bound != m_query || !dbgNotes->DataSet();
    if (rebind)
        dbgNotes->SetDataSource(nullptr);
    try {
        m_current->Close();
        m_current->SetCommandText(sql);
        m_current->Open();
        m_complete = !paged || m_current->RecordCount() <= PageSize;
        lblEmpty->setVisible(m_current->IsEmpty());
    } catch (const std::exception &e) {
        ShowError(e);
        m_complete = true;
        bindColumns();
        return false;
    }
    if (rebind)
        bindColumns();
    else
        showSortMarker();
    return true;
}

void TFindnoteForm::FetchAll()
{
    if (m_complete || !m_current || !m_current->Active())
        return;
    const int row = m_current->RecNo();
    if (openCurrent(false))
        m_current->SetRecNo(std::max(row, 1));
}

void TFindnoteForm::bindColumns()
{
    // Columns are set up on a detached grid: each change would reset its model.
    dbgNotes->SetDataSource(nullptr);
    dsNotes->SetDataSet(m_current);
    dbgNotes->ClearColumns();
    if (m_current && m_current->Active())
        for (const ShownColumn &c : kShown)
            if (data::Field *f = m_current->FindField(QString::fromLatin1(c.field))) {
                // A list to read, not a note: its columns refuse editing, yet
                // the grid is not greyed as a read-only note's would be.
                dbgNotes->AddColumn(f->FieldName(), S(c.title), c.width).ReadOnly = true;
                if (f->FieldName().compare(QLatin1String("AMOUNT"), Qt::CaseInsensitive) == 0)
                    dbgNotes->Column(dbgNotes->ColumnCount() - 1).DisplayFormat = QStringLiteral("#0.00");
            }
    dbgNotes->SetDataSource(dsNotes);
    m_bound = m_current && m_current->Active() ? m_query : nullptr;
    showSortMarker();
}

void TFindnoteForm::showSortMarker()
{
    QHeaderView *header = dbgNotes->horizontalHeader();
    const int sorted = m_sortField.isEmpty() ? -1 : dbgNotes->ColumnOfField(m_sortField);
    header->setSortIndicatorShown(sorted >= 0);
    if (sorted >= 0)
        header->setSortIndicator(sorted, m_sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString TFindnoteForm::FieldExpression(const QString &fieldName) const
{
    const QString joined = m_expressions.value(fieldName.toUpper());
    if (!joined.isEmpty())
        return joined;
    if (m_current && m_current->FindField(fieldName))
        return QStringLiteral("b.") + fieldName;
    return {};
}

void TFindnoteForm::SortByColumn(int column)
{
    const data::Field *f = column >= 0 && column < dbgNotes->ColumnCount() ? dbgNotes->FieldOfColumn(column) : nullptr;
    if (!f || !m_current)
        return;
    const QString field = f->FieldName();
    // The same column again flips the order; another column replaces it.
    m_sortAscending = field.compare(m_sortField, Qt::CaseInsensitive) == 0 ? !m_sortAscending : true;
    m_sortField = field;
    // The statement is rebuilt from its parts rather than cut at its last
    // "Order by": a typed filter value may hold those words too.
    openCurrent();
}

void TFindnoteForm::prepareFilter()
{
    for (int i = 0; i < dbgNotes->ColumnCount(); ++i) {
        const QString name = dbgNotes->Column(i).FieldName;
        m_find->SetExpression(name, FieldExpression(name));
    }
    if (!m_query)
        return;
    for (const FinderField &f : JoinedFields(*m_query)) {
        if (f.pickSql.isEmpty() || m_find->HasChoices(f.name))
            continue;
        QStringList values;
        try {
            AutoQuery q = CreateAutoQuery(f.pickSql);
            for (q->First(); !q->Eof(); q->Next())
                values << q->Fields(0).AsString();
        } catch (const std::exception &) {
            // A list that cannot be read offers nothing; the value is typed.
        }
        m_find->SetChoices(f.name, values);
    }
}

void TFindnoteForm::ApplyFilter()
{
    m_filter = m_find->Condition();
    openCurrent();
}

void TFindnoteForm::btnFilterClick()
{
    if (!m_current || !m_current->Active())
        return;
    prepareFilter();
    if (widgets::FindDataInDBGrid(m_find, dbgNotes))
        ApplyFilter();
}

void TFindnoteForm::btnOpenNoteClick()
{
    if (!m_query || !m_current || !m_current->Active() || m_current->IsEmpty())
        return;
    QnParams params;
    params.AddValue(QStringLiteral("NOTEID"), int(m_current->FieldByName(QStringLiteral("noteId"))->AsInteger()));
    params.AddValue(QStringLiteral("NOTETYPE"), m_query->noteType);
    if (!m_query->form.isEmpty())
        params.AddValue(QStringLiteral("FORMNAME"), m_query->form);
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &params);
}

void TFindnoteForm::btnToExcelClick()
{
    if (!GetUPrivilegeItem(kFinderPrivilege, kExportAction)) {
        ShowError(S("对不起, 你没有导出的权限."));
        return;
    }
    if (!m_query || !m_current || !m_current->Active())
        return;
    FetchAll(); // the whole list goes out, not its first page
    OutToExcelFun(dbgNotes, S("单据类型:") + m_query->caption);
}

void TFindnoteForm::btnCloseClick() { close(); }

bool TFindnoteForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == dbgNotes && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            btnOpenNoteClick();
            return true;
        }
    }
    return TnoteBootForm::eventFilter(watched, event);
}
