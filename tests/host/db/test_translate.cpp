// Tokenizer and T-SQL translation: exact output for the package's own statements, and
// every translated statement run on a real in-memory SQLite database.

#include "db/TsqlFunctions.h"
#include "db/TsqlTranslator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <iterator>
#include <ostream>

using db::Token;
using db::TsqlTranslator;

QT_BEGIN_NAMESPACE
// Readable failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

// ---------------------------------------------------------------------------------------
// A scratch in-memory database with the tables a statement names.

// The SQL functions the books provide; a stub returning NULL is enough for these tests.
void stubFunction(sqlite3_context *, int, sqlite3_value **) {}

void registerStubs(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    ASSERT_TRUE(handle.isValid());
    ASSERT_STREQ(handle.typeName(), "sqlite3*");
    sqlite3 *raw = *static_cast<sqlite3 *const *>(handle.data());
    const struct {
        const char *name;
        int args;
    } functions[] = {{"funcdefCodeToSerialNo", 2}, {"funcdefDateComp", 3}, {"sevengetnotecode", 2}};
    for (const auto &f : functions)
        ASSERT_EQ(sqlite3_create_function(raw, f.name, f.args, SQLITE_UTF8, nullptr, stubFunction, nullptr, nullptr),
                  SQLITE_OK);
    ASSERT_TRUE(db::installTsqlSupport(raw));
}

// Driver plugins load only once an application object exists.
void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_translate";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

class Scratch {
public:
    Scratch() : m_name(QUuid::createUuid().toString())
    {
        ensureApplication();
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(QStringLiteral(":memory:"));
        m_open = db.open();
    }
    ~Scratch()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    bool isOpen() const { return m_open; }

    // Column types of the scratch tables, as the layer reads them from a real database.
    const db::SchemaTypes *schema()
    {
        m_schema.clear();
        QSqlQuery q(db());
        q.exec(QStringLiteral("select lower(m.name), lower(p.name), p.type from sqlite_master m "
                              "join pragma_table_info(m.name) p where m.type = 'table'"));
        while (q.next())
            m_schema[q.value(0).toString()].insert(q.value(1).toString(), db::sqlTypeOf(q.value(2).toString()));
        return &m_schema;
    }

    // "a(x,y); b(z)" -> untyped tables a and b.
    QString createTables(const QString &spec)
    {
        for (const QString &part : spec.split(u';', Qt::SkipEmptyParts)) {
            const QString def = part.trimmed();
            if (def.isEmpty())
                continue;
            QSqlQuery q(db());
            if (!q.exec(QStringLiteral("create table ") + def))
                return def + QStringLiteral(": ") + q.lastError().text();
        }
        return {};
    }

    // Runs a translated statement with every :param bound to 1; returns the error text.
    QString run(const QString &sql, QVector<QVariantList> *rows = nullptr)
    {
        QSqlQuery q(db());
        if (!q.prepare(sql))
            return q.lastError().text();
        for (const Token &t : db::tokenize(sql)) {
            if (t.kind == Token::Parameter)
                q.bindValue(t.text, 1);
        }
        if (!q.exec())
            return q.lastError().text();
        while (q.next()) {
            if (rows) {
                QVariantList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << q.value(i);
                rows->push_back(row);
            }
        }
        return {};
    }

private:
    db::SchemaTypes m_schema;
    QString m_name;
    bool m_open = false;
};

// ---------------------------------------------------------------------------------------
// Tokenizer

QString kinds(const QString &sql)
{
    static const char *names[] = {"W", "Q", "S", "N", "P", "V", "O", "_", "C"};
    QStringList out;
    for (const Token &t : db::tokenize(sql))
        out << QString::fromLatin1(names[t.kind]) + u':' + t.text;
    return out.join(u' ');
}

TEST(Tokenize, SplitsEveryKindOfToken)
{
    EXPECT_EQ(kinds(QStringLiteral("select a.b,[x y],\"z\" from t")),
              QStringLiteral("W:select _:  W:a O:. W:b O:, Q:[x y] O:, Q:\"z\" _:  W:from _:  W:t"));
    EXPECT_EQ(kinds(QStringLiteral("x='it''s'+N'中文'")),
              QStringLiteral("W:x O:= S:'it''s' O:+ S:N'中文'"));
    EXPECT_EQ(kinds(QStringLiteral("12 3.5 .5 1e5 2E-3 0x1F")),
              QStringLiteral("N:12 _:  N:3.5 _:  N:.5 _:  N:1e5 _:  N:2E-3 _:  N:0x1F"));
    EXPECT_EQ(kinds(QStringLiteral("id=:noteID and @v=@@ROWCOUNT")),
              QStringLiteral("W:id O:= P::noteID _:  W:and _:  V:@v O:= V:@@ROWCOUNT"));
    EXPECT_EQ(kinds(QStringLiteral("a<>b<=c>=d!=e||f<g")),
              QStringLiteral("W:a O:<> W:b O:<= W:c O:>= W:d O:!= W:e O:|| W:f O:< W:g"));
    EXPECT_EQ(kinds(QStringLiteral("#tmp 货品 N")), QStringLiteral("W:#tmp _:  W:货品 _:  W:N"));
}

TEST(Tokenize, CommentsStringsAndQuotedNamesHideTheirContent)
{
    EXPECT_EQ(kinds(QStringLiteral("a -- top 1 'x\nb")), QStringLiteral("W:a _:  C:-- top 1 'x _:\n W:b"));
    // T-SQL block comments nest.
    EXPECT_EQ(kinds(QStringLiteral("a/* x /* y */ z */b")), QStringLiteral("W:a C:/* x /* y */ z */ W:b"));
    EXPECT_EQ(kinds(QStringLiteral("[a]]b] 'c--d' \"e\"\"f\"")),
              QStringLiteral("Q:[a]]b] _:  S:'c--d' _:  Q:\"e\"\"f\""));
    // A number glued to a word is two tokens, as SQL Server reads it.
    EXPECT_EQ(kinds(QStringLiteral("id=12and")), QStringLiteral("W:id O:= N:12 W:and"));
    // Unterminated literals run to the end rather than losing text.
    EXPECT_EQ(kinds(QStringLiteral("x 'abc")), QStringLiteral("W:x _:  S:'abc"));
    EXPECT_EQ(kinds(QStringLiteral("x [abc")), QStringLiteral("W:x _:  Q:[abc"));
    EXPECT_EQ(kinds(QStringLiteral("x /* abc")), QStringLiteral("W:x _:  C:/* abc"));
}

TEST(Tokenize, HandlesBatchStatements)
{
    const QString batch = QStringLiteral(
        "Declare @DefaultPrice usrdefprice,@LastPrice usrdefprice \n"
        "Exec GetCommodityMultiPrice 1,8,5,0,2,@DefaultPrice OutPut,@LastPrice OutPut \n"
        "Select @DefaultPrice As DefaultPrice");
    const QVector<Token> toks = db::tokenize(batch);
    QStringList vars;
    for (const Token &t : toks) {
        if (t.kind == Token::Variable)
            vars << t.text;
    }
    EXPECT_EQ(vars, QStringList({"@DefaultPrice", "@LastPrice", "@DefaultPrice", "@LastPrice", "@DefaultPrice"}));
    EXPECT_TRUE(toks[0].is("declare"));
    EXPECT_TRUE(toks[0].is("DECLARE"));
    EXPECT_FALSE(toks[0].is("declar"));
    EXPECT_EQ(db::joinTokens(toks), batch);

    const QString tran = QStringLiteral("SET XACT_ABORT ON BEGIN TRAN delete from t where a =1 COMMIT TRAN SET XACT_ABORT OFF");
    const QVector<Token> t2 = db::tokenize(tran);
    ASSERT_GE(t2.size(), 3);
    EXPECT_TRUE(t2[2].is("xact_abort"));
    EXPECT_EQ(db::joinTokens(t2), tran);
    // Token::is() matches only words and operators.
    const QVector<Token> s = db::tokenize(QStringLiteral("'select' ;"));
    EXPECT_FALSE(s[0].is("'select'"));
    EXPECT_TRUE(s[2].is(";"));
}

