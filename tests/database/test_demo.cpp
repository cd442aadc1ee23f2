// The demo company: it must hold the data the documents rely on (kinds, batch
// costing, cash partner, rights, period), consistent with its own postings.
// The statements the documents send run in their windows' tests on the demo.

#include "TestSupport.h"

#include "notedb.h"

#include <QCryptographicHash>
#include <QSet>

#include <gtest/gtest.h>

using db::Params;

namespace {

class DemoBooks : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new testsupport::TempFolder;
        books = notedb::createBooks(folder->file("demo.db"), true, false, kToday).release();
    }
    static void TearDownTestSuite()
    {
        delete books;
        delete folder;
    }
    int count(const QString &sql, const Params &p = {}) { return books->scalar(sql, p).toInt(); }
    QString param(const QString &name)
    {
        return books->scalar("select DATAVALUE from sysparamamth where PARAMNAME = :n",
                             {{"n", name}})
            .toString();
    }

    static inline const QDate kToday{2024, 2, 10};
    static inline testsupport::TempFolder *folder = nullptr;
    static inline db::Database *books = nullptr;
};

// The demo is rich enough for every document and consistent: each query counts the
// examples a document needs (at least so many) or the rows that break a rule (none).
TEST_F(DemoBooks, IsRichAndConsistent)
{
    const struct {
        const char *sql;
        int atLeast;
    } enough[] = {
        {"select count(distinct KIND) from Commoditylth where KIND between 1 and 8", 8},
        {"select count(*) from Commoditylth", 24},
        {"select count(*) from Commoditylth where COSTTYPE = 2", 3},
        {"select count(*) from Commoditylth where COSTTYPE = 3", 1},
        {"select count(*) from storelth where coalesce(SHOPERATEID,0) = 0", 3},
        {"select count(*) from partnerlth where ISVENDOR = 1 and CLOSED = 0", 3},
        {"select count(*) from partnerlth where ISCLIENT = 1 and CLOSED = 0", 3},
        {"select count(*) from employlth", 5},
        {"select count(*) from departmentlth", 4},
        {"select count(*) from accountacth", 2},
        {"select count(*) from paymethodlth", 3},
        {"select count(*) from arealth", 3},
        {"select count(*) from expenseath where NOTECODE = 'FYKZ-2024-02-0001'", 1}, // numbered by kind and month
        {"select count(*) from accountflowaath", 1},
        {"select count(*) from payath where NOTESTATE = 0", 1},
        {"select count(*) from payath where NOTESTATE = 1", 1},
        {"select count(*) from chargeath where NOTESTATE = 1", 1},
    };
    for (const auto &e : enough)
        EXPECT_GE(count(e.sql), e.atLeast) << e.sql;
    // Money notes of each kind, audited and entered.
    for (const char *table : {"movebth", "expenseath", "InComebth"})
        for (int state : {0, 1})
            EXPECT_GE(count(QString("select count(*) from %1 where NOTESTATE = %2").arg(table).arg(state)), 1)
                << table << " " << state;

    const char *const broken[] = {
        // Batch costing only on stocked goods with a shelf life; stocked kinds have a
        // head-office default store, the others none.
        "select count(*) from Commoditylth where COSTTYPE = 2 and (KIND > 3 or coalesce(VALIDDAYS,0) <= 0)",
        "select count(*) from Commoditylth g left join storelth s on g.BUILDINGID = s.BUILDINGID "
        "where g.KIND <= 3 and (s.BUILDINGID is null or s.SHOPERATEID <> 0)",
        "select count(*) from Commoditylth where KIND > 3 and BUILDINGID is not null",
        "select count(*) from Commoditylth where LOWPRICE > LPRICE1 and LPRICE1 > 0",
        // Every reference resolves.
        "select count(*) from Commoditylth g left join unitlth u on g.UNITSID = u.UNITSID where u.UNITSID is null",
        "select count(*) from Commoditylth g left join unitlth u on g.UNITSIDPAK1 = u.UNITSID "
        "where g.UNITSIDPAK1 is not null and (u.UNITSID is null or coalesce(g.TIMEPAK1,0) <= 1)",
        "select count(*) from Commoditylth g left join CommoditylthType t on g.GDTYPESID = t.GDTYPESID where t.GDTYPESID is null",
        "select count(*) from Commoditylth g left join partnerlth p on g.PARTNERID = p.PARTNERID "
        "where g.PARTNERID is not null and (p.PARTNERID is null or p.ISVENDOR <> 1)",
        "select count(*) from CommoditylthType c where length(c.LCODE) > 2 and not exists "
        "(select 1 from CommoditylthType p where p.LCODE = substr(c.LCODE, 1, length(c.LCODE) - 2))",
        "select count(*) from partnerlth where PARTNERID <= 0",
        "select count(*) from partnerlth p left join arealth a on p.AREAID = a.AREAID where a.AREAID is null",
        "select count(*) from partnerlth p left join employlth e on p.EMPID = e.EMPID "
        "left join departmentlth d on p.DEPID = d.DEPID where e.EMPID is null or d.DEPID is null",
        "select count(*) from employlth e left join departmentlth d on e.DEPID = d.DEPID "
        "left join emptypelth t on e.EMPTYPESID = t.EMPTYPESID where d.DEPID is null or t.EMPTYPESID is null",
        "select count(*) from paymethodlth p left join accountacth a on p.ACCOUNTID = a.ACCOUNTID where a.ACCOUNTID is null",
        "select count(*) from accountacth a left join subjectalth s on a.SUBJECTID = s.SUBJECTID "
        "where s.SUBJECTID is null or s.ISDETAIL <> 1",
        // One cash customer and one cash supplier of the head office; two operators and their
        // employees point at each other.
        "select abs(count(*) - 1) from partnerlth where ISCASHPARTNER = 1 and ISCLIENT = 1 and coalesce(SHOPERATEID,0) = 0",
        "select abs(count(*) - 1) from partnerlth where ISCASHPARTNER = 1 and ISVENDOR = 1 and CREDIT = 0 "
        "and coalesce(SHOPERATEID,0) = 0",
        "select abs(count(*) - 2) from operatormth o join employlth e on o.EMPID = e.EMPID where e.OPERATERID = o.OPERATEID",
        "select count(*) from employlth e left join operatormth o on e.OPERATERID = o.OPERATEID "
        "where e.OPERATERID is not null and (o.OPERATEID is null or o.EMPID <> e.EMPID)",
        // Every note type numbers its notes: a name, a head no other type shares, a known date mode.
        "select abs(count(*) - 46) + count(*) - count(distinct HEAD) from notetypelth",
        "select count(*) from notetypelth where coalesce(NAME,'') = '' or coalesce(HEAD,'') = '' or length(CODE) < 3 "
        "or SEPA <> '-' or coalesce(MODE,'') not in ('', '年', '年月', '月年', '年月日', '月日年')",
        // Every money note is in the print register; only audited ones (and receipts paid
        // on the spot) have flows, and
        // those end in each account's balance.
        "select (select count(*) from movebth) + (select count(*) from expenseath) + (select count(*) from InComebth) "
        "- (select count(*) from noteprintabth where NOTETYPE in (51, 52, 53))",
        "select count(*) from accountflowaath f where not exists (select 1 from expenseath e where f.NOTETYPE = 52 and "
        "e.NOTEID = f.NOTEID and e.NOTESTATE = 1) and not exists (select 1 from InComebth i where f.NOTETYPE = 53 and "
        "i.NOTEID = f.NOTEID and i.NOTESTATE = 1) and not exists (select 1 from movebth m where f.NOTETYPE = 51 and "
        "m.NOTEID = f.NOTEID and m.NOTESTATE = 1) and not exists (select 1 from purchasepth p where f.NOTETYPE = 4 and "
        "p.NOTEID = f.NOTEID and p.NOTESTATE = 1 and p.PAYAMT <> 0) and not exists (select 1 from salesth s where "
        "f.NOTETYPE = 14 and s.NOTEID = f.NOTEID and s.NOTESTATE = 1 and s.PAYAMT <> 0) and not exists (select 1 from "
        "payath y where f.NOTETYPE = 61 and y.NOTEID = f.NOTEID and y.NOTESTATE = 1) and not exists (select 1 from "
        "chargeath c where f.NOTETYPE = 62 and c.NOTEID = f.NOTEID and c.NOTESTATE = 1)",
        "select count(*) from accountacth a where exists (select 1 from accountflowaath f where f.ACCOUNTID = a.ACCOUNTID) and "
        "abs(a.BALANCE - (select top 1 BALANCE from accountflowaath f where f.ACCOUNTID = a.ACCOUNTID order by ID desc)) > 0.000001",
        // Masters hold the total of their lines; items are on the right side.
        "select count(*) from expenseath m where abs(m.AMOUNT - (select sum(AMOUNT) from expenseathdetail d "
        "where d.NOTEID = m.NOTEID)) > 0.0001",
        "select count(*) from expenseathdetail d join ietypelth i on i.IETYPESID = d.IETYPESID where i.STYPE <> 0",
        "select count(*) from InComebthdetail d join ietypelth i on i.IETYPESID = d.IETYPESID where i.STYPE <> 1",
    };
    for (const char *sql : broken)
        EXPECT_EQ(count(QString::fromUtf8(sql)), 0) << sql;
}

