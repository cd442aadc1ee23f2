#include "Pk_note_itf.h"

#include "DataAccess.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"

#include <QApplication>
#include <QMdiArea>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QWidget>

#include <memory>

using namespace pk_note;

namespace pk_note {

QString InternalErrorText(const QString &condition, const QString &where)
{
    return QStringLiteral("内部错误: ") + condition + QStringLiteral("\n发生在: ") + where;
}

bool MakeMdiChild(QWidget *window)
{
    QnParams p;
    p.AddValue(QStringLiteral("FORM"), QnVariant(static_cast<QObject *>(window)));
    GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &p);
    return p.FindValue(QStringLiteral("RESULT")) && p.GetValue(QStringLiteral("RESULT")).toBool();
}

namespace {

QMdiSubWindow *mdiFrame(QWidget *window)
{
    return window ? qobject_cast<QMdiSubWindow *>(window->parentWidget()) : nullptr;
}

// Frees a window together with its MDI frame.
void freeWindow(QWidget *window)
{
    if (QMdiSubWindow *frame = mdiFrame(window))
        delete frame;
    else
        delete window;
}

} // namespace

void ShowWindow(QWidget *window)
{
    if (QMdiSubWindow *frame = mdiFrame(window))
        frame->show();
    window->show();
    BringToFront(window, false);
}

void BringToFront(QWidget *window, bool restore)
{
    QMdiSubWindow *frame = mdiFrame(window);
    QWidget *outer = frame ? static_cast<QWidget *>(frame) : window;
    if (restore && outer->isMinimized())
        outer->setWindowState(outer->windowState() & ~Qt::WindowMinimized);
    outer->raise();
    if (frame && frame->mdiArea())
        frame->mdiArea()->setActiveSubWindow(frame);
    else if (outer->isVisible())
        outer->activateWindow();
}

bool OpenNoteFromSource(const QString &formName, int sourceNoteType, qint64 sourceNoteId)
{
    std::unique_ptr<QWidget> window(GetPrivilegedForm(formName, 1));
    if (!window)
        return false;
    auto *loader = dynamic_cast<ISourceNoteLoader *>(window.get());
    if (!loader) {
        ShowInformation(QString::fromUtf8(kNotYetAvailable));
        return false;
    }
    if (!loader->LoadForSource(sourceNoteType, sourceNoteId))
        return false;
    QWidget *w = window.release();
    w->setAttribute(Qt::WA_DeleteOnClose);
    MakeMdiChild(w);
    ShowWindow(w);
    return true;
}

} // namespace pk_note

QWidget *FindOpenForm(const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    const QString key = name.toUpper();
    // A window closed a moment ago waits to be freed (a script may ask for
    // its form again at once): it is no longer open.
    const auto closed = [](const QWidget *w) { return w->testAttribute(Qt::WA_DeleteOnClose) && w->isHidden(); };
    const QWidgetList tops = QApplication::topLevelWidgets();
    for (QWidget *top : tops)
        if (top->objectName().toUpper() == key && !closed(top))
            return top;
    for (QWidget *top : tops)
        for (QMdiSubWindow *frame : top->findChildren<QMdiSubWindow *>())
            if (QWidget *w = frame->widget();
                w && w->objectName().toUpper() == key && !frame->isHidden() && (frame->isMinimized() || !closed(w)))
                return w;
    // Host forms may live docked in the main window (the navigator does).
    for (QWidget *top : tops)
        for (QDockWidget *dock : top->findChildren<QDockWidget *>())
            if (QWidget *w = dock->widget(); w && w->objectName().toUpper() == key)
                return w;
    return nullptr;
}