TEST(Tokenize, JoinGivesBackTheExactText)
{
    const QStringList samples = {
        QString(),
        QStringLiteral("select top 1 * from t -- c\r\n where x = N'a''b' /* /* */ */ and [q]]] = \"w\"\"\""),
        QStringLiteral("exec p :a, @b OUTPUT;\n\tselect 1.e5,.5e+,0x,@,@@,:,::x"),
        QStringLiteral("'unterminated"), QStringLiteral("[unterminated"), QStringLiteral("/* unterminated /*"),
        QStringLiteral("emoji 😀 and 𠀋 letters"),
    };
    for (const QString &s : samples)
        EXPECT_EQ(db::joinTokens(db::tokenize(s)), s) << s.toStdString();

    // Random text over the characters that matter to the tokenizer.
    const QString alphabet = QStringLiteral("ab N01.e+-*/[]\"'():@#,;<>=!|\n\t_中😀");
    QRandomGenerator rng(20240601);
    for (int round = 0; round < 3000; ++round) {
        QString s;
        const int len = int(rng.bounded(40));
        for (int i = 0; i < len; ++i) {
            const int at = int(rng.bounded(alphabet.size()));
            s += alphabet[at];
        }
        const QVector<Token> toks = db::tokenize(s);
        ASSERT_EQ(db::joinTokens(toks), s);
        for (const Token &t : toks)
            ASSERT_FALSE(t.text.isEmpty());
    }
}

// ---------------------------------------------------------------------------------------
// The package's statements on SQLite

struct Case {
    const char *tsql;
    const char *sqlite; // null: the statement runs unchanged
    const char *tables;
};

