// The audit stock check: the database's NOTEBOOKZERO over declared stock lines
// and onhandaath, and the dialog the window shows for its rows.

#include "BasenoteFixture.h"
#include "BasenoteStockCheck.h"

#include "widgets/DBGrid.h"

#include <QLabel>
#include <QPushButton>

using namespace basenotetest;

namespace {

constexpr int kPen = 3;     // 中性笔, a stock commodity
constexpr int kStapler = 5; // 订书机
constexpr int kStore = 1;   // 总部仓库

class StockCheckTest : public BasenoteTest {
protected:
    void SetUp() override
    {
        BasenoteTest::SetUp();
        // The test kind takes its lines out of stock; a return (kind 2) puts them back.
        sql(QStringLiteral("create table teststocklines (NOTEID INTEGER, ITEMSNO INTEGER, COMMODITYID INTEGER, "
                           "BUILDINGID INTEGER, QUANTITY NUMERIC(19,6), REFERNOTETYPE INTEGER)"));
        sql(QStringLiteral("insert into notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, DIRECTION, "
                           "REVERSEKIND) values (:t, 'testnoteath', 'teststocklines', 'd.BUILDINGID', -1, 2)"),
            {{QStringLiteral("t"), kType}});
        sql(QStringLiteral("delete from onhandaath"));
        sql(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, REALQTY, USEDQTY) "
                           "values (1, 3, 20, 20, 10), (1, 5, 0.5, 0.5, 0)"));
        m_service = scalar(QStringLiteral("select min(COMMODITYID) from Commoditylth where KIND > 3")).toInt();
        ASSERT_GT(m_service, 0);
    }
    void note(int id, int kind, std::initializer_list<std::pair<int, double>> lines)
    {
        insertNote(id);
        sql(QStringLiteral("update testnoteath set NOTEKIND = :k where NOTEID = :id"),
            {{QStringLiteral("k"), kind}, {QStringLiteral("id"), id}});
        int item = 0;
        for (const auto &[commodity, quantity] : lines)
            sql(QStringLiteral("insert into teststocklines (NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY) values (:id, :i, :c, :b, :q)"),
                {{QStringLiteral("id"), id}, {QStringLiteral("i"), ++item}, {QStringLiteral("c"), commodity},
                 {QStringLiteral("b"), kStore}, {QStringLiteral("q"), quantity}});
    }
    int m_service = 0;
};

} // namespace

TEST_F(StockCheckTest, ProcedureReportsShortStockOfDeclaredLines)
{
    // What NOTEBOOKZERO reports for a note of the kind: commodity, quantity, error type of each row.
    const auto check = [this](int type, int note, int purpose) {
        const db::ResultSet rs = m_db->run(QStringLiteral("exec NOTEBOOKZERO %1, %2, %3").arg(type).arg(note).arg(purpose));
        QStringList rows;
        for (int r = 0; r < rs.rows.size(); ++r)
            rows << QStringLiteral("%1:%2:%3").arg(rs.value(r, QStringLiteral("COMMODITYID")).toInt())
                        .arg(rs.value(r, QStringLiteral("QUANTITY")).toDouble())
                        .arg(rs.value(r, QStringLiteral("ERRTYPE")).toInt());
        return rows.join(u',');
    };
    // Two lines of the pen add up to 12.25: within the book stock (20) but above
    // the available 10, a warning; the service line holds no stock.
    note(1, 1, {{kPen, 8}, {kPen, 4.25}, {m_service, 100}});
    note(2, 1, {{kPen, 12.25}, {kStapler, 1}});
    note(3, 2, {{kStapler, 5}});
    note(4, 1, {});
    EXPECT_EQ(check(kType, 1, 1), QStringLiteral("3:-12.25:1"));

    // The stapler would go below zero: a blocking error beside the warning.
    const db::ResultSet rs = m_db->run(QStringLiteral("exec NOTEBOOKZERO %1, 2, 1").arg(kType));
    EXPECT_EQ(testsupport::rowsText(rs, u'|', u','),
              QStringLiteral("3|1|中性笔|总部仓库|20|-12.25|1|可用库存不足,5|1|订书机|总部仓库|0.5|-1|10|库存不足"));

    // A return brings stock in: nothing to report on audit, short stock on un-audit.
    EXPECT_EQ(check(kType, 3, 1), QString());
    EXPECT_EQ(check(kType, 3, -1), QStringLiteral("5:-5:10"));

    // A return keyed with negative quantities moves the same way; a line taken
    // from a stock in/out note moved its goods there and counts for nothing.
    note(5, 2, {{kStapler, -5}, {kPen, -100}});
    sql(QStringLiteral("update teststocklines set REFERNOTETYPE = 22 where NOTEID = 5 and COMMODITYID = :c"),
        {{QStringLiteral("c"), kPen}});
    EXPECT_EQ(check(kType, 5, 1), QString());
    EXPECT_EQ(check(kType, 5, -1), QStringLiteral("5:-5:10"));

    // No lines with a store, or a type that declares none (the expense note): no rows.
    sql(QStringLiteral("insert into teststocklines (NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY) values (4, 1, 5, null, 9)"));
    EXPECT_EQ(check(kType, 4, 1), QString());
    EXPECT_EQ(check(52, 1, 1), QString());

    // Bad purposes and names that could carry SQL are refused.
    EXPECT_THROW(check(kType, 2, 0), db::DbError);
    sql(QStringLiteral("insert into notestocklinemth (NOTETYPE, MASTERTABLE, LINETABLE, STOREFIELD, DIRECTION) "
                       "values (77, 'testnoteath', 'teststocklines; drop table onhandaath', 'd.BUILDINGID', -1)"));
    EXPECT_THROW(check(77, 2, 1), db::DbError);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from onhandaath")).toInt(), 2);
}

