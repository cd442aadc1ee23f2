#include "BatchCheckForm.h"

#include "Basenote.h"
#include "NoteTypes.h"
#include "PackageWindows.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <algorithm>

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TBatchCheckForm", [](QWidget *owner) { return new TBatchCheckForm(owner); });

constexpr int kAllOperators = 99999;

// The SELECTED cell drawn as a check box: 1 ticked, anything else not.
class TickDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features |= QStyleOptionViewItem::HasCheckIndicator;
        option->checkState = index.data(Qt::EditRole).toInt() == 1 ? Qt::Checked : Qt::Unchecked;
        option->text.clear();
    }
};

// Where the notes of a type are kept and the window whose rules audit them.
// Types 22 and 23 keep two kinds in tables of their own: the independent
// stock notes and the loans.
struct NoteKind {
    QString table, form;
    QString caption = {}; // the window's own name where the type's is another's
    bool operator==(const NoteKind &o) const
    {
        return table.compare(o.table, Qt::CaseInsensitive) == 0 && form.compare(o.form, Qt::CaseInsensitive) == 0;
    }
};

QVector<NoteKind> kindsOf(int noteType)
{
    switch (noteType) {
    case 22:
        return {{QStringLiteral("OtherInith"), QStringLiteral("SpecialInForm"), QStringLiteral("独立入仓单")},
                {QStringLiteral("BrowIn"), QStringLiteral("BrowInForm"), QStringLiteral("借出还入单")}};
    case 23:
        return {{QStringLiteral("OtherOutith"), QStringLiteral("SpecialOutForm"), QStringLiteral("独立出仓单")},
                {QStringLiteral("BrowOut"), QStringLiteral("BrowOutForm"), QStringLiteral("借出单")}};
    default: {
        const QString table = NoteTypeMasterTable(noteType);
        return table.isEmpty() ? QVector<NoteKind>{} : QVector<NoteKind>{{table, NoteTypeFormName(noteType)}};
    }
    }
}

const pk_note::FormRegistration *registrationOf(const QString &form)
{
    for (const pk_note::FormRegistration &r : pk_note::RegistrationTable())
        if (form.compare(QLatin1String(r.formName), Qt::CaseInsensitive) == 0)
            return &r;
    return nullptr;
}

int privilegeOf(const QString &form)
{
    const pk_note::FormRegistration *r = registrationOf(form);
    return r ? r->privilegeId : 0;
}

QString registeredClass(const QString &form)
{
    const pk_note::FormRegistration *r = registrationOf(form);
    return r ? QString::fromLatin1(r->className) : QString();
}

// The master table's columns (upper case), empty when the books lack it.
QStringList columnsOf(const QString &table)
{
    QStringList names;
    for (const auto &c : data::ClientDataSet::TableColumns(*StartupDB(), table))
        names << c.name.toUpper();
    return names;
}

void fill(QComboBox *box, const QString &sql)
{
    AutoQuery q = CreateAutoQuery(sql);
    for (q->First(); !q->Eof(); q->Next())
        box->addItem(q->Fields(1).AsString(), q->Fields(0).Value());
}

} // namespace

