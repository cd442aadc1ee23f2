#include "Basenote.h"

#include "KeyboardEntry.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

using data::ClientDataSet;
using data::DataSetState;
using data::Field;
using namespace widgets;

#include "BasenotePrivate.h"

using namespace basenote_detail;

// =========================================================================== construction

// Qt offers a key as ShortcutOverride to the focus widget before it looks at
// the shortcuts, so asking the hook there lets a kind take keys such as F9 or
// Ctrl+N away from the standard actions. The hook is asked once per key.
class TBasenoteForm::ShortcutHook : public QObject {
public:
    explicit ShortcutHook(TBasenoteForm *form) : QObject(form), m_form(form) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        const QEvent::Type type = e->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || (widget != m_form && !m_form->isAncestorOf(widget)))
            return false;
        // Keys travel up from the focus widget to its parents: judge them once,
        // where they are delivered.
        QWidget *target = QApplication::focusWidget();
        if (widget != (target ? target : widget->window()))
            return false;
        auto *key = static_cast<QKeyEvent *>(e);
        const QKeyCombination combination = key->keyCombination();
        if (type == QEvent::KeyPress && m_asked && m_askedKey == combination) {
            // Already offered as ShortcutOverride: swallow it when taken.
            m_asked = false;
            return std::exchange(m_taken, false);
        }
        bool handled = false;
        m_form->HandleShortCut(key, handled);
        if (type == QEvent::ShortcutOverride) {
            m_asked = true;
            m_askedKey = combination;
            m_taken = handled;
            if (handled)
                e->accept(); // the shortcut map then leaves the key alone
            return handled;
        }
        return handled;
    }

private:
    TBasenoteForm *m_form;
    bool m_asked = false;
    bool m_taken = false;
    QKeyCombination m_askedKey;
};

TBasenoteForm::TBasenoteForm(const basenote::Resource &resource, QWidget *owner)
    : TnoteBootForm(QString::fromUtf8(resource.formName), owner), m_resource(&resource)
{
    m_asKeyField = QString::fromLatin1(resource.keyField);
    noteType = resource.noteType;
    if (resource.tableName && *resource.tableName) {
        m_asTableName = QString::fromLatin1(resource.tableName);
        m_bFixedTable = true;
    } else {
        m_asTableName = NoteTypeMasterTable(noteType);
    }
    m_iDesignWidth = resource.size.width();
    m_iDesignHeight = resource.size.height();
    setWindowTitle(QString::fromUtf8(resource.caption));

    buildWindow(resource);
    m_asMasterSelect = qryMaster->SQL();

    m_bReadOnly = false;
    m_bInitMode = false;
    m_iKeyLower = 0;
    m_iKeyUpper = 2147483647;
    m_iCurrentNoteID = kNewNoteID;
    m_bNewNote = false;
    m_bFirstActive = true;
    resize(m_iDesignWidth, m_iDesignHeight);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_asTitle = windowTitle();
    m_bPSequence = LookupSysParam(QStringLiteral("IsPSequence")) == QLatin1String("1");
    m_bSSequence = LookupSysParam(QStringLiteral("IsSSequence")) == QLatin1String("1");
    m_ReadOnlyExempt = {QStringLiteral("btnPrev"),  QStringLiteral("btnNext"),    QStringLiteral("btnOperate"),
                        QStringLiteral("ImgOperate"), QStringLiteral("CheckBtn"), QStringLiteral("SaveAddBtn"),
                        QStringLiteral("OkBtn"),    QStringLiteral("btnTurnIn"),  QStringLiteral("CancelBtn"),
                        QStringLiteral("btnPrint"), QStringLiteral("RptStyleCB"), QStringLiteral("lbAbate"),
                        QStringLiteral("lblTitle"), QStringLiteral("lblPrinted")};
    m_ResourceLookups = resource.lookups;
    AddMasterRule(QStringLiteral("NOTEDATE"), [this](Field &f) { noteDateChanged(f); });
    AddMasterRule(QStringLiteral("EMPID"), [this](Field &f) { empIdChanged(f); });
}

void TBasenoteForm::InitializeForm()
{
    // Runs once, after construction, so the kind's overrides are reached.
    if (m_bInitialized)
        return;
    m_bInitialized = true;
    UpdateCredNoControls();
    OpenOperatorLookup();
    if (palBottom && !palBottom->isHidden()) {
        m_LookupNames << QStringLiteral("qryEmploy") << QStringLiteral("qryDepartment");
        cmbEmp->SetDataSource(dsMaster);
        cmbEmp->SetDataField(QStringLiteral("EMPID"));
        cmbEmp->SetListSource(QStringLiteral("dsEmploy"));
        cmbDepartment->SetDataSource(dsMaster);
        cmbDepartment->SetDataField(QStringLiteral("DEPID"));
        cmbDepartment->SetListSource(QStringLiteral("dsDepartment"));
    }
    m_LookupNames << m_ResourceLookups;
    FindnoteItem->setVisible(LookupSysParam(QStringLiteral("IsStartUse")) == QLatin1String("1"));
    WriteLog(u'T', 200, u'T', windowTitle(), QString(), 1, 0);
    m_bLogged = true;
    m_shortcutHook = new ShortcutHook(this);
}

