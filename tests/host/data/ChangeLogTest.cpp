// The change log (status, old values, merge, cancel, revert) and applying it to
// the database: statements per record, base-table columns only, keys, failures.

#include "DataSetFixture.h"

using namespace data;

namespace {

std::unique_ptr<ClientDataSet> openDetail(db::Database *database)
{
    auto ds = std::make_unique<ClientDataSet>(database);
    // joined and computed columns that are not columns of t_detail
    ds->SetCommandText(QStringLiteral(
        "select d.*, g.GOODSNAME, d.QTY * d.PRICE as LINEAMT from t_detail d "
        "left join t_goods g on g.GOODSID = d.GOODSID where d.NOTEID = :noteID order by d.ITEMSNO"));
    ds->SetParam(QStringLiteral("noteID"), 1);
    ds->SetKeyFields(QStringLiteral("NOTEID;ITEMSNO"));
    ds->Open();
    return ds;
}

} // namespace

TEST_F(DataSetTest, OldValuesAndUpdateStatus)
{
    auto ds = openMaster();
    Field *remark = ds->FieldByName("REMARK");
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Unmodified);
    EXPECT_EQ(remark->OldValue(), QVariant(QStringLiteral("first")));
    ds->Edit();
    remark->SetValue(QStringLiteral("one"));
    EXPECT_EQ(remark->OldValue(), QVariant(QStringLiteral("first")));
    ds->Post();
    ds->Edit();
    remark->SetValue(QStringLiteral("two"));
    ds->Post();
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Modified);
    EXPECT_EQ(remark->AsString(), QStringLiteral("two"));
    EXPECT_EQ(remark->OldValue(), QVariant(QStringLiteral("first"))); // as loaded, not as last posted
    EXPECT_EQ(ds->ChangeCount(), 1);

    ds->Append();
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Inserted);
    ds->FieldByName("NOTEID")->SetValue(9);
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0009"));
    ds->Post();
    EXPECT_TRUE(remark->OldValue().isNull());
    EXPECT_EQ(ds->ChangeCount(), 2);

    ds->Locate(QStringLiteral("NOTEID"), 2);
    ds->Delete();
    EXPECT_EQ(ds->ChangeCount(), 3);
    EXPECT_EQ(ds->RecordCount(), 3);

    // an inserted record deleted again leaves no trace in the log
    ds->Locate(QStringLiteral("NOTEID"), 9);
    ds->Delete();
    EXPECT_EQ(ds->ChangeCount(), 2);

    ds->MergeChangeLog();
    EXPECT_EQ(ds->ChangeCount(), 0);
    ds->First();
    EXPECT_EQ(ds->GetUpdateStatus(), UpdateStatus::Unmodified);
    EXPECT_EQ(remark->OldValue(), QVariant(QStringLiteral("two")));
    ds->CancelUpdates();
    EXPECT_EQ(ds->RecordCount(), 2); // the merged delete stays
    EXPECT_EQ(remark->AsString(), QStringLiteral("two"));
}

TEST_F(DataSetTest, CancelUpdatesAndRevertRecordRestoreTheLastMergedState)
{
    auto ds = openMaster();
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetValue(1.5);
    ds->Post();
    ds->Next();
    ds->Delete();
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(4);
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0004"));
    ds->Post();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue(QStringLiteral("unposted"));
    EXPECT_EQ(ds->ChangeCount(), 3);

    ds->CancelUpdates();
    EXPECT_EQ(ds->State(), DataSetState::Browse);
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->RecordCount(), 3);
    QStringList rows;
    for (ds->First(); !ds->Eof(); ds->Next())
        rows << ds->FieldByName("NOTEID")->AsString() + u'=' + ds->FieldByName("AMOUNT")->AsString();
    EXPECT_EQ(rows, QStringList({"1=120.5", "2=0", "3=99.125"}));

    // RevertRecord: one record only
    ds->First();
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetValue(7);
    ds->Post();
    ds->Next();
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetValue(8);
    ds->Post();
    ds->RevertRecord();
    EXPECT_DOUBLE_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 0.0);
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(5);
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0005"));
    ds->Post();
    ds->RevertRecord();
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->First();
    EXPECT_DOUBLE_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 7.0);
}

TEST_F(DataSetTest, ApplyUpdatesWritesInsertsUpdatesAndDeletesOfTheBaseTableOnly)
{
    auto ds = openDetail(database.get());
    ASSERT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->BaseTable(), QStringLiteral("t_detail"));
    // change the key of line 2, a quantity of line 1, add line 3, and a joined column
    ds->First();
    ds->Edit();
    ds->FieldByName("QTY")->SetValue(5);
    ds->FieldByName("GOODSNAME")->SetValue(QStringLiteral("Renamed")); // not a column of t_detail
    ds->Post();
    ds->Next();
    ds->Edit();
    ds->FieldByName("ITEMSNO")->SetValue(7);
    ds->Post();
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(1);
    ds->FieldByName("ITEMSNO")->SetValue(3);
    ds->FieldByName("GOODSID")->SetValue(102);
    ds->FieldByName("LINEAMT")->SetValue(1000);
    ds->Post();
    EXPECT_EQ(ds->ApplyUpdates(), 0);
    EXPECT_EQ(ds->ChangeCount(), 3); // kept until merged

    const db::ResultSet rs = database->select(
        QStringLiteral("select NOTEID, ITEMSNO, GOODSID, QTY, PRICE from t_detail order by NOTEID, ITEMSNO"));
    QStringList rows;
    for (const auto &r : rs.rows) {
        QStringList cells;
        for (const QVariant &v : r)
            cells << (v.isNull() ? QStringLiteral("null") : v.toString());
        rows << cells.join(u',');
    }
    EXPECT_EQ(rows, QStringList({"1,1,100,5,10.5", "1,3,102,null,null", "1,7,101,3,4", "2,1,102,1,99"}));
    EXPECT_EQ(database->scalar(QStringLiteral("select GOODSNAME from t_goods where GOODSID=100")).toString(),
              QStringLiteral("Apple"));

    ds->MergeChangeLog();
    ds->Locate(QStringLiteral("ITEMSNO"), 7);
    ds->Delete();
    ds->First();
    ds->Delete();
    EXPECT_EQ(ds->ApplyUpdates(0, true), 0);
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_detail where NOTEID=1")), 1);
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_detail where NOTEID=2")), 1);

    // a second apply of the same shape reuses its statement and still writes the right row
    ds->Edit();
    ds->FieldByName("QTY")->SetValue(9);
    ds->Post();
    ds->ApplyUpdates(0, true);
    EXPECT_EQ(database->scalar(QStringLiteral("select QTY from t_detail where NOTEID=1 and ITEMSNO=3")).toDouble(), 9.0);
    EXPECT_EQ(database->scalar(QStringLiteral("select QTY from t_detail where NOTEID=2 and ITEMSNO=1")).toDouble(), 1.0);
}