const Case corpus[] = {
    // Day-end and notes
    {"select top 1 noteid, notecode, notedate from closeposth order by noteid desc",
     "select noteid, notecode, notedate from closeposth order by noteid desc LIMIT 1",
     "closeposth(noteid,notecode,notedate)"},
    {"select depid from employlth where EmpID=7", nullptr, "employlth(depid,EmpID)"},
    {"select noteCode,noteDate,operateid from purchasepth where noteID=12", nullptr,
     "purchasepth(noteCode,noteDate,operateid,noteID)"},
    {"select min(noteID) from salesth", nullptr, "salesth(noteID)"},
    {"select DEPID from employlth where EMPID = 3", nullptr, "employlth(DEPID,EMPID)"},
    {"select shoperateid from partnerlth where partnerid=5", nullptr, "partnerlth(shoperateid,partnerid)"},
    {"select shoperateid from storelth where BuildingID=2", nullptr, "storelth(shoperateid,BuildingID)"},
    {"select shoperateid from accountacth where accountid=1", nullptr, "accountacth(shoperateid,accountid)"},
    {"select Closed from partnerlth where partnerID=12", nullptr, "partnerlth(Closed,partnerID)"},
    {"select Closed from departmentlth where DEPID=4", nullptr, "departmentlth(Closed,DEPID)"},
    {"select Closed from employlth where empid=9", nullptr, "employlth(Closed,empid)"},
    {"Update purchasepth Set noteState=1, chkorid=3 where noteState=0 and noteID=12", nullptr,
     "purchasepth(noteState,chkorid,noteID)"},
    {"Update purchasepth Set noteState=0, chkorid=null where noteState=1 and noteID=12", nullptr,
     "purchasepth(noteState,chkorid,noteID)"},
    {"Update salesth Set noteState=2 where noteState=0 and noteID=12", nullptr, "salesth(noteState,noteID)"},
    {"Update salesth Set noteState=0 where  noteState=2 and noteID=12", nullptr, "salesth(noteState,noteID)"},
    // The id is glued to the next word when the pieces are joined.
    {"Update purchasepth Set noteState=1, chkorid=3 Where noteId=12and noteState=0",
     "Update purchasepth Set noteState=1, chkorid=3 Where noteId=12 and noteState=0",
     "purchasepth(noteState,chkorid,noteId)"},
    {"Update purchasepth Set noteState=0, chkorid=null Where noteId=12and noteState=1",
     "Update purchasepth Set noteState=0, chkorid=null Where noteId=12 and noteState=1",
     "purchasepth(noteState,chkorid,noteId)"},
    // Messages
    {"delete from notemsginfthDETAIL where MSGID in (select MSGID from notemsginfth where FROMNOTETYPE=4 and FROMNOTEID=12)",
     nullptr, "notemsginfthDETAIL(MSGID); notemsginfth(MSGID,FROMNOTETYPE,FROMNOTEID)"},
    {"delete from notemsginfth where fromnotetype=4", nullptr, "notemsginfth(fromnotetype)"},
    {"Insert into notemsginfth values (:iMsgId, :asMsg, :inoteType, :inoteID, :dnoteDate, :iUserId)", nullptr,
     "notemsginfth(MSGID,MSG,FROMNOTETYPE,FROMNOTEID,NOTEDATE,USERID)"},
    {"Insert into notemsginfthdetail values (7, 2, 0)", nullptr, "notemsginfthdetail(MSGID,USERID,READFLAG)"},
    // Printing
    {"Select typesid, printtemplateID, Name, Data from printtemplatelth where printtemplateID>0 and typesid=4", nullptr,
     "printtemplatelth(typesid,printtemplateID,Name,Data)"},
    {"Select * from printtemplatelth where PRINTTEMPLATEID=3", nullptr, "printtemplatelth(PRINTTEMPLATEID,Name)"},
    {"select printed from noteprintabth where notetype=4 and noteid=12", nullptr, "noteprintabth(printed,notetype,noteid)"},
    {"select printtemplateid as Sys_tmpltid, typesid as Sys_typesid, name from printtemplatelth where printtemplateid>0 and typesid=4",
     nullptr, "printtemplatelth(printtemplateid,typesid,name)"},
    {"Select max(printtemplateID) from printtemplatelth", nullptr, "printtemplatelth(printtemplateID)"},
    {"select printtemplateID from printtemplatelth where printtemplateID=-3", nullptr, "printtemplatelth(printtemplateID)"},
    {"select count(*) from printtemplatelth where printtemplateID<0 and typesid=4", nullptr,
     "printtemplatelth(printtemplateID,typesid)"},
    // Detail maintenance and the field catalogue
    {"Select Max(itemsno) as Newitemsno From purchasepthDetail Where noteID=12", nullptr, "purchasepthDetail(itemsno,noteID)"},
    {"Select Count(*) as Quantity from TableInfo where Upper(TableName) = 'PURCHASEPTH'", "Select Count(*) as Quantity from TableInfo where Upper(TableName) = 'PURCHASEPTH' COLLATE TSQL", "TableInfo(TableName)"},
    {"Insert into TableInfo(ID,TableName,DisplayTableName,FieldName,DisplayFieldName,FieldType) "
     "values(1,'purchasepth','采购入库单主表','NOTEID','单据ID','整型')",
     nullptr, "TableInfo(ID,TableName,DisplayTableName,FieldName,DisplayFieldName,FieldType)"},
    {"select Closed from iotypelth  where IOTYPESID=2", nullptr, "iotypelth(Closed,IOTYPESID)"},
    {"select Closed from Commoditylth where CommodityID=8", nullptr, "Commoditylth(Closed,CommodityID)"},
    {"select G.Name from purchasepthDetail P ,Commoditylth G where p.CommodityID=G.CommodityID and G.Closed=1 and P.noteID=12 Group by G.Name",
     nullptr, "purchasepthDetail(CommodityID,noteID); Commoditylth(CommodityID,Name,Closed)"},
    {"select * from paymethodlth where PAYTYPESID=1", nullptr, "paymethodlth(PAYTYPESID,AccountID)"},
    // Colour/size breakdown
    {"Select Count(0) as Quantity from salesthdetail2 where noteType = 14 And noteID = 12and noteKind = 1",
     "Select Count(0) as Quantity from salesthdetail2 where noteType = 14 And noteID = 12 and noteKind = 1",
     "salesthdetail2(noteType,noteID,noteKind)"},
    {"Select * from salesthdetail2 where noteType = :noteType and noteID = :noteID and noteKind =:noteKind and Item = :itemsno and CommodityID =:CommodityID  order by ColorID",
     nullptr, "salesthdetail2(noteType,noteID,noteKind,Item,CommodityID,ColorID)"},
    {"Select 1 from salesthdetail2  where noteID = 12 and noteType = 14 and noteKind = 1 and Item = 1 and BuildingID = 2 and CommodityID =8 and ColorID =  3 and SizeID = 4",
     nullptr, "salesthdetail2(noteID,noteType,noteKind,Item,BuildingID,CommodityID,ColorID,SizeID)"},
    {"Update TempDetail2 Set noteid =55 where noteType =14 and noteid = -9999 and notekind = 1", nullptr,
     "TempDetail2(noteid,noteType,notekind)"},
    {"delete from salesthdetail2 where noteType =14 and noteID =55 and noteKind = 1", nullptr,
     "salesthdetail2(noteType,noteID,noteKind)"},
    {"insert into salesthdetail2 Select * from TempDetail2 where noteType =14 and noteID =55 and noteKind = 1", nullptr,
     "salesthdetail2(noteType,noteID,noteKind); TempDetail2(noteType,noteID,noteKind)"},
    {"delete from TempDetail2 where noteType = :noteType and noteID = :noteID and noteKind =:noteKind ", nullptr,
     "TempDetail2(noteType,noteID,noteKind)"},
    {"select * from notetypelth where id=:noteType ", nullptr, "notetypelth(id,name)"},
    // Numbering: the dbo. prefixes go, the functions are the layer's
    {"select Max(dbo.funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where Dbo.funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0",
     "select Max(funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where funcdefDateComp('yyyymm' COLLATE TSQL,noteDate,'03/05/2005' COLLATE TSQL)>0",
     "salesth(noteCode,noteDate)"},
    {"select datavalue from sysparamamth where ParamId=3002", nullptr, "sysparamamth(datavalue,ParamId)"},
    // Partner prices ("Row" is a keyword in SQLite but still a valid alias)
    {"select count(0) as Row from partnerprice where partnerid =5and CommodityID = 8",
     "select count(0) as Row from partnerprice where partnerid =5 and CommodityID = 8",
     "partnerprice(partnerid,CommodityID,price)"},
    {"select price from partnerprice where partnerid =5and CommodityID = 8",
     "select price from partnerprice where partnerid =5 and CommodityID = 8", "partnerprice(partnerid,CommodityID,price)"},
    {"select CUSTDEF1, CUSTDEF2, CUSTDEF3, CUSTDEF4, CUSTDEF5 from Commoditylth where Commodityid=8", nullptr,
     "Commoditylth(CUSTDEF1,CUSTDEF2,CUSTDEF3,CUSTDEF4,CUSTDEF5,Commodityid)"},
    {"select USEDQTY, REALQTY, REALQTY-USEDQTY as VALIDQTY from onhandaath  where Commodityid=8 and BuildingID=2", nullptr,
     "onhandaath(USEDQTY,REALQTY,Commodityid,BuildingID)"},
    {"select Translateto, TranslateType, scamt, EMPID, DEPID, CONTACTOR, PHONE, CREDITDAY,TEL1,Fax  from partnerlth where partnerid=5",
     nullptr, "partnerlth(Translateto,TranslateType,scamt,EMPID,DEPID,CONTACTOR,PHONE,CREDITDAY,TEL1,Fax,partnerid)"},
    // Lookup lists
    {"select BuildingID from storelth  where (shoperateid is null or shoperateid=0) and BuildingID=2", nullptr,
     "storelth(BuildingID,shoperateid)"},
    {"select * from storelth where 1=1 and (shoperateid is null or shoperateid=0)", nullptr, "storelth(BuildingID,shoperateid)"},
    {"select M.*,Balance-SurAmt As Cash,A.Name as AreaName,A.LCode from partnerlth  M left join arealth A on M.AreaID=A.AreaID Where IsVendor = 1 and M.Closed = 0 and partnerID > 0 and (shoperateid is null or shoperateid=0)",
     nullptr, "partnerlth(partnerID,Balance,SurAmt,AreaID,IsVendor,Closed,shoperateid); arealth(AreaID,Name,LCode)"},
    {"SELECT Name, LCode FROM arealth ORDER BY LCode", nullptr, "arealth(Name,LCode)"},
    {"select M.*,L.Name As DepartName, L.Code as DepartCode,T.Name as TypeName  from employlth M  left join departmentlth L on M.depid=L.depid  left join emptypelth T on M.Emptypesid=T.Emptypesid Where M.Closed = 0",
     nullptr, "employlth(depid,Emptypesid,Closed); departmentlth(depid,Name,Code); emptypelth(Emptypesid,Name)"},
    {"select Name,Code from emptypelth where closed=0 order by code", nullptr, "emptypelth(Name,Code,closed)"},
    {"select * from kindamth where kind=100 and ID<>0", nullptr, "kindamth(ID,kind)"},
    {"select * from notetypelth where ID<>1 and ID<>2 and ID <> 11 and ID <> 12  and ID <> 21 and ID <> 32 ", nullptr,
     "notetypelth(ID)"},
    {"select partnerid, name from partnerlth where IsVendor=1 and partnerId>0", nullptr, "partnerlth(partnerid,name,IsVendor)"},
    // Invoicing
    {"select p.itemsno, p.Commodityid, g.code Commoditycode, g.name Commodityname, g.Spec, u.name unitname, p.quantity, Round(p.Price*(1+p.TaxRate/100.0),8) price, p.amount, p.fillqty, p.fillamt from purchasepthDetail p left join purchasepth m on p.noteid=m.noteid left join Commoditylth g on p.Commodityid=g.Commodityid left join unitlth u on g.unitsid=u.unitsid where p.noteid=12",
     "select p.itemsno, p.Commodityid, g.code Commoditycode, g.name Commodityname, g.Spec, u.name unitname, p.quantity, tsql_round(p.Price*(1+p.TaxRate/100.0),8) price, p.amount, p.fillqty, p.fillamt from purchasepthDetail p left join purchasepth m on p.noteid=m.noteid left join Commoditylth g on p.Commodityid=g.Commodityid left join unitlth u on g.unitsid=u.unitsid where p.noteid=12",
     "purchasepthDetail(itemsno,Commodityid,quantity,Price,TaxRate,amount,fillqty,fillamt,noteid); purchasepth(noteid);"
     "Commoditylth(Commodityid,code,name,Spec,unitsid); unitlth(unitsid,name)"},
    {"select noteid, notecode, notedate, round(amount,2) amount, round(fillamt,2) fillamt, round(amount,2)-round(fillamt,2) UnfillAmt, 0 as fillNow from purchasepth where notestate=1 and noteid>0 and (closefill is null or closefill=0) and abs(round(amount,2))>abs(round(fillamt,2)) and partnerID=5 and (fillType is null or fillType=0 or fillType=1) order by notedate,noteid",
     "select noteid, notecode, notedate, tsql_round(amount,2) amount, tsql_round(fillamt,2) fillamt, tsql_round(amount,2)-tsql_round(fillamt,2) UnfillAmt, 0 as fillNow from purchasepth where notestate=1 and noteid>0 and (closefill is null or closefill=0) and abs(tsql_round(amount,2))>abs(tsql_round(fillamt,2)) and partnerID=5 and (fillType is null or fillType=0 or fillType=1) order by notedate,noteid", "purchasepth(noteid,notecode,notedate,amount,fillamt,notestate,closefill,partnerID,fillType)"},
    {"delete from fillath where noteid=3", nullptr, "fillath(noteid)"},
    {"select data from printtemplatelth where printtemplateid=3", nullptr, "printtemplatelth(printtemplateid,data)"},
    // Purchase and sales forms
    {"Select Quantity from onhandaath where COMMODITYID =:COMMODITYID and BUILDINGID = 2", nullptr,
     "onhandaath(Quantity,COMMODITYID,BUILDINGID)"},
    {"Select 1 From orderpthDetail Where Closed=1 AND NOTEID = 12", nullptr, "orderpthDetail(Closed,NOTEID)"},
    {"select * from fillathD where REFERNOTETYPE =4 and  REFERNOTEID =12", nullptr, "fillathD(REFERNOTETYPE,REFERNOTEID)"},
    {"select Round(SCAMT,6) as SCAMT,Name from partnerlth where partnerID=5", "select tsql_round(SCAMT,6) as SCAMT,Name from partnerlth where partnerID=5", "partnerlth(SCAMT,Name,partnerID)"},
    {"Update purchasepth Set Closefill =:Closefill where noteID=:noteID", nullptr, "purchasepth(Closefill,noteID)"},
    {"select * from purchasepthDetail where Quantity-abs(ReferQty)>0.000001 and noteID=12", nullptr,
     "purchasepthDetail(Quantity,ReferQty,noteID)"},
    {"select ID from noteflowaath where noteType=4 and noteID=12 and itemsno=1", nullptr, "noteflowaath(ID,noteType,noteID,itemsno)"},
    {"select Sum(Quantity) from noteflowaath where noteType=3 and Bturnnoteid=7", nullptr,
     "noteflowaath(Quantity,noteType,Bturnnoteid)"},
    {"select p.* from purchasepthplandetail p left join Commoditylth g on p.Commodityid=g.Commodityid left join partnerlth t on g.partnerid=t.partnerid  where p.noteid=12",
     nullptr, "purchasepthplandetail(Commodityid,noteid); Commoditylth(Commodityid,partnerid); partnerlth(partnerid)"},
    {"select Price,TaxRate from DeputeMarketsthDetail where noteID=12 and itemsno=1", nullptr,
     "DeputeMarketsthDetail(Price,TaxRate,noteID,itemsno)"},
    {"select max(m.Revdate) as MaxDate \n from (select d.CommodityID,m.Revdate from ordersth m \n left join ordersthdetail d on m.noteid = d.noteid \n where m.notestate = 1 and d.CommodityID = 8) m group by m.CommodityID",
     nullptr, "ordersth(noteid,Revdate,notestate); ordersthdetail(noteid,CommodityID)"},
    {"select subjectid from subjectalth where ISDETAIL=1 and SUBCODE='1001'", "select subjectid from subjectalth where ISDETAIL=1 and SUBCODE='1001' COLLATE TSQL", "subjectalth(subjectid,ISDETAIL,SUBCODE)"},
    {"Select SurAmt from partnerlth where partnerId=5", nullptr, "partnerlth(SurAmt,partnerId)"},
    // Places: the leaf test concatenates a column and a literal
    {"select A.*,B.Name,B.Code from iostoreithPLACE A\nleft join placelth B on A.PlaceID=B.PlaceID\nwhere A.noteID=:noteID", nullptr,
     "iostoreithPLACE(noteID,ITEMSNO,PlaceID,Quantity); placelth(PlaceID,Name,Code)"},
    {" select  A.PlaceID,A.Name,A.LCode,A.BuildingID,sum(C.Quantity) As Quantity from placelth A  left join onhandaathPlace C on (A.BuildingID=C.BuildingID and A.PlaceID=C.PlaceID)  where (select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1 and C.BuildingID=2 and C.CommodityID=8 group by A.PlaceID,A.Name,A.LCode,A.BuildingID  union all  select  A.PlaceID,A.Name,A.LCode,A.BuildingID,0.0 As Quantity from placelth A  where (select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1 and A.BuildingID=2 and A.PlaceID not in  (select  PlaceID from  onhandaathPlace C where C.BuildingID=2 and C.CommodityID=8) ",
     " select  A.PlaceID,A.Name,A.LCode,A.BuildingID,sum(C.Quantity) As Quantity from placelth A  left join onhandaathPlace C on (A.BuildingID=C.BuildingID and A.PlaceID=C.PlaceID)  where (select Count(*) from placelth B where B.Lcode  like A.LCode || '%' COLLATE TSQL  )=1 and C.BuildingID=2 and C.CommodityID=8 group by A.PlaceID,A.Name,A.LCode,A.BuildingID  union all  select  A.PlaceID,A.Name,A.LCode,A.BuildingID,0.0 As Quantity from placelth A  where (select Count(*) from placelth B where B.Lcode  like A.LCode || '%' COLLATE TSQL  )=1 and A.BuildingID=2 and A.PlaceID not in  (select  PlaceID from  onhandaathPlace C where C.BuildingID=2 and C.CommodityID=8) ",
     "placelth(PlaceID,Name,LCode varchar(20),BuildingID); onhandaathPlace(BuildingID,PlaceID,CommodityID,Quantity)"},
    {"select Min(A.PlaceID) from placelth A where  (select Count(*) from placelth B where B.Lcode like A.LCode + '%'  )=1  and BuildingID=2",
     "select Min(A.PlaceID) from placelth A where  (select Count(*) from placelth B where B.Lcode like A.LCode || '%' COLLATE TSQL  )=1  and BuildingID=2",
     "placelth(PlaceID,LCode varchar(20),BuildingID)"},
    {" select A.PlaceID,A.Name,A.LCode,A.BuildingID from placelth A  where (select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1 and  A.BuildingID=2 and A.PlaceID=5",
     " select A.PlaceID,A.Name,A.LCode,A.BuildingID from placelth A  where (select Count(*) from placelth B where B.Lcode  like A.LCode || '%' COLLATE TSQL  )=1 and  A.BuildingID=2 and A.PlaceID=5",
     "placelth(PlaceID,Name,LCode varchar(20),BuildingID)"},
    {"select PlaceID from Commoditylth where CommodityID=8 and BuildingID=2", nullptr, "Commoditylth(PlaceID,CommodityID,BuildingID)"},
    // Lending
    {"select sum(m.quantity) as SCAMT from browoutdetail m left join browout d on m.noteid = d.noteid where isnull(d.IsSale,0) = 0 and d.partnerID=5",
     "select sum(m.quantity) as SCAMT from browoutdetail m left join browout d on m.noteid = d.noteid where ifnull(d.IsSale,0) = 0 and d.partnerID=5",
     "browoutdetail(noteid,quantity); browout(noteid,IsSale,partnerID)"},
    {"select sum(m.quantity) as SCAMT from browindetail m left join browin d on m.noteid = d.noteid where d.partnerID=5", nullptr,
     "browindetail(noteid,quantity); browin(noteid,partnerID)"},
    {"Select M.*,g.code as CommodityCode,g.Name as CommodityName,g.Spec,g.validdays,g.Aprice as Price,u.name as UnitName from CommoditylthCombin M Left join Commoditylth g On M.ELEmgID=g.CommodityID Left Join unitlth  u On u.unitsid = g.unitsid Where m.CommodityID=8",
     nullptr, "CommoditylthCombin(CommodityID,ELEmgID,Quantity); Commoditylth(CommodityID,code,Name,Spec,validdays,Aprice,unitsid); unitlth(unitsid,name)"},
    // Batch audit filter lists
    {"select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, cast(name as varchar(64)) from departmentlth",
     "select 0 as dataid, tsql_varchar('<全部>' COLLATE TSQL,64) as dataname  union  select DEPID, tsql_varchar(name,64) from departmentlth",
     "departmentlth(DEPID,name)"},
    {"select 99999 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select OPERATEID, cast(operatename as varchar(64)) from operatormth",
     "select 99999 as dataid, tsql_varchar('<全部>' COLLATE TSQL,64) as dataname  union  select OPERATEID, tsql_varchar(operatename,64) from operatormth",
     "operatormth(OPERATEID,operatename)"},
    {"select gdtypesid, lcode, name, taxrate from Commoditylthtype where len(lcode)=2 order by lcode ",
     "select gdtypesid, lcode, name, taxrate from Commoditylthtype where length(rtrim(lcode,' '))=2 order by lcode ",
     "Commoditylthtype(gdtypesid,lcode,name,taxrate)"},
    // POS batches and day-end
    {"select ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, BUILDINGID, NOTEDATE,COMMODITYID, QUANTITY, PRICE, BCODE, VALIDDAY, PRODUCEDDATE, (QUANTITY*IOFLAG-BREFERQTY) QTY, BREFERQTY FROM noteflowaath where (BTURNNOTEID is null) and (BCODE is not null)  and (QUANTITY*IOFLAG-BREFERQTY)>=0  order by NOTEDATE, ID",
     nullptr,
     "noteflowaath(ID,NOTETYPE,NOTEID,ITEMSNO,NOTECODE,BUILDINGID,NOTEDATE,COMMODITYID,QUANTITY,PRICE,BCODE,VALIDDAY,PRODUCEDDATE,IOFLAG,BREFERQTY,BTURNNOTEID)"},
    {"select b.quantity, b.bturnnoteid\n from saleposthdetail b\n left join saleposth m on b.noteid=m.noteid\n left join Commoditylth g on b.Commodityid=g.Commodityid\n where g.costtype=2 and (m.balflag=0 or m.balflag is null)\n and b.quantity>0 and b.bturnnoteid>0",
     nullptr, "saleposthdetail(noteid,quantity,bturnnoteid,Commodityid); saleposth(noteid,balflag); Commoditylth(Commodityid,costtype)"},
    {"update saleposthdetail set bturnnoteid=null, productday=null, validday=null, aprice=0, brefercode=null, refernotetype=null, refernoteid=null, referitemsno=null where exists(select * from Commoditylth g where g.Commodityid=Commodityid and g.costtype=2) and exists(select * from saleposth m where m.noteid=noteid and (m.balflag=0 or m.balflag is null))",
     nullptr,
     "saleposthdetail(noteid,Commodityid,bturnnoteid,productday,validday,aprice,brefercode,refernotetype,refernoteid,referitemsno);"
     "Commoditylth(Commodityid,costtype); saleposth(noteid,balflag)"},
    {"select NOTEID From saleposth where (BALFLAG=0 Or BALFLAG Is Null) And noteDate<=:noteDate", nullptr,
     "saleposth(NOTEID,BALFLAG,noteDate)"},
    {"select pd.noteid from saleposthdetail pd, saleposth ps  where pd.noteid=ps.noteid and (pd.bturnnoteid is null or pd.bcode is null) and ps.balflag=0 and ps.notedate<:noteDate and (select costtype from Commoditylth g where g.Commodityid=pd.Commodityid)=2",
     nullptr, "saleposthdetail(noteid,bturnnoteid,bcode,Commodityid); saleposth(noteid,balflag,notedate); Commoditylth(Commodityid,costtype)"},
    {"Update CommoditylthType Set TaxRate=:TaxRate,IsDefaultTaxRate=1 Where TaxRate Is Null", nullptr,
     "CommoditylthType(TaxRate,IsDefaultTaxRate,lcode)"},
    {"Select TaxRate From CommoditylthType Where IsDefaultTaxRate=1 And len(lcode)=2",
     "Select TaxRate From CommoditylthType Where IsDefaultTaxRate=1 And length(rtrim(lcode,' '))=2", "CommoditylthType(TaxRate,IsDefaultTaxRate,lcode)"},
    {"Update CommoditylthType Set TaxRate=17 Where IsDefaultTaxRate=1", nullptr, "CommoditylthType(TaxRate,IsDefaultTaxRate)"},
    {"Select * from allnote where notestate=0  and notetype<>1 and notetype<>11 and notetype<>75 and notedate>=:BeginDate and notedate<:EndDate",
     nullptr, "allnote(notetype,noteid,notestate,notedate)"},
    {"select NOTEID From saleposth where BALFLAG=0 And noteDate<:noteDate", nullptr, "saleposth(NOTEID,BALFLAG,noteDate)"},
    {"select top 1 bt.name as notename, bf.notecode, s.name as BuildingName, g.name as Commodityname from noteflowaath bf join storelth s on bf.BuildingID=s.BuildingID join Commoditylth g on bf.Commodityid=g.Commodityid join notetypelth bt on bf.notetype=bt.id where bf.eqty<0 and bf.notedate>=:BeginDate and bf.notedate<:EndDate",
     "select bt.name as notename, bf.notecode, s.name as BuildingName, g.name as Commodityname from noteflowaath bf join storelth s on bf.BuildingID=s.BuildingID join Commoditylth g on bf.Commodityid=g.Commodityid join notetypelth bt on bf.notetype=bt.id where bf.eqty<0 and bf.notedate>=:BeginDate and bf.notedate<:EndDate LIMIT 1",
     "noteflowaath(notecode,BuildingID,Commodityid,notetype,eqty,notedate); storelth(BuildingID,name); Commoditylth(Commodityid,name);"
     "notetypelth(id,name)"},
    {"delete from kredaath where ORIGINTYPE=3201 and (ORIGINNOTEID>20050300 and ORIGINNOTEID<20050399)", nullptr,
     "kredaath(ORIGINTYPE,ORIGINNOTEID)"},
    {"Update savingscardlth Set RemainAmount=150.5,AMTVERIFY='9f0a' where ID=3", "Update savingscardlth Set RemainAmount=150.5,AMTVERIFY='9f0a' COLLATE TSQL where ID=3", "savingscardlth(ID,RemainAmount,AMTVERIFY)"},
    {"Update adjpriceposthDETAIL Set Closed = 1 where noteID=:noteID and itemsno=:itemsno", nullptr,
     "adjpriceposthDETAIL(Closed,noteID,itemsno)"},
    // Manufacturing
    {"Select * From Commoditylth Where isnull(Buildingid,0)<>0 and CommodityID = 8",
     "Select * From Commoditylth Where ifnull(Buildingid,0)<>0 and CommodityID = 8", "Commoditylth(CommodityID,Buildingid)"},
    {"Select * From CommoditylthBOM Where CommodityID = 8", nullptr, "CommoditylthBOM(CommodityID,ELEMGID,QUANTITY,WASTERATE)"},
    {"Select QUANTITY,WASTERATE From CommoditylthBOM Where ELEMGID = 9", nullptr, "CommoditylthBOM(CommodityID,ELEMGID,QUANTITY,WASTERATE)"},
    {" Select a.ElemGID,b.Code As CommodityCode,b.Kind From CommoditylthBom a, Commoditylth b   Where a.ElemGID = b.CommodityID and a.CommodityID = 8",
     nullptr, "CommoditylthBom(CommodityID,ElemGID); Commoditylth(CommodityID,Code,Kind)"},
    {"Update manuordermnfth Set Closed = 1 Where noteID = 12", nullptr, "manuordermnfth(noteID,Closed)"},
    {"select m.*,a.Name as WorkShoperatename,a.depid as DeptID,b.Name as BuildingName from manuordermnfth m  Left join workshopmnfth a On m.WORKSHOPERATEID = a.WORKSHOPERATEID Left join storelth b On m.BuildingID = b.BuildingID where m.noteid = 12",
     nullptr, "manuordermnfth(noteid,WORKSHOPERATEID,BuildingID); workshopmnfth(WORKSHOPERATEID,Name,depid); storelth(BuildingID,Name)"},
    {"Select a.* from manuordermnfthBatch a, noteflowaath b   where a.Bturnnoteid = b.ID and a.noteID = 12 and b.CommodityID = 8 and b.Quantity >0 ",
     nullptr, "manuordermnfthBatch(noteID,Bturnnoteid,Quantity); noteflowaath(ID,CommodityID,Quantity)"},
    {"Select PASSQTY From PrdCheckthDetail Where NOTEID = 12", nullptr, "PrdCheckthDetail(PASSQTY,NOTEID)"},
    {"Select Sum(abs(Quantity)) as Quantity From DrawithDETAIL Where CHKNOTEID = 12", nullptr, "DrawithDETAIL(Quantity,CHKNOTEID)"},
    {"select m.*,d.CommodityID from manuordermnfthbatch m left join noteflowaath d On m.bturnnoteid = d.id where m.noteid =:noteID and d.CommodityID = :CommodityID and m.quantity>0 order by m.bturnnoteid",
     nullptr, "manuordermnfthbatch(noteid,bturnnoteid,quantity); noteflowaath(id,CommodityID)"},
    {"Select Quantity-Finishedqty-badqty as Quantity From RepairPrdth Where NOTEID = 12", nullptr,
     "RepairPrdth(NOTEID,Quantity,Finishedqty,badqty)"},
    {"Select tocheckqty,quantity-finishedqty+referqty as unfinishedqty From ManuOrderMnfth Where NOTEID = 12", nullptr,
     "ManuOrderMnfth(NOTEID,tocheckqty,quantity,finishedqty,referqty)"},
    // Cost calculation
    {"select top 1 o.Commodityid from onhandaath o, Commoditylth g where g.Commodityid=o.Commodityid and g.kind<4 and o.status=1",
     "select o.Commodityid from onhandaath o, Commoditylth g where g.Commodityid=o.Commodityid and g.kind<4 and o.status=1 LIMIT 1",
     "onhandaath(Commodityid,status,BuildingID); Commoditylth(Commodityid,kind,costtype)"},
    {"select top 1 Commodityid from Commoditylth where kind<4 and (status is null or status=1)",
     "select Commodityid from Commoditylth where kind<4 and (status is null or status=1) LIMIT 1",
     "Commoditylth(Commodityid,kind,status)"},
    {"select count(*) from onhandaath o, Commoditylth g where g.Commodityid=o.Commodityid and g.kind<4 and o.status=1", nullptr,
     "onhandaath(Commodityid,status); Commoditylth(Commodityid,kind)"},
    {"update noteflowaath set Status=1  where notedate>=:STARTDATE and noteDate<=:ENDDATE", nullptr, "noteflowaath(Status,notedate)"},
    {"select o.BuildingID,o.Commodityid,g.costtype from onhandaath o, Commoditylth g where g.Commodityid=o.Commodityid and g.kind<4 ",
     nullptr, "onhandaath(Commodityid,BuildingID); Commoditylth(Commodityid,kind,costtype)"},
    {"select -1, Commodityid,costtype from Commoditylth where kind<4 and (status is null or status=1)", nullptr,
     "Commoditylth(Commodityid,kind,costtype,status)"},
};