TBasenoteForm::~TBasenoteForm()
{
    if (m_bLogged)
        WriteLog(u'T', 201, u'T', windowTitle(), QString(), 1, 0);
    ReleaseReservedNoteCode();
    // The data set's events call back into this object: detach them first.
    if (cdsMaster) {
        cdsMaster->AfterOpen = nullptr;
        cdsMaster->AfterScroll = nullptr;
        cdsMaster->BeforePost = nullptr;
        cdsMaster->AfterPost = nullptr;
        cdsMaster->OnCalcFields = nullptr;
        cdsMaster->OnNewRecord = nullptr;
        for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
            cdsMaster->FieldAt(i)->OnChange = nullptr;
            cdsMaster->FieldAt(i)->OnValidate = nullptr;
        }
    }
}

// =========================================================================== helpers

Field *TBasenoteForm::MasterField(const QString &name) const
{
    return cdsMaster && cdsMaster->Active() ? cdsMaster->FindField(name) : nullptr;
}

QVariant TBasenoteForm::MasterValue(const QString &name, const QVariant &defaultValue) const
{
    if (!cdsMaster || !cdsMaster->Active() || cdsMaster->IsEmpty())
        return defaultValue;
    return GetFieldValue(MasterField(name), defaultValue);
}

bool TBasenoteForm::HasPrivilege(int action, bool showMessage)
{
    if (GetUPrivilegeItem(GetPrivilegedFormID(NoteTypeFormName(noteType)), action))
        return true;
    if (showMessage) {
        switch (action) {
        case 1: ShowError(QStringLiteral("对不起,你没有浏览的权限!")); break;
        case 2: ShowError(QStringLiteral("对不起,你没有编辑的权限!")); break;
        case 3: ShowError(QStringLiteral("对不起,你没有打印的权限!")); break;
        case 6: ShowError(QStringLiteral("对不起,你没有审核的权限!")); break;
        case 7: ShowError(QStringLiteral("对不起,你没有作废反作废的权限!")); break;
        default: break;
        }
    }
    return false;
}

bool TBasenoteForm::IsOtherUsersNote()
{
    Field *op = MasterField(QStringLiteral("OPERATEID"));
    if (!op || (cdsMaster->IsEmpty() && cdsMaster->State() != DataSetState::Insert))
        return false;
    return op->AsInteger() != g_iUserID && !GetUPrivilegeItem(2092, 5);
}

bool TBasenoteForm::PeriodIsStartPeriod()
{
    return sysParamInt("PosYear") == sysParamInt("StartYear") && sysParamInt("PosMonth") == sysParamInt("StartMonth");
}