// The opening stock: on hand is what the flows add up to per commodity and store,
// batches are drawn only by rows that say so and never below zero, and the
// uniform's colour/size opening adds up to its stock.
TEST_F(DemoBooks, OpeningStockIsConsistent)
{
    const char *const enough[] = {
        // batch-costed food in two stores, several batches with their own dates in one
        "select count(*) from (select COMMODITYID from noteflowaath where BCODE is not null and BTURNNOTEID is null "
        "group by COMMODITYID having count(distinct BUILDINGID) >= 2 and count(distinct NOTEDATE) >= 2) x",
        "select count(*) from noteflowaath where BTURNNOTEID is null and BREFERQTY > 0 and QUANTITY > BREFERQTY",
        "select count(*) from noteflowaath where BTURNNOTEID is null and BCODE is not null and QUANTITY = BREFERQTY",
        "select count(*) from onhandaath where USEDQTY > 0",
        "select count(distinct BUILDINGID) from onhandaath",
        "select count(*) from commoditycolor cc join Color c on c.ColorID = cc.ColorID where c.ColorValue is not null "
        "and c.FontColor is not null",
        "select count(*) from CommoditySize",
    };
    const int atLeast[] = {4, 1, 1, 3, 4, 3, 4};
    for (int i = 0; i < 7; ++i)
        EXPECT_GE(count(QString::fromUtf8(enough[i])), atLeast[i]) << enough[i];

    const char *const broken[] = {
        // on hand against the flows, both ways, and against the last running balance
        "select count(*) from onhandaath o where abs(o.QUANTITY - (select coalesce(sum(f.QUANTITY * f.IOFLAG), 0) "
        "from noteflowaath f where f.COMMODITYID = o.COMMODITYID and f.BUILDINGID = o.BUILDINGID)) > 0.000001",
        "select count(*) from (select distinct COMMODITYID, BUILDINGID from noteflowaath) f where not exists "
        "(select 1 from onhandaath o where o.COMMODITYID = f.COMMODITYID and o.BUILDINGID = f.BUILDINGID)",
        "select count(*) from onhandaath o where abs(o.QUANTITY - (select top 1 f.EQTY from noteflowaath f where "
        "f.COMMODITYID = o.COMMODITYID and f.BUILDINGID = o.BUILDINGID order by f.NOTEDATE desc, f.ID desc)) > 0.000001",
        "select count(*) from onhandaath where REALQTY <> QUANTITY or USEDQTY < 0 or USEDQTY > REALQTY "
        "or abs(AMOUNT - QUANTITY * PRICE) > 0.01 or PRICE <= 0",
        // batches: only on batch-costed goods, never overdrawn, drawn by rows of their own store and code
        "select count(*) from noteflowaath f join Commoditylth g on g.COMMODITYID = f.COMMODITYID "
        "where (g.COSTTYPE = 2 and f.BCODE is null) or (g.COSTTYPE <> 2 and f.BCODE is not null)",
        "select count(*) from noteflowaath where BTURNNOTEID is null and BCODE is not null and "
        "(IOFLAG <> 1 or QUANTITY * IOFLAG - BREFERQTY < 0)",
        "select count(*) from noteflowaath b where b.BTURNNOTEID is null and abs(b.BREFERQTY - (select "
        "coalesce(sum(f.QUANTITY), 0) from noteflowaath f where f.BTURNNOTEID = b.ID)) > 0.000001",
        "select count(*) from noteflowaath f left join noteflowaath b on b.ID = f.BTURNNOTEID where f.BTURNNOTEID is not null "
        "and (b.ID is null or b.BTURNNOTEID is not null or b.BUILDINGID <> f.BUILDINGID or b.COMMODITYID <> f.COMMODITYID "
        "or b.BCODE <> f.BCODE or f.IOFLAG <> -1 or f.NOTEDATE < b.NOTEDATE)",
        // for batch-costed goods the open batches are the stock
        "select count(*) from onhandaath o join Commoditylth g on g.COMMODITYID = o.COMMODITYID where g.COSTTYPE = 2 and "
        "abs(o.QUANTITY - (select sum(b.QUANTITY - b.BREFERQTY) from noteflowaath b where b.BTURNNOTEID is null and "
        "b.COMMODITYID = o.COMMODITYID and b.BUILDINGID = o.BUILDINGID)) > 0.000001",
        "select count(*) from noteflowaath f join Commoditylth g on g.COMMODITYID = f.COMMODITYID where f.BCODE is not null "
        "and (f.PRODUCEDDATE is null or datediff(day, f.PRODUCEDDATE, f.VALIDDAY) <> g.VALIDDAYS)",
        // the opening comes before the start of use, under the opening note type; every
        // other row is posted by an audited purchase, sales or stock note
        "select count(*) from noteflowaath where NOTETYPE = -999 and NOTEDATE >= (select DATAVALUE from sysparamamth "
        "where PARAMNAME = 'StartDate')",
        "select count(*) from noteflowaath f where f.NOTETYPE <> -999 and not exists (select 1 from purchasepth p where "
        "f.NOTETYPE = 4 and p.NOTEID = f.NOTEID and p.NOTESTATE = 1) and not exists (select 1 from valuepth v where "
        "f.NOTETYPE = 3 and v.NOTEID = f.NOTEID and v.NOTESTATE = 1) and not exists (select 1 from salesth s where "
        "f.NOTETYPE = 14 and s.NOTEID = f.NOTEID and s.NOTESTATE = 1) and not exists (select 1 from DeputeMarketsth c "
        "where f.NOTETYPE = 13 and c.NOTEID = f.NOTEID and c.NOTESTATE = 1) and not exists (select 1 from iostoreith i "
        "where f.NOTETYPE = 21 and i.NOTEID = f.NOTEID and i.NOTESTATE = 1) and not exists (select 1 from OtherInith n "
        "where f.NOTETYPE = 22 and n.NOTEID = f.NOTEID and n.NOTESTATE = 1) and not exists (select 1 from Attaintith a "
        "where f.NOTETYPE = 29 and a.NOTEID = f.NOTEID and a.NOTESTATE = 1) and not exists (select 1 from BrowOut l "
        "where f.NOTETYPE = 23 and l.NOTEID = f.NOTEID and l.NOTESTATE = 1) and not exists (select 1 from BrowIn r "
        "where f.NOTETYPE = 22 and r.NOTEID = f.NOTEID and r.NOTESTATE = 1)",
        // colour/size opening per store adds up to the stock, only in the commodity's colours and sizes
        "select count(*) from onhandaath o where exists (select 1 from CommodityDetail c where c.CommodityID = o.COMMODITYID) "
        "and abs(o.QUANTITY - (select sum(c.Quantity) from CommodityDetail c where c.CommodityID = o.COMMODITYID and "
        "c.BuildingID = o.BUILDINGID)) > 0.000001",
        "select count(*) from CommodityDetail c where c.Quantity <> c.StartQty or not exists (select 1 from commoditycolor k "
        "where k.CommodityID = c.CommodityID and k.ColorID = c.ColorID) or not exists (select 1 from CommoditySize z "
        "where z.CommodityID = c.CommodityID and z.SizeID = c.SizeID)",
    };
    for (const char *sql : broken)
        EXPECT_EQ(count(QString::fromUtf8(sql)), 0) << sql;
}

