// A key block asked for ahead on the server: the answer is the block the next
// take of that table and size gets, a block of another size is dropped, and
// two clients never share a key either way.

#include "TestSupport.h"

#include "db/Database.h"

#include <gtest/gtest.h>

#include <QSet>

namespace {

TEST(KeyAhead, TheBlockAskedForIsTakenAnOtherIsDroppedAndClientsNeverShare)
{
    if (!testsupport::booksOnServer())
        GTEST_SKIP() << "key blocks are asked ahead only on the server";
    testsupport::TempFolder folder;
    const auto a = testsupport::freshBooks(folder.file(QStringLiteral("books.db")));
    const auto b = testsupport::openAgain(*a);
    const QString table = QStringLiteral("noteflowaath");
    QSet<qint64> seen;
    const auto take = [&](db::Database &d, int count) {
        const qint64 first = d.newKeyBlock(table, count);
        for (qint64 k = first; k < first + count; ++k)
            EXPECT_FALSE(seen.contains(k)) << k;
        for (qint64 k = first; k < first + count; ++k)
            seen.insert(k);
        return first;
    };

    a->sendKeyBlock(table, 4);
    take(*b, 3); // another client between the ask and the take
    take(*a, 4);

    // One client's requests are answered in order, so the blocks are known.
    const qint64 before = take(*a, 1);
    a->sendKeyBlock(table, 4);
    const qint64 asked = take(*a, 4);
    EXPECT_EQ(asked, before + 1) << "the block asked for ahead";
    a->sendKeyBlock(table, 5);
    const qint64 other = take(*a, 2); // another size: the asked block is a gap
    EXPECT_EQ(other, asked + 4 + 5);
    // Unread answers do not stand in the way of other key work on the connection.
    a->sendKeyBlock(table, 6);
    EXPECT_GT(a->newKey(QStringLiteral("OtherInith")), 0);
    EXPECT_EQ(take(*a, 1), other + 2 + 6);
}

} // namespace
