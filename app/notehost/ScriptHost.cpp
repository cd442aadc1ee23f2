#include "ScriptHost.h"

#include "MainWindow.h"
#include "NavigatorForm.h"

#include "Globals.h"
#include "Messages.h"
#include "QnParams.h"
#include "Registry.h"
#include "data/ClientDataSet.h"
#include "db/Database.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJSValueIterator>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaMethod>
#include <QPixmap>
#include <QUrl>

#include <cmath>
#include <cstdio>

namespace notehost {

namespace {

QVariant scriptValue(const QVariant &v)
{
    // Dates travel as their stored text so scripts compare them without time zones.
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return v;
}

QString errorOf(const std::exception &e) { return ExceptionText(e); }

} // namespace

// ---------------------------------------------------------------- DataSetApi

DataSetApi::DataSetApi(data::ClientDataSet *dataSet) : m_ds(dataSet) {}

data::ClientDataSet *DataSetApi::require() const
{
    if (!m_ds)
        throw data::DataSetError(QStringLiteral("数据集已不存在"));
    return m_ds;
}

template <class F> auto DataSetApi::guarded(F f) -> decltype(f())
{
    try {
        return f();
    } catch (const std::exception &e) {
        if (QJSEngine *engine = qjsEngine(this))
            engine->throwError(QJSValue::GenericError, errorOf(e));
    }
    return decltype(f())();
}

QString DataSetApi::name() const { return m_ds ? m_ds->objectName() : QString(); }
bool DataSetApi::active() const { return m_ds && m_ds->Active(); }
int DataSetApi::count() const { return m_ds ? m_ds->RecordCount() : 0; }
int DataSetApi::recNo() const { return m_ds ? m_ds->RecNo() : 0; }
void DataSetApi::setRecNo(int recNo)
{
    guarded([&] { require()->SetRecNo(recNo); });
}
bool DataSetApi::eof() const { return !m_ds || m_ds->Eof(); }
bool DataSetApi::bof() const { return !m_ds || m_ds->Bof(); }
QString DataSetApi::state() const
{
    if (!m_ds)
        return QStringLiteral("inactive");
    switch (m_ds->State()) {
    case data::DataSetState::Inactive: return QStringLiteral("inactive");
    case data::DataSetState::Browse: return QStringLiteral("browse");
    case data::DataSetState::Edit: return QStringLiteral("edit");
    case data::DataSetState::Insert: return QStringLiteral("insert");
    }
    return {};
}
QStringList DataSetApi::fieldNames() const { return m_ds ? m_ds->FieldNames() : QStringList(); }
int DataSetApi::changeCount() const { return m_ds ? m_ds->ChangeCount() : 0; }

QVariant DataSetApi::field(const QString &name)
{
    return guarded([&] { return scriptValue(require()->FieldByName(name)->Value()); });
}

void DataSetApi::setField(const QString &name, const QVariant &value)
{
    guarded([&] {
        data::ClientDataSet *ds = require();
        data::Field *f = ds->FieldByName(name);
        if (ds->State() == data::DataSetState::Browse)
            ds->Edit();
        f->SetValue(value);
    });
}

void DataSetApi::first() { guarded([&] { require()->First(); }); }
void DataSetApi::next() { guarded([&] { require()->Next(); }); }
void DataSetApi::prior() { guarded([&] { require()->Prior(); }); }
void DataSetApi::last() { guarded([&] { require()->Last(); }); }
bool DataSetApi::locate(const QString &field, const QVariant &value)
{
    return guarded([&] { return require()->Locate(field, value, data::LocateCaseInsensitive); });
}
void DataSetApi::append() { guarded([&] { require()->Append(); }); }
void DataSetApi::edit() { guarded([&] { require()->Edit(); }); }
void DataSetApi::post() { guarded([&] { require()->Post(); }); }
void DataSetApi::cancel() { guarded([&] { require()->Cancel(); }); }
void DataSetApi::remove() { guarded([&] { require()->Delete(); }); }

QVariantList DataSetApi::rows()
{
    return guarded([&] {
        data::ClientDataSet *ds = require();
        QVariantList out;
        const QStringList names = ds->FieldNames();
        for (int row = 0; row < ds->RecordCount(); ++row) {
            QVariantMap m;
            for (int i = 0; i < names.size(); ++i)
                m.insert(names[i], scriptValue(ds->ValueAt(row, i)));
            out << m;
        }
        return out;
    });
}

// ---------------------------------------------------------------- WindowApi

WindowApi::WindowApi(ScriptHost *host, QWidget *window) : m_host(host), m_window(window) {}

QString WindowApi::name() const { return m_window ? m_window->objectName() : QString(); }
QString WindowApi::title() const { return m_window ? m_window->windowTitle() : QString(); }
QJSValue WindowApi::master() { return dataSet(QStringLiteral("cdsMaster")); }
QJSValue WindowApi::detail() { return dataSet(QStringLiteral("cdsDetail")); }

QJSValue WindowApi::find(const QString &objectName)
{
    if (!m_window)
        return QJSValue(QJSValue::NullValue);
    QObject *found = m_window->findChild<QObject *>(objectName);
    if (!found) {
        // Names are looked up as the package compares them: case does not matter.
        for (QObject *o : m_window->findChildren<QObject *>())
            if (o->objectName().compare(objectName, Qt::CaseInsensitive) == 0) {
                found = o;
                break;
            }
    }
    if (auto *ds = qobject_cast<data::ClientDataSet *>(found))
        return m_host->wrapDataSet(ds);
    return m_host->wrapObject(found);
}

QJSValue WindowApi::dataSet(const QString &name)
{
    if (!m_window)
        return QJSValue(QJSValue::NullValue);
    auto *ds = qobject_cast<data::ClientDataSet *>(m_window->property(name.toLatin1().constData()).value<QObject *>());
    if (!ds)
        ds = m_window->findChild<data::ClientDataSet *>(name);
    return m_host->wrapDataSet(ds);
}

QJSValue WindowApi::invoke(const QString &method, const QVariantList &args)
{
    if (!m_window) {
        m_host->raise(QStringLiteral("窗口已关闭"));
        return {};
    }
    const QMetaObject *mo = m_window->metaObject();
    for (int i = mo->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod m = mo->method(i);
        if (QString::fromLatin1(m.name()) != method || m.parameterCount() != args.size() ||
            m.methodType() == QMetaMethod::Signal)
            continue;
        QVariantList converted = args;
        QGenericArgument a[10];
        for (int k = 0; k < args.size() && k < 10; ++k) {
            if (!converted[k].convert(QMetaType(m.parameterType(k)))) {
                m_host->raise(QStringLiteral("%1 的第 %2 个参数类型不对").arg(method).arg(k + 1));
                return {};
            }
            a[k] = QGenericArgument(converted[k].typeName(), converted[k].constData());
        }
        QVariant ret;
        QGenericReturnArgument r;
        if (m.returnType() != QMetaType::Void) {
            ret = QVariant(QMetaType(m.returnType()));
            r = QGenericReturnArgument(ret.typeName(), ret.data());
        }
        try {
            if (!m.invoke(m_window, Qt::DirectConnection, r, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8],
                          a[9])) {
                m_host->raise(QStringLiteral("无法调用 %1").arg(method));
                return {};
            }
        } catch (const std::exception &e) {
            m_host->raise(errorOf(e));
            return {};
        }
        return m_host->engine().toScriptValue(scriptValue(ret));
    }
    m_host->raise(QStringLiteral("窗口 %1 没有操作 %2(%3 个参数)").arg(name(), method).arg(args.size()));
    return {};
}