TEST_F(DemoBooks, OperatorsRightsAndPasswords)
{
    const struct {
        const char *login, *password;
        int id;
    } logins[] = {{"admin", "admin", 1}, {"clerk", "clerk", 2}, {"admin", "clerk", 0}, {"admin", "Admin", 0},
                  {"admin", "", 0},      {"nobody", "nobody", 0}, {"", "", 0},      {"x' or '1'='1", "admin", 0}};
    for (const auto &l : logins)
        EXPECT_EQ(notedb::checkPassword(*books, QString::fromLatin1(l.login), QString::fromLatin1(l.password)), l.id)
            << l.login << "/" << l.password;

    const db::ResultSet ops = books->select("select LOGINNAME, OPERATEPWD, PWDSALT, ISADMIN from operatormth order by OPERATEID");
    ASSERT_EQ(ops.rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(notedb::isCurrentHash(ops.value(i, "OPERATEPWD").toString()));
        EXPECT_TRUE(ops.value(i, "PWDSALT").isNull());
    }
    EXPECT_EQ(ops.value(0, "ISADMIN").toInt(), 1);
    EXPECT_EQ(ops.value(1, "ISADMIN").toInt(), 0);

    // The administrator holds all six actions on every form and global item.
    const QString adminItems = "select count(distinct PRIVILEGEID) from privilegemth where OPERATEID = 1";
    EXPECT_GE(count(adminItems), 56);
    EXPECT_EQ(count("select count(*) from (select PRIVILEGEID from privilegemth where OPERATEID = 1 and "
                    "ACTION in (1, 2, 3, 5, 6, 7) group by PRIVILEGEID having count(distinct ACTION) = 6) x"),
              count(adminItems));

    // The clerk may browse and edit purchase and sales documents and nothing else.
    const QString granted = "from privilegemth where OPERATEID = 2 and PRIVILEGEID in (2001, 2002, 2003, 2004, 2005, 2011, 2012, "
                            "2013, 2014, 2015) and ACTION in (1, 2)";
    EXPECT_EQ(count("select count(distinct PRIVILEGEID * 10 + ACTION) " + granted), 20);
    EXPECT_EQ(count("select count(*) from privilegemth where OPERATEID = 2"), 20);
}