TBatchCheckForm::TBatchCheckForm(QWidget *owner) : TnoteBootForm(QStringLiteral("BatchCheckForm"), owner)
{
    setWindowTitle(QStringLiteral("审核中心"));
    auto label = [this](const char *text, QWidget *buddy) {
        auto *l = new QLabel(QString::fromUtf8(text), this);
        l->setBuddy(buddy);
        return l;
    };
    auto named = [](auto *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    cmbNoteType = named(new QComboBox(this), "cmbNoteType");
    edStartDate = named(new QDateEdit(GetFirstDayOfPosMonth(), this), "edStartDate");
    edEndDate = named(new QDateEdit(GetLastDayOfPosMonth(), this), "edEndDate");
    for (QDateEdit *d : {edStartDate, edEndDate}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    cmbDepartment = named(new QComboBox(this), "cmbDepartment");
    cmbEmploy = named(new QComboBox(this), "cmbEmploy");
    cmbOperator = named(new QComboBox(this), "cmbOperator");
    cmbChkor = named(new QComboBox(this), "cmbChkor");
    rbChecked = named(new QRadioButton(QStringLiteral("已审核单据"), this), "rbChecked");
    rbUnchecked = named(new QRadioButton(QStringLiteral("待审核单据"), this), "rbUnchecked");
    rbUnchecked->setChecked(true);
    btnQuery = named(new QPushButton(QStringLiteral("速查"), this), "btnQuery");
    btnSelect = named(new QPushButton(QStringLiteral("全选"), this), "btnSelect");
    btnClear = named(new QPushButton(QStringLiteral("全清"), this), "btnClear");
    btnCounter = named(new QPushButton(QStringLiteral("反选"), this), "btnCounter");
    btnCheck = named(new QPushButton(QStringLiteral("审核"), this), "btnCheck");
    btnExit = named(new QPushButton(QStringLiteral("退出"), this), "btnExit");
    btnShownote = named(new QPushButton(QStringLiteral("单据"), this), "btnShownote");
    ProgressBar = named(new QProgressBar(this), "ProgressBar");
    ProgressBar->setTextVisible(true);
    btnCancel = named(new QPushButton(QStringLiteral("取消"), this), "btnCancel");
    btnCancel->setVisible(false);

    cdsNotes = new data::ClientDataSet(StartupDB(), this);
    cdsNotes->setObjectName(QStringLiteral("cdsNotes"));
    cdsNotes->AddField(QStringLiteral("NOTEDATE"), data::FieldType::Date);
    dsNotes = new data::DataSource(cdsNotes, this);
    dsNotes->SetAutoEdit(false);
    NoteGrid = new widgets::TRqDBGrid(this, QStringLiteral("NoteGrid"));
    NoteGrid->SetReadOnly(true);
    // A list to read and tick, not a disabled one: the usual colours.
    NoteGrid->setPalette(NoteGrid->property("pkEditPalette").value<QPalette>());
    NoteGrid->SetAllowAppend(false);
    NoteGrid->SetAllowDelete(false);
    NoteGrid->SetDataSource(dsNotes);
    m_tick = new TickDelegate(this);

    auto *filters = new QGridLayout;
    filters->addWidget(label("单据", cmbNoteType), 0, 0);
    filters->addWidget(cmbNoteType, 0, 1);
    filters->addWidget(label("单据日期从", edStartDate), 0, 2);
    filters->addWidget(edStartDate, 0, 3);
    filters->addWidget(label("到 ", edEndDate), 0, 4);
    filters->addWidget(edEndDate, 0, 5);
    filters->addWidget(label("部门", cmbDepartment), 1, 0);
    filters->addWidget(cmbDepartment, 1, 1);
    filters->addWidget(label("业务员", cmbEmploy), 1, 2);
    filters->addWidget(cmbEmploy, 1, 3);
    filters->addWidget(label("制单人", cmbOperator), 1, 4);
    filters->addWidget(cmbOperator, 1, 5);
    filters->addWidget(label("审核人", cmbChkor), 2, 0);
    filters->addWidget(cmbChkor, 2, 1);
    filters->addWidget(rbUnchecked, 2, 2);
    filters->addWidget(rbChecked, 2, 3);
    filters->addWidget(btnQuery, 2, 5);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {btnSelect, btnClear, btnCounter})
        buttons->addWidget(b);
    buttons->addWidget(ProgressBar, 1);
    for (QPushButton *b : {btnCancel, btnShownote, btnCheck, btnExit})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(NoteGrid, 1);
    layout->addLayout(buttons);
    resize(1000, 600);
    showColumns(); // the list's headings before its first query

    fillChoices();
    connect(btnQuery, &QPushButton::clicked, this, &TBatchCheckForm::btnQueryClick);
    connect(btnSelect, &QPushButton::clicked, this, &TBatchCheckForm::btnSelectClick);
    connect(btnClear, &QPushButton::clicked, this, &TBatchCheckForm::btnClearClick);
    connect(btnCounter, &QPushButton::clicked, this, &TBatchCheckForm::btnCounterClick);
    connect(btnCheck, &QPushButton::clicked, this, &TBatchCheckForm::btnCheckClick);
    connect(btnShownote, &QPushButton::clicked, this, &TBatchCheckForm::btnShownoteClick);
    connect(btnExit, &QPushButton::clicked, this, &QWidget::close);
    connect(btnCancel, &QPushButton::clicked, this, &TBatchCheckForm::btnCancelClick);
    connect(rbChecked, &QRadioButton::toggled, this, [this](bool audited) {
        btnCheck->setText(audited ? QStringLiteral("反审核") : QStringLiteral("审核"));
    });
    connect(NoteGrid, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (!cdsNotes->Active() || NoteGrid->Column(index.column()).FieldName.compare(QLatin1String("SELECTED"), Qt::CaseInsensitive) != 0)
            return;
        cdsNotes->Edit();
        data::Field *tick = cdsNotes->FieldByName(QStringLiteral("SELECTED"));
        tick->SetValue(tick->AsInteger() == 1 ? 0 : 1);
        cdsNotes->Post();
    });
}

