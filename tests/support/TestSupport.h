#pragma once
// Fixtures shared by the test programs: fresh books in a private temporary folder,
// the one session fixture that sets and resets every global of the host, and
// running our own executables from the outside.

#include "Pub.h"
#include "db/Database.h"

#include <QByteArray>
#include <QLibrary>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidgetList>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>

namespace data {
class ClientDataSet;
}

namespace testsupport {

// A private temporary folder removed when the object dies.
class TempFolder {
public:
    TempFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// A fresh database with only the layer's own tables.
std::unique_ptr<db::Database> bareDatabase(const QString &path);
// Fresh books with the real schema, and the demo company when `demo`. With
// NOTE_TEST_ENGINE=pg (and NOTE_TEST_PG naming a server) the books are a new
// database on the server, cloned from a template built once per program, and
// dropped once nothing uses it any more; otherwise an SQLite file at `path`.
std::unique_ptr<db::Database> freshBooks(const QString &path, bool demo = false);
// A second connection to the same books, on either engine (another client).
std::unique_ptr<db::Database> openAgain(const db::Database &books);
// Whether freshBooks puts the books on the PostgreSQL server.
bool booksOnServer();

// The offscreen widgets application every test of a program shares.
void ensureApplication();

// Puts every global of the host back to its start-up state: no books, no
// services, no user, today's working date, no registrations, lookups or
// caches, no forced close, no lock wait, no busy hook.
void resetHostGlobals();

// The session every window and service test runs in: fresh books (the demo
// company unless the derived fixture says otherwise) on the start-up
// connection, the program folder in a private temporary folder, scripted
// messages, modal windows and file dialogs, the demo administrator as the
// current user. TearDown closes the windows the test left and resets every
// global, so no test sees what an earlier one set.
class SessionTest : public ::testing::Test {
protected:
    explicit SessionTest(bool demoBooks = true) : m_demoBooks(demoBooks) {}
    void SetUp() override;
    void TearDown() override;

    db::Database &database() { return *m_db; }
    void sql(const QString &text, const db::Params &params = {}) { m_db->exec(text, params); }
    QVariant scalar(const QString &text, const db::Params &params = {}) { return m_db->scalar(text, params); }
    // Sets a system parameter, adding the row when the books lack it.
    void setParam(int id, const QString &name, const QVariant &value);
    void setParam(const QString &name, const QVariant &value);
    void grant(int user, int privilegeId, std::initializer_list<int> actions);
    QStringList shown() const { return m_messages.texts(); }
    QStringList errors() const { return m_messages.texts(pub::MessageKind::Error); }
    // The last error shown, and everything shown as one text for failures.
    QString lastError() const { return errors().value(errors().size() - 1); }
    std::string shownText() const { return shown().join(u'|').toStdString(); }
    // Top-level windows opened since the test began.
    QWidgetList newWindows() const;

    static constexpr int kDemoAdmin = 1;

    testsupport::TempFolder m_folder;
    std::unique_ptr<db::Database> m_db;
    pub::ScriptedMessageService m_messages;
    pub::ScriptedModalService m_modal;
    pub::ScriptedFileDialogService m_files;
    QWidgetList m_before;

private:
    bool m_demoBooks;
};

// The real plug-in, loaded with QLibrary from the build's folder as the host
// loads it (once per test program).
struct Plugin {
    QLibrary library;
    void (*load)() = nullptr;
    void (*unload)() = nullptr;
    GlobalFunction call = nullptr;
};
Plugin &plugin();
QString pluginPath();

// The folder holding our built programs and libraries.
QString binDir();
QString sourceDir();

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs one of our programs (by name in binDir) or any program with `args`.
RunResult runProgram(const QString &program, const QStringList &args, const QByteArray &input = {},
                     int timeoutMs = 60000);

// ---- What reached the books, read alike on both engines ----

// The rows of `tsql`, cells joined by `cell` and rows by `row`: numbers by
// value (20, 11.3: never the server's 20.000000), dates as yyyy-MM-dd, NULL
// as an empty cell. Joining in C++ keeps the checks' SQL plain.
QString rowsOf(db::Database &books, const QString &tsql, QChar cell = u':', QChar row = u';');
// The same of rows already read (a batch's result).
QString rowsText(const db::ResultSet &rs, QChar cell = u':', QChar row = u';');
// The text of the database error `action` raises, empty when it raises none.
QString refusal(const std::function<void()> &action);
// A note's state changed by the statement the framework sends (audit 0 -> 1,
// un-audit 1 -> 0, void 0 -> 2).
void setNoteState(db::Database &books, const QString &table, qint64 id, int from, int to);

// ---- reading rows and windows back

// A value as checks compare it on either engine: numbers rounded to 4 places
// without trailing zeros (the server gives 20.000000 where SQLite gives 20),
// text as it is, null as nothing.
QString plain(const QVariant &value);
// The rows of a query with their values as `plain` gives them.
QString joinedRows(db::Database &books, const QString &select, QChar sep = u':', QChar rowSep = u';');
// The values of the fields "A,B" in each row of a data set, joined by `sep`.
QStringList valuesIn(const data::ClientDataSet &rows, const char *fields, QChar sep = u'/');
// Types `text` into whatever has the focus, a key at a time as a clerk does:
// keys for plain characters, a text event for Chinese (no key of its own).
void typeIntoFocus(const QString &text);
// Saves a picture of a window for checking it by eye, shots/<name>.png beside
// the build's bin folder; whether it was written.
bool saveShot(QWidget *window, const QString &name);

// The rows `sql` returns as one text, the same on both engines: cells joined
// by '|', rows by ','; numbers in their shortest form, a null as an empty cell.
QString rowsText(db::Database &books, const QString &sql, const db::Params &params = {});
// What `run` throws (any std::exception: the text shown to the user), or
// "(ran)" when it runs through; a refusal is then checked in one line.
QString errorOf(const std::function<void()> &run);
// The address of database `name` on the server NOTE_TEST_PG names.
QString serverDatabaseAddress(const QString &name);

// ---- windows driven by the keyboard

// Shows a window or dialog as the user gets it: visible, active, the focus inside.
void showActive(QWidget *window);
// Clicks `key` on whatever has the focus.
void keyIntoFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace testsupport