TEST_F(DemoBooks, BusinessPeriodIsTodaysMonthAndKeysFollowTheData)
{
    // Start of use three months earlier, across the year boundary; two clients
    // never show the same number for new notes.
    QStringList period;
    for (const char *name : {"PosYear", "PosMonth", "StartYear", "StartMonth", "StartDate", "IsStartUse", "noteAutoValue"})
        period << param(QLatin1String(name));
    EXPECT_EQ(period.join(u'/'), "2024/2/2023/11/2023-11-01/1/1");
    EXPECT_EQ(books->scalar("select count(*) from notecodereserveth").toInt(), 0);

    const qint64 partner = books->scalar("select max(PARTNERID) from partnerlth").toLongLong();
    EXPECT_EQ(books->newKey("partnerlth"), partner + 1);
    const qint64 goods = books->scalar("select max(COMMODITYID) from Commoditylth").toLongLong();
    EXPECT_EQ(books->newKey("Commoditylth"), goods + 1);
    for (const char *table : {"movebth", "expenseath", "InComebth"})
        EXPECT_GT(books->newKey(table), books->scalar(QString("select max(NOTEID) from ") + table).toLongLong()) << table;
}

TEST(Demo, IsTheSameEveryTime)
{
    testsupport::TempFolder folder;
    auto a = notedb::createBooks(folder.file("a.db"), true, false, QDate(2025, 7, 31));
    auto b = notedb::createBooks(folder.file("b.db"), true, false, QDate(2025, 7, 31));
    for (const char *sql : {"select * from Commoditylth order by COMMODITYID", "select * from partnerlth order by PARTNERID",
                            "select * from sysparamamth order by PARAMID", "select * from privilegemth order by 1, 2, 3",
                            "select * from notetypelth order by ID", "select * from storelth order by BUILDINGID"}) {
        const db::ResultSet ra = a->select(QString::fromLatin1(sql));
        const db::ResultSet rb = b->select(QString::fromLatin1(sql));
        EXPECT_FALSE(ra.rows.isEmpty()) << sql;
        EXPECT_EQ(ra.rows, rb.rows) << sql;
    }
    EXPECT_EQ(a->scalar("select DATAVALUE from sysparamamth where PARAMID = 3003").toString(), "7");
    EXPECT_EQ(a->scalar("select DATAVALUE from sysparamamth where PARAMNAME = 'StartMonth'").toString(),
              "4");
}

