#pragma once
// Fresh books for the posting tests: notes written and moved between states
// with the statements the framework sends, and what the postings left read
// back the same way on either engine.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

// Readable failures.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace postingtest {

class PostingTest : public ::testing::Test {
protected:
    void SetUp() override { books = testsupport::freshBooks(folder.file("books.db")); }

    void sql(const char *text) { books->exec(QString::fromUtf8(text)); }
    QVariant one(const QString &text) { return books->scalar(text); }
    double num(const QString &text) { return one(text).toDouble(); }
    // Every row of the query, "a:b;c:d".
    QString rows(const QString &text) { return testsupport::rowsOf(*books, text); }
    void setState(const QString &table, qint64 id, int from, int to) { testsupport::setNoteState(*books, table, id, from, to); }
    void audit(const QString &table, qint64 id) { setState(table, id, 0, 1); }
    static QString refusal(const std::function<void()> &action) { return testsupport::refusal(action); }
    // The queries' rows, "|" between queries: what a posting may touch, to
    // prove that a refused one left it all.
    QString snapshot(std::initializer_list<const char *> queries)
    {
        QStringList parts;
        for (const char *q : queries)
            parts << rows(QString::fromUtf8(q));
        return parts.join(u'|');
    }

    // Everything a posting may touch, the source note lines `orders` and the note states `notes` last.
    QString booksState(const char *orders, const char *notes)
    {
        return snapshot({"select BUILDINGID, COMMODITYID, QUANTITY, AMOUNT, PRICE from onhandaath order by BUILDINGID, COMMODITYID",
                         "select ID, QUANTITY, EQTY, BREFERQTY from noteflowaath order by ID",
                         "select PARTNERID, SCAMT from partnerlth order by PARTNERID",
                         "select ACCOUNTID, BALANCE from accountacth order by ACCOUNTID", "select count(*) from accountflowaath",
                         "select count(*) from notepostlogaath", "select count(*) from PcSplit", orders, notes});
    }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> books;
};

} // namespace postingtest