QWidget *TBasenoteForm::controlOfField(const QString &fieldName) const
{
    const QList<QWidget *> all = findChildren<QWidget *>();
    for (QWidget *w : all)
        if (boundField(w).compare(fieldName, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

void TBasenoteForm::rememberYearMonth()
{
    Field *f = MasterField(QStringLiteral("NOTEDATE"));
    m_asLastYearMonth = f && !f->IsNull() ? f->AsDate().toString(QStringLiteral("yyyy-MM-dd")).left(7) : QString();
}

// =========================================================================== read-only

void TBasenoteForm::SetReadOnly(bool readOnly)
{
    m_bReadOnly = readOnly;
    const QList<QWidget *> all = findChildren<QWidget *>();
    for (QWidget *w : all) {
        if (m_ReadOnlyExempt.contains(w->objectName()))
            continue;
        if (auto *control = qobject_cast<widgets::ReadOnlyControl *>(w))
            control->SetReadOnly(readOnly);
    }
}

bool TBasenoteForm::IsNoteReadOnly()
{
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (state == 1 || state == 2)
        return true;
    if (!HasPrivilege(2, false))
        return true;
    if (IsOtherUsersNote())
        return true;
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0)
        return true;
    return NoteDateLocked(false);
}

bool TBasenoteForm::NoteDateLocked(bool showMessage)
{
    auto locked = [showMessage](const QString &message) {
        if (showMessage)
            ShowError(message);
        return true;
    };
    if (m_bInitMode)
        return !PeriodIsStartPeriod();
    Field *date = MasterField(QStringLiteral("noteDate"));
    if (!date)
        return locked(QStringLiteral("本单日期字段未找到，不能保存数据"));
    const QDate noteDate = date->AsDate();
    // Read together: this runs on every note opened.
    const QHash<QString, QString> params =
        LookupSysParams({"StartDate", "PosYear", "PosMonth", "IsBand", "CurrAccYear", "CurrAccMonth"});
    auto number = [&](const char *name) { return params.value(QString::fromLatin1(name)).trimmed().toInt(); };
    const QDate start = QDate::fromString(params.value(QStringLiteral("STARTDATE")).left(10), QStringLiteral("yyyy-MM-dd"));
    if (start.isValid() && noteDate.isValid() && noteDate < start)
        return locked(QStringLiteral("不能录入开帐日期之前发生的业务，不能保存数据。"));
    if (NoteTypeHas(noteType, pk_note::kNoDateLock))
        return false;
    const QDate first(number("POSYEAR"), number("POSMONTH"), 1);
    const QVariant old = date->OldValue();
    const QDate oldDate = old.isNull() ? QDate() : old.toDate();
    if (first.isValid() && ((noteDate.isValid() && noteDate < first) || (oldDate.isValid() && oldDate < first)))
        return locked(QStringLiteral("本单日期在当前进销存期间之前，不能保存对本单所做的修改。"));
    if (number("ISBAND") != 0) {
        const QDate acc(number("CURRACCYEAR"), number("CURRACCMONTH"), 1);
        if (acc.isValid() && noteDate.isValid() && noteDate < acc)
            return locked(QStringLiteral("本单日期在当前会计期间之前，不能保存对本单所做的修改。"));
    }
    return false;
}

void TBasenoteForm::HandleShortCut(QKeyEvent *, bool &) {}

bool TBasenoteForm::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == edRemark && e->type() == QEvent::KeyPress)
        RemarkKeyDown(static_cast<QKeyEvent *>(e));
    return TnoteBootForm::eventFilter(watched, e);
}

// =========================================================================== opening

bool TBasenoteForm::ShowLatestOrRefuse()
{
    const int last = LastNoteID();
    if (last != 0)
        return LoadNote(last);
    ShowError(NoteTypeNothingToView(noteType));
    return false;
}

