// Two clients on one books file: an apply never overwrites or deletes what the
// other client changed since it was read; and numbers that are not numbers, or
// too large to keep their cents, are refused by the fields.

#include "DataSetFixture.h"

#include <cmath>
#include <limits>

using data::ClientDataSet;
using data::DataSetError;

namespace {

class OptimisticApplyTest : public DataSetTest {
protected:
    void SetUp() override
    {
        DataSetTest::SetUp();
        other = db::Database::openSqlite(database->path());
    }
    std::unique_ptr<ClientDataSet> openOn(db::Database &d, const QString &sql)
    {
        auto ds = std::make_unique<ClientDataSet>(&d);
        ds->SetCommandText(sql);
        ds->Open();
        return ds;
    }
    QVariant value(const QString &sql) { return database->scalar(sql); }

    std::unique_ptr<db::Database> other;
};

TEST_F(OptimisticApplyTest, StaleMasterUpdateOrDeleteIsRefusedAndWritesNothing)
{
    auto a = openMaster();
    auto b = openOn(*other, QStringLiteral("select * from t_master order by NOTEID"));

    // B stamps note 1 and removes the remark of note 3 (a change to null).
    b->Locate(QStringLiteral("NOTEID"), 1);
    b->Edit();
    b->FieldByName(QStringLiteral("UPDATETIME"))->SetValue(QStringLiteral("2024-03-02 09:00:00"));
    b->Post();
    b->Locate(QStringLiteral("NOTEID"), 3);
    b->Edit();
    b->FieldByName(QStringLiteral("REMARK"))->Clear();
    b->Post();
    ASSERT_EQ(b->ApplyUpdates(0, true), 0);

    // A, still showing the old rows, changes note 1 and deletes note 3.
    a->Locate(QStringLiteral("NOTEID"), 1);
    a->Edit();
    a->FieldByName(QStringLiteral("AMOUNT"))->SetValue(786.5);
    a->Post();
    EXPECT_THROW(a->ApplyUpdates(0), db::ConcurrencyError);
    EXPECT_EQ(value(QStringLiteral("select AMOUNT from t_master where NOTEID=1")).toDouble(), 120.5);
    EXPECT_EQ(a->ChangeCount(), 1); // the edits stay for the user
    EXPECT_FALSE(database->inTransaction());

    a->CancelUpdates();
    a->Locate(QStringLiteral("NOTEID"), 3);
    a->Delete();
    try {
        a->ApplyUpdates(0);
        FAIL() << "stale delete applied";
    } catch (const db::ConcurrencyError &e) {
        EXPECT_EQ(e.text(), db::ConcurrencyError::defaultText());
    }
    EXPECT_EQ(value(QStringLiteral("select count(*) from t_master where NOTEID=3")).toInt(), 1);

    // Read again, the same changes go through; nulls, dates and decimals match.
    a->CancelUpdates();
    a->Refresh();
    a->Locate(QStringLiteral("NOTEID"), 2); // null UPDATETIME and REMARK, 0 amount
    a->Edit();
    a->FieldByName(QStringLiteral("REMARK"))->SetValue(QStringLiteral("seen"));
    a->Post();
    a->Locate(QStringLiteral("NOTEID"), 3);
    a->Delete();
    EXPECT_EQ(a->ApplyUpdates(0, true), 0);
    EXPECT_EQ(value(QStringLiteral("select REMARK from t_master where NOTEID=2")).toString(), QStringLiteral("seen"));
    EXPECT_EQ(value(QStringLiteral("select count(*) from t_master where NOTEID=3")).toInt(), 0);

    // A client's own saves in a row never trip over each other.
    a->Locate(QStringLiteral("NOTEID"), 2);
    a->Edit();
    a->FieldByName(QStringLiteral("AMOUNT"))->SetValue(0.1 + 0.2);
    a->Post();
    EXPECT_EQ(a->ApplyUpdates(0, true), 0);
}

TEST_F(OptimisticApplyTest, LinesAreGuardedOneByOne)
{
    const QString lines = QStringLiteral("select * from t_detail where NOTEID=1 order by ITEMSNO");
    auto a = openOn(*database, lines);
    auto b = openOn(*other, lines);
    b->First();
    b->Edit();
    b->FieldByName(QStringLiteral("QTY"))->SetValue(5);
    b->Post();
    ASSERT_EQ(b->ApplyUpdates(0, true), 0);

    // A's change to the other line goes through; to B's line it is refused.
    a->Last();
    a->Edit();
    a->FieldByName(QStringLiteral("PRICE"))->SetValue(4.25);
    a->Post();
    EXPECT_EQ(a->ApplyUpdates(0, true), 0);
    a->First();
    a->Edit();
    a->FieldByName(QStringLiteral("PRICE"))->SetValue(11);
    a->Post();
    EXPECT_THROW(a->ApplyUpdates(0), db::ConcurrencyError);
    EXPECT_EQ(value(QStringLiteral("select QTY || '/' || PRICE from t_detail where NOTEID=1 and ITEMSNO=1")).toString(),
              QStringLiteral("5/10.5"));

}

TEST_F(OptimisticApplyTest, ColumnsFilledByTheirDefaultDoNotLookChanged)
{
    database->exec(QStringLiteral("create table t_def (ID integer primary key, STATE integer not null default 0, NAME varchar(10))"));
    auto ds = openOn(*database, QStringLiteral("select * from t_def"));
    ds->Append();
    ds->FieldByName(QStringLiteral("ID"))->SetValue(1);
    ds->Post();
    ASSERT_EQ(ds->ApplyUpdates(0, true), 0);
    ds->Edit();
    ds->FieldByName(QStringLiteral("NAME"))->SetValue(QStringLiteral("x"));
    ds->Post();
    EXPECT_EQ(ds->ApplyUpdates(0, true), 0);
    EXPECT_EQ(value(QStringLiteral("select NAME from t_def where ID=1")).toString(), QStringLiteral("x"));
}

TEST_F(DataSetTest, NumbersMustBeFiniteAndWithinTheRangeShownExactly)
{
    auto ds = openMaster();
    ds->Edit();
    data::Field *amount = ds->FieldByName(QStringLiteral("AMOUNT"));
    auto refusal = [&](const QVariant &v) {
        try {
            amount->SetValue(v);
        } catch (const DataSetError &e) {
            return e.text();
        }
        return QString();
    };
    EXPECT_EQ(refusal(QStringLiteral("abc")), QStringLiteral("'abc' 不是字段 'AMOUNT' 有效的浮点数值"));
    for (const char *typed : {"inf", "-inf", "nan", "Infinity", "+INF"})
        EXPECT_EQ(refusal(QString::fromLatin1(typed)),
                  QStringLiteral("'%1' 不是字段 'AMOUNT' 有效的浮点数值").arg(QString::fromLatin1(typed)));
    EXPECT_FALSE(refusal(std::numeric_limits<double>::infinity()).isEmpty());
    EXPECT_FALSE(refusal(std::nan("")).isEmpty());
    EXPECT_EQ(refusal(QStringLiteral("1e13")),
              QStringLiteral("'1e13' 超出字段 'AMOUNT' 允许的范围，数值的绝对值不能大于 1,000,000,000,000。"));
    EXPECT_FALSE(refusal(-1.5e12).isEmpty());
    EXPECT_EQ(amount->AsFloat(), 120.5); // nothing refused was stored
    EXPECT_TRUE(refusal(QStringLiteral("999999999999.99")).isEmpty());
    EXPECT_THROW(ds->FieldByName(QStringLiteral("PARTNERID"))->SetValue(std::numeric_limits<double>::infinity()),
                 DataSetError);
}

} // namespace
