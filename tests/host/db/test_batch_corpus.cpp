// The batches the documents send, assembled exactly as the package builds them,
// run through the batch runner against real tables and procedures.

#include "TestSupport.h"

#include "db/Database.h"

#include <gtest/gtest.h>

using db::Database;
using db::DbError;
using db::ProcArg;
using db::Registry;
using db::ResultSet;

namespace {

class BatchCorpusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerProcedures();
        d = testsupport::bareDatabase(folder.file(QStringLiteral("corpus.db")));
    }

    static void registerProcedures()
    {
        static bool done = false;
        if (done)
            return;
        done = true;
        auto &r = Registry::instance();
        // Price lookup double: default price = commodity id / 10, last = partner id,
        // level = price class, special = store; records the batch reference it got.
        r.addProcedure(QStringLiteral("GetCommodityMultiPrice"), [](Database &d, QVector<ProcArg> &a) {
            if (a.size() != 9)
                throw DbError(QStringLiteral("GetCommodityMultiPrice: 9 arguments expected"));
            a[5].value = a[1].value.toDouble() / 10.0;
            a[6].value = a[2].value;
            a[7].value = a[0].value;
            a[8].value = a[4].value;
            d.exec(QStringLiteral("insert into calls values ('price', :b)"), {{QStringLiteral("b"), a[3].value}});
            return ResultSet{};
        });
        r.addProcedure(QStringLiteral("firstCommodityCostCaculator_bytype"), [](Database &d, QVector<ProcArg> &a) {
            if (a.size() != 5 || !a[3].value.isNull() || !a[4].output)
                throw DbError(QStringLiteral("firstCommodityCostCaculator_bytype: bad arguments"));
            d.exec(QStringLiteral("insert into calls values ('cost', :c)"), {{QStringLiteral("c"), a[1].value}});
            a[4].value = a[1].value.toInt() > 100 ? 1 : 0;
            return ResultSet{};
        });
        r.addProcedure(QStringLiteral("NOTEBOOKZERO"), [](Database &d, QVector<ProcArg> &a) {
            return d.select(QStringLiteral("select :t as NOTETYPE, :n as NOTEID, :p as PURPOSE"),
                            {{QStringLiteral("t"), a.value(0).value},
                             {QStringLiteral("n"), a.value(1).value},
                             {QStringLiteral("p"), a.value(2).value}});
        });
        r.addProcedure(QStringLiteral("SUPERKVBALANCECACULATOR"), [](Database &d, QVector<ProcArg> &a) {
            d.exec(QStringLiteral("insert into calls values ('kv', :f)"), {{QStringLiteral("f"), a.value(0).value}});
            return ResultSet{};
        });
    }

    int count(const QString &sql) { return d->scalar(QStringLiteral("select count(*) from ") + sql).toInt(); }

    testsupport::TempFolder folder;
    std::unique_ptr<Database> d;
};

TEST_F(BatchCorpusTest, DefaultPriceBatchReturnsTheOutputParameters)
{
    d->exec(QStringLiteral("create table calls (WHAT varchar(10), ARG varchar(20))"));
    const QString cls = QStringLiteral("1"), commodity = QStringLiteral("1005"), partner = QStringLiteral("7"),
                  batch = QStringLiteral("0"), store = QStringLiteral("2");
    const QString sql =
        QStringLiteral("Declare @DefaultPrice usrdefprice,@LastPrice usrdefprice,@LevPrice usrdefprice,@SpPrice usrdefprice \n") +
        QStringLiteral("Exec GetCommodityMultiPrice ") + cls + QStringLiteral(",") + commodity + QStringLiteral(",") + partner +
        QStringLiteral(",") + batch + QStringLiteral(",") + store +
        QStringLiteral(",@DefaultPrice OutPut,@LastPrice OutPut,@LevPrice OutPut,@SpPrice OutPut \n") +
        QStringLiteral("Select @DefaultPrice As DefaultPrice,@LevPrice As LevPrice,@SpPrice As SpPrice,@LastPrice As LastPrice");
    const ResultSet rs = d->run(sql);
    ASSERT_EQ(rs.rows.size(), 1);
    EXPECT_EQ(rs.columns, (QStringList{QStringLiteral("DefaultPrice"), QStringLiteral("LevPrice"), QStringLiteral("SpPrice"),
                                       QStringLiteral("LastPrice")}));
    EXPECT_DOUBLE_EQ(rs.value(0, QStringLiteral("DEFAULTPRICE")).toDouble(), 100.5);
    EXPECT_EQ(rs.value(0, QStringLiteral("LevPrice")).toInt(), 1);
    EXPECT_EQ(rs.value(0, QStringLiteral("SPPrice")).toInt(), 2);
    EXPECT_EQ(rs.value(0, QStringLiteral("LastPrice")).toInt(), 7);
    EXPECT_EQ(count(QStringLiteral("calls where WHAT='price' and ARG='0'")), 1);
}

