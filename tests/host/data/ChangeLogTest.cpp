// The change log (status, old values, merge, cancel, revert) and applying it to
// the database: statements per record, base-table columns only, keys, failures.

#include "DataSetFixture.h"

using namespace data;

TEST_F(DataSetTest, OldValuesAndUpdateStatus)
{
    auto ds = openMaster();
    Field *remark = ds->FieldByName("REMARK");
    edit(*ds, {{"REMARK", "one"}});
    edit(*ds, {{"REMARK", "two"}});
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Modified);
    EXPECT_EQ(remark->OldValue(), QVariant("first")); // as loaded, not as last posted
    EXPECT_EQ(ds->ChangeCount(), 1);

    ds->Append();
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Inserted);
    ds->Cancel();
    append(*ds, {{"NOTEID", 9}, {"NOTECODE", "PB-0009"}});
    EXPECT_TRUE(remark->OldValue().isNull());
    ds->Locate("NOTEID", 2);
    ds->Delete();
    EXPECT_EQ(ds->ChangeCount(), 3);
    // an inserted record deleted again leaves no trace in the log
    ds->Locate("NOTEID", 9);
    ds->Delete();
    EXPECT_EQ(ds->ChangeCount(), 2);

    ds->MergeChangeLog();
    EXPECT_EQ(ds->ChangeCount(), 0);
    ds->First();
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Unmodified);
    EXPECT_EQ(remark->OldValue(), QVariant("two"));
    ds->CancelUpdates();
    EXPECT_EQ(ds->RecordCount(), 2); // the merged delete stays
    EXPECT_EQ(remark->AsString(), "two");
}

TEST_F(DataSetTest, CancelUpdatesAndRevertRecordRestoreTheLastMergedState)
{
    auto ds = openMaster();
    edit(*ds, {{"AMOUNT", 1.5}});
    ds->Next();
    ds->Delete();
    append(*ds, {{"NOTEID", 4}, {"NOTECODE", "PB-0004"}});
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue("unposted");
    EXPECT_EQ(ds->ChangeCount(), 3);

    ds->CancelUpdates();
    EXPECT_EQ(ds->State(), DataSetState::Browse);
    EXPECT_EQ(ds->ChangeCount(), 0);
    QStringList rows;
    for (ds->First(); !ds->Eof(); ds->Next())
        rows << ds->FieldByName("NOTEID")->AsString() + u'=' + ds->FieldByName("AMOUNT")->AsString();
    EXPECT_EQ(rows, QStringList({"1=120.5", "2=0", "3=99.125"}));

    // RevertRecord: one record only
    ds->First();
    edit(*ds, {{"AMOUNT", 7}});
    ds->Next();
    edit(*ds, {{"AMOUNT", 8}});
    ds->RevertRecord();
    EXPECT_DOUBLE_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 0.0);
    EXPECT_EQ(ds->ChangeCount(), 1);
    append(*ds, {{"NOTEID", 5}, {"NOTECODE", "PB-0005"}});
    ds->RevertRecord();
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->First();
    EXPECT_DOUBLE_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 7.0);
}

TEST_F(DataSetTest, ApplyUpdatesWritesInsertsUpdatesAndDeletesOfTheBaseTableOnly)
{
    ClientDataSet ds(database.get());
    // joined and computed columns that are not columns of t_detail
    ds.SetCommandText("select d.*, g.GOODSNAME, d.QTY * d.PRICE as LINEAMT from t_detail d "
                      "left join t_goods g on g.GOODSID = d.GOODSID where d.NOTEID = :noteID order by d.ITEMSNO");
    ds.SetParam("noteID", 1);
    ds.SetKeyFields("NOTEID;ITEMSNO");
    ds.Open();
    ASSERT_EQ(ds.RecordCount(), 2);
    EXPECT_EQ(ds.BaseTable(), "t_detail");
    // a quantity and a joined column of line 1, the key of line 2, a new line 3
    edit(ds, {{"QTY", 5}, {"GOODSNAME", "Renamed"}});
    ds.Next();
    edit(ds, {{"ITEMSNO", 7}});
    append(ds, {{"NOTEID", 1}, {"ITEMSNO", 3}, {"GOODSID", 102}, {"LINEAMT", 1000}});
    EXPECT_EQ(ds.ApplyUpdates(), 0);
    EXPECT_EQ(ds.ChangeCount(), 3); // kept until merged
    EXPECT_EQ(rows("select * from t_detail order by NOTEID, ITEMSNO"), "1|1|100|5|10.5,1|3|102||,1|7|101|3|4,2|1|102|1|99");
    EXPECT_EQ(rows("select GOODSNAME from t_goods where GOODSID=100"), "Apple");

    ds.MergeChangeLog();
    ds.Locate("ITEMSNO", 7);
    ds.Delete();
    ds.First();
    ds.Delete();
    EXPECT_EQ(ds.ApplyUpdates(0, true), 0);
    EXPECT_EQ(ds.ChangeCount(), 0);

    // a second apply of the same shape reuses its statement and still writes the right row
    edit(ds, {{"QTY", 9}});
    ds.ApplyUpdates(0, true);
    EXPECT_EQ(rows("select NOTEID, ITEMSNO, QTY from t_detail order by NOTEID"), "1|3|9,2|1|1");
}

