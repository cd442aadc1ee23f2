// Two clients on one books file: an apply never overwrites or deletes what the
// other client changed since it was read.

#include "DataSetFixture.h"

using data::ClientDataSet;

namespace {

class OptimisticApplyTest : public DataSetTest {
protected:
    void SetUp() override
    {
        DataSetTest::SetUp();
        other = db::Database::openSqlite(database->path());
    }

    std::unique_ptr<db::Database> other;
};

TEST_F(OptimisticApplyTest, StaleMasterUpdateOrDeleteIsRefusedAndWritesNothing)
{
    auto a = openMaster();
    auto b = open("select * from t_master order by NOTEID", other.get());

    // B stamps note 1 and removes the remark of note 3 (a change to null).
    b->Locate("NOTEID", 1);
    edit(*b, {{"UPDATETIME", "2024-03-02 09:00:00"}});
    b->Locate("NOTEID", 3);
    b->Edit();
    b->FieldByName("REMARK")->Clear();
    b->Post();
    ASSERT_EQ(b->ApplyUpdates(0, true), 0);

    // A, still showing the old rows, changes note 1 and deletes note 3.
    a->Locate("NOTEID", 1);
    edit(*a, {{"AMOUNT", 786.5}});
    EXPECT_THROW(a->ApplyUpdates(0), db::ConcurrencyError);
    EXPECT_EQ(rows("select AMOUNT from t_master where NOTEID=1"), "120.5");
    EXPECT_EQ(a->ChangeCount(), 1); // the edits stay for the user
    EXPECT_FALSE(database->inTransaction());

    a->CancelUpdates();
    a->Locate("NOTEID", 3);
    a->Delete();
    EXPECT_EQ(testsupport::errorOf([&] { a->ApplyUpdates(0); }), db::ConcurrencyError::defaultText());
    EXPECT_EQ(rows("select count(*) from t_master where NOTEID=3"), "1");

    // Read again, the same changes go through; nulls, dates and decimals match.
    a->CancelUpdates();
    a->Refresh();
    a->Locate("NOTEID", 2); // null UPDATETIME and REMARK, 0 amount
    edit(*a, {{"REMARK", "seen"}});
    a->Locate("NOTEID", 3);
    a->Delete();
    EXPECT_EQ(a->ApplyUpdates(0, true), 0);
    EXPECT_EQ(rows("select NOTEID, REMARK from t_master order by NOTEID"), "1|first,2|seen");

    // A client's own saves in a row never trip over each other.
    a->Locate("NOTEID", 2);
    edit(*a, {{"AMOUNT", 0.1 + 0.2}});
    EXPECT_EQ(a->ApplyUpdates(0, true), 0);
}

TEST_F(OptimisticApplyTest, LinesAreGuardedOneByOne)
{
    const QString lines = "select * from t_detail where NOTEID=1 order by ITEMSNO";
    auto a = open(lines);
    auto b = open(lines, other.get());
    b->First();
    edit(*b, {{"QTY", 5}});
    ASSERT_EQ(b->ApplyUpdates(0, true), 0);

    // A's change to the other line goes through; to B's line it is refused.
    a->Last();
    edit(*a, {{"PRICE", 4.25}});
    a->ApplyUpdates(0, true);
    a->First();
    edit(*a, {{"PRICE", 11}});
    EXPECT_THROW(a->ApplyUpdates(0), db::ConcurrencyError);
    EXPECT_EQ(rows("select QTY, PRICE from t_detail where NOTEID=1 order by ITEMSNO"), "5|10.5,3|4.25");
}

TEST_F(OptimisticApplyTest, ColumnsFilledByTheirDefaultDoNotLookChanged)
{
    database->exec("create table t_def (ID integer primary key, STATE integer not null default 0, NAME varchar(10))");
    auto ds = open("select * from t_def");
    append(*ds, {{"ID", 1}});
    ASSERT_EQ(ds->ApplyUpdates(0, true), 0);
    edit(*ds, {{"NAME", "x"}});
    EXPECT_EQ(ds->ApplyUpdates(0, true), 0);
    EXPECT_EQ(rows("select NAME from t_def where ID=1"), "x");
}

} // namespace