bool TBasenoteForm::AppendBlankNote()
{
    if (NoteTypeHas(noteType, pk_note::kViewOnly)) {
        ShowLatestOrRefuse();
        return false;
    }
    if (!HasPrivilege(2, false))
        return false;
    if (m_bInitMode && LookupSysParam(QStringLiteral("IsStartUse")) == QLatin1String("1")) {
        const int last = LastNoteID();
        if (last != 0) {
            LoadNote(last);
        } else if (noteType == 3) {
            ShowError(QStringLiteral("没有估价入库初始化的单据可以查看。"));
        } else if (noteType == 13) {
            ShowError(QStringLiteral("没有委托代销初始化的单据可以查看。"));
        }
        return false;
    }
    if (!QuerySaveChanges())
        return false;
    if (!cdsMaster->Active() && !OpenNoteQuery(QStringLiteral(" where m.") + m_asKeyField + QStringLiteral("=")
                                               + QString::number(kNewNoteID)))
        return false;
    BeforeAppendNote();
    try {
        cdsMaster->Append();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bModifiedAtSave = false;
    AfterAppendNote();
    ShowNote();
    return true;
}

bool TBasenoteForm::OpenNoteQuery(const QString &where)
{
    loadPrintTemplates();
    if (!QuerySaveChanges())
        return false;
    ReleaseReservedNoteCode(); // an abandoned new note gives its number back
    // The controls show the note once, when it is open, not at the close,
    // the open and each move in between.
    struct ControlsQuiet {
        ClientDataSet *ds;
        explicit ControlsQuiet(ClientDataSet *d) : ds(d) { ds->DisableControls(); }
        ~ControlsQuiet() { ds->EnableControls(); }
    } quiet(cdsMaster);
    try {
        cdsMaster->Close();
        if (!m_bFixedTable)
            m_asTableName = NoteTypeMasterTable(noteType);
        m_asMasterWhere = where;
        qryMaster->SetSQL(GetMasterSql());
        cdsMaster->SetCommandText(qryMaster->SQL());
        BeforeOpenNote();
        for (const QString &name : std::as_const(m_LookupNames))
            OpenLookupDataSet(name);
        HookMasterEvents();
        cdsMaster->Open();
        for (int i = 0; i < cdsMaster->FieldCount(); ++i)
            cdsMaster->FieldAt(i)->SetReadOnly(false);
        cdsMaster->Last();
        cdsMaster->First();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bModifiedAtSave = false;
    m_bNewNote = false;
    return true;
}

void TBasenoteForm::ReloadNote()
{
    LoadNote(int(MasterValue(m_asKeyField, kNewNoteID).toLongLong()));
}

bool TBasenoteForm::NewNote()
{
    if (m_bInitMode && !PeriodIsStartPeriod())
        return LoadNote(LastNoteID());
    if (NoteTypeHas(noteType, pk_note::kViewOnly))
        return ShowLatestOrRefuse();
    if (!HasPrivilege(2, false))
        return false;
    return LoadNote(kNewNoteID);
}

bool TBasenoteForm::LoadNote(int id)
{
    dsMaster->SetEnabled(true); // after a rules-only load
    if (!OpenNoteQuery(QStringLiteral(" where m.") + m_asKeyField + QStringLiteral("=") + QString::number(id)))
        return false;
    if (cdsMaster->IsEmpty())
        return AppendBlankNote();
    ShowNote();
    // One's own notes need no right to be seen: no question to the books then.
    if (MasterValue(QStringLiteral("OPERATEID"), 0).toInt() != g_iUserID && !GetUPrivilegeItem(2091, 5))
        return AppendBlankNote();
    return true;
}

bool TBasenoteForm::LoadNoteRules(int id)
{
    // One statement text for every note, so the layer keeps it prepared.
    const QString where = QStringLiteral(" where m.") + m_asKeyField + QStringLiteral("=:RULESNOTEID");
    // The controls stop following the master (they would redraw for every
    // note asked); the next LoadNote brings them back.
    dsMaster->SetEnabled(false);
    try {
        cdsMaster->Close();
        if (!m_bFixedTable)
            m_asTableName = NoteTypeMasterTable(noteType);
        m_asMasterWhere = where;
        const QString sql = GetMasterSql();
        qryMaster->SetSQL(sql);
        cdsMaster->SetCommandText(sql);
        cdsMaster->SetParam(QStringLiteral("RULESNOTEID"), id);
        const auto forget = qScopeGuard([this] { cdsMaster->Params().remove(QStringLiteral("RULESNOTEID")); });
        cdsMaster->Open();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    m_bModifiedAtSave = false;
    m_bNewNote = false;
    m_iCurrentNoteID = int(MasterValue(m_asKeyField, kNewNoteID).toLongLong());
    return m_iCurrentNoteID == id;
}

void TBasenoteForm::ShowNoteProperties()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("NotePropertiesDialog"));
    dialog.setWindowTitle(QStringLiteral("单据属性"));
    auto *form = new QFormLayout(&dialog);
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    const QString stateText = state == 1 ? QStringLiteral("审核") : state == 2 ? QStringLiteral("作废") : QStringLiteral("待审核");
    const QVariant updated = MasterValue(QStringLiteral("UPDATETIME"));
    form->addRow(QStringLiteral("单据类型"), new QLabel(NoteTypeName(noteType), &dialog));
    form->addRow(QStringLiteral("单据号码"), new QLabel(MasterValue(QStringLiteral("NOTECODE")).toString(), &dialog));
    form->addRow(QStringLiteral("内部编号"), new QLabel(QString::number(m_iCurrentNoteID), &dialog));
    form->addRow(QStringLiteral("数据表"), new QLabel(m_asTableName, &dialog));
    form->addRow(QStringLiteral("状态"), new QLabel(stateText, &dialog));
    form->addRow(QStringLiteral("开单"), new QLabel(MasterValue(QStringLiteral("OPERATENAME")).toString(), &dialog));
    form->addRow(QStringLiteral("审核"), new QLabel(MasterValue(QStringLiteral("chkor")).toString(), &dialog));
    form->addRow(QStringLiteral("最后修改"),
                 new QLabel(updated.isNull() ? QString() : updated.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                            &dialog));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    form->addRow(buttons);
    ShowModal(&dialog);
}

// =========================================================================== master events

void TBasenoteForm::MasterAfterOpen(ClientDataSet &) { HookMasterFields(); }
void TBasenoteForm::MasterAfterScroll(ClientDataSet &) {}

void TBasenoteForm::MasterBeforePost(ClientDataSet &dataSet)
{
    Field *key = dataSet.FindField(m_asKeyField);
    m_iCurrentNoteID = key && !key->IsNull() ? int(key->AsInteger()) : kNewNoteID;
}

void TBasenoteForm::MasterAfterPost(ClientDataSet &) {}

void TBasenoteForm::MasterCalcFields(ClientDataSet &dataSet)
{
    auto fill = [&dataSet](const char *calcName, const char *idName) {
        Field *calc = dataSet.FindField(QString::fromLatin1(calcName));
        Field *id = dataSet.FindField(QString::fromLatin1(idName));
        if (calc && calc->Calculated() && id && !id->IsNull())
            calc->SetValue(LookupData(pub::RecordOperator, id->AsInteger(), QStringLiteral("OPERATENAME")));
    };
    fill("OPERATENAME", "OPERATEID");
    fill("chkor", "CHKORID");
}

void TBasenoteForm::MasterNewRecord(ClientDataSet &dataSet)
{
    InitNewNote(dataSet);
    if (AutoNoteCodeOn())
        reserveNoteCode();
}

void TBasenoteForm::InitNewNote(ClientDataSet &dataSet)
{
    auto set = [&dataSet](const char *name, const QVariant &value) {
        Field *f = dataSet.FindField(QString::fromLatin1(name));
        if (f && !f->Calculated())
            SetFieldValueSilent(f, value);
    };
    set("NOTEID", kNewNoteID);
    if (m_asKeyField.compare(QLatin1String("NOTEID"), Qt::CaseInsensitive) != 0)
        set(m_asKeyField.toLatin1().constData(), kNewNoteID);
    QDate date;
    if (m_bInitMode)
        date = GetFirstDayOfPosMonth().addDays(-1);
    else
        date = std::max(GetFirstDayOfPosMonth(), g_NewnoteTime);
    set("noteDate", date);
    set("NOTECODE", NewNoteCode(noteType, date, m_asTableName));
    set("OPERATEID", g_iUserID);
    set("OPERATENAME", LookupData(pub::RecordOperator, g_iUserID, QStringLiteral("OPERATENAME")));
    set("upflag", 0);
    set("CLOSED", false);
    set("NOTESTATE", 0);
    set("SHOPERATEID", 0);
    set("NOTEKIND", 1);
    set("AMOUNT", 0);
    set("REFERAMT", 0);
    set("REFERCOUNT", 0);
}

void TBasenoteForm::noteDateChanged(Field &field)
{
    if (field.IsNull())
        return;
    const QDate date = field.AsDate();
    if (!date.isValid()) {
        ShowError(QStringLiteral("日期格式错误！"));
        return;
    }
    const QString yearMonth = date.toString(QStringLiteral("yyyy-MM-dd")).left(7);
    if (yearMonth == m_asLastYearMonth)
        return;
    if (!m_asReservedCode.isEmpty() && AutoNoteCodeOn())
        reserveNoteCode(); // the new month's number, the old one given back
    else
        SetFieldValueSilent(MasterField(QStringLiteral("NOTECODE")), NewNoteCode(noteType, date, m_asTableName));
    m_asLastYearMonth = yearMonth;
}

void TBasenoteForm::empIdChanged(Field &field)
{
    if (NoteTypeHas(noteType, pk_note::kEmployeeKeepsDepartment))
        return;
    Field *dep = MasterField(QStringLiteral("DEPID"));
    if (!dep)
        return;
    const QVariant d = field.IsNull() ? QVariant()
                                      : scalarOf(QStringLiteral("select depid from employlth where EmpID=") + idText(field.Value()));
    SetFieldValue(dep, d);
}

void TBasenoteForm::MasterFieldChange(Field &field)
{
    m_masterRules.Run(field);
    m_bModifiedAtSave = true;
}

void TBasenoteForm::MasterFieldValidate(Field &) {}

QString TBasenoteForm::GetMasterSql() { return m_asMasterSelect + m_asMasterWhere; }

void TBasenoteForm::HookMasterEvents()
{
    cdsMaster->AfterOpen = [this](ClientDataSet &d) { MasterAfterOpen(d); };
    cdsMaster->AfterScroll = [this](ClientDataSet &d) { MasterAfterScroll(d); };
    cdsMaster->BeforePost = [this](ClientDataSet &d) { MasterBeforePost(d); };
    cdsMaster->AfterPost = [this](ClientDataSet &d) { MasterAfterPost(d); };
    cdsMaster->OnCalcFields = [this](ClientDataSet &d) { MasterCalcFields(d); };
    cdsMaster->OnNewRecord = [this](ClientDataSet &d) { MasterNewRecord(d); };
}

void TBasenoteForm::applyFieldDefinitions()
{
    for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
        Field *f = cdsMaster->FieldAt(i);
        const auto it = m_fieldDefinitions.constFind(f->FieldName().toUpper());
        if (it == m_fieldDefinitions.constEnd())
            continue;
        if (!it->caption.isEmpty())
            f->SetDisplayLabel(it->caption);
        if (it->required)
            f->SetRequired(true);
        if (!it->displayFormat.isEmpty())
            f->SetDisplayFormat(it->displayFormat);
    }
}

