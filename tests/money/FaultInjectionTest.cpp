// Every action of the expense window that writes is all-or-nothing at every
// step: the 1st, 2nd, ... write of the action (its BEGIN, each INSERT, UPDATE
// and DELETE, its COMMIT) fails, as a statement error that leaves the
// transaction open and as a full disk that ends it, until the action runs
// through. After each failure the books are exactly as before, the window
// still shows what the user entered, and one message says why.

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "data/DataSource.h"

#include <sqlite3.h>

#include <functional>

using namespace moneytest;

namespace {

class FaultInjectionTest : public MoneyTest {
protected:
    // Every table of the books, its rows sorted, as text. Not the key table: a
    // new note draws its key in a transaction of its own before the save, as
    // an identity column would, so a failed save may leave a gap in the keys
    // (never a duplicate).
    QString dump()
    {
        QString out;
        for (const QString &table : m_db->tableNames()) {
            if (table == u"sys_keytable")
                continue;
            const db::ResultSet rs = m_db->select(QStringLiteral("select * from \"%1\"").arg(table));
            QStringList rows;
            for (const auto &row : rs.rows) {
                QStringList cells;
                for (const QVariant &v : row)
                    cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
                rows << cells.join(u'|');
            }
            rows.sort();
            out += QStringLiteral("== ") + table + u'\n' + rows.join(u'\n') + u'\n';
        }
        return out;
    }

    // The lines of `after` that `before` lacks and the other way round.
    static std::string changes(const QString &before, const QString &after)
    {
        const QStringList b = before.split(u'\n'), a = after.split(u'\n');
        QString out;
        for (const QString &l : a)
            if (!b.contains(l))
                out += QStringLiteral("+ ") + l + u'\n';
        for (const QString &l : b)
            if (!a.contains(l))
                out += QStringLiteral("- ") + l + u'\n';
        return out.toStdString();
    }

    // What a write of each kind contains; each kind is failed in a pass of its own.
    static QStringList writes()
    {
        return {QStringLiteral("BEGIN"), QStringLiteral("insert into"), QStringLiteral("update "),
                QStringLiteral("delete from"), QStringLiteral("COMMIT")};
    }