bool WindowApi::close()
{
    if (!m_window)
        return true;
    const bool closed = m_window->close();
    if (closed)
        if (auto *sub = qobject_cast<QMdiSubWindow *>(m_window->parentWidget()))
            sub->close();
    return closed;
}

// ---------------------------------------------------------------- HostApi

HostApi::HostApi(ScriptHost *host) : m_host(host) {}

static QnVariant toQn(ScriptHost *host, const QJSValue &v)
{
    if (v.isBool())
        return QnVariant(v.toBool());
    if (v.isNumber()) {
        const double d = v.toNumber();
        if (std::floor(d) == d && std::fabs(d) < 9.0e15)
            return std::fabs(d) <= 2147483647.0 ? QnVariant(int(d)) : QnVariant(qint64(d));
        return QnVariant(d);
    }
    if (v.isString())
        return QnVariant(v.toString());
    if (v.isDate())
        return QnVariant(v.toDateTime());
    if (v.isNull() || v.isUndefined())
        return QnVariant(nullptr);
    if (QWidget *w = host->widgetOf(v))
        return QnVariant(static_cast<QObject *>(w));
    if (v.isQObject())
        return QnVariant(v.toQObject());
    return QnVariant(v.toString());
}

static QJSValue fromQn(ScriptHost *host, const QnVariant &v)
{
    switch (v.type()) {
    case QnVariant::Type::Empty: return QJSValue(QJSValue::NullValue);
    case QnVariant::Type::Int: return QJSValue(double(v.toInt64()));
    case QnVariant::Type::Bool: return QJSValue(v.toBool());
    case QnVariant::Type::Text: return QJSValue(v.toString());
    case QnVariant::Type::Double: return QJSValue(v.toDouble());
    case QnVariant::Type::Date: return QJSValue(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case QnVariant::Type::Object:
        try {
            return host->wrapObject(v.toObject());
        } catch (const std::exception &) {
            return QJSValue(QStringLiteral("<pointer>"));
        }
    }
    return {};
}

QJSValue HostApi::call(const QString &name, const QString &argument, const QJSValue &params)
{
    QnParams bag;
    const bool withParams = params.isObject();
    if (withParams) {
        QJSValueIterator it(params);
        while (it.hasNext()) {
            it.next();
            bag.AddValue(it.name(), toQn(m_host, it.value()));
        }
    }
    long result = 0;
    try {
        result = GlobalCall(name, argument, withParams ? &bag : nullptr);
    } catch (const std::exception &e) {
        m_host->raise(errorOf(e));
        return {};
    }
    const QString failed = m_host->takeCallbackError();
    if (!failed.isEmpty()) {
        m_host->raise(failed);
        return {};
    }
    QJSEngine &js = m_host->engine();
    QJSValue out = js.newObject();
    out.setProperty(QStringLiteral("result"), double(result));
    QJSValue p = js.newObject();
    for (const QnParams::Entry &e : bag)
        p.setProperty(e.name, fromQn(m_host, e.value));
    out.setProperty(QStringLiteral("params"), p);
    return out;
}

QJSValue HostApi::form(const QString &name) { return m_host->wrapWindow(m_host->findForm(name)); }

QJSValue HostApi::activeForm()
{
    QWidget *w = nullptr;
    if (MainWindow *main = m_host->mainWindow())
        if (QMdiSubWindow *sub = main->mdi()->currentSubWindow())
            if (!sub->isHidden())
                w = sub->widget();
    if (!w) {
        w = QApplication::activeModalWidget();
        if (!w)
            w = QApplication::activeWindow();
    }
    return m_host->wrapWindow(w);
}

QJSValue HostApi::forms()
{
    QJSValue list = m_host->engine().newArray();
    quint32 n = 0;
    if (MainWindow *main = m_host->mainWindow())
        for (QMdiSubWindow *sub : main->mdi()->subWindowList())
            if (sub->widget() && !sub->isHidden())
                list.setProperty(n++, m_host->wrapWindow(sub->widget()));
    return list;
}

void HostApi::answer(const QString &reply)
{
    const QString r = reply.trimmed().toLower();
    int code = 0;
    if (r == QLatin1String("yes"))
        code = AnswerYes;
    else if (r == QLatin1String("no"))
        code = AnswerNo;
    else if (r == QLatin1String("cancel"))
        code = AnswerCancel;
    else if (r == QLatin1String("ok"))
        code = AnswerOk;
    else {
        m_host->raise(QStringLiteral("host.answer: 不认识的回答 \"%1\" (yes, no, cancel, ok)").arg(reply));
        return;
    }
    m_host->messages().answer(code);
}

void HostApi::answerFile(const QString &fileName) { m_host->files().answer(fileName); }

void HostApi::clearMessages() { m_host->messages().clear(); }

void HostApi::onModal(const QJSValue &handler)
{
    if (!handler.isCallable()) {
        m_modalHandler = QJSValue();
        m_host->modal().setHandler({});
        return;
    }
    m_modalHandler = handler;
    m_host->modal().setHandler([this](QWidget *window) {
        QJSValue r = m_modalHandler.call({m_host->wrapWindow(window)});
        if (r.isError()) {
            m_host->callbackFailed(r);
            return int(AnswerCancel);
        }
        if (r.isBool())
            return r.toBool() ? int(AnswerOk) : int(AnswerCancel);
        if (r.isNumber())
            return r.toInt();
        return int(AnswerCancel);
    });
}

QJSValue HostApi::sql(const QString &text)
{
    QJSEngine &js = m_host->engine();
    try {
        const db::ResultSet rs = RequireDB().run(text);
        QJSValue rows = js.newArray(quint32(rs.rows.size()));
        for (int i = 0; i < rs.rows.size(); ++i) {
            QJSValue row = js.newObject();
            for (int c = 0; c < rs.columns.size(); ++c) {
                const QVariant v = rs.rows[i].value(c);
                row.setProperty(rs.columns[c], v.isNull() ? QJSValue(QJSValue::NullValue)
                                                          : js.toScriptValue(scriptValue(v)));
            }
            rows.setProperty(quint32(i), row);
        }
        return rows;
    } catch (const std::exception &e) {
        m_host->raise(errorOf(e));
    }
    return {};
}

bool HostApi::grab(const QJSValue &target, const QString &path, const QString &menu)
{
    QWidget *w = m_host->widgetOf(target);
    if (!w) {
        m_host->raise(QStringLiteral("host.grab: 没有这个窗口"));
        return false;
    }
    wait(0);
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    MainWindow *main = m_host->mainWindow();
    const QPixmap shot = (main && w == main) ? main->snapshot(menu) : w->grab();
    if (!shot.save(info.absoluteFilePath(), "PNG")) {
        m_host->raise(QStringLiteral("host.grab: 无法写入 %1").arg(path));
        return false;
    }
    return true;
}

QJSValue HostApi::menus()
{
    QJSEngine &js = m_host->engine();
    QJSValue list = js.newArray();
    MainWindow *main = m_host->mainWindow();
    if (!main)
        return list;
    quint32 n = 0;
    for (const MainWindow::EntryAction &ea : main->entryActions()) {
        QJSValue o = js.newObject();
        o.setProperty(QStringLiteral("area"), ea.entry.area);
        o.setProperty(QStringLiteral("caption"), ea.entry.caption);
        o.setProperty(QStringLiteral("form"), ea.entry.formName);
        o.setProperty(QStringLiteral("function"), ea.entry.function);
        o.setProperty(QStringLiteral("argument"), ea.entry.argument);
        o.setProperty(QStringLiteral("name"), ea.action->objectName());
        o.setProperty(QStringLiteral("enabled"), ea.action->isEnabled());
        o.setProperty(QStringLiteral("tip"), ea.action->statusTip());
        list.setProperty(n++, o);
    }
    return list;
}

bool HostApi::trigger(const QString &entry)
{
    MainWindow *main = m_host->mainWindow();
    if (!main)
        return false;
    for (const MainWindow::EntryAction &ea : main->entryActions()) {
        if (ea.action->objectName() != entry && ea.entry.caption != entry)
            continue;
        if (!ea.action->isEnabled())
            return false;
        ea.action->trigger();
        const QString failed = m_host->takeCallbackError();
        if (!failed.isEmpty())
            m_host->raise(failed);
        return true;
    }
    m_host->raise(QStringLiteral("host.trigger: 没有菜单项 %1").arg(entry));
    return false;
}

void HostApi::wait(int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // Closed windows are deleted later; outside an event loop that needs asking.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    } while (t.elapsed() < ms);
}

QJSValue HostApi::messages()
{
    QJSEngine &js = m_host->engine();
    const auto &records = m_host->messages().records();
    QJSValue list = js.newArray(quint32(records.size()));
    for (int i = 0; i < records.size(); ++i) {
        QJSValue o = js.newObject();
        o.setProperty(QStringLiteral("kind"), pub::messageKindName(records[i].kind));
        o.setProperty(QStringLiteral("text"), records[i].text);
        o.setProperty(QStringLiteral("caption"), records[i].caption);
        o.setProperty(QStringLiteral("answer"), records[i].answer);
        list.setProperty(quint32(i), o);
    }
    return list;
}

QJSValue HostApi::modals()
{
    QJSEngine &js = m_host->engine();
    const auto &records = m_host->modal().records();
    QJSValue list = js.newArray(quint32(records.size()));
    for (int i = 0; i < records.size(); ++i) {
        QJSValue o = js.newObject();
        o.setProperty(QStringLiteral("name"), records[i].objectName);
        o.setProperty(QStringLiteral("className"), records[i].className);
        o.setProperty(QStringLiteral("title"), records[i].title);
        o.setProperty(QStringLiteral("result"), records[i].result);
        list.setProperty(quint32(i), o);
    }
    return list;
}

QJSValue HostApi::mainWindow() { return m_host->wrapWindow(m_host->mainWindow()); }
QJSValue HostApi::navigator()
{
    return m_host->wrapWindow(m_host->mainWindow() ? m_host->mainWindow()->navigator() : nullptr);
}
int HostApi::userId() const { return g_iUserID; }
QString HostApi::userName() const { return g_asUserName; }
QString HostApi::books() const { return StartupDB() ? StartupDB()->path() : QString(); }

// ---------------------------------------------------------------- ScriptHost

void ScriptOutput::write(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

ScriptHost::ScriptHost(MainWindow *main, QObject *parent) : QObject(parent), m_main(main)
{
    pub::setMessageService(&m_messages);
    pub::setModalService(&m_modal);
    pub::setFileDialogService(&m_files);
    SetFormSizesKept(false);
    m_engine.installExtensions(QJSEngine::ConsoleExtension);
    QJSValue global = m_engine.globalObject();
    global.setProperty(QStringLiteral("host"), m_engine.newQObject(new HostApi(this)));
    QJSValue printer = m_engine.evaluate(QStringLiteral(
        "(function (out) { return function () {"
        "  out.write(Array.prototype.map.call(arguments, function (a) {"
        "    return (a !== null && typeof a === 'object') ? JSON.stringify(a) : String(a); }).join(' ')); }; })"));
    global.setProperty(QStringLiteral("print"), printer.call({m_engine.newQObject(new ScriptOutput)}));
    // A window shows the wrapper's helpers and, for everything else, its own
    // properties and slots.
    m_proxyFactory = m_engine.evaluate(QStringLiteral(R"JS(
(function (api) {
  var own = ['widget', 'name', 'title', 'master', 'detail', 'find', 'dataSet', 'invoke', 'close'];
  return new Proxy(api, {
    get: function (t, p) {
      if (own.indexOf(p) >= 0) { var v = t[p]; return typeof v === 'function' ? v.bind(t) : v; }
      var w = t.widget;
      if (w === null || w === undefined) return undefined;
      var x = w[p];
      return typeof x === 'function' ? x.bind(w) : x;
    },
    set: function (t, p, v) {
      if (own.indexOf(p) >= 0) t[p] = v; else if (t.widget) t.widget[p] = v;
      return true;
    },
    has: function (t, p) { return own.indexOf(p) >= 0 || (t.widget ? (p in t.widget) : false); }
  });
})
)JS"));
}

ScriptHost::~ScriptHost()
{
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    pub::setFileDialogService(nullptr);
    SetFormSizesKept(true);
}

QString ScriptHost::errorText(const QJSValue &error)
{
    if (error.isError()) {
        QString file = error.property(QStringLiteral("fileName")).toString();
        if (file.startsWith(QLatin1String("file:")))
            file = QUrl(file).toLocalFile();
        const int line = error.property(QStringLiteral("lineNumber")).toInt();
        return QStringLiteral("%1:%2: %3").arg(QFileInfo(file).fileName()).arg(line).arg(error.toString());
    }
    return error.toString();
}

int ScriptHost::run(const QString &program, const QString &fileName)
{
    QStringList trace;
    const QJSValue r = m_engine.evaluate(program, fileName, 1, &trace);
    QString failure;
    if (r.isError()) {
        failure = errorText(r);
    } else if (!trace.isEmpty()) {
        // A thrown non-Error value: the trace's first frame gives the line
        // ("function:line:column:file").
        const QStringList parts = trace.first().split(u':');
        failure = QStringLiteral("%1:%2: uncaught exception: %3")
                      .arg(QFileInfo(fileName).fileName(), parts.value(1), r.toString());
    } else {
        failure = takeCallbackError();
    }
    if (failure.isEmpty())
        return 0;
    m_lastError = failure;
    std::fputs(failure.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 1;
}

int ScriptHost::runFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_lastError = QStringLiteral("无法读取脚本 %1").arg(path);
        std::fprintf(stderr, "%s\n", m_lastError.toUtf8().constData());
        return 1;
    }
    return run(QString::fromUtf8(f.readAll()), QFileInfo(path).absoluteFilePath());
}

QJSValue ScriptHost::wrapObject(QObject *object)
{
    if (!object)
        return QJSValue(QJSValue::NullValue);
    // The script never owns the application's objects.
    QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    return m_engine.newQObject(object);
}

QJSValue ScriptHost::wrapWindow(QWidget *window)
{
    if (!window)
        return QJSValue(QJSValue::NullValue);
    QJSValue api = m_engine.newQObject(new WindowApi(this, window));
    return m_proxyFactory.call({api});
}

QJSValue ScriptHost::wrapDataSet(data::ClientDataSet *dataSet)
{
    if (!dataSet)
        return QJSValue(QJSValue::NullValue);
    return m_engine.newQObject(new DataSetApi(dataSet));
}

void ScriptHost::raise(const QString &text) { m_engine.throwError(QJSValue::GenericError, text); }

void ScriptHost::callbackFailed(const QJSValue &error)
{
    if (m_callbackError.isEmpty())
        m_callbackError = errorText(error);
}

QString ScriptHost::takeCallbackError()
{
    QString e = m_callbackError;
    m_callbackError.clear();
    return e;
}

QWidget *ScriptHost::widgetOf(const QJSValue &value) const
{
    if (value.isUndefined() || value.isNull())
        return m_main;
    if (value.isQObject()) {
        QObject *o = value.toQObject();
        if (auto *api = qobject_cast<WindowApi *>(o))
            return qobject_cast<QWidget *>(api->widget());
        return qobject_cast<QWidget *>(o);
    }
    if (value.isObject()) {
        const QJSValue w = value.property(QStringLiteral("widget"));
        if (w.isQObject())
            return qobject_cast<QWidget *>(w.toQObject());
    }
    return nullptr;
}

QWidget *ScriptHost::findForm(const QString &name) const
{
    auto same = [&name](QWidget *w) { return w && w->objectName().compare(name, Qt::CaseInsensitive) == 0; };
    if (m_main) {
        if (same(m_main))
            return m_main;
        for (QMdiSubWindow *sub : m_main->mdi()->subWindowList())
            if (same(sub->widget()) && !sub->isHidden())
                return sub->widget();
    }
    for (QWidget *w : QApplication::topLevelWidgets())
        if (same(w) && !w->isHidden())
            return w;
    // Panels docked in the main window (the navigator).
    for (QWidget *w : QApplication::allWidgets())
        if (same(w) && qobject_cast<QDockWidget *>(w->parentWidget()))
            return w;
    return nullptr;
}

} // namespace notehost