TEST(TranslateSqlite, PackageStatementsTranslateAndRun)
{
    ASSERT_GE(std::size(corpus), size_t(60));
    for (const Case &c : corpus) {
        Scratch scratch;
        ASSERT_TRUE(scratch.isOpen());
        QSqlDatabase db = scratch.db();
        registerStubs(db);
        ASSERT_EQ(scratch.createTables(QString::fromUtf8(c.tables)), QString()) << c.tsql;

        TsqlTranslator tr;
        tr.setSchemaSource([&scratch] { return scratch.schema(); });
        const QString tsql = QString::fromUtf8(c.tsql);
        const QString expected = QString::fromUtf8(c.sqlite ? c.sqlite : c.tsql);
        const QString got = tr.translate(tsql);
        EXPECT_EQ(got, expected) << c.tsql << "\nGOT: " << got.toStdString();
        EXPECT_EQ(scratch.run(got), QString()) << got.toStdString();
    }
}

// The untranslated T-SQL is what SQLite refuses: the corpus above proves something.
TEST(TranslateSqlite, UntranslatedFormsFailOnSqlite)
{
    const char *failing[] = {
        "select top 1 Commodityid from Commoditylth where kind<4",
        "Select * From Commoditylth Where isnull(Buildingid,0)<>0 and CommodityID = 8",
        "select count(0) as Row from partnerprice where partnerid =5and CommodityID = 8",
        "select Max(dbo.funcdefCodeToSerialNo(noteCode,4)) from salesth",
    };
    for (const char *sql : failing) {
        Scratch scratch;
        QSqlDatabase db = scratch.db();
        registerStubs(db);
        ASSERT_EQ(scratch.createTables(QStringLiteral("Commoditylth(Commodityid,kind,Buildingid); "
                                                      "partnerprice(partnerid,CommodityID); salesth(noteCode)")),
                  QString());
        EXPECT_NE(scratch.run(QString::fromUtf8(sql)), QString()) << sql;
    }
}