TEST_F(StockCheckTest, DialogRules)
{
    note(1, 1, {{kPen, 12.25}});
    note(2, 1, {{kPen, 12.25}, {kStapler, 1}});
    // Nothing reported: allowed, nothing shown.
    EXPECT_TRUE(ConfirmStockCheck(kType, 9, 1));
    EXPECT_TRUE(m_modal.records().isEmpty());

    // A warning: the dialog offers "忽略"; ignoring allows, cancelling stops.
    // What it showed: caption, first row's change, whether "忽略" and the error line are there.
    QString shown;
    m_modal.setHandler([&](QWidget *w) {
        const bool ignore = w->findChild<QPushButton *>(QStringLiteral("btnIgnore"))->isEnabled();
        const bool error = !w->findChild<QLabel *>(QStringLiteral("lbError"))->isHidden();
        auto *grid = w->findChild<widgets::TRqDBGrid *>(QStringLiteral("grdError"));
        shown = QStringLiteral("%1 %2 %3 ignore:%4 error:%5")
                    .arg(w->windowTitle(), grid->ColumnTitle(3), grid->model()->index(0, 3).data().toString())
                    .arg(ignore)
                    .arg(error);
        return ignore ? 1 : 2;
    });
    EXPECT_TRUE(ConfirmStockCheck(kType, 1, 1));
    EXPECT_EQ(shown, QStringLiteral("单据审核(反审核)检查 变动数量 -12.25 ignore:1 error:0"));
    // Un-auditing a note that took stock out brings it back: nothing to check.
    const int shownBefore = int(m_modal.records().size());
    EXPECT_TRUE(ConfirmStockCheck(kType, 1, -1));
    EXPECT_EQ(int(m_modal.records().size()), shownBefore);

    // A blocking error (type 10) without negative stock allowed: no way to ignore.
    EXPECT_FALSE(ConfirmStockCheck(kType, 2, 1));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("ignore:0 error:1"))) << shown.toStdString();
    // With negative stock allowed every error can be ignored.
    setParam(QStringLiteral("ZeroOnhand"), QStringLiteral("1"));
    EXPECT_TRUE(ConfirmStockCheck(kType, 2, 1));
    EXPECT_TRUE(shown.contains(QStringLiteral("ignore:1"))) << shown.toStdString();

    // A failing check (a declared line table that is missing) is shown and stops.
    sql(QStringLiteral("update notestocklinemth set LINETABLE = 'nosuchlines'"));
    const int before = int(m_modal.records().size());
    EXPECT_FALSE(ConfirmStockCheck(kType, 2, 1));
    EXPECT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("nosuchlines")));
    EXPECT_EQ(int(m_modal.records().size()), before);
}
