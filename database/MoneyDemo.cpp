// Demo notes of the bank deposit/withdrawal, expense and other-income kinds:
// a few audited (posted to the accounts) and a few still entered, each with
// its print-register row as a save through the window leaves it.

#include "Procedures.h"
#include "notedb.h"

#include <algorithm>

namespace notedb {

using db::DbError;

namespace {

QString u8(const char *text) { return QString::fromUtf8(text); }

struct Line {
    int item;
    double amount;
    const char *remark;
};

class MoneyDemo {
public:
    MoneyDemo(db::Database &d, const QDate &today) : m_db(d), m_today(today), m_first(today.year(), today.month(), 1) {}

    void run()
    {
        items();
        openingBalances();
        // Deposit the cash takings, draw petty cash, a transfer still waiting for audit.
        move(1, 1, 1, 2, 5000, "存入营业款", "");
        move(3, 1, 2, 1, 2000, "提取备用金", "XJ0012871");
        move(6, 0, 3, 2, 10000, "建行转工行", "ZZ2024088");
        expense(2, 1, 1, 1, 0, {{1, 320, "打印纸和文件夹"}, {3, 150, "市内送货"}}, "");
        expense(4, 1, 2, 2, 7, {{5, 8000, "门店房租"}}, "ZP3381927");
        expense(7, 0, 1, 1, 0, {{2, 486.5, "上海-南京 高铁往返"}, {6, 260, "客户午餐"}}, "");
        income(5, 1, 3, 2, {{21, 126.45, "活期利息"}});
        income(8, 0, 1, 1, {{23, 300, "废旧纸箱"}, {22, 1200, "仓库场地出租"}});
    }

private:
    QDate day(int n) const { return std::min(m_first.addDays(n - 1), std::max(m_today, m_first)); }

    void items()
    {
        struct I {
            int id;
            const char *code, *name;
            int stype, subject;
        };
        const I list[] = {
            {1, "01", "办公费", 0, 10}, {2, "02", "差旅费", 0, 10}, {3, "03", "运输费", 0, 11},
            {4, "04", "水电费", 0, 10}, {5, "05", "房租", 0, 10},   {6, "06", "业务招待费", 0, 10},
            {7, "07", "银行手续费", 0, 12},
            {21, "51", "利息收入", 1, 12}, {22, "52", "租金收入", 1, 14}, {23, "53", "废品收入", 1, 14},
        };
        for (const I &i : list)
            m_db.exec(QStringLiteral("insert into ietypelth (IETYPESID, CODE, IENAME, STYPE, SUBJECTID) "
                                     "values (:id, :code, :name, :stype, :sub)"),
                      {{QStringLiteral("id"), i.id},
                       {QStringLiteral("code"), QString::fromLatin1(i.code)},
                       {QStringLiteral("name"), u8(i.name)},
                       {QStringLiteral("stype"), i.stype},
                       {QStringLiteral("sub"), i.subject}});
        ensureKey(m_db, QStringLiteral("ietypelth"), 23);
    }

    // Money the firm held when the books were opened.
    void openingBalances()
    {
        const std::pair<int, double> opening[] = {{1, 20000}, {2, 500000}, {3, 300000}, {4, 3000}};
        for (const auto &[id, amount] : opening)
            m_db.exec(QStringLiteral("update accountacth set BALANCE = :b where ACCOUNTID = :a and BALANCE = 0"),
                      {{QStringLiteral("a"), id}, {QStringLiteral("b"), amount}});
    }

    QString code(int noteType, const QString &table, const QDate &date)
    {
        const db::ResultSet rule = m_db.select(QStringLiteral("select HEAD, SEPA from notetypelth where ID = :t"),
                                               {{QStringLiteral("t"), noteType}});
        if (rule.isEmpty())
            throw DbError(QStringLiteral("演示数据: 单据类型 %1 没有编号规则").arg(noteType));
        const QString head = rule.value(0, QStringLiteral("HEAD")).toString();
        const QString sepa = rule.value(0, QStringLiteral("SEPA")).toString();
        const QString prefix = head + sepa + date.toString(QStringLiteral("yyyy")) + sepa +
                               date.toString(QStringLiteral("MM")) + sepa;
        const int serial = m_db.scalar(QStringLiteral("select count(*) from %1 where NOTECODE like :p").arg(table),
                                       {{QStringLiteral("p"), prefix + u'%'}})
                               .toInt() + 1;
        return prefix + QStringLiteral("%1").arg(serial, 4, 10, QLatin1Char('0'));
    }

    // Saved as the window saves (entered, with the print-register call), then
    // audited with the window's own statement so the posting runs as in use.
    void finish(int noteType, const QString &table, qint64 id, const QString &noteCode, const QDate &date, int state)
    {
        m_db.run(QStringLiteral("exec usrprocnoteprintabth_insert %1, %2,'%3','%4',1")
                     .arg(noteType)
                     .arg(id)
                     .arg(noteCode, db::Database::dateText(date)));
        if (state == 1)
            m_db.exec(QStringLiteral("Update %1 Set noteState=1, chkorid=1 where noteState=0 and noteID=%2").arg(table).arg(id));
    }