// Results, not just acceptance: the translated statements compute what SQL Server would.
class SqliteResults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isOpen());
        QSqlDatabase db = scratch.db();
        registerStubs(db);
        ASSERT_EQ(scratch.createTables(QStringLiteral(
                      "items(id integer, name varchar(20) collate TSQL, lcode varchar(10) collate TSQL, qty integer, "
                      "price numeric(10,2), made datetime); places(lcode varchar(10) collate TSQL)")),
                  QString());
        tr.setSchemaSource([this] { return scratch.schema(); });
        QSqlQuery q(scratch.db());
        for (int i = 1; i <= 5; ++i) {
            ASSERT_TRUE(q.exec(QStringLiteral("insert into items values(%1, 'item%1', '0%1', %2, %3, '2005-03-0%1 10:20:30')")
                                   .arg(i)
                                   .arg(i * 10)
                                   .arg(i * 1.5)));
        }
        ASSERT_TRUE(q.exec(QStringLiteral("insert into items values(6, null, '01', null, 2, '2005-04-01 00:00:00')")));
        for (const char *l : {"01", "0101", "0102", "02", "03"})
            ASSERT_TRUE(q.exec(QStringLiteral("insert into places values('%1')").arg(QLatin1String(l))));
    }

    QVector<QVariantList> rows(const QString &tsql)
    {
        QVector<QVariantList> out;
        const QString sql = tr.translate(tsql);
        const QString error = scratch.run(sql, &out);
        EXPECT_EQ(error, QString()) << sql.toStdString();
        return out;
    }
    QVariant value(const QString &tsql)
    {
        const QVector<QVariantList> r = rows(tsql);
        return r.isEmpty() || r[0].isEmpty() ? QVariant() : r[0][0];
    }

    Scratch scratch;
    TsqlTranslator tr;
};