void TBasenoteForm::HookMasterFields()
{
    applyFieldDefinitions();
    m_masterRules.Resolve(*cdsMaster);
    for (int i = 0; i < cdsMaster->FieldCount(); ++i) {
        Field *f = cdsMaster->FieldAt(i);
        if (f->Calculated())
            continue;
        f->OnChange = [this](Field &field) {
            // A failing rule is shown; the typed value stays.
            try {
                MasterFieldChange(field);
                UpdateControlStates(m_masterRules.UpperName(field));
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
        f->OnValidate = [this](Field &field) { MasterFieldValidate(field); };
    }
}

void TBasenoteForm::BeforeAppendNote() {}
void TBasenoteForm::AfterAppendNote() { m_bNewNote = true; }
void TBasenoteForm::BeforeOpenNote() {}

// =========================================================================== showing

void TBasenoteForm::ShowNote()
{
    m_iCurrentNoteID = int(MasterValue(m_asKeyField, kNewNoteID).toLongLong());
    rememberYearMonth();
    const QVariant style = RptStyleCB->KeyValue();
    if (style.isNull() || style.toInt() == 0)
        RptStyleCB->setKeyValue(6000 + noteType);
    SetReadOnly(IsNoteReadOnly());
    UpdateControlStates(QString());
    QWidget *first = m_firstControl;
    if (!first || !first->isEnabled())
        first = DateDBEdit;
    if (first && isVisible())
        first->setFocus();
}

void TBasenoteForm::UpdateControlStates(const QString &fieldName)
{
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (fieldName.isEmpty() || fieldName == QLatin1String("NOTESTATE")) {
        CheckBtn->setEnabled(state != 2);
        CheckBtn->setText(state == 1 ? QStringLiteral("反审核(&O)") : QStringLiteral("审核(&O)"));
        CheckBtn->setShortcut(QKeySequence());
        muAbate->setEnabled(state != 1);
        muAbate->setText(state == 2 ? QStringLiteral("反作废") : QStringLiteral("作废"));
        lbAbate->setText(state == 2 ? QStringLiteral("作废") : QStringLiteral("审核"));
        spAbate->setVisible(state == 1 || state == 2);
        lbAbate->setVisible(state == 1 || state == 2);
    }
    if (!fieldName.isEmpty())
        return;
    muDelete->setEnabled(!m_bReadOnly && state != 1 && state != 2);
    DateDBEdit->setEnabled(!m_bReadOnly && !m_bInitMode);
    edoperatename->SetReadOnly(true);
    edchkor->SetReadOnly(true);
    for (const char *name : {"lbnoteKind", "cmbnoteKind"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setEnabled(m_bNewNote);
    UpdatePrintedLabel();
    if (Field *shop = MasterField(QStringLiteral("shoperateid"))) {
        const int id = int(shop->AsInteger());
        const QString name = id == 0 ? QStringLiteral("总部")
                                     : LookupData(pub::RecordShop, id, QStringLiteral("NAME")).toString();
        lbShoperatename->setText(QStringLiteral("机构名称  ") + name);
    }
}

void TBasenoteForm::SelectSourceNote() { ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable)); }

void TBasenoteForm::OpenOperatorLookup() { m_LookupNames << QStringLiteral("qryOperator"); }

void TBasenoteForm::UpdateCredNoControls()
{
    const bool band = LookupSysParam(QStringLiteral("IsBand")) == QLatin1String("1");
    for (const char *name : {"lbCredNo", "edCredNo"})
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(name)))
            w->setVisible(band);
}

