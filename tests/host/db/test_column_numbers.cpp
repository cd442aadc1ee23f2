// Writes that carry a note's numbers in their text (the audit centre's
// "Update ... Where noteId=37and noteState=0") run with those numbers as
// parameters: the same rows change as with the text as written, on both engines.

#include "TestSupport.h"

#include "db/Database.h"

#include <gtest/gtest.h>

using db::Database;

namespace {

TEST(ColumnNumbers, OnlyNumbersMetByAColumnAndEqualsBecomeParameters)
{
    db::Params params;
    EXPECT_EQ(Database::liftColumnNumbers(
                  QStringLiteral("Update T Set noteState=1, chkorid = 25 Where noteId=37and [n=1]=2"), params),
              QStringLiteral("Update T Set noteState=:pk_lifted0, chkorid = :pk_lifted1 Where noteId=:pk_lifted2 and "
                             "[n=1]=:pk_lifted3"));
    EXPECT_EQ(params.value(QStringLiteral("pk_lifted1")).toLongLong(), 25);
    EXPECT_EQ(params.value(QStringLiteral("pk_lifted2")).toLongLong(), 37);
    EXPECT_EQ(params.size(), 4);

    // Text, comments, signs, decimals, comparisons other than = and numbers
    // not after a column stay in the text.
    params.clear();
    const QString kept = QStringLiteral(
        "update t set a = 'x=1', b=-2, c=1.5, d=1e3, e=x2 where f>=3 and 4=g and h<>5 and i=j+6 and 7=7 "
        "and k=99999999999999999999 -- l=8\n/* m=9 */");
    EXPECT_EQ(Database::liftColumnNumbers(kept, params), kept);
    EXPECT_TRUE(params.isEmpty());
}

TEST(ColumnNumbers, ALiftedWriteChangesTheRowsTheTextNames)
{
    testsupport::TempFolder folder;
    const auto d = testsupport::freshBooks(folder.file(QStringLiteral("books.db")));
    d->exec(QStringLiteral("create table t_lift (ID integer primary key, STATE integer, CODE varchar(10))"));
    d->exec(QStringLiteral("insert into t_lift values (37, 0, '5'), (38, 0, '6'), (39, 1, '5')"));
    EXPECT_EQ(d->execWrite(QStringLiteral("Update t_lift Set STATE=1 Where ID=37and STATE=0")), 1);
    EXPECT_EQ(d->execWrite(QStringLiteral("Update t_lift Set STATE=2 Where ID=39and STATE=0")), 0);
    // A number met by a text column still means that text.
    EXPECT_EQ(d->execWrite(QStringLiteral("delete from t_lift where CODE=5")), 2);
    EXPECT_EQ(testsupport::rowsOf(*d, QStringLiteral("select ID, STATE from t_lift order by ID")),
              QStringLiteral("38:0"));
}

} // namespace