TEST_F(SqliteResults, TopLimitsTheRightSelect)
{
    EXPECT_EQ(rows(QStringLiteral("select top 2 id from items order by id desc")).size(), 2);
    EXPECT_EQ(value(QStringLiteral("select top 1 id from items order by id desc")).toInt(), 6);
    EXPECT_EQ(value(QStringLiteral("select distinct top 1 qty from items where qty > 0 order by qty")).toInt(), 10);
    EXPECT_EQ(rows(QStringLiteral("select top (3) id from items;")).size(), 3);
    // TOP in a subquery limits the subquery only.
    EXPECT_EQ(rows(QStringLiteral("select id from items where id in (select top 2 id from items order by id) order by id")).size(), 2);
    EXPECT_EQ(value(QStringLiteral("select (select top 1 name from items where id > 3 order by id) as n")).toString(),
              QStringLiteral("item4"));
    // A top inside one member of a union leaves the other member whole.
    EXPECT_EQ(rows(QStringLiteral("select top 1 id from items union all select id from items")).size(), 7);
    // TOP with a bound value.
    EXPECT_EQ(rows(QStringLiteral("select top :n id from items")).size(), 1);
}

TEST_F(SqliteResults, StringConcatenationAndFunctions)
{
    EXPECT_EQ(value(QStringLiteral("select name + '-' + lcode from items where id = 2")).toString(), QStringLiteral("item2-02"));
    EXPECT_EQ(value(QStringLiteral("select 'No.' + cast(id as varchar(10)) from items where id = 3")).toString(),
              QStringLiteral("No.3"));
    // Numbers still add.
    EXPECT_EQ(value(QStringLiteral("select qty + id + 1 from items where id = 2")).toInt(), 23);
    // The leaf test counts only places whose code starts with the place's own code.
    EXPECT_EQ(rows(QStringLiteral("select A.lcode from places A where (select Count(*) from places B where B.lcode like A.lcode + '%')=1")).size(), 4);
    EXPECT_EQ(value(QStringLiteral("select isnull(name, 'none') from items where id = 6")).toString(), QStringLiteral("none"));
    EXPECT_EQ(value(QStringLiteral("select len(name) from items where id = 1")).toInt(), 5);
    EXPECT_EQ(value(QStringLiteral("select charindex('m', name) from items where id = 1")).toInt(), 4);
    EXPECT_EQ(value(QStringLiteral("select upper(name) + N'件' from items where id = 1")).toString(), QStringLiteral("ITEM1件"));
    // Text columns compare as the original server's: case and trailing blanks ignored.
    EXPECT_EQ(rows(QStringLiteral("select id from items where name = 'ITEM2  '")).size(), 1);
    EXPECT_EQ(rows(QStringLiteral("select distinct upper(lcode) from items")).size(), 5);
    EXPECT_EQ(value(QStringLiteral("select case when id > 1 then 'big' else 'small' end + '!' from items where id = 1")).toString(),
              QStringLiteral("small!"));
}