    // Runs `action` with its 1st, 2nd, ... statement containing `match`
    // failing until it runs through; `screen` checks the window after each
    // failure. Returns the number of failures.
    int failEach(const QString &match, const std::function<void()> &action, const std::function<void()> &screen)
    {
        SCOPED_TRACE(match.toStdString());
        int failures = 0;
        for (int n = 1; n < 200; ++n) {
            for (const int code : {SQLITE_CONSTRAINT, SQLITE_FULL}) {
                SCOPED_TRACE(QStringLiteral("statement %1, code %2").arg(n).arg(code).toStdString());
                const QString before = dump();
                m_messages.clear();
                m_db->injectFault({n, code, match, code == SQLITE_FULL});
                try {
                    action();
                } catch (const std::exception &e) {
                    ADD_FAILURE() << "the failure escaped the window: " << e.what();
                }
                m_db->clearFault();
                if (errors().isEmpty()) // fewer than n such statements: done
                    return failures;
                ++failures;
                EXPECT_EQ(errors().size(), 1) << errors().join(u'|').toStdString();
                EXPECT_TRUE(errors().first().contains(QString::fromUtf8(sqlite3_errstr(code))))
                    << errors().first().toStdString();
                if (code == SQLITE_FULL) {
                    EXPECT_TRUE(errors().first().startsWith(QStringLiteral("磁盘空间已满，数据没有保存。")));
                }
                EXPECT_FALSE(InTransaction());
                // The save lock is free for another client.
                EXPECT_TRUE(m_other->setLock(QStringLiteral("NOTELOCK"), true));
                m_other->setLock(QStringLiteral("NOTELOCK"), false);
                EXPECT_EQ(changes(before, dump()), QString().toStdString());
                screen();
                if (HasFailure())
                    return failures;
            }
        }
        ADD_FAILURE() << "the action never succeeded";
        return failures;
    }
    std::unique_ptr<db::Database> m_other; // another client of the books
    int state(int id) { return scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID = :i"), {{"i", id}}).toInt(); }
    int noteId() { return masterValue(QStringLiteral("NOTEID")).toInt(); }
    // A new note typed into the window: cash, two lines, 420.50.
    void typeNote()
    {
        invoke("muAppendClick");
        setMaster(QStringLiteral("CHECKNO"), QStringLiteral("NO-7"));
        enterExpenseNote();
    }
    void linesShown(double total)
    {
        EXPECT_EQ(detail()->RecordCount(), 2);
        double sum = 0;
        for (detail()->First(); !detail()->Eof(); detail()->Next())
            sum += detail()->FieldByName(QStringLiteral("AMOUNT"))->AsFloat();
        EXPECT_DOUBLE_EQ(sum, total);
    }
};

TEST_F(FaultInjectionTest, EveryWriteOfTheExpenseWindowIsAllOrNothing)
{
    // Without reserved numbers and note messages: giving a reserved number
    // back and sending the note's message run after the save's commit, each
    // in a transaction of its own (see the note code and save tests).
    setParam(QStringLiteral("noteAutoValue"), QStringLiteral("0"));
    setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    m_other = testsupport::openAgain(*m_db);
    show(QStringLiteral("OutMoneyForm"));
    ASSERT_NE(m_window.data(), nullptr);
    const double cash = balance(1);
    const int notesBefore = scalar(QStringLiteral("select count(*) from expenseath")).toInt();

    // Save new: the window keeps the unsaved note as typed (the dump shows it
    // is not saved). One note per pass.
    QList<int> ids;
    int failures = 0;
    for (const QString &match : writes()) {
        typeNote();
        failures += failEach(match, [this] { click(QStringLiteral("OkBtn")); }, [this] {
            EXPECT_EQ(masterValue(QStringLiteral("CHECKNO")).toString(), QStringLiteral("NO-7"));
            linesShown(420.5);
        });
        ASSERT_GT(noteId(), 0);
        ids << noteId();
    }
    EXPECT_GT(failures, 0);
    ASSERT_EQ(scalar(QStringLiteral("select count(*) from expenseath")).toInt(), notesBefore + ids.size());
    const int id = ids.first();

    // Save edit: the changed number and line stay on screen.
    failures = 0;
    for (const QString &match : writes()) {
        locate(52, id);
        const QString checkNo = QStringLiteral("E-") + match.trimmed();
        setMaster(QStringLiteral("CHECKNO"), checkNo);
        detail()->First();
        child<data::DataSource>(QStringLiteral("dsDetail"))->SetFieldValue(detail()->FieldByName(QStringLiteral("AMOUNT")), 100.5);
        detail()->Post();
        failures += failEach(match, [this] { click(QStringLiteral("OkBtn")); }, [&] {
            EXPECT_EQ(noteId(), id);
            EXPECT_EQ(masterValue(QStringLiteral("CHECKNO")).toString(), checkNo);
            linesShown(400.5);
        });
        ASSERT_EQ(scalar(QStringLiteral("select CHECKNO from expenseath where NOTEID = :i"), {{"i", id}}).toString(), checkNo);
        ASSERT_EQ(scalar(QStringLiteral("select AMOUNT from expenseath where NOTEID = :i"), {{"i", id}}).toDouble(), 400.5);
    }
    EXPECT_GT(failures, 0);

    // The state changes: the window still shows the note in its unchanged state.
    auto unchanged = [&](int expected) {
        return [&, expected] {
            EXPECT_EQ(noteId(), id);
            EXPECT_EQ(masterValue(QStringLiteral("NOTESTATE")).toInt(), expected);
        };
    };
    struct Change {
        const char *what;
        const char *slot;
        int from, to;
    };
    for (const Change &c : {Change{"audit", "CheckBtnClick", 0, 1}, Change{"un-audit", "CheckBtnClick", 1, 0},
                            Change{"void", "muAbateClick", 0, 2}, Change{"un-void", "muAbateClick", 2, 0}}) {
        SCOPED_TRACE(c.what);
        failures = 0;
        for (const QString &match : writes()) {
            if (state(id) != c.from) { // the previous pass did the change: undo it
                locate(52, id);
                invoke(c.slot);
            }
            ASSERT_EQ(state(id), c.from);
            locate(52, id);
            failures += failEach(match, [&] { invoke(c.slot); }, unchanged(c.from));
            ASSERT_EQ(state(id), c.to);
            EXPECT_DOUBLE_EQ(balance(1), c.to == 1 ? cash - 400.5 : cash);
        }
        EXPECT_GT(failures, 0);
    }

    // Delete: one note per pass; lines and print register go with it.
    failures = 0;
    for (int i = 0; i < ids.size(); ++i) {
        locate(52, ids[i]);
        failures += failEach(writes()[i], [this] { invoke("muDeleteClick"); }, [&, i] { EXPECT_EQ(noteId(), ids[i]); });
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseath where NOTEID = :i"), {{"i", ids[i]}}).toInt(), 0);
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseathdetail where NOTEID = :i"), {{"i", ids[i]}}).toInt(), 0);
    }
    EXPECT_GT(failures, 0);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseath")).toInt(), notesBefore);
    EXPECT_DOUBLE_EQ(balance(1), cash);
}

} // namespace
