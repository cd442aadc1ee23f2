// The audit stock-check dialog over the database's NOTEBOOKZERO result.

#include "BasenoteFixture.h"
#include "BasenoteStockCheck.h"

#include "widgets/DBGrid.h"

#include <QLabel>
#include <QPushButton>

using namespace basenotetest;

namespace {

struct ZeroCall {
    QVariantList args;
};
ZeroCall s_zero;

// Rows by note id: 0 none, 1 a warning, 2 a warning and a blocking error, -5 fails.
void registerNotebookZero()
{
    db::Registry::instance().addProcedure(QStringLiteral("NOTEBOOKZERO"), [](db::Database &, QVector<db::ProcArg> &a) {
        s_zero.args.clear();
        for (const db::ProcArg &x : a)
            s_zero.args << x.value;
        const int id = a.value(1).value.toInt();
        if (id == -5)
            throw db::DbError(QStringLiteral("库存检查失败"));
        db::ResultSet rs;
        rs.columns = QStringList{"COMMODITYID", "BUILDINGID", "COMMODITYNAME", "BUILDINGNAME", "ONHAND", "QUANTITY",
                                 "ERRTYPE", "ERRCODE"};
        if (id >= 1)
            rs.rows.append({1, 1, QStringLiteral("晨光中性笔"), QStringLiteral("总部仓库"), 3.5, -12.25, 1,
                            QStringLiteral("库存不足")});
        if (id >= 2)
            rs.rows.append({2, 1, QStringLiteral("订书机"), QStringLiteral("总部仓库"), 0, -1, 10, QStringLiteral("负库存")});
        return rs;
    });
}

} // namespace

TEST_F(BasenoteTest, StockCheckDialogRules)
{
    registerNotebookZero();
    // Nothing reported: allowed, nothing shown.
    EXPECT_TRUE(ConfirmStockCheck(kType, 0, 1));
    EXPECT_TRUE(m_modal.records().isEmpty());
    EXPECT_EQ(s_zero.args, QVariantList({kType, 0, 1}));

    // A warning: the dialog offers "忽略"; ignoring allows, cancelling stops.
    QString caption, firstQuantity;
    bool ignoreEnabled = false, errorShown = true;
    m_modal.setHandler([&](QWidget *w) {
        caption = w->windowTitle();
        auto *ignore = w->findChild<QPushButton *>(QStringLiteral("btnIgnore"));
        ignoreEnabled = ignore->isEnabled();
        errorShown = !w->findChild<QLabel *>(QStringLiteral("lbError"))->isHidden();
        auto *grid = w->findChild<widgets::TRqDBGrid *>(QStringLiteral("grdError"));
        firstQuantity = grid->model()->index(0, 3).data().toString();
        EXPECT_EQ(grid->ColumnTitle(3), QStringLiteral("变动数量"));
        return ignoreEnabled ? 1 : 2;
    });
    EXPECT_TRUE(ConfirmStockCheck(kType, 1, -1));
    EXPECT_EQ(caption, QStringLiteral("单据审核(反审核)检查"));
    EXPECT_TRUE(ignoreEnabled);
    EXPECT_FALSE(errorShown);
    EXPECT_EQ(firstQuantity, QStringLiteral("-12.25"));
    EXPECT_EQ(s_zero.args.value(2).toInt(), -1);

    // A blocking error (type 10) without negative stock allowed: no way to ignore.
    EXPECT_FALSE(ConfirmStockCheck(kType, 2, 1));
    EXPECT_FALSE(ignoreEnabled);
    EXPECT_TRUE(errorShown);
    // With negative stock allowed every error can be ignored.
    setParam(QStringLiteral("ZeroOnhand"), QStringLiteral("1"));
    EXPECT_TRUE(ConfirmStockCheck(kType, 2, 1));
    EXPECT_TRUE(ignoreEnabled);

    // A failing check is shown and stops.
    const int shownBefore = int(m_modal.records().size());
    EXPECT_FALSE(ConfirmStockCheck(kType, -5, 1));
    EXPECT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("库存检查失败")));
    EXPECT_EQ(int(m_modal.records().size()), shownBefore);
}