TEST(Passwords, Argon2idAndOldHashesUpgradedOnlyByAGoodLogin)
{
    const QString h = notedb::hashPassword("pw");
    EXPECT_TRUE(h.startsWith(QLatin1String("$argon2id$"))) << h.toStdString();
    EXPECT_NE(h, notedb::hashPassword("pw")); // a fresh salt each time
    EXPECT_TRUE(notedb::isCurrentHash(h));

    testsupport::TempFolder folder;
    auto d = notedb::createBooks(folder.file("pw.db"), true, false);
    const auto stored = [&] {
        return d->select("select OPERATEPWD, PWDSALT from operatormth where OPERATEID = 2").rows.value(0);
    };
    notedb::setPassword(*d, 2, QString::fromUtf8("新密码123"));
    EXPECT_TRUE(notedb::isCurrentHash(stored().value(0).toString()));
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", QString::fromUtf8("新密码123")), 2);
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", "clerk"), 0);

    // Books from before: hex SHA-256 of salt + password.
    const QString old = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray("5a1t") + QByteArray("旧密码"), QCryptographicHash::Sha256).toHex());
    d->exec("update operatormth set PWDSALT = '5a1t', OPERATEPWD = :p where OPERATEID = 2",
            {{"p", old}});
    EXPECT_FALSE(notedb::isCurrentHash(old));
    for (const char *wrong : {"", "旧", "旧密码 ", "5a1t旧密码"})
        EXPECT_EQ(notedb::checkPassword(*d, "clerk", QString::fromUtf8(wrong)), 0) << wrong;
    EXPECT_EQ(stored().value(0).toString(), old); // refused logins leave the old hash alone
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", QString::fromUtf8("旧密码")), 2);
    const QVector<QVariant> upgraded = stored();
    EXPECT_TRUE(notedb::isCurrentHash(upgraded.value(0).toString()));
    EXPECT_TRUE(upgraded.value(1).isNull());
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", QString::fromUtf8("旧密码")), 2);
    EXPECT_EQ(stored().value(0), upgraded.value(0)); // a current hash is not rewritten
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", "clerk"), 0);

    d->exec("update operatormth set CLOSED = 1 where OPERATEID = 2");
    EXPECT_EQ(notedb::checkPassword(*d, "clerk", QString::fromUtf8("旧密码")), 0);
}

} // namespace