namespace {

const QString kParamsNotNull = QStringLiteral("params != NULL");
const QString kNoteCall = QStringLiteral("note_Call");

bool modalOf(const QnParams *params)
{
    return params && params->FindValue(QStringLiteral("SHOWMODAL")) &&
           params->GetValue(QStringLiteral("SHOWMODAL")).toBool();
}

// Opens a document window: reuses an open one or asks the host for a new one,
// sends it `message`; a refusal frees it unshown.
void openNoteWindow(const QString &name, bool modal, int message, qintptr wParam, qintptr lParam,
                    bool restoreOpen)
{
    if (name.isEmpty())
        return;
    if (QWidget *open = FindOpenForm(name)) {
        BringToFront(open, restoreOpen);
        if (Failed(SendNoteMessage(open, message, wParam, lParam)))
            freeWindow(open);
        else
            ShowWindow(open);
        return;
    }
    std::unique_ptr<QWidget> window(GetPrivilegedForm(name, 1));
    if (!window)
        return;
    if (Failed(SendNoteMessage(window.get(), message, wParam, lParam)))
        return;
    if (modal) {
        ShowModal(window.get());
        return;
    }
    QWidget *w = window.release();
    w->setAttribute(Qt::WA_DeleteOnClose);
    MakeMdiChild(w);
    ShowWindow(w);
}

void showForm(const QString &name, bool modal) { openNoteWindow(name, modal, NM_NOTEOPEN, 0, 0, true); }

void showInitForm(const QString &name, bool modal)
{
    if (QWidget *open = FindOpenForm(name)) {
        BringToFront(open, false);
        return;
    }
    openNoteWindow(name, modal, NM_NOTEOPEN, 1, 0, true);
}

// The window of a type kept in two tables (22, 23) whose table holds the
// note: their keys come from one counter, so the id alone tells (a flow row
// knows only type and id). Otherwise the type's window.
QString formHoldingNote(int noteType, qint64 noteId)
{
    static const struct {
        int type;
        const char *table, *form;
    } kinds[] = {{22, "OtherInith", "SpecialInForm"}, {22, "BrowIn", "BrowInForm"},
                 {23, "OtherOutith", "SpecialOutForm"}, {23, "BrowOut", "BrowOutForm"}};
    for (const auto &k : kinds) {
        QVariant found;
        if (k.type == noteType && noteId > 0
            && GetValueOfSql(QStringLiteral("select 1 from %1 where NOTEID=%2").arg(QLatin1String(k.table)).arg(noteId), found))
            return QLatin1String(k.form);
    }
    return NoteTypeFormName(noteType);
}

long locateNote(QnParams *params)
{
    const QString missing = InternalErrorText(QStringLiteral("LOCATENOTE 需要整数参数 NOTEID 和 NOTETYPE"), kNoteCall);
    if (!params || !params->FindValue(QStringLiteral("NOTEID")) || !params->FindValue(QStringLiteral("NOTETYPE"))) {
        ShowError(missing);
        return E_FAIL;
    }
    qint64 noteId = 0;
    int noteType = 0;
    try {
        noteId = params->GetValue(QStringLiteral("NOTEID")).toInt64();
        noteType = params->GetValue(QStringLiteral("NOTETYPE")).toInt();
    } catch (const PubError &) {
        ShowError(missing);
        return E_FAIL;
    }
    const bool modal = modalOf(params);
    // A type kept in two windows' tables (22, 23) is opened in the window the caller names.
    QString name = params->FindValue(QStringLiteral("FORMNAME"))
                       ? params->GetValue(QStringLiteral("FORMNAME"), QnVariant()).toString()
                       : formHoldingNote(noteType, noteId);
    if (!NoteTypeHasForm(noteType, name))
        name = NoteTypeFormName(noteType);
    name = BuiltFormOfType(noteType, name);
    if (noteId > 0)
        openNoteWindow(name, modal, NM_NOTELOCATE, 0, qintptr(noteId), false);
    else if (noteId < 0)
        openNoteWindow(name, modal, NM_NOTELOCATE, 1, qintptr(noteId), true);
    return S_OK;
}

void showAsMdiChild(QWidget *window)
{
    window->setAttribute(Qt::WA_DeleteOnClose);
    MakeMdiChild(window);
    ShowWindow(window);
}

void findNote(QnParams *params)
{
    int noteType = 1;
    if (params && params->FindValue(QStringLiteral("NOTETYPE")))
        noteType = params->GetValue(QStringLiteral("NOTETYPE")).toInt();
    if (noteType <= 0)
        return;
    QWidget *finder = GetPrivilegedForm(QStringLiteral("FindnoteForm"), 5);
    if (!finder)
        return;
    if (auto *f = dynamic_cast<INoteFinder *>(finder))
        f->SelectNoteType(noteType);
    showAsMdiChild(finder);
}

void showModalAndFree(QWidget *window)
{
    std::unique_ptr<QWidget> owned(window);
    if (owned)
        ShowModal(owned.get());
}

data::ClientDataSet *dataSetOf(QObject *combo, const char *property)
{
    auto *source = qobject_cast<data::DataSource *>(combo->property(property).value<QObject *>());
    return source ? source->DataSet() : nullptr;
}

// Module variables of the picker and template windows: live during one call only.
QWidget *s_templateForm = nullptr;
QWidget *s_picker = nullptr;

struct ResetOnExit {
    QWidget *&pointer;
    ~ResetOnExit() { pointer = nullptr; }
};

// The print-template combo: "tag", "listSource" and "dataSource"
// (data::DataSource), "keyValue" and "text".
void pickTemplate(QnParams *params)
{
    const WindowFactory factory = FormClassFactory(QStringLiteral("TparentSamForm"));
    if (!params || !factory)
        return;
    std::unique_ptr<QWidget> form;
    ResetOnExit reset{s_templateForm};
    try {
        QObject *combo = params->GetValue(QStringLiteral("AComboBox"), QnVariant()).toObject();
        if (!combo)
            return;
        form.reset(factory(nullptr));
        s_templateForm = form.get();
        if (!form)
            return;
        if (auto *manager = dynamic_cast<ITemplateManager *>(form.get()))
            manager->SetTemplateCombo(combo->property("tag").toInt(), combo);
        const int result = ShowModal(form.get());
        data::ClientDataSet *list = dataSetOf(combo, "listSource");
        if (!list)
            return;
        list->Close();
        list->Open();
        if (result != 1 && result != 2)
            return;
        if (result == 1)
            list->Last();
        else
            list->First();
        if (data::ClientDataSet *own = dataSetOf(combo, "dataSource"))
            own->Edit();
        combo->setProperty("keyValue", int(list->FieldByName(QStringLiteral("PRINTTEMPLATEID"))->AsInteger()));
        combo->setProperty("text", list->FieldByName(QStringLiteral("Name"))->AsString());
    } catch (...) {
        // The template manager's failures end the pick silently.
    }
}

void pickCommodity(QnParams *params)
{
    if (!params)
        return;
    QObject *combo = params->GetValue(QStringLiteral("AProDBLookupGridCombo"), QnVariant()).toObject();
    for (QObject *o = combo ? combo->parent() : nullptr; o; o = o->parent())
        if (auto *host = dynamic_cast<ICommodityPickHost *>(o)) {
            QObject *source = combo->property("dataSource").value<QObject *>();
            host->PickCommodity(source && source == host->DetailDataSource());
            return;
        }
}

void pickPartner(QnParams *params, const QString &className, const QString &caption)
{
    if (!params)
        return;
    // Without a field (a script, notectl call) the current id comes in "ID"
    // and the chosen one goes back there.
    auto *field = params->FindValue(QStringLiteral("Field"))
                      ? static_cast<data::Field *>(params->GetValue(QStringLiteral("Field"), QnVariant()).toPointer())
                      : nullptr;
    if (!field && !params->FindValue(QStringLiteral("ID")))
        return;
    ResetOnExit reset{s_picker};
    std::unique_ptr<QWidget> picker(CreateFormClass(className, nullptr));
    s_picker = picker.get();
    auto *pick = dynamic_cast<IPicker *>(picker.get());
    if (!pick)
        return;
    if (!caption.isEmpty())
        picker->setWindowTitle(caption);
    pick->Clear();
    pick->SetCurrentId(field ? int(field->AsInteger()) : params->GetValue(QStringLiteral("ID"), 0).toInt());
    if (ShowModal(picker.get()) != 1)
        return;
    const int id = pick->SelectedId();
    if (!field) {
        if (id != 0)
            params->AddValue(QStringLiteral("ID"), id);
        return;
    }
    field->DataSet()->Edit();
    if (id != 0)
        field->SetAsInteger(id);
}

long pick(const QString &argument, QnParams *params)
{
    if (argument == QLatin1String("PARENTSAM"))
        pickTemplate(params);
    else if (argument == QLatin1String("COMMODITY"))
        pickCommodity(params);
    else if (argument == QLatin1String("VENDOR"))
        pickPartner(params, QStringLiteral("TPickpartnerForm"), QString());
    else if (argument == QLatin1String("CLIENT"))
        pickPartner(params, QStringLiteral("TPickClientForm"), QString());
    else if (argument == QLatin1String("EMP")) {
        const int noteType = params ? params->GetValue(QStringLiteral("noteType"), 0).toInt() : 0;
        pickPartner(params, QStringLiteral("TPickEmpForm"),
                    noteType == 29 ? QStringLiteral("选择领料人") : QStringLiteral("选择生产工人"));
    }
    return S_OK;
}

long refuse(const QString &text)
{
    ShowError(text);
    return E_FAIL;
}

long setPosBatchIdForm()
{
    if (!GetUPrivilegeItem(2076, 5))
        return refuse(QStringLiteral("对不起,你没有调整货品批次的权限."));
    QWidget *window = FindOpenForm(QStringLiteral("SETPOSBATCHIDFORM"));
    if (!window) {
        window = CreateFormClass(QStringLiteral("TSetPosBatchIDForm"), nullptr);
        if (!window)
            return S_OK;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    ShowWindow(window);
    return S_OK;
}

long posDayEnd()
{
    if (!GetUPrivilegeItem(2077, 5))
        return refuse(QStringLiteral("对不起,你没有POS日结的权限."));
    showModalAndFree(CreateFormClass(QStringLiteral("TPosDayEndForm"), nullptr));
    return S_OK;
}

long posUnDayEnd()
{
    if (!GetUPrivilegeItem(2077, 5))
        return refuse(QStringLiteral("对不起,你没有POS日结/反日结的权限."));
    AutoQuery q = CreateAutoQuery(QStringLiteral("select top 1 noteid, notecode, notedate from closeposth order by noteid desc"),
                                  true);
    if (q->IsEmpty())
        return S_OK;
    const QString noteId = QString::number(q->FieldByName(QStringLiteral("noteid")).AsLargeInt());
    const QString question = QStringLiteral("每次只能反日结本期最近的一张日结单.以下是最近的一张日结单:\r\n单据号:") +
                             q->FieldByName(QStringLiteral("notecode")).AsString() + QStringLiteral(" 单据日期:") +
                             q->FieldByName(QStringLiteral("notedate")).AsDate().toString(QStringLiteral("yyyy-MM-dd")) +
                             QStringLiteral("\r\n你确认要将此单反日结吗?");
    if (ShowYesNoQuestion(question) != AnswerYes)
        return S_OK;
    try {
        SqlExecute(QStringLiteral("execute POS_UNDAYEND ") + noteId);
        ShowInformation(QStringLiteral("反日结成功."));
    } catch (const std::exception &e) {
        ShowError(e);
    }
    return S_OK;
}

long fill()
{
    if (!GetUPrivilegeItem(GetPrivilegedFormID(QStringLiteral("fillForm")), 1))
        return refuse(QStringLiteral("对不起,你没有执行开票管理的权限"));
    QWidget *window = FindOpenForm(QStringLiteral("fillForm"));
    if (!window) {
        window = CreateFormClass(QStringLiteral("TfillForm"), nullptr);
        if (!window)
            return S_OK;
        window->setAttribute(Qt::WA_DeleteOnClose);
        MakeMdiChild(window);
    }
    SendNoteMessage(window, NM_NOTEREFRESH, 0, 0);
    ShowWindow(window);
    return S_OK;
}

long costCalculate(QnParams *params)
{
    if (!params)
        throw PubError(InternalErrorText(kParamsNotNull, kNoteCall));
    const bool recalculate = params->FindValue(QStringLiteral("RECACULATE")) &&
                             params->GetValue(QStringLiteral("RECACULATE")).toBool();
    bool done = false;
    try {
        std::unique_ptr<QWidget> dialog(CreateFormClass(QStringLiteral("TCostCaculatorForm"), nullptr));
        if (dialog) {
            if (auto *c = dynamic_cast<ICostCalculator *>(dialog.get()))
                c->SetRecalculate(recalculate);
            done = ShowModal(dialog.get()) == 1;
        }
    } catch (...) {
        params->AddValue(QStringLiteral("result"), false);
        throw;
    }
    params->AddValue(QStringLiteral("result"), done);
    return S_OK;
}

long getNoteName(QnParams *params)
{
    if (!params)
        throw PubError(InternalErrorText(kParamsNotNull, kNoteCall));
    const int noteType = params->GetValue(QStringLiteral("NOTETYPE"), 0).toInt();
    params->AddValue(QStringLiteral("result"), NoteTypeName(noteType));
    return S_OK;
}

long showNoteForm(const QString &arg, QnParams *params)
{
    const bool modal = modalOf(params);
    if (arg == QLatin1String("DEPUTEMARKETFORM_INIT"))
        showInitForm(QStringLiteral("DEPUTEMARKETFORM"), modal);
    else if (arg == QLatin1String("PVALUEFORM_INIT"))
        showInitForm(QStringLiteral("PVALUEFORM"), modal);
    else
        showForm(arg, modal);
    return S_OK;
}

// The registered functions, in registration order; `argument` arrives upper-cased.
struct NoteFunction {
    const char *name;
    long (*run)(const QString &argument, QnParams *params);
};

const NoteFunction kFunctions[] = {
    {"SHOWNOTEFORM", showNoteForm},
    {"LOCATENOTE", [](const QString &, QnParams *p) { return locateNote(p); }},
    {"BATCHCHECK",
     [](const QString &, QnParams *) {
         if (QWidget *w = GetPrivilegedForm(QStringLiteral("BatchCheckForm"), 5))
             showAsMdiChild(w);
         return long(S_OK);
     }},
    {"FINDNOTE",
     [](const QString &, QnParams *p) {
         findNote(p);
         return long(S_OK);
     }},
    {"POSCLOSEOFF",
     [](const QString &arg, QnParams *) {
         showModalAndFree(GetPrivilegedForm(arg, 5));
         return long(S_OK);
     }},
    {"PICK", pick},
    {"SETPOSBATCHIDFORM", [](const QString &, QnParams *) { return setPosBatchIdForm(); }},
    {"POSDAYEND", [](const QString &, QnParams *) { return posDayEnd(); }},
    {"FILL", [](const QString &, QnParams *) { return fill(); }},
    {"COSTCACULATE", [](const QString &, QnParams *p) { return costCalculate(p); }},
    {"GETNOTENAME", [](const QString &, QnParams *p) { return getNoteName(p); }},
    {"POSUNDAYEND", [](const QString &, QnParams *) { return posUnDayEnd(); }},
};

} // namespace

extern "C" {

void noteLoad()
{
    for (const FormRegistration &row : RegistrationTable()) {
        const QString name = QString::fromLatin1(row.formName);
        FormFactory factory;
        if (WindowFactory make = FormClassFactory(QString::fromLatin1(row.className)))
            factory = [make, name](QWidget *owner) {
                QWidget *w = make(owner);
                // The window is found again by its form name.
                if (w && w->objectName().isEmpty())
                    w->setObjectName(name);
                return w;
            };
        RegisterPrivilegedForm(name, factory, row.privilegeId);
    }
    for (const QString &name : FunctionNames())
        RegistFunction(name, note_Call);
}

void noteUnload() {}

bool noteHasWindowClass(const QString &className) { return FormClassFactory(className) != nullptr; }

long note_Call(const QString &function, const QString &argument, QnParams *params)
{
    const QString fn = function.toUpper();
    for (const NoteFunction &f : kFunctions)
        if (fn == QLatin1String(f.name))
            return f.run(argument.toUpper(), params);
    return S_OK;
}

} // extern "C"

const QStringList &FunctionNames()
{
    static const QStringList names = [] {
        QStringList out;
        for (const NoteFunction &f : kFunctions)
            out << QString::fromLatin1(f.name);
        return out;
    }();
    return names;
}
