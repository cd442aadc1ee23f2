#include "PackageFixture.h"

#include "notedb.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>

namespace pkgtest {

namespace {
void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_package";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the program ends
}
} // namespace

QString pluginPath()
{
    // The package is built beside the test programs when no folder is given.
    const QString dir = qEnvironmentVariableIsEmpty("PK_NOTE_BIN")
                            ? QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath()
                            : testsupport::binDir();
    return QDir(dir).filePath(QStringLiteral("libpk_note.so"));
}

Plugin &plugin()
{
    static Plugin p;
    if (!p.library.isLoaded()) {
        p.library.setFileName(pluginPath());
        if (!p.library.load())
            throw std::runtime_error(p.library.errorString().toStdString());
        p.load = reinterpret_cast<void (*)()>(p.library.resolve("noteLoad"));
        p.unload = reinterpret_cast<void (*)()>(p.library.resolve("noteUnload"));
        p.call = reinterpret_cast<GlobalFunction>(p.library.resolve("note_Call"));
    }
    return p;
}

void PackageTest::SetUp()
{
    ensureApplication();
    notedb::install();
    m_db = testsupport::freshBooks(m_folder.file(QStringLiteral("books.db")), true);
    SetStartupDB(m_db.get());
    SetProgramFolder(m_folder.path());
    pub::setMessageService(&m_messages);
    pub::setModalService(&m_modal);
    ClearRegistrations();
    ClearLookupEditors();
    SetCurrentUser(kAdmin);
    ASSERT_TRUE(plugin().load && plugin().unload && plugin().call);
    m_before = QApplication::topLevelWidgets();
}

void PackageTest::TearDown()
{
    QList<QPointer<QWidget>> left;
    for (QWidget *w : newWindows())
        left << w;
    for (const QPointer<QWidget> &w : left)
        delete w.data();
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    ClearRegistrations();
    ClearLookupEditors();
    SetCurrentUser(0);
    SetStartupDB(nullptr);
    m_db.reset();
}

long PackageTest::call(const QString &function, const QString &argument, QnParams *params)
{
    return plugin().call(function, argument, params);
}

void PackageTest::setSysParam(const QString &name, const QString &value)
{
    sql(QStringLiteral("update sysparamamth set DATAVALUE = :v where PARAMNAME = :n"), {{"v", value}, {"n", name}});
}

QWidgetList PackageTest::newWindows() const
{
    QWidgetList now;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!m_before.contains(w))
            now << w;
    return now;
}

} // namespace pkgtest