TBatchCheckForm::~TBatchCheckForm()
{
    for (const QPointer<QWidget> &w : std::as_const(m_rules))
        delete w.data();
}

void TBatchCheckForm::fillChoices()
{
    cmbNoteType->addItem(QStringLiteral("<全部单据>"), 0);
    for (int type = 1; type <= 99; ++type) {
        if (type == 64 || type == 71 || type == 72 || type == 73)
            continue;
        bool listed = false;
        for (const NoteKind &k : kindsOf(type)) {
            const int privilege = privilegeOf(k.form);
            if (privilege == 0 || !GetUPrivilegeItem(privilege, 1))
                continue;
            const QStringList columns = columnsOf(k.table);
            if (!columns.contains(QStringLiteral("NOTESTATE")) || !columns.contains(QStringLiteral("NOTEDATE")))
                continue; // the books do not keep this kind
            m_kinds.append({type, k.table, k.form, k.caption});
            listed = true;
        }
        if (!listed)
            continue;
        m_types << type;
        cmbNoteType->addItem(NoteTypeName(type), type);
    }
    // "<全部>" (0) first: a union has no order of its own on the server.
    fill(cmbDepartment, QStringLiteral("select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, "
                                       "cast(name as varchar(64)) from departmentlth order by dataid"));
    fill(cmbEmploy, QStringLiteral("select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select EMPID, "
                                   "cast(name as varchar(64)) from employlth order by dataid"));
    const QString operators = QStringLiteral("select 99999 as dataid, cast('<全部>' as varchar(64)) as dataname  union  "
                                             "select OPERATEID, cast(operatename as varchar(64)) from operatormth order by dataid");
    fill(cmbOperator, operators);
    fill(cmbChkor, operators);
    for (QComboBox *box : {cmbOperator, cmbChkor})
        box->setCurrentIndex(std::max(0, box->findData(kAllOperators)));
}