// =========================================================================== init mode and messages

void TBasenoteForm::SetInitMode(bool initMode)
{
    if (initMode == m_bInitMode)
        return;
    m_bInitMode = initMode;
    if (initMode) {
        m_iKeyLower = -2147483647;
        m_iKeyUpper = 0;
    } else {
        m_iKeyLower = 0;
        m_iKeyUpper = 2147483647;
    }
    DateDBEdit->setEnabled(!initMode);
    const QString caption = initMode ? m_asTitle + QStringLiteral("初始化") : m_asTitle;
    setWindowTitle(caption);
    lblTitle->setText(caption);
    pk_note::NotifyNoteFormChanged(this);
}

long TBasenoteForm::noteMessage(int message, qlonglong wParam, qlonglong lParam)
{
    TnoteBootForm::noteMessage(message, wParam, lParam);
    switch (message) {
    case pk_note::NM_NOTEREFRESH:
        if (QuerySaveChanges()) {
            SetInitMode(wParam != 0);
            ReloadNote();
        }
        return pk_note::S_OK;
    case pk_note::NM_NOTEOPEN:
        QuerySaveChanges();
        SetInitMode(wParam != 0);
        if (HasPrivilege(2, false)) {
            NewNote();
        } else if (HasPrivilege(1, false)) {
            LoadNote(LastNoteID());
        } else {
            ShowError(QStringLiteral("对不起,你没有编辑和浏览的权限."));
            return pk_note::E_FAIL;
        }
        return pk_note::S_OK;
    case pk_note::NM_NOTELOCATE:
        QuerySaveChanges();
        SetInitMode(wParam != 0);
        LoadNote(int(lParam));
        return pk_note::S_OK;
    default:
        return pk_note::S_OK;
    }
}