TEST_F(BatchCorpusTest, CostCalculationBatchReadsTheFlagBack)
{
    d->exec(QStringLiteral("create table calls (WHAT varchar(10), ARG varchar(20))"));
    for (const auto &[commodity, flag] : {std::pair{QStringLiteral("12"), 0}, std::pair{QStringLiteral("512"), 1}}) {
        const QString sql = QStringLiteral("declare @uncaculatedflag int \nexec firstCommodityCostCaculator_bytype ") +
                            QStringLiteral("-1") + QStringLiteral(",") + commodity + QStringLiteral(",") + QStringLiteral("2") +
                            QStringLiteral(",null,@uncaculatedflag output") + QStringLiteral("\nselect @uncaculatedflag as flag");
        const ResultSet rs = d->run(sql);
        ASSERT_EQ(rs.rows.size(), 1);
        EXPECT_EQ(rs.rows[0][0].toInt(), flag);
    }
    EXPECT_EQ(count(QStringLiteral("calls where WHAT='cost'")), 2);
}

TEST_F(BatchCorpusTest, StockCheckProcedureTakesNamedParameters)
{
    const ResultSet rs = d->run(QStringLiteral("Exec NOTEBOOKZERO :NOTETYPE, :NOTEID, :PURPOSE"),
                                {{QStringLiteral("NOTETYPE"), 4}, {QStringLiteral("NOTEID"), 1001}, {QStringLiteral("PURPOSE"), 1}});
    ASSERT_EQ(rs.rows.size(), 1);
    EXPECT_EQ(rs.value(0, QStringLiteral("NOTETYPE")).toInt(), 4);
    EXPECT_EQ(rs.value(0, QStringLiteral("NOTEID")).toInt(), 1001);
    EXPECT_EQ(rs.value(0, QStringLiteral("PURPOSE")).toInt(), 1);
    EXPECT_THROW(d->run(QStringLiteral("Exec NOTEBOOKZERO :NOTETYPE, :NOTEID, :PURPOSE"), {{QStringLiteral("NOTETYPE"), 4}}),
                 DbError);
}