TEST_F(SqliteResults, CastsAndConvertKeepDatesAsText)
{
    // SQLite would turn '2005-03-01 ...' into 2005 with an unknown type name.
    EXPECT_EQ(value(QStringLiteral("select cast(made as datetime) from items where id = 1")).toString(),
              QStringLiteral("2005-03-01 10:20:30"));
    EXPECT_EQ(value(QStringLiteral("select convert(varchar(10), made, 120) from items where id = 1")).toString(),
              QStringLiteral("2005-03-01"));
    EXPECT_EQ(value(QStringLiteral("select convert(varchar(8), made, 112) from items where id = 1")).toString(),
              QStringLiteral("20050301"));
    EXPECT_EQ(value(QStringLiteral("select convert(varchar(8), made, 108) from items where id = 1")).toString(),
              QStringLiteral("10:20:30"));
    EXPECT_DOUBLE_EQ(value(QStringLiteral("select cast(price as money) from items where id = 1")).toDouble(), 1.5);
    EXPECT_EQ(value(QStringLiteral("select cast('12' as int) + 1")).toInt(), 13);
    EXPECT_EQ(value(QStringLiteral("select convert(int, lcode) from items where id = 3")).toInt(), 3);
    const QString now = value(QStringLiteral("select getdate()")).toString();
    EXPECT_TRUE(QDateTime::fromString(now, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid()) << now.toStdString();
}

// ---------------------------------------------------------------------------------------
// Exact output of the individual rules

// Column types the rules below see: t(a, b, code text; n integer; x numeric; d date).
const db::SchemaTypes *ruleSchema()
{
    static const db::SchemaTypes schema = {
        {QStringLiteral("t"),
         {{QStringLiteral("a"), db::SqlType::Text},
          {QStringLiteral("b"), db::SqlType::Text},
          {QStringLiteral("code"), db::SqlType::Text},
          {QStringLiteral("n"), db::SqlType::Int},
          {QStringLiteral("x"), db::SqlType::Num},
          {QStringLiteral("d"), db::SqlType::Date}}},
        {QStringLiteral("u"), {{QStringLiteral("a"), db::SqlType::Int}, {QStringLiteral("c"), db::SqlType::Text}}},
    };
    return &schema;
}

TsqlTranslator typedTranslator(TsqlTranslator::Dialect dialect = TsqlTranslator::Sqlite)
{
    TsqlTranslator tr(dialect);
    tr.setSchemaSource(ruleSchema);
    return tr;
}

TEST(TranslateSqlite, NothingChangesInsideStringsCommentsAndQuotedNames)
{
    TsqlTranslator tr = typedTranslator();
    const QString tsql = QStringLiteral(
        "select 'select top 1 isnull(x) + dbo.f len(' as [top 1 + 'a'], x -- isnull( dbo.g top 5\n"
        "/* getdate() + 'x' */ from t where a = 'it''s' + b");
    EXPECT_EQ(tr.translateUncached(tsql),
              QStringLiteral("select 'select top 1 isnull(x) + dbo.f len(' COLLATE TSQL as \"top 1 + 'a'\", x -- isnull( dbo.g top 5\n"
                             "/* getdate() + 'x' */ from t where a = 'it''s' COLLATE TSQL || b"));
}

TEST(TranslateSqlite, Rules)
{
    TsqlTranslator tr = typedTranslator();
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        // TOP
        {"Select Top 10 a from t", "Select a from t LIMIT 10"},
        {"select distinct top 5 a from t order by a;", "select distinct a from t order by a LIMIT 5;"},
        {"select top (5) a from t", "select a from t LIMIT 5"},
        {"select top (:n+1) a from t", "select a from t LIMIT (:n+1)"},
        {"select top 1 a from t -- newest\n", "select a from t LIMIT 1 -- newest\n"},
        {"select a from t where b = (select top 1 c from u order by c)", "select a from t where b = (select c from u order by c LIMIT 1)"},
        {"select top 1 a, (select top 2 b from u) from t", "select a, (select b from u LIMIT 2) from t LIMIT 1"},
        {"insert into x select top 3 a from t", "insert into x select a from t LIMIT 3"},
        {"select top 1 a from t union select b from u", "select * from (select a from t LIMIT 1) union select b from u"},
        {"select top 10 percent a from t", "select top 10 percent a from t"},
        // isnull / is null; the replacement takes the first argument's type
        {"select isnull (a, 0) from t where b is null and c isnull", "select ifnull (a, cast(0 as text)) from t where b is null and c isnull"},
        {"select ISNULL(n, ''), isnull(x, '1.5'), isnull(a, 'b') from t",
         "select ifnull(n, tsql_int('' COLLATE TSQL)), ifnull(x, tsql_num('1.5' COLLATE TSQL)), ifnull(a, 'b' COLLATE TSQL) from t"},
        // dbo prefixes
        {"select dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode from [dbo].t m",
         "select sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode from t m"},
        {"select a.dbo from dbo", "select a.dbo from dbo"},
        // functions: len ignores trailing blanks, round as the original server rounds
        {"select len(a), Len (b), length, getdate(), upper(a), abs(b), round(c, 2), round(n, -2, 1) from t",
         "select length(rtrim(a,' ')), length(rtrim(b,' ')), length, datetime('now','localtime'), upper(a), abs(b), "
         "tsql_round(c, 2), tsql_round(n, -2, 1) from t"},
        {"select charindex('-', code) from t", "select instr(lower(code),lower('-' COLLATE TSQL)) from t"},
        // + by the operands' types: text + text joins, a number makes it an addition
        {"select a + 'x', 'x' + a, a + b, n + 1, 1 + 'x' from t",
         "select a || 'x' COLLATE TSQL, 'x' COLLATE TSQL || a, a || b, n + 1, 1 + tsql_int('x' COLLATE TSQL) from t"},
        {"select a + b + 'x' + code, n + x from t", "select a || b || 'x' COLLATE TSQL || code, n + x from t"},
        {"select t.n + u.a, t.a + u.c, T.A + 'x' from t, u", "select t.n + u.a, t.a || u.c, T.A || 'x' COLLATE TSQL from t, u"},
        {"select '1' + 1, 'a' + 'b' + 1.5, x - '2', n * '3' from t",
         "select tsql_int('1' COLLATE TSQL) + 1, tsql_num('a' COLLATE TSQL || 'b' COLLATE TSQL) + 1.5, x - tsql_num('2' COLLATE TSQL), n * tsql_int('3' COLLATE TSQL) from t"},
        {"select (a + 'x') + b, (n + 1) + x, -n + 1 from t", "select (a || 'x' COLLATE TSQL) || b, (n + 1) + x, -n + 1 from t"},
        {"select isnull(a, '') + b, cast(n as varchar(10)) + a, upper(a) + lower(b) from t",
         "select ifnull(a, '' COLLATE TSQL) || b, tsql_varchar(n,10) || a, upper(a) || lower(b) from t"},
        {"select case when n > 1 then t.a else 'y' end + b, null + t.a, u.c + t.a from t, u",
         "select case when n > 1 then t.a else 'y' COLLATE TSQL end || b, null + t.a, u.c || t.a from t, u"},
        {"select :__vt_s + :__vt_t, :__vi_k + '1' from t", "select :__vt_s || :__vt_t, :__vi_k + tsql_int('1' COLLATE TSQL) from t"},
        // text compared with a number becomes a number
        {"select a from t where code = 1 and 2.5 > b and a = 'x' and n = '1'",
         "select a from t where tsql_int(code) = 1 and 2.5 > tsql_num(b) and a = 'x' COLLATE TSQL and n = tsql_int('1' COLLATE TSQL)"},
        // division: a zero divisor is an error
        {"select n / x, n % 3, x / 2.5, n / 0, n / 2 from t",
         "select cast(n as real) / tsql_nz(x), n % 3, x / 2.5, n / tsql_nz(0), n / 2 from t"},
        // casts hold the declared size and type
        {"select cast(a as datetime), cast(x as decimal(18, 2)), cast(x as money), cast(n as bit), cast(a as char(3)) from t",
         "select cast(a as text), tsql_dec(x,18,2), tsql_dec(x,19,4), (tsql_num(n)<>0), tsql_char(a,3) from t"},
        {"select cast(a as int), cast(a as bigint), cast(a as varchar), cast(a as varchar(max)), cast(a as float) from t",
         "select tsql_int(a), tsql_int(a,64), tsql_varchar(a,30), cast(a as text), cast(tsql_num(a) as real) from t"},
        {"select convert(varchar(10), d, 120), convert(varchar(19), d, 120), convert(char(8), d, 112), convert(varchar(4), d, 112) from t",
         "select substr(d,1,10), substr(d,1,19), strftime('%Y%m%d',d), substr(strftime('%Y%m%d',d),1,4) from t"},
        {"select convert(int, a), convert(varchar(5), a) from t", "select tsql_int(a), tsql_varchar(a,5) from t"},
        {"select convert(varchar(10), d, 999) from t", "select convert(varchar(10), d, 999) from t"},
        // quoting and literals; stored values and aliases need no collation
        {"select [Name], [a]]b], [say \"x\"] from [Order Lines] where c = N'中'",
         "select \"Name\", \"a]b\", \"say \"\"x\"\"\" from \"Order Lines\" where c = '中' COLLATE TSQL"},
        {"insert into t (a, b) values ('x', N'y')", "insert into t (a, b) values ('x', 'y')"},
        {"create table z (a varchar(2) default 'x')", "create table z (a varchar(2) default 'x')"},
        {"select a from t where a != 1 and b <> 2 and c = :param", "select a from t where tsql_int(a) != 1 and tsql_int(b) <> 2 and c = :param"},
        {"select /* a /* b */ c */ 1", "select /* a / * b * / c */ 1"},
        {"where id=3and x=4.5or y=1e3and z", "where id=3 and x=4.5 or y=1e3 and z"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tr.translateUncached(QString::fromUtf8(c.in)), QString::fromUtf8(c.out))
            << c.in << "\nGOT: " << tr.translateUncached(QString::fromUtf8(c.in)).toStdString();
}

// What cannot be translated faithfully is refused with a text that says why.
TEST(TranslateSqlite, Refusals)
{
    TsqlTranslator tr = typedTranslator();
    const struct {
        const char *in;
        const char *error;
    } cases[] = {
        {"select a + q from t", "无法确定 q 的类型，不能判断 a + q 中的 + 是字符串连接还是加法；请用 cast 或 convert 写明类型。"},
        {"select zz + 'x' from t", "无法确定 zz 的类型"},
        {"select a - b from t", "操作数数据类型 varchar 对于 subtract 运算符无效。"},
        {"select d + 1 from t", "不支持日期值的 + 运算: d + 1"},
        {"select 1 /* /* */", "缺少注释结束标记 '*/'。"},
        {"select 'abc", "字符串 'abc' 后的引号不完整。"},
        {"select @s", "必须声明标量变量 \"@s\"。"},
        {"select @@version", "不支持全局变量 @@version。"},
    };
    for (const auto &c : cases) {
        try {
            const QString out = tr.translate(QString::fromUtf8(c.in));
            ADD_FAILURE() << c.in << " translated to " << out.toStdString();
        } catch (const db::TranslateError &e) {
            EXPECT_TRUE(e.text().startsWith(QString::fromUtf8(c.error))) << c.in << ": " << e.text().toStdString();
        }
    }
    // A refused statement is not cached: the next call refuses again.
    EXPECT_EQ(tr.cacheSize(), 0);
}

// Nesting is bounded, and translation stays linear in the length of the statement.
TEST(TranslateSqlite, DeepAndLongInputs)
{
    TsqlTranslator tr = typedTranslator();
    const int deep = 30000;
    for (const QString &sql : {QStringLiteral("select ") + QString(deep, u'(') + u'1' + QString(deep, u')'),
                               QStringLiteral("select ") + QStringLiteral("case when 1=1 then ").repeated(deep) + u'1'
                                   + QStringLiteral(" end").repeated(deep)}) {
        try {
            tr.translateUncached(sql);
            ADD_FAILURE() << "nesting of " << deep << " accepted";
        } catch (const db::TranslateError &e) {
            EXPECT_EQ(e.text(), db::tooDeeplyNestedText());
        }
    }
    // Nesting up to the limit translates.
    const int ok = db::MaxNesting / 2;
    EXPECT_EQ(tr.translateUncached(QStringLiteral("select ") + QString(ok, u'(') + u'1' + QString(ok, u')')),
              QStringLiteral("select ") + QString(ok, u'(') + u'1' + QString(ok, u')'));
    // 20,000 case expressions side by side and a chain of 20,000 terms.
    const QString cases = QStringLiteral("select ")
        + QStringLiteral("case when n = 1 then a else b end + ").repeated(20000) + QStringLiteral("'x' from t");
    EXPECT_EQ(tr.translateUncached(cases).count(QStringLiteral("||")), 20000);
}

TEST(TranslatePostgres, Rules)
{
    TsqlTranslator tr = typedTranslator(TsqlTranslator::Postgres);
    EXPECT_EQ(tr.dialect(), TsqlTranslator::Postgres);
    const struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"select top 1 noteid, notecode, notedate from closeposth order by noteid desc",
         "select noteid, notecode, notedate from closeposth order by noteid desc LIMIT 1"},
        {"select a from t where b = (select top (2) c from u)", "select a from t where b = (select c from u LIMIT 2)"},
        {"Select * From Commoditylth Where isnull(Buildingid,0)<>0", "Select * From Commoditylth Where coalesce(Buildingid,0)<>0"},
        {"select gdtypesid from Commoditylthtype where len(lcode)=2", "select gdtypesid from Commoditylthtype where length(rtrim(lcode))=2"},
        {"select Max(dbo.funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where Dbo.funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0",
         "select Max(funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0"},
        {"select Round(p.Price*(1+p.TaxRate/100.0),8) price, round(amount,2)-round(fillamt,2) UnfillAmt from t",
         "select round((p.Price*(1+p.TaxRate/100.0))::numeric, 8) price, round((amount)::numeric, 2)-round((fillamt)::numeric, 2) UnfillAmt from t"},
        {"select getdate(), charindex('-', code) from t", "select now(), strpos(code,'-') from t"},
        {"select count(*) from t B, u where B.a  like u.c + '%'",
         "select count(*) from t B, u where B.a  ilike u.c || '%'"},
        {"select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, cast(name as nvarchar(64)) from departmentlth",
         "select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, cast(name as varchar(64)) from departmentlth"},
        {"select cast(a as datetime), cast(b as money), cast(c as float), cast(d as tinyint), cast(e as int)",
         "select cast(a as timestamp), cast(b as numeric(19,4)), cast(c as double precision), cast(d as smallint), cast(e as int)"},
        {"select convert(varchar(10), d, 120), convert(varchar(8), d, 112)",
         "select substr(cast(d as text),1,10), to_char(cast(d as timestamp),'YYYYMMDD')"},
        {"select [Name], N'x' from t where id=12and k = 1", "select \"name\", 'x' from t where id=12 and k = 1"},
        {"select 'select top 1 isnull(' + a from t", "select 'select top 1 isnull(' || a from t"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tr.translateUncached(QString::fromUtf8(c.in)), QString::fromUtf8(c.out))
            << c.in << "\nGOT: " << tr.translateUncached(QString::fromUtf8(c.in)).toStdString();
}