// =========================================================================== navigation

int TBasenoteForm::navigationQuery(const QString &aggregate, const QString &comparison, int id)
{
    QString sql = QStringLiteral("Select ") + aggregate + QStringLiteral("(") + m_asKeyField + QStringLiteral(") from ")
                  + m_asTableName + QStringLiteral(" Where ");
    if (!comparison.isEmpty())
        sql += m_asKeyField + comparison + QString::number(id) + QStringLiteral(" and ");
    sql += m_asKeyField + QStringLiteral(" > ") + QString::number(m_iKeyLower) + QStringLiteral(" and ") + m_asKeyField
           + QStringLiteral(" < ") + QString::number(m_iKeyUpper);
    if (!GetUPrivilegeItem(2091, 5))
        sql += QStringLiteral(" and operateid=") + QString::number(g_iUserID);
    try {
        return scalarOf(sql).toInt();
    } catch (const std::exception &e) {
        ShowError(e);
        return 0;
    }
}

int TBasenoteForm::LastNoteID() { return navigationQuery(m_bInitMode ? QStringLiteral("min") : QStringLiteral("max"), {}, 0); }
int TBasenoteForm::FirstNoteID() { return navigationQuery(m_bInitMode ? QStringLiteral("max") : QStringLiteral("min"), {}, 0); }

int TBasenoteForm::PriorNoteID(int id)
{
    return m_bInitMode ? navigationQuery(QStringLiteral("min"), QStringLiteral(">"), id)
                       : navigationQuery(QStringLiteral("max"), QStringLiteral("<"), id);
}

int TBasenoteForm::NextNoteID(int id)
{
    return m_bInitMode ? navigationQuery(QStringLiteral("max"), QStringLiteral("<"), id)
                       : navigationQuery(QStringLiteral("min"), QStringLiteral(">"), id);
}

bool TBasenoteForm::NextNote()
{
    if (!QuerySaveChanges())
        return false;
    if (m_bNewNote)
        return AppendBlankNote();
    const int next = NextNoteID(m_iCurrentNoteID);
    if (next != 0)
        return LoadNote(next);
    if (m_bInitMode && !PeriodIsStartPeriod())
        return false;
    if (NoteTypeHas(noteType, pk_note::kViewOnly))
        return false;
    if (GetUPrivilegeItem(2000 + noteType, 2))
        return LoadNote(kNewNoteID);
    ReloadNote();
    return false;
}

bool TBasenoteForm::PriorNote()
{
    if (m_bNewNote)
        return LastNote();
    if (!QuerySaveChanges())
        return false;
    const int prior = PriorNoteID(m_iCurrentNoteID);
    return prior != 0 && LoadNote(prior);
}

bool TBasenoteForm::FirstNote()
{
    if (!QuerySaveChanges())
        return false;
    const int first = FirstNoteID();
    return first != 0 && LoadNote(first);
}

bool TBasenoteForm::LastNote()
{
    const int last = LastNoteID();
    if (last == 0)
        return false;
    if (!QuerySaveChanges())
        return false;
    return LoadNote(last);
}

// =========================================================================== window

void TBasenoteForm::LoadFormSize()
{
    const QString cls = QString::fromLatin1(metaObject()->className()).toUpper();
    QWidget *frame = isWindow() || !parentWidget() ? this : parentWidget();
    const int w = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::WIDTH"), 0);
    const int h = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::HEIGHT"), 0);
    if (w <= 0 || h <= 0)
        return;
    const int l = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::LEFT"), frame->x());
    const int t = ReadIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::TOP"), frame->y());
    frame->setGeometry(l, t, w, h);
}

void TBasenoteForm::SaveFormSize()
{
    // The kind's class name, taken while the object was whole: a window never
    // shown has no size worth keeping.
    const QString cls = m_asClassName;
    if (cls.isEmpty() || !FormSizesKept())
        return;
    QWidget *frame = isWindow() || !parentWidget() ? this : parentWidget();
    try {
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::LEFT"), frame->x());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::TOP"), frame->y());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::WIDTH"), frame->width());
        WriteIniInt(kSystemIni, kFormSizeSection, cls + QStringLiteral("::HEIGHT"), frame->height());
    } catch (const std::exception &) {
        // A read-only program folder must not keep a window from closing.
    }
}