    void move(int dayNo, int state, int out, int in, double amount, const char *purpose, const char *checkNo)
    {
        const QDate date = day(dayNo);
        const QString table = QStringLiteral("movebth");
        const qint64 id = m_db.newKey(table);
        const QString noteCode = code(51, table, date);
        m_db.exec(QStringLiteral("insert into movebth (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, OPERATEID, "
                                 "SHOPERATEID, EMPID, DEPID, OUTACCOUNTID, OUTSHOPERATEID, INACCOUNTID, INSHOPERATEID, "
                                 "AMOUNT, PURPOSE, CHECKNO, UPDATETIME, REFERCOUNT, UPFLAG) values (:id, :code, :date, "
                                 "0, 1, 1, 0, 6, 5, :out, 0, :in, 0, :amt, :purpose, :check, :time, 0, 0)"),
                  {{QStringLiteral("id"), id},
                   {QStringLiteral("code"), noteCode},
                   {QStringLiteral("date"), date},
                   {QStringLiteral("out"), out},
                   {QStringLiteral("in"), in},
                   {QStringLiteral("amt"), amount},
                   {QStringLiteral("purpose"), u8(purpose)},
                   {QStringLiteral("check"), *checkNo ? QVariant(QString::fromLatin1(checkNo)) : QVariant()},
                   {QStringLiteral("time"), QDateTime(date, QTime(9, 30))}});
        finish(51, table, id, noteCode, date, state);
    }

    void withLines(int noteType, const QString &table, int dayNo, int state, int payType, int account,
                   const QVariant &partner, const QList<Line> &lines, const char *checkNo)
    {
        const QDate date = day(dayNo);
        const qint64 id = m_db.newKey(table);
        const QString noteCode = code(noteType, table, date);
        double total = 0;
        for (const Line &l : lines)
            total += l.amount;
        const bool expense = noteType == 52;
        m_db.exec(QStringLiteral("insert into %1 (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, OPERATEID, EMPID, "
                                 "DEPID, SHOPERATEID, REFERCOUNT, %2PAYTYPESID, ACCOUNTID, AMOUNT, CHECKNO, UPDATETIME, "
                                 "UPFLAG) values (:id, :code, :date, 0, 1, 1, 6, 5, 0, 0, %3:pay, :acc, :amt, :check, "
                                 ":time, 0)")
                      .arg(table, expense ? QStringLiteral("PARTNERID, ") : QString(),
                           expense ? QStringLiteral(":partner, ") : QString()),
                  {{QStringLiteral("id"), id},
                   {QStringLiteral("code"), noteCode},
                   {QStringLiteral("date"), date},
                   {QStringLiteral("partner"), partner},
                   {QStringLiteral("pay"), payType},
                   {QStringLiteral("acc"), account},
                   {QStringLiteral("amt"), total},
                   {QStringLiteral("check"), *checkNo ? QVariant(QString::fromLatin1(checkNo)) : QVariant()},
                   {QStringLiteral("time"), QDateTime(date, QTime(14, 0))}});
        int itemNo = 0;
        for (const Line &l : lines)
            m_db.exec(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, IETYPESID, REFERCOUNT, AMOUNT, REMARK) "
                                     "values (:id, :no, :item, 0, :amt, :remark)")
                          .arg(table),
                      {{QStringLiteral("id"), id},
                       {QStringLiteral("no"), ++itemNo},
                       {QStringLiteral("item"), l.item},
                       {QStringLiteral("amt"), l.amount},
                       {QStringLiteral("remark"), u8(l.remark)}});
        finish(noteType, table, id, noteCode, date, state);
    }

    void expense(int dayNo, int state, int payType, int account, int partner, const QList<Line> &lines,
                 const char *checkNo)
    {
        withLines(52, QStringLiteral("expenseath"), dayNo, state, payType, account,
                  partner ? QVariant(partner) : QVariant(), lines, checkNo);
    }

    void income(int dayNo, int state, int payType, int account, const QList<Line> &lines)
    {
        withLines(53, QStringLiteral("InComebth"), dayNo, state, payType, account, QVariant(), lines, "");
    }

    db::Database &m_db;
    QDate m_today;
    QDate m_first;
};

} // namespace

void createMoneyDemo(db::Database &database, const QDate &today)
{
    if (!today.isValid())
        throw DbError(QStringLiteral("演示数据需要有效的当前日期"));
    registerFrameworkProcedures();
    registerMoneyPostings();
    database.beginTran();
    try {
        MoneyDemo(database, today).run();
        database.commitTran();
    } catch (...) {
        if (database.inTransaction())
            database.rollbackTran();
        throw;
    }
}

} // namespace notedb
