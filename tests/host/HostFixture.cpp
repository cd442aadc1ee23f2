#include "HostFixture.h"

#include <QApplication>

namespace hosttest {

void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_host";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the program ends
}

void HostTest::SetUp()
{
    ensureApplication();
    m_db = testsupport::freshBooks(m_folder.file(QStringLiteral("books.db")), false);
    SetStartupDB(m_db.get());
    SetProgramFolder(m_folder.path());
    pub::setMessageService(&m_messages);
    pub::setModalService(&m_modal);
    ClearRegistrations();
    ClearLookupEditors();

    const QString ins = QStringLiteral(
        "insert into operatormth (OPERATEID, LOGINNAME, OPERATENAME, ISADMIN, CLOSED) values (:id, :l, :n, :a, :c)");
    sql(ins, {{"id", kAdmin}, {"l", "admin"}, {"n", QStringLiteral("系统管理员")}, {"a", 1}, {"c", 0}});
    sql(ins, {{"id", kClerk}, {"l", "clerk"}, {"n", QStringLiteral("张三")}, {"a", 0}, {"c", 0}});
    sql(ins, {{"id", kClosedAdmin}, {"l", "old"}, {"n", QStringLiteral("离职管理员")}, {"a", 1}, {"c", 1}});
    SetCurrentUser(kAdmin);
}

void HostTest::TearDown()
{
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    SetStartupDB(nullptr);
    SetCurrentUser(0);
    ClearRegistrations();
    ClearLookupEditors();
    m_db.reset();
}

void HostTest::setParam(int id, const QString &name, const QString &value)
{
    sql(QStringLiteral("delete from sysparamamth where PARAMID = :id or PARAMNAME = :n"), {{"id", id}, {"n", name}});
    sql(QStringLiteral("insert into sysparamamth (PARAMID, PARAMNAME, DATAVALUE) values (:id, :n, :v)"),
        {{"id", id}, {"n", name}, {"v", value}});
}

void HostTest::grant(int operatorId, int privilegeId, int action)
{
    sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (:o, :p, :a)"),
        {{"o", operatorId}, {"p", privilegeId}, {"a", action}});
}

} // namespace hosttest