QString TBatchCheckForm::ListSql() const
{
    QString filter = QStringLiteral("b.noteState=") + (rbChecked->isChecked() ? QStringLiteral("1") : QStringLiteral("0"))
                     + QStringLiteral(" and b.noteDate>=:StartDate and b.noteDate<=:EndDate ");
    const int dep = cmbDepartment->currentData().toInt(), emp = cmbEmploy->currentData().toInt();
    const int op = cmbOperator->currentData().toInt(), chk = cmbChkor->currentData().toInt();
    if (dep != 0)
        filter += QStringLiteral(" and b.depid=") + QString::number(dep);
    if (emp != 0)
        filter += QStringLiteral(" and b.EmpId=") + QString::number(emp);
    if (op != kAllOperators)
        filter += QStringLiteral(" and b.operateid=") + QString::number(op);
    if (chk != kAllOperators)
        filter += QStringLiteral(" and b.chkorid=") + QString::number(chk);
    const int chosen = cmbNoteType->currentData().toInt();
    // A type kept by two windows shows each note under its own window's name.
    QString typeName;
    for (const Kind &k : m_kinds)
        if (!k.caption.isEmpty())
            typeName += QStringLiteral(" when '%1' then '%2'").arg(k.form, k.caption);
    typeName = typeName.isEmpty() ? QStringLiteral("t.NAME")
                                  : QStringLiteral("case b.FORMNAME") + typeName + QStringLiteral(" else t.NAME end");
    const auto names = [](const QString &typeName) {
        return typeName + QStringLiteral(" as notetypename, o.OPERATENAME as operatename, c.OPERATENAME as chkor, "
                                         "e.NAME as empname, d.NAME as depname, s.NAME as notestatename");
    };
    const QString joins = QStringLiteral(
        " left join notetypelth t on t.ID=%1 left join operatormth o on o.OPERATEID=b.OPERATEID "
        "left join operatormth c on c.OPERATEID=b.CHKORID left join employlth e on e.EMPID=%2 "
        "left join departmentlth d on d.DEPID=%3 left join kindamth s on s.KIND=1 and s.ID=b.NOTESTATE where 1=1");
    if (chosen == 0 && !columnsOf(QStringLiteral("allnote")).isEmpty()) {
        // Every listed type from the one view, in date order.
        QStringList types;
        for (int type : m_types)
            types << QString::number(type);
        if (types.isEmpty())
            return {};
        QString sql = QStringLiteral("select 0 as SELECTED, b.NOTETYPE, b.NOTEID, b.NOTEKIND, b.NOTECODE, b.NOTEDATE, "
                                     "b.NOTESTATE, b.OPERATEID, b.CHKORID, b.EMPID, b.DEPID, b.AMOUNT, b.REMARK, ")
                      + names(typeName) + QStringLiteral(", b.MASTERTABLE, b.FORMNAME from allnote b")
                      + joins.arg(QStringLiteral("b.NOTETYPE"), QStringLiteral("b.EMPID"), QStringLiteral("b.DEPID"));
        sql.replace(QStringLiteral("1=1"), filter);
        return sql + QStringLiteral(" and notetype in (") + types.join(QStringLiteral(" , "))
               + QStringLiteral(")") + QStringLiteral(" order by b.notedate") + QStringLiteral(", b.NOTETYPE, b.NOTEID");
    }
    QStringList parts;
    for (const Kind &k : m_kinds) {
        const int type = k.type;
        if (chosen != 0 && type != chosen)
            continue;
        const QString &table = k.table;
        const QStringList has = columnsOf(table);
        auto col = [&has](const char *name) {
            return has.contains(QString::fromLatin1(name)) ? QStringLiteral("b.") + QLatin1String(name) : QStringLiteral("null");
        };
        QString part = QStringLiteral("select 0 as SELECTED, %1 as NOTETYPE, b.NOTEID, %2 as NOTEKIND, b.NOTECODE, b.NOTEDATE, "
                                      "b.NOTESTATE, b.OPERATEID, b.CHKORID, %3 as EMPID, %4 as DEPID, %5 as AMOUNT, b.REMARK, ")
                           .arg(QString::number(type), col("NOTEKIND"), col("EMPID"), col("DEPID"), col("AMOUNT"))
                       + names(k.caption.isEmpty() ? QStringLiteral("t.NAME") : QStringLiteral("'%1'").arg(k.caption))
                       + QStringLiteral(", '%1' as MASTERTABLE, '%2' as FORMNAME from %1 b").arg(table, k.form)
                       + joins.arg(QString::number(type), col("EMPID"), col("DEPID"));
        // The filter takes the placeholder's place; a kind without employee
        // or department columns has no such note to filter.
        QString f = filter;
        if (!has.contains(QStringLiteral("DEPID")))
            f.replace(QStringLiteral("b.depid="), QStringLiteral("null="));
        if (!has.contains(QStringLiteral("EMPID")))
            f.replace(QStringLiteral("b.EmpId="), QStringLiteral("null="));
        part.replace(QStringLiteral("1=1"), f);
        parts << part;
    }
    if (parts.isEmpty())
        return {};
    return QStringLiteral("select * from (") + parts.join(QStringLiteral(" union all "))
           + QStringLiteral(") b order by b.notedate, b.notetype, b.noteid");
}