TEST_F(DataSetTest, ApplyUpdatesUsesTheCallersTransactionAndFailsWithoutLosingEdits)
{
    auto ds = openMaster();
    edit(*ds, {{"REMARK", "edited"}});
    append(*ds, {{"NOTEID", 4}, {"NOTECODE", "PB-0002"}}); // duplicate of a unique column

    database->beginTran();
    const QString error = testsupport::refusal([&] { ds->ApplyUpdates(); });
    EXPECT_TRUE(error.contains("UNIQUE", Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_TRUE(database->inTransaction()); // the caller decides
    database->rollbackTran();
    EXPECT_EQ(ds->ChangeCount(), 2);
    EXPECT_EQ(rows("select NOTEID, REMARK from t_master order by NOTEID"), "1|first,2|,3|Third");

    // corrected, the same log applies
    ds->Locate("NOTEID", 4);
    edit(*ds, {{"NOTECODE", "PB-0004"}});
    database->beginTran();
    ds->ApplyUpdates();
    database->commitTran();
    ds->MergeChangeLog();
    EXPECT_EQ(rows("select NOTECODE, REMARK from t_master where NOTEID in (1, 4) order by NOTEID"), "PB-0001|edited,PB-0004|");

    // without a caller's transaction a failure rolls back its own: nothing half-written
    ds->First();
    edit(*ds, {{"REMARK", "again"}});
    append(*ds, {{"NOTEID", 1}, {"NOTECODE", "PB-0099"}}); // duplicate key
    EXPECT_THROW(ds->ApplyUpdates(), db::DbError);
    EXPECT_FALSE(database->inTransaction());
    EXPECT_EQ(rows("select REMARK from t_master where NOTEID=1"), "edited");
    EXPECT_EQ(ds->ChangeCount(), 2);

    // tolerated errors: the good record is written and merged, the bad one stays in the log
    EXPECT_EQ(ds->ApplyUpdates(-1, true), 1);
    EXPECT_EQ(rows("select REMARK from t_master where NOTEID=1"), "again");
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST_F(DataSetTest, ApplyUpdatesDetectsRowsChangedByOthersAndNeedsAKey)
{
    auto ds = openMaster();
    edit(*ds, {{"REMARK", "mine"}});
    database->exec("delete from t_master where NOTEID=1");
    EXPECT_THROW(ds->ApplyUpdates(), db::DbError);
    EXPECT_EQ(ds->ChangeCount(), 1);

    // a table without a primary key needs KeyFields for updates
    database->exec("create table t_nokey (CODE varchar(10), QTY integer)");
    database->exec("insert into t_nokey values ('a', 1), ('b', 2)");
    auto nk = open("select * from dbo.t_nokey order by CODE");
    edit(*nk, {{"QTY", 5}});
    EXPECT_THROW(nk->ApplyUpdates(), DataSetError);
    nk->SetKeyFields("CODE");
    nk->ApplyUpdates(0, true);
    EXPECT_EQ(rows("select * from t_nokey order by CODE"), "a|5,b|2");

    // UpdateTableName overrides the FROM table (here a view)
    database->exec("create view v_nokey as select CODE, QTY from t_nokey");
    ClientDataSet v(database.get());
    v.SetCommandText("select * from v_nokey order by CODE");
    v.SetUpdateTableName("t_nokey");
    v.SetKeyFields("CODE");
    v.Open();
    v.Last();
    v.Delete();
    v.ApplyUpdates(0, true);
    EXPECT_EQ(rows("select count(*) from t_nokey"), "1");
}