TEST_F(BatchCorpusTest, ColourSizeCellUpsertAndTheBreakdownSave)
{
    d->exec(QStringLiteral("create table TempDetail2 (noteID integer, noteType integer, noteKind integer, Item integer, "
                           "BuildingID integer, CommodityID integer, ColorID integer, SizeID integer, Quantity numeric(19,6))"));
    d->exec(QStringLiteral("create table salesthdetail2 (noteID integer, noteType integer, noteKind integer, Item integer, "
                           "BuildingID integer, CommodityID integer, ColorID integer, SizeID integer, Quantity numeric(19,6))"));
    const QString table = QStringLiteral("TempDetail2");
    auto cell = [&](int qty) {
        return QStringLiteral("if Exists(Select 1 from ") + table + QStringLiteral("  where noteID = ") + QStringLiteral("-9999") +
               QStringLiteral(" and noteType = ") + QStringLiteral("14") + QStringLiteral(" and noteKind = ") + QStringLiteral("1") +
               QStringLiteral(" and Item = ") + QStringLiteral("-1") + QStringLiteral(" and BuildingID = ") + QStringLiteral("2") +
               QStringLiteral(" and CommodityID =") + QStringLiteral("1005") + QStringLiteral(" and ColorID =  ") +
               QStringLiteral("3") + QStringLiteral(" and SizeID = ") + QStringLiteral("4") + QStringLiteral(") begin Update ") +
               table + QStringLiteral(" set Quantity = ") + QString::number(qty) + QStringLiteral("  where noteID = ") +
               QStringLiteral("-9999") + QStringLiteral(" and noteType = ") + QStringLiteral("14") +
               QStringLiteral(" and noteKind = ") + QStringLiteral("1") + QStringLiteral(" and Item = ") + QStringLiteral("-1") +
               QStringLiteral(" and BuildingID = ") + QStringLiteral("2") + QStringLiteral(" and CommodityID =") +
               QStringLiteral("1005") + QStringLiteral(" and ColorID =  ") + QStringLiteral("3") +
               QStringLiteral(" and SizeID = ") + QStringLiteral("4") + QStringLiteral(" end else begin insert into ") + table +
               QStringLiteral("(noteID,noteType,noteKind,Item,BuildingID,CommodityID,ColorID,SizeID,Quantity) values (") +
               QStringLiteral("-9999,14,1,-1,2,1005,3,4,") + QString::number(qty) + QStringLiteral(") end");
    };
    d->run(cell(5));
    d->run(cell(8));
    EXPECT_EQ(count(QStringLiteral("TempDetail2")), 1);
    EXPECT_EQ(d->scalar(QStringLiteral("select Quantity from TempDetail2")).toInt(), 8);

    // The note is saved as 77: the breakdown moves over in one all-or-nothing batch.
    d->exec(QStringLiteral("insert into salesthdetail2 values (77, 14, 1, 1, 2, 1005, 9, 9, 1)")); // stale row
    d->exec(QStringLiteral("Update TempDetail2 Set noteid =") + QStringLiteral("77") + QStringLiteral(" where noteType =") +
            QStringLiteral("14") + QStringLiteral(" and noteid = -9999 and notekind = ") + QStringLiteral("1"));
    const QString cond = QStringLiteral(" where noteType =") + QStringLiteral("14") + QStringLiteral(" and noteID =") +
                         QStringLiteral("77") + QStringLiteral(" and noteKind = ") + QStringLiteral("1");
    const QString save = QStringLiteral("SET XACT_ABORT ON BEGIN TRAN ") + QStringLiteral("delete from ") +
                         QStringLiteral("salesthdetail2") + cond + QStringLiteral(" insert into ") + QStringLiteral("salesthdetail2") +
                         QStringLiteral(" Select * from TempDetail2 ") + cond + QStringLiteral("COMMIT TRAN SET XACT_ABORT OFF");
    d->run(save);
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(count(QStringLiteral("salesthdetail2")), 1);
    EXPECT_EQ(d->scalar(QStringLiteral("select Quantity from salesthdetail2 where ColorID=3")).toInt(), 8);

    // The same batch against a table that does not match fails whole: the delete is undone.
    d->exec(QStringLiteral("create table drawithdetail2 (noteID integer, noteType integer, noteKind integer)"));
    d->exec(QStringLiteral("insert into drawithdetail2 values (77, 14, 1)"));
    QString bad = save;
    bad.replace(QStringLiteral("salesthdetail2"), QStringLiteral("drawithdetail2"));
    EXPECT_THROW(d->run(bad), DbError);
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(count(QStringLiteral("drawithdetail2")), 1);
}

TEST_F(BatchCorpusTest, PeriodCloseAndTriggerSwitches)
{
    d->exec(QStringLiteral("create table calls (WHAT varchar(10), ARG varchar(20))"));
    d->beginTran();
    d->run(QStringLiteral("Exec SUPERKVBALANCECACULATOR 'T'"));
    d->commitTran();
    d->beginTran();
    d->run(QStringLiteral("Exec SUPERKVBALANCECACULATOR 'F'"));
    d->rollbackTran();
    EXPECT_EQ(count(QStringLiteral("calls where WHAT='kv' and ARG='T'")), 1);
    EXPECT_EQ(count(QStringLiteral("calls where ARG='F'")), 0);

    d->exec(QStringLiteral("create table PrintTemplatelth (PRINTTEMPLATEID integer, NOTESTATE integer, NOTEID integer)"));
    d->run(QStringLiteral("alter table PrintTemplatelth disable trigger all"));
    EXPECT_EQ(count(QStringLiteral("sys_disabledtriggers where TABLENAME='printtemplatelth'")), 1);
    d->run(QStringLiteral("alter table PrintTemplatelth Enable trigger all"));
    EXPECT_EQ(count(QStringLiteral("sys_disabledtriggers")), 0);
}

} // namespace