TEST_F(DataSetTest, ApplyUpdatesUsesTheCallersTransactionAndFailsWithoutLosingEdits)
{
    auto ds = openMaster();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue(QStringLiteral("edited"));
    ds->Post();
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(4);
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0002")); // duplicate of a unique column
    ds->Post();

    database->beginTran();
    QString error;
    try {
        ds->ApplyUpdates();
    } catch (const db::DbError &e) {
        error = e.text();
    }
    EXPECT_TRUE(error.contains(QStringLiteral("UNIQUE"), Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_TRUE(database->inTransaction()); // the caller decides
    database->rollbackTran();
    EXPECT_EQ(ds->ChangeCount(), 2);
    EXPECT_EQ(database->scalar(QStringLiteral("select REMARK from t_master where NOTEID=1")).toString(),
              QStringLiteral("first"));
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_master")), 3);

    // corrected, the same log applies
    ds->Locate(QStringLiteral("NOTEID"), 4);
    ds->Edit();
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0004"));
    ds->Post();
    database->beginTran();
    ds->ApplyUpdates();
    database->commitTran();
    ds->MergeChangeLog();
    EXPECT_EQ(database->scalar(QStringLiteral("select REMARK from t_master where NOTEID=1")).toString(),
              QStringLiteral("edited"));
    EXPECT_EQ(database->scalar(QStringLiteral("select NOTECODE from t_master where NOTEID=4")).toString(),
              QStringLiteral("PB-0004"));

    // without a caller's transaction a failure rolls back its own: nothing half-written
    ds->First();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue(QStringLiteral("again"));
    ds->Post();
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(1); // duplicate key
    ds->FieldByName("NOTECODE")->SetValue(QStringLiteral("PB-0099"));
    ds->Post();
    EXPECT_THROW(ds->ApplyUpdates(), db::DbError);
    EXPECT_FALSE(database->inTransaction());
    EXPECT_EQ(database->scalar(QStringLiteral("select REMARK from t_master where NOTEID=1")).toString(),
              QStringLiteral("edited"));
    EXPECT_EQ(ds->ChangeCount(), 2);

    // tolerated errors: the good record is written and merged, the bad one stays in the log
    EXPECT_EQ(ds->ApplyUpdates(-1, true), 1);
    EXPECT_EQ(database->scalar(QStringLiteral("select REMARK from t_master where NOTEID=1")).toString(),
              QStringLiteral("again"));
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST_F(DataSetTest, ApplyUpdatesDetectsRowsChangedByOthersAndNeedsAKey)
{
    auto ds = openMaster();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue(QStringLiteral("mine"));
    ds->Post();
    database->exec(QStringLiteral("delete from t_master where NOTEID=1"));
    EXPECT_THROW(ds->ApplyUpdates(), db::DbError);
    EXPECT_EQ(ds->ChangeCount(), 1);

    // a table without a primary key needs KeyFields for updates
    database->exec(QStringLiteral("create table t_nokey (CODE varchar(10), QTY integer)"));
    database->exec(QStringLiteral("insert into t_nokey values ('a', 1), ('b', 2)"));
    ClientDataSet nk(database.get());
    nk.SetCommandText(QStringLiteral("select * from dbo.t_nokey order by CODE"));
    nk.Open();
    nk.Edit();
    nk.FieldByName("QTY")->SetValue(5);
    nk.Post();
    EXPECT_THROW(nk.ApplyUpdates(), DataSetError);
    nk.SetKeyFields(QStringLiteral("CODE"));
    nk.ApplyUpdates(0, true);
    EXPECT_EQ(count(QStringLiteral("select QTY from t_nokey where CODE='a'")), 5);
    EXPECT_EQ(count(QStringLiteral("select QTY from t_nokey where CODE='b'")), 2);

    // UpdateTableName overrides the FROM table (here a view)
    database->exec(QStringLiteral("create view v_nokey as select CODE, QTY from t_nokey"));
    ClientDataSet v(database.get());
    v.SetCommandText(QStringLiteral("select * from v_nokey order by CODE"));
    v.SetUpdateTableName(QStringLiteral("t_nokey"));
    v.SetKeyFields(QStringLiteral("CODE"));
    v.Open();
    v.Last();
    v.Delete();
    v.ApplyUpdates(0, true);
    EXPECT_EQ(count(QStringLiteral("select count(*) from t_nokey")), 1);
}