void TBatchCheckForm::btnQueryClick()
{
    if (edStartDate->date() > edEndDate->date()) {
        ShowError(QStringLiteral("开始日期不能大于结束日期!"));
        return;
    }
    const QString sql = ListSql();
    cdsNotes->Close();
    if (sql.isEmpty())
        return;
    cdsNotes->SetCommandText(sql);
    cdsNotes->Params().clear();
    cdsNotes->SetParam(QStringLiteral("StartDate"), edStartDate->date());
    cdsNotes->SetParam(QStringLiteral("EndDate"), edEndDate->date());
    try {
        cdsNotes->Open();
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    showColumns();
}

void TBatchCheckForm::showColumns()
{
    NoteGrid->ClearColumns();
    const struct {
        const char *field, *title;
        int width;
    } columns[] = {{"SELECTED", "选择", 40},   {"NOTETYPENAME", "单据类型", 90}, {"NOTECODE", "单据编号", 130},
                   {"NOTEDATE", "单据日期", 90}, {"AMOUNT", "金额", 90},        {"EMPNAME", "业务员", 70},
                   {"DEPNAME", "部门", 80},     {"OPERATENAME", "制单人", 70},   {"CHKOR", "审核人", 70},
                   {"NOTESTATENAME", "状态", 60}, {"REMARK", "备注", 200}};
    for (const auto &c : columns)
        NoteGrid->AddColumn(QString::fromLatin1(c.field), QString::fromUtf8(c.title), c.width).ReadOnly = true;
    NoteGrid->ColumnsChanged();
    NoteGrid->setItemDelegateForColumn(0, m_tick);
}

void TBatchCheckForm::tickAll(int how)
{
    if (!cdsNotes->Active() || cdsNotes->IsEmpty())
        return;
    data::Field *tick = cdsNotes->FieldByName(QStringLiteral("SELECTED"));
    cdsNotes->DisableControls();
    const auto restore = qScopeGuard([this] { cdsNotes->EnableControls(); });
    for (cdsNotes->First(); !cdsNotes->Eof(); cdsNotes->Next()) {
        cdsNotes->Edit();
        tick->SetValue(how < 0 ? (tick->AsInteger() == 1 ? 0 : 1) : how);
        cdsNotes->Post();
    }
    cdsNotes->First();
}

void TBatchCheckForm::btnSelectClick() { tickAll(1); }
void TBatchCheckForm::btnClearClick() { tickAll(0); }
void TBatchCheckForm::btnCounterClick() { tickAll(-1); }

void TBatchCheckForm::btnCheckClick()
{
    if (m_running)
        return;
    int changed = 0;
    try {
        changed = BatchCheck();
    } catch (const std::exception &e) {
        ShowError(e);
    }
    if (m_ticked > 0)
        ShowInformation((rbChecked->isChecked() ? QStringLiteral("共反审核了%1张单据。") : QStringLiteral("共审核了%1张单据。"))
                            .arg(changed));
    btnQueryClick();
}

TBasenoteForm *TBatchCheckForm::rulesWindow(const QString &form)
{
    auto it = m_rules.constFind(form);
    if (it != m_rules.constEnd())
        return qobject_cast<TBasenoteForm *>(it->data());
    const QString cls = registeredClass(form);
    QWidget *w = cls.isEmpty() ? nullptr : pk_note::CreateFormClass(cls, nullptr);
    auto *window = qobject_cast<TBasenoteForm *>(w);
    if (w && !window)
        delete w;
    m_rules.insert(form, window);
    return window;
}

int TBatchCheckForm::BatchCheck()
{
    m_ticked = 0;
    if (m_running || !cdsNotes->Active() || cdsNotes->IsEmpty())
        return 0;
    const bool check = !rbChecked->isChecked();
    struct Note {
        int type;
        qint64 id;
        QString code;
        QDate date;
        int maker;
        QString table, form;
    };
    QVector<Note> ticked;
    cdsNotes->CheckBrowseMode();
    auto value = [this](int row, const char *name) {
        return cdsNotes->ValueAt(row, cdsNotes->FieldByName(QString::fromLatin1(name))->Index());
    };
    for (int r = 0; r < cdsNotes->RecordCount(); ++r)
        if (value(r, "SELECTED").toInt() == 1)
            ticked.append({value(r, "NOTETYPE").toInt(), value(r, "NOTEID").toLongLong(), value(r, "NOTECODE").toString(),
                           value(r, "NOTEDATE").toDate(), value(r, "OPERATEID").toInt(),
                           value(r, "MASTERTABLE").toString(), value(r, "FORMNAME").toString()});
    m_ticked = int(ticked.size());
    // The rules over all ticked notes come first: nothing is written when one fails.
    const QDate first = GetFirstDayOfPosMonth();
    for (const Note &n : std::as_const(ticked))
        if (n.date.isValid() && n.date < first) {
            ShowError(QStringLiteral("单据[") + n.code + QStringLiteral("]的日期在本业务期间之前,不能对其进行审核或反审核."));
            return 0;
        }
    if (LookupSysParam(QStringLiteral("chkorIsSame")) != QLatin1String("1"))
        for (const Note &n : std::as_const(ticked))
            if (n.maker == g_iUserID) {
                ShowError(QStringLiteral("单据[") + n.code + QStringLiteral("]不允许制单人和审核人为同一个人."));
                return 0;
            }
    // Un-audit goes latest first, undoing in the order things happened: a
    // batch a later note drew on is given back before the note that made it
    // is reversed, and each reversal has the fewest later flow rows to follow.
    if (!check)
        std::reverse(ticked.begin(), ticked.end());
    // While the batch runs only the cancel answers; it stops before the next note.
    m_cancelled = false;
    m_running = true;
    const QList<QWidget *> idle{cmbNoteType, edStartDate, edEndDate, cmbDepartment, cmbEmploy, cmbOperator, cmbChkor,
                                rbChecked, rbUnchecked, btnQuery, btnSelect, btnClear, btnCounter, btnCheck, btnExit,
                                btnShownote, NoteGrid};
    for (QWidget *w : idle)
        w->setEnabled(false);
    btnCancel->setVisible(true);
    const auto done = qScopeGuard([this, idle] {
        m_running = false;
        btnCancel->setVisible(false);
        for (QWidget *w : idle)
            w->setEnabled(true);
    });
    ProgressBar->setRange(0, int(ticked.size()));
    ProgressBar->setValue(0);
    ProgressBar->setFormat(QStringLiteral("%v/%m"));
    QElapsedTimer shown;
    shown.start();
    // Rights, parameters and closed partners are asked of every note: the
    // books answer each question once for the whole batch.
    const SteadyReads steady;
    int changed = 0;
    for (int i = 0; i < ticked.size(); ++i) {
        const Note &n = ticked[i];
        if (m_cancelled)
            break;
        const QString &table = n.table;
        if (table.isEmpty() || !kindsOf(n.type).contains(NoteKind{n.table, n.form})) {
            ShowError(QStringLiteral("内部错误:非法的单据类型."));
            return changed;
        }
        if (!GetUPrivilegeItem(privilegeOf(n.form), 6)) {
            ShowError(QStringLiteral("你没有权限审核单据."));
            return changed;
        }
        if (n.maker != g_iUserID && !GetUPrivilegeItem(2092, 5)) {
            ShowError(QStringLiteral("对不起,你没有审核别人单据的权限!"));
            return changed;
        }
        if (!check && n.type == 74) {
            ShowError(QStringLiteral("储值卡充值单不允许反审核！"));
            return changed;
        }
        // The single note's own rules, as its window applies them, over the
        // master row alone.
        if (TBasenoteForm *rules = rulesWindow(n.form)) {
            if (!rules->LoadNoteRules(int(n.id)))
                continue; // gone meanwhile
            if (!(check ? rules->CanCheckNote() : rules->CanUncheckNote()))
                return changed;
        }
        const QString sql = check ? QStringLiteral("Update ") + table + QStringLiteral(" Set noteState=1, chkorid=")
                                        + QString::number(g_iUserID) + QStringLiteral(" Where noteId=")
                                        + QString::number(n.id) + QStringLiteral("and noteState=0")
                                  : QStringLiteral("Update ") + table + QStringLiteral(" Set noteState=0, chkorid=null")
                                        + QStringLiteral(" Where noteId=") + QString::number(n.id)
                                        + QStringLiteral("and noteState=1");
        // The update and its postings are one transaction: a refused posting
        // leaves this note as it was and stops the batch here. A note someone
        // else changed meanwhile simply does not change.
        try {
            changed += SqlExecute(sql);
        } catch (const std::exception &e) {
            ShowError(QStringLiteral("单据[") + n.code + QStringLiteral("]：") + ExceptionText(e));
            return changed;
        }
        // The bar and the cancel are served a few times a second, not per note.
        if (i == 0 || i + 1 == ticked.size() || shown.elapsed() >= 50) {
            shown.restart();
            ProgressBar->setValue(i + 1);
            ProgressBar->setFormat(QStringLiteral("%v/%m  ") + n.code);
            QCoreApplication::processEvents();
        }
    }
    return changed;
}

void TBatchCheckForm::btnCancelClick() { m_cancelled = true; }

void TBatchCheckForm::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        m_cancelled = true;
        event->ignore();
        return;
    }
    TnoteBootForm::closeEvent(event);
}

void TBatchCheckForm::btnShownoteClick()
{
    if (!cdsNotes->Active() || cdsNotes->IsEmpty())
        return;
    QnParams params;
    params.AddValue(QStringLiteral("NOTEID"), cdsNotes->FieldByName(QStringLiteral("NOTEID"))->AsInteger());
    params.AddValue(QStringLiteral("NOTETYPE"), cdsNotes->FieldByName(QStringLiteral("NOTETYPE"))->AsInteger());
    // A type kept in two windows' tables opens in the window of the row's table.
    params.AddValue(QStringLiteral("FORMNAME"), cdsNotes->FieldByName(QStringLiteral("FORMNAME"))->AsString());
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &params);
}