// ---------------------------------------------------------------------------------------
// Cache

TEST(TranslateCache, RepeatedStatementsComeFromTheCache)
{
    TsqlTranslator tr;
    EXPECT_EQ(tr.cacheSize(), 0);
    const QString a = QStringLiteral("select top 1 noteid from closeposth order by noteid desc");
    const QString b = QStringLiteral("select isnull(a,0) from t");
    EXPECT_EQ(tr.translate(a), tr.translateUncached(a));
    EXPECT_EQ(tr.cacheSize(), 1);
    EXPECT_EQ(tr.translate(a), tr.translateUncached(a));
    EXPECT_EQ(tr.cacheSize(), 1);
    EXPECT_EQ(tr.translate(b), QStringLiteral("select ifnull(a,0) from t"));
    EXPECT_EQ(tr.cacheSize(), 2);
    // The key is the exact text.
    tr.translate(a + u' ');
    EXPECT_EQ(tr.cacheSize(), 3);
    tr.clearCache();
    EXPECT_EQ(tr.cacheSize(), 0);

    // Each dialect has its own cache.
    TsqlTranslator pg(TsqlTranslator::Postgres);
    EXPECT_EQ(pg.translate(b), QStringLiteral("select coalesce(a,0) from t"));
}

TEST(TranslateCache, StartsOverWhenFull)
{
    TsqlTranslator tr;
    for (int i = 0; i < TsqlTranslator::MaxCacheEntries; ++i)
        tr.translate(QStringLiteral("select a from t where id=") + QString::number(i));
    EXPECT_EQ(tr.cacheSize(), TsqlTranslator::MaxCacheEntries);
    EXPECT_EQ(tr.translate(QStringLiteral("select top 1 a from t")), QStringLiteral("select a from t LIMIT 1"));
    EXPECT_EQ(tr.cacheSize(), 1);
}

} // namespace
