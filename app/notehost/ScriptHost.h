#pragma once
// Automation: a JavaScript file run with QJSEngine against the running host.
// The script sees `host` (calls, windows, messages, modal windows, SQL,
// screenshots, menus) and `print()`; see README "Automation".

#include "Messages.h"

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include "data/ClientDataSet.h"

namespace notehost {

class MainWindow;
class ScriptHost;

// A client data set of a window: field access and line movement.
class DataSetApi : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(bool active READ active)
    Q_PROPERTY(int count READ count)
    Q_PROPERTY(int recNo READ recNo WRITE setRecNo)
    Q_PROPERTY(bool eof READ eof)
    Q_PROPERTY(bool bof READ bof)
    Q_PROPERTY(QString state READ state)
    Q_PROPERTY(QStringList fieldNames READ fieldNames)
    Q_PROPERTY(int changeCount READ changeCount)
public:
    explicit DataSetApi(data::ClientDataSet *dataSet);
    QString name() const;
    bool active() const;
    int count() const;
    int recNo() const;
    void setRecNo(int recNo);
    bool eof() const;
    bool bof() const;
    QString state() const;
    QStringList fieldNames() const;
    int changeCount() const;

    // Value of a field of the current line (null when empty).
    Q_INVOKABLE QVariant field(const QString &name);
    // Writes a field (runs its change rules); a browsing data set goes into edit.
    Q_INVOKABLE void setField(const QString &name, const QVariant &value);
    Q_INVOKABLE void first();
    Q_INVOKABLE void next();
    Q_INVOKABLE void prior();
    Q_INVOKABLE void last();
    Q_INVOKABLE bool locate(const QString &field, const QVariant &value);
    Q_INVOKABLE void append();
    Q_INVOKABLE void edit();
    Q_INVOKABLE void post();
    Q_INVOKABLE void cancel();
    Q_INVOKABLE void remove();
    // Every visible line as an object of field values.
    Q_INVOKABLE QVariantList rows();

    data::ClientDataSet *dataSet() const { return m_ds; }

private:
    template <class F> auto guarded(F f) -> decltype(f());
    data::ClientDataSet *require() const;
    QPointer<data::ClientDataSet> m_ds;
};

// A window of the application: its controls, data sets and published operations.
// Script code reaches the window's own properties and slots through it as well.
class WindowApi : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject *widget READ widget CONSTANT)
    Q_PROPERTY(QString name READ name)
    Q_PROPERTY(QString title READ title)
    Q_PROPERTY(QJSValue master READ master)
    Q_PROPERTY(QJSValue detail READ detail)
public:
    WindowApi(ScriptHost *host, QWidget *window);
    QObject *widget() const { return m_window; }
    QString name() const;
    QString title() const;
    QJSValue master();
    QJSValue detail();

    // A control (or any child object) by object name; a data set comes wrapped.
    Q_INVOKABLE QJSValue find(const QString &objectName);
    // A client data set by object name or by a property of that name.
    Q_INVOKABLE QJSValue dataSet(const QString &name);
    // Calls a published operation (slot or invokable) by name with the arguments.
    Q_INVOKABLE QJSValue invoke(const QString &method, const QVariantList &args = {});
    Q_INVOKABLE bool close();

private:
    ScriptHost *m_host;
    QPointer<QWidget> m_window;
};

// The `host` object of a script.
class HostApi : public QObject {
    Q_OBJECT
    Q_PROPERTY(QJSValue messages READ messages)
    Q_PROPERTY(QJSValue modals READ modals)
    Q_PROPERTY(QJSValue mainWindow READ mainWindow)
    Q_PROPERTY(QJSValue navigator READ navigator)
    Q_PROPERTY(int userId READ userId)
    Q_PROPERTY(QString userName READ userName)
    Q_PROPERTY(QString books READ books)
public:
    explicit HostApi(ScriptHost *host);

    Q_INVOKABLE QJSValue call(const QString &name, const QString &argument = {}, const QJSValue &params = {});
    Q_INVOKABLE QJSValue form(const QString &name);
    Q_INVOKABLE QJSValue activeForm();
    Q_INVOKABLE QJSValue forms();
    Q_INVOKABLE void answer(const QString &reply);
    // Queues the file name the next save-file question answers (empty: cancel).
    Q_INVOKABLE void answerFile(const QString &fileName);
    Q_INVOKABLE void clearMessages();
    Q_INVOKABLE void onModal(const QJSValue &handler);
    Q_INVOKABLE QJSValue sql(const QString &text);
    // Saves a PNG of a window or control; for the main window `menu` names a
    // menu drawn open.
    Q_INVOKABLE bool grab(const QJSValue &target, const QString &path, const QString &menu = {});
    Q_INVOKABLE QJSValue menus();
    // Triggers a menu entry by its action name ("actPBuyForm") or caption.
    Q_INVOKABLE bool trigger(const QString &entry);
    // Lets the application handle pending events (layout, timers) for `ms`.
    Q_INVOKABLE void wait(int ms = 0);

    QJSValue messages();
    QJSValue modals();
    QJSValue mainWindow();
    QJSValue navigator();
    int userId() const;
    QString userName() const;
    QString books() const;

private:
    ScriptHost *m_host;
    QJSValue m_modalHandler;
};

class ScriptHost : public QObject {
    Q_OBJECT
public:
    // Installs scripted message, modal and file-dialog services for its lifetime.
    explicit ScriptHost(MainWindow *main, QObject *parent = nullptr);
    ~ScriptHost() override;

    // Runs a file: 0, or 1 after writing the error with file and line to stderr.
    int runFile(const QString &path);
    int run(const QString &program, const QString &fileName);
    // The text of the last failure ("file:line: Error: ...").
    QString lastError() const { return m_lastError; }

    QJSEngine &engine() { return m_engine; }
    MainWindow *mainWindow() const { return m_main; }
    void setMainWindow(MainWindow *main) { m_main = main; }
    pub::ScriptedMessageService &messages() { return m_messages; }
    pub::ScriptedModalService &modal() { return m_modal; }
    pub::ScriptedFileDialogService &files() { return m_files; }

    // A window wrapped for scripts (null stays null).
    QJSValue wrapWindow(QWidget *window);
    QJSValue wrapDataSet(data::ClientDataSet *dataSet);
    QJSValue wrapObject(QObject *object);
    // Throws a script error carrying `text` in the running script.
    void raise(const QString &text);
    // Remembers an error raised inside a script callback (modal handler).
    void callbackFailed(const QJSValue &error);
    QString takeCallbackError();
    // A window, control or wrapper given by a script, as a widget.
    QWidget *widgetOf(const QJSValue &value) const;
    // An open window by form name (any case), or null.
    QWidget *findForm(const QString &name) const;

    static QString errorText(const QJSValue &error);

private:
    QJSEngine m_engine;
    MainWindow *m_main;
    pub::ScriptedMessageService m_messages;
    pub::ScriptedModalService m_modal;
    pub::ScriptedFileDialogService m_files;
    QJSValue m_proxyFactory;
    QString m_lastError;
    QString m_callbackError;
};

// Writes print() output to standard output.
class ScriptOutput : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE void write(const QString &text);
};

} // namespace notehost