void TBasenoteForm::RemarkKeyDown(QKeyEvent *) {}

void TBasenoteForm::showEvent(QShowEvent *e)
{
    TnoteBootForm::showEvent(e);
    if (m_bFirstActive) {
        m_bFirstActive = false;
        m_asClassName = QString::fromLatin1(metaObject()->className()).toUpper();
        keyboard::Install(this);
        LoadFormSize();
    }
}

void TBasenoteForm::closeEvent(QCloseEvent *e)
{
    setFocus(); // pending control edits reach their fields
    if (g_bForceCloseForm) {
        SaveFormSize();
        e->accept();
        return;
    }
    if (!QuerySaveChanges()) {
        e->ignore();
        return;
    }
    ReleaseReservedNoteCode();
    // While the kind is whole: its class name keys the remembered size.
    SaveFormSize();
    e->accept();
}

// =========================================================================== published handlers

namespace {

// A handler is where the toolkit calls in: nothing may pass it, or the
// application ends. What a step could not do is shown instead.
template <class Action>
void guarded(Action &&action)
{
    try {
        action();
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

} // namespace

bool TBasenoteForm::saveWithStatus()
{
    return keyboard::Run(this, [this] { return SaveNote(); }, QStringLiteral("单据[%1]已保存。"));
}

void TBasenoteForm::OkBtnClick()
{
    guarded([this] { saveWithStatus(); });
}

void TBasenoteForm::SaveAddBtnClick()
{
    guarded([this] {
        if (saveWithStatus())
            NewNote();
    });
}

void TBasenoteForm::CancelBtnClick()
{
    guarded([this] {
        if (QuerySaveChanges())
            close();
    });
}

void TBasenoteForm::CheckBtnClick()
{
    guarded([this] {
        if (IsNoteModified()) {
            if (ShowYesNoQuestion(QStringLiteral("审核前必须先保存单据, 是否继续?")) != AnswerYes)
                return;
            if (!saveWithStatus())
                return;
        }
        if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1) {
            if (keyboard::Run(this, [this] { return CheckNote(); }, QStringLiteral("单据[%1]已审核。"))) {
                UpdateControlStates(QString());
                NextNote();
            }
        } else if (keyboard::Run(this, [this] { return UncheckNote(); }, QStringLiteral("单据[%1]已反审核。"))) {
            UpdateControlStates(QString());
        }
    });
}

void TBasenoteForm::muAbateClick()
{
    guarded([this] {
        if (IsNoteModified()) {
            if (ShowYesNoQuestion(QStringLiteral("作废前必须先保存单据, 是否继续?")) != AnswerYes)
                return;
            if (!SaveNote())
                return;
        }
        const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
        if (state == 1)
            return;
        if (state == 2 ? UnabateNote() : AbateNote())
            UpdateControlStates(QString());
    });
}

void TBasenoteForm::muAppendClick() { guarded([this] { NewNote(); }); }
void TBasenoteForm::muDeleteClick() { guarded([this] { DeleteNote(); }); }
void TBasenoteForm::muNextClick() { guarded([this] { NextNote(); }); }
void TBasenoteForm::btnPrevClick() { guarded([this] { PriorNote(); }); }
void TBasenoteForm::muFirstClick() { guarded([this] { FirstNote(); }); }
void TBasenoteForm::muLastClick() { guarded([this] { LastNote(); }); }

void TBasenoteForm::muRefreshClick()
{
    guarded([this] {
        if (QuerySaveChanges())
            ReloadNote();
    });
}

void TBasenoteForm::muSelectnoteClick() { guarded([this] { SelectSourceNote(); }); }
void TBasenoteForm::btnPropertyClick() { guarded([this] { ShowNoteProperties(); }); }

void TBasenoteForm::btnFindClick()
{
    guarded([this] {
        if (!pk_note::FormClassFactory(QStringLiteral("TFindnoteForm")))
            return ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
        QnParams params;
        params.AddValue(QStringLiteral("NOTETYPE"), noteType);
        GlobalCall(QStringLiteral("FINDNOTE"), QString(), &params);
    });
}

void TBasenoteForm::PrintPMItemClick() { guarded([this] { PrintNote(true); }); }
void TBasenoteForm::PrintPreviewPMItemClick() { guarded([this] { PrintNote(false); }); }

void TBasenoteForm::muClonenoteClick()
{
    guarded([this] {
        if (!CanCloneNote()) {
            ShowError(QStringLiteral("本单据不能进行复制."));
            return;
        }
        const int id = m_iCurrentNoteID;
        if (QuerySaveChanges())
            CloneNote(id);
    });
}
