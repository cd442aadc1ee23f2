// Commodity lines on a small purchase-like kind of the tests: the arithmetic of
// a line, what choosing a commodity or store fills in, the stock text, the
// checks before save and audit, and the colour/size breakdown saved with the
// note. The kind is a real window on the real framework and demo books.

#include "PickbcodeForm.h"
#include "SampleGoodsKind.h"
#include "qryDetailForm.h"
#include "LineMath.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "Notepublic.h"
#include "Pub.h"
#include "Rounding.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "notedb.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using commodity::Col;

// Messages print as text in failures.
inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

using goodskind::kType;
using goodskind::TTestGoodsForm;

class CommodityLinesTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        goodskind::CreateTables(*m_db);
        RegisterPrivilegedForm(NoteTypeFormName(kType), nullptr, 2000 + kType);
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
        SetCurrentUser(1);
    }
    void TearDown() override
    {
        m_form.reset();
        SessionTest::TearDown();
    }

public:
    void setMaster(const char *name, const QVariant &v)
    {
        m_form->MasterDataSource()->SetFieldValue(m_form->MasterDataSet()->FieldByName(QString::fromLatin1(name)), v);
    }
    void setLine(const char *name, const QVariant &v)
    {
        m_form->DetailDataSource()->SetFieldValue(lines()->FieldByName(QString::fromLatin1(name)), v);
    }

protected:
    TTestGoodsForm *open()
    {
        m_form.reset(CreateNoteForm<TTestGoodsForm>());
        EXPECT_EQ(pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK)
            << shown().join(u'|').toStdString();
        m_form->show();
        return m_form.get();
    }
    data::ClientDataSet *lines() const { return m_form->DetailDataSet(); }
    QVariant line(const char *name) const { return m_form->DetailValue(QString::fromLatin1(name)); }
    double num(const char *name) const { return line(name).toDouble(); }
    void newLine(const char *code)
    {
        m_form->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
    }
    qint64 id(const char *table, const char *code)
    {
        return scalar(QStringLiteral("select %1 from %2 where CODE='%3'")
                          .arg(QString::fromLatin1(table) == QLatin1String("Commoditylth") ? "COMMODITYID" : "BUILDINGID",
                               QString::fromLatin1(table), QString::fromLatin1(code)))
            .toLongLong();
    }
    bool save()
    {
        m_form->OkBtnClick();
        return errors().isEmpty();
    }

    std::unique_ptr<TTestGoodsForm> m_form;
};

// ---------------------------------------------------------------- the arithmetic

struct Edit {
    const char *what;
    QVector<std::pair<Col, double>> line; // present columns and their values
    Col edited;
    QVector<std::pair<Col, double>> expected;
    double taxLimit = 0.05;
    double lastTax = 0;
    bool prevNull = false;
};

TEST(LineMathTest, EachEditedColumnRecomputesTheLine)
{
    const QVector<std::pair<Col, double>> full = {
        {Col::Quantity, 2}, {Col::OrigPrice, 0}, {Col::Disc, 90},   {Col::Price, 10},        {Col::TaxRate, 13},
        {Col::TaxPrice, 0}, {Col::CommodityAmt, 0}, {Col::TaxAmt, 0}, {Col::Amount, 0},    {Col::DiscAmt, 0},
        {Col::OrigTaxPrice, 0}};
    const Edit edits[] = {
        {"a typed price is the price before discount", full, Col::Price,
         {{Col::OrigPrice, 10}, {Col::Price, 9}, {Col::TaxPrice, 10.17}, {Col::OrigTaxPrice, 11.3},
          {Col::CommodityAmt, 18}, {Col::TaxAmt, 2.34}, {Col::Amount, 20.34}, {Col::DiscAmt, 2}}},
        {"the amount gives the prices back", full, Col::Amount,
         {{Col::Amount, 0}, {Col::Quantity, 2}}},
        {"a small tax correction keeps the total", {{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 13},
                                                    {Col::CommodityAmt, 10}, {Col::TaxAmt, 1.33}, {Col::Amount, 11.3}},
         Col::TaxAmt, {{Col::TaxAmt, 1.33}, {Col::CommodityAmt, 9.97}, {Col::Price, 10}}, 0.05, 1.3},
        {"a large tax change derives the prices", {{Col::Quantity, 2}, {Col::Price, 10}, {Col::TaxRate, 10},
                                                   {Col::CommodityAmt, 20}, {Col::TaxAmt, 4}, {Col::Amount, 22}},
         Col::TaxAmt, {{Col::Price, 20}, {Col::CommodityAmt, 40}, {Col::Amount, 44}}, 0.05, 2},
        {"the first tax typed on a blank tax is large", {{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 10},
                                                         {Col::TaxAmt, 1.02}, {Col::Amount, 11}},
         Col::TaxAmt, {{Col::Price, 10.2}, {Col::Amount, 11.22}}, 0.05, 1, true},
    };
    for (const Edit &e : edits) {
        commodity::LineValues v;
        for (const auto &[c, x] : e.line) {
            v.SetPresent(c, true);
            v.Load(c, x, false);
        }
        commodity::LineContext ctx;
        ctx.taxAmtLimit = e.taxLimit;
        ctx.lastTaxAmt = e.lastTax;
        ctx.previousTaxAmtNull = e.prevNull;
        if (e.edited == Col::Amount)
            v.Load(Col::Amount, 22.6, false);
        ASSERT_TRUE(commodity::Recompute(v, e.edited, ctx).ok()) << e.what;
        if (e.edited == Col::Amount) {
            // 22.6 with tax 13 % over 2 units at 90 %: 11.3 each with tax, 10 without.
            EXPECT_DOUBLE_EQ(v.Get(Col::Price), 10) << e.what;
            EXPECT_DOUBLE_EQ(v.Get(Col::TaxPrice), 11.3) << e.what;
            EXPECT_NEAR(v.Get(Col::OrigPrice), 11.111111, 1e-6) << e.what;
            EXPECT_DOUBLE_EQ(v.Get(Col::TaxAmt), 2.6) << e.what;
            EXPECT_DOUBLE_EQ(v.Get(Col::CommodityAmt), 20) << e.what;
            continue;
        }
        for (const auto &[c, x] : e.expected)
            EXPECT_NEAR(v.Get(c), x, 1e-9) << e.what << " column " << commodity::DefaultColumnName(c);
        if (v.Present(Col::CommodityAmt)) {
            EXPECT_DOUBLE_EQ(ctx.lastTaxAmt, v.Get(Col::TaxAmt)) << e.what;
        }
    }
}

TEST(LineMathTest, RefusalsAndTheBlankDefaults)
{
    auto make = [](std::initializer_list<std::pair<Col, double>> cols, std::initializer_list<Col> nulls = {}) {
        commodity::LineValues v;
        for (const auto &[c, x] : cols) {
            v.SetPresent(c, true);
            v.Load(c, x, false);
        }
        for (Col c : nulls) {
            v.SetPresent(c, true);
            v.Load(c, 0, true);
        }
        return v;
    };
    commodity::LineContext ctx;
    // A cleared quantity becomes 1.
    auto q = make({{Col::Price, 5}, {Col::Amount, 0}}, {Col::Quantity});
    ASSERT_TRUE(commodity::Recompute(q, Col::Quantity, ctx).ok());
    EXPECT_DOUBLE_EQ(q.Get(Col::Quantity), 1);
    EXPECT_DOUBLE_EQ(q.Get(Col::Amount), 5);
    // An amount on quantity 0 writes quantity 1; DISC 0 held is taken as 100.
    auto a = make({{Col::Quantity, 0}, {Col::Disc, 0}, {Col::Amount, 30}, {Col::Price, 0}, {Col::OrigPrice, 0}});
    ASSERT_TRUE(commodity::Recompute(a, Col::Amount, ctx).ok());
    EXPECT_TRUE(a.Changed(Col::Quantity));
    EXPECT_DOUBLE_EQ(a.Get(Col::Quantity), 1);
    EXPECT_DOUBLE_EQ(a.Get(Col::Disc), 100);
    EXPECT_DOUBLE_EQ(a.Get(Col::Price), 30);
    // DISC typed as 0 or above 100: refused, put back to 100 with its event.
    for (double bad : {0.0, -5.0, 100.5}) {
        auto d = make({{Col::Disc, bad}, {Col::OrigPrice, 10}, {Col::Price, 7}, {Col::Quantity, 1}});
        const auto r = commodity::Recompute(d, Col::Disc, ctx);
        EXPECT_EQ(r.error, QString::fromUtf8(commodity::kDiscRangeMessage));
        EXPECT_TRUE(d.Fires(Col::Disc));
        EXPECT_DOUBLE_EQ(d.Get(Col::Disc), 100);
        EXPECT_DOUBLE_EQ(d.Get(Col::Price), 7) << "nothing else of the edit is computed";
    }
    // A tax amount with no tax rate cannot give a price: refused, nothing written.
    auto t = make({{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 0}, {Col::TaxAmt, 3}, {Col::Amount, 10}});
    ctx.lastTaxAmt = 0;
    const auto r = commodity::Recompute(t, Col::TaxAmt, ctx);
    EXPECT_EQ(r.error, QString::fromUtf8(commodity::kTaxRateZeroMessage));
    EXPECT_FALSE(t.Changed(Col::Price));
    EXPECT_FALSE(t.Changed(Col::Amount));
    // A column the line lacks is never written and reads as its default.
    auto m = make({{Col::Quantity, 3}, {Col::Price, 2}});
    ASSERT_TRUE(commodity::Recompute(m, Col::Price, ctx).ok());
    EXPECT_FALSE(m.Present(Col::TaxAmt));
    EXPECT_FALSE(m.Changed(Col::TaxAmt));
}

// ---------------------------------------------------------------- line entry

TEST_F(CommodityLinesTest, ACommodityTypedByCodeFillsTheLine)
{
    const qint64 paper = id("Commoditylth", "BG0001");
    const qint64 supplier = scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='S001'")).toLongLong();
    sql(QStringLiteral("delete from partnerprice"));
    sql(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (%1, %2, 0)").arg(supplier).arg(paper));
    sql(QStringLiteral("update Commoditylth set CUSTDEF3='A级' where COMMODITYID=%1").arg(paper));
    sql(QStringLiteral("delete from onhandaath where COMMODITYID=%1").arg(paper));
    sql(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, REALQTY, USEDQTY) values (1, %1, 120.5, 120.5, 20)")
            .arg(paper));
    open();
    setMaster("PARTNERID", supplier);
    setMaster("DISC", 95);
    newLine("NOPE-'1");
    EXPECT_TRUE(line("COMMODITYID").isNull()) << "a code that matches nothing changes nothing";
    setLine("COMMODITYCODE", QStringLiteral("BG0001"));
    EXPECT_EQ(line("COMMODITYID").toLongLong(), paper);
    EXPECT_EQ(line("COMMODITYNAME").toString(), QStringLiteral("A4复印纸"));
    EXPECT_EQ(line("UNITNAME").toString(), QStringLiteral("包"));
    EXPECT_EQ(line("BUILDINGID").toInt(), 1) << "the commodity's own head-office store";
    EXPECT_EQ(line("BUILDINGNAME").toString(), QStringLiteral("总部仓库"));
    EXPECT_DOUBLE_EQ(num("DISC"), 95) << "the master's discount";
    EXPECT_DOUBLE_EQ(num("PRICE"), 0) << "a partner price of 0 is a price";
    EXPECT_EQ(line("CUSTDEF3").toString(), QStringLiteral("A级"));
    EXPECT_EQ(m_form->StockLabel()->text(),
              QStringLiteral("货品[A4复印纸]在仓库[总部仓库]中的实际库存为:120.5\n已占用数量为:20, 可用数量为:100.5"));
    setLine("QUANTITY", 4);
    setLine("PRICE", 20);
    EXPECT_DOUBLE_EQ(num("ORIGPRICE"), 20);
    EXPECT_DOUBLE_EQ(num("PRICE"), 19);
    EXPECT_DOUBLE_EQ(num("AMOUNT"), 76);
    // A store with no stock of it reads all zeros and ends with ", ".
    setLine("STORECODE", QStringLiteral("03"));
    EXPECT_EQ(line("BUILDINGNAME").toString(), QStringLiteral("成品仓库"));
    EXPECT_EQ(m_form->StockLabel()->text(),
              QStringLiteral("货品[A4复印纸]在仓库[成品仓库]中的实际库存为:0 已占用数量为:0, 可用数量为:0, "));
    // For checking the window by eye: build/shots/commodity_lines.png.
    const QString shots = QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots"));
    QDir().mkpath(shots);
    QApplication::processEvents();
    EXPECT_TRUE(m_form->grab().save(QDir(shots).filePath(QStringLiteral("commodity_lines.png"))));
    setLine("STORECODE", QStringLiteral("zz"));
    EXPECT_EQ(line("BUILDINGID").toInt(), 3) << "an unknown store code leaves the store";
    lines()->Post();
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    const QVariantList row = {scalar(QStringLiteral("select PRICE from testgoodsathdetail")),
                              scalar(QStringLiteral("select DISC from testgoodsathdetail")),
                              scalar(QStringLiteral("select AMOUNT from testgoodsath"))};
    EXPECT_DOUBLE_EQ(row[0].toDouble(), 19);
    EXPECT_DOUBLE_EQ(row[1].toDouble(), 95);
    EXPECT_DOUBLE_EQ(row[2].toDouble(), 76);
}

TEST_F(CommodityLinesTest, AStoreChangeDropsTheBatchAndTheProductionDateGivesTheExpiry)
{
    const qint64 water = id("Commoditylth", "SP0001"); // batch-costed, 365 days
    open();
    newLine("SP0001");
    setLine("BCODE", QStringLiteral("B1"));
    setLine("BTURNNOTEID", 77);
    setLine("PRODUCTDAY", QDate(2026, 3, 1));
    EXPECT_EQ(line("VALIDDAY").toDate(), QDate(2027, 3, 1));
    setLine("BUILDINGID", 2);
    for (const char *c : {"BTURNNOTEID", "BCODE", "PRODUCTDAY", "VALIDDAY"})
        EXPECT_TRUE(line(c).isNull()) << c;
    EXPECT_EQ(line("COMMODITYID").toLongLong(), water);
}

TEST_F(CommodityLinesTest, TheLineChecksStopTheSaveWithTheirMessages)
{
    struct Case {
        const char *code;
        std::function<void(CommodityLinesTest &)> edit;
        QString message;
        int kind = 1; // a return (2) draws from a specific batch
    };
    const Case cases[] = {
        {nullptr, [](CommodityLinesTest &) {}, QStringLiteral("请选择货品.")},
        {"BG0001", [](CommodityLinesTest &t) { t.setLine("PRICE", -1); },
         QStringLiteral("货品[A4复印纸]的单价必须大于或等于零.")},
        {"ZK0001", [](CommodityLinesTest &t) { t.setLine("PRICE", 5); },
         QStringLiteral("货品[销售折扣]为折扣项目, 其单价必须小于或等于零.")},
        {"SP0001", [](CommodityLinesTest &) {}, QStringLiteral("批次成本核算货品:纯净水的批号不能为空！")},
        {"SP0001", [](CommodityLinesTest &t) { t.setLine("BCODE", QStringLiteral("B1")); },
         QStringLiteral("批次成本核算货品:纯净水没有指定具体批次！"), 2},
        {"BG0001", [](CommodityLinesTest &t) { t.setLine("BCODE", QStringLiteral("X")); },
         QStringLiteral("非批次成本核算货品:A4复印纸的不能有批号！")},
    };
    for (const Case &c : cases) {
        open();
        setMaster("NOTEKIND", c.kind);
        if (c.code)
            newLine(c.code);
        else
            m_form->muAppendDetailClick();
        setLine("QUANTITY", 1);
        c.edit(*this);
        lines()->Post();
        m_form->OkBtnClick();
        EXPECT_EQ(errors().value(0), c.message);
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from testgoodsath")).toInt(), 0) << c.message.toStdString();
        m_messages.clear();
    }
    // No lines at all.
    open();
    setMaster("PARTNERID", 1);
    m_form->OkBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("单据没有发生业务,不能保存."));
}

TEST_F(CommodityLinesTest, AServiceLosesItsStoreAndAHighPriceIsAskedAbout)
{
    sql(QStringLiteral("update Commoditylth set HIGHPRICE=30 where CODE='BG0001'"));
    open();
    newLine("FW0001");
    setLine("BUILDINGID", 1);
    setLine("QUANTITY", 1);
    newLine("BG0001");
    setLine("QUANTITY", 1);
    setLine("PRICE", 31);
    lines()->Post();
    m_messages.answer(AnswerNo);
    m_form->OkBtnClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("货品[A4复印纸]的单价大于最高进价，是否继续？"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from testgoodsath")).toInt(), 0);
    m_messages.answer(AnswerYes);
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    EXPECT_TRUE(scalar(QStringLiteral("select d.BUILDINGID from testgoodsathdetail d join Commoditylth g on "
                                      "g.COMMODITYID=d.COMMODITYID where g.CODE='FW0001'"))
                    .isNull());
}

TEST_F(CommodityLinesTest, ClosedCommoditiesAndTypesStopTheAudit)
{
    open();
    newLine("BG0001");
    setLine("QUANTITY", 1);
    newLine("BG0003");
    setLine("QUANTITY", 1);
    lines()->Post();
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    sql(QStringLiteral("update Commoditylth set CLOSED=1 where CODE in ('BG0001','BG0003')"));
    m_form->CheckBtnClick();
    const QString msg = errors().value(0);
    EXPECT_TRUE(msg == QStringLiteral("此单中的货品：A4复印纸、中性笔 已经停用不能审核！")
                || msg == QStringLiteral("此单中的货品：中性笔、A4复印纸 已经停用不能审核！"))
        << msg.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from testgoodsath")).toInt(), 0);
    // Open again, audited; a type closed since stops the un-audit.
    sql(QStringLiteral("update Commoditylth set CLOSED=0"));
    m_messages.clear();
    m_form->CheckBtnClick();
    ASSERT_EQ(scalar(QStringLiteral("select NOTESTATE from testgoodsath")).toInt(), 1) << errors().join(u'|').toStdString();
    const int id = scalar(QStringLiteral("select NOTEID from testgoodsath")).toInt();
    sql(QStringLiteral("update testgoodsath set IOTYPESID=7")); // 旧品报废(停用)
    m_form->LoadNote(id);
    m_messages.setDefaultAnswer(pub::MessageKind::YesNo, AnswerYes);
    m_form->CheckBtnClick();
    EXPECT_TRUE(errors().contains(QStringLiteral("此单的出入库类型已经被停用不能反审核。"))) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from testgoodsath")).toInt(), 1);
}

TEST_F(CommodityLinesTest, PriceColumnsFollowTheRightAndANewNoteTakesTheInvoiceType)
{
    setParam(QStringLiteral("TaxKind"), QStringLiteral("0"));
    open();
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("NOTETYPE")).toInt(), 2);
    auto *grid = m_form->Grid();
    auto readOnly = [&grid](const char *field) {
        for (int i = 0; i < grid->ColumnCount(); ++i)
            if (grid->Column(i).FieldName.compare(QLatin1String(field), Qt::CaseInsensitive) == 0)
                return grid->Column(i).ReadOnly;
        return false;
    };
    EXPECT_FALSE(readOnly("PRICE")) << "the administrator may edit purchase prices";
    m_form.reset();
    // A clerk without sub-right 5 of privilege 551.
    SetCurrentUser(2);
    open();
    grid = m_form->Grid();
    for (const char *c : {"PRICE", "ORIGPRICE", "TAXPRICE", "AMOUNT", "TAXAMT", "COMMODITYAMT"})
        EXPECT_TRUE(readOnly(c)) << c;
    EXPECT_FALSE(readOnly("QUANTITY"));
}

TEST_F(CommodityLinesTest, TheColourAndSizeBreakdownIsSavedWithTheNote)
{
    open();
    newLine("BG0001");
    setLine("QUANTITY", 5);
    const int temp = line("ITEMSNO").toInt();
    lines()->Post();
    // What the matrix writes for the unsaved note.
    sql(QStringLiteral("insert into TempDetail2 values (-9999, 4, 1, %1, 1, 1, 1, 1, 2)").arg(temp));
    sql(QStringLiteral("insert into TempDetail2 values (-9999, 4, 1, %1, 1, 1, 1, 2, 3)").arg(temp));
    sql(QStringLiteral("insert into TempDetail2 values (-9999, 4, 1, -55, 1, 1, 1, 1, 4)")); // a line deleted since
    sql(QStringLiteral("insert into purchasepthdetail2 values (55, 4, 1, 1, 1, 1, 9, 9, 1)"));
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    const qint64 note = scalar(QStringLiteral("select NOTEID from testgoodsath")).toLongLong();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TempDetail2")).toInt(), 0);
    EXPECT_EQ(scalar(QStringLiteral("select sum(Quantity) from purchasepthdetail2 where noteID=%1 and Item=1").arg(note))
                  .toInt(),
              5);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from purchasepthdetail2 where noteID=55")).toInt(), 1)
        << "another note's breakdown stays";
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from purchasepthdetail2 where noteID=%1").arg(note)).toInt(), 2)
        << "the breakdown of a deleted line goes with it";
}

} // namespace

namespace {

// The clerk's way: code, Enter, quantity, Enter ... into the grid's cells.
TEST_F(CommodityLinesTest, ALineKeyedIntoTheGridIsSavedAndAudited)
{
    const qint64 pen = id("Commoditylth", "BG0003");
    sql(QStringLiteral("delete from partnerprice where PARTNERID=1 and COMMODITYID=%1").arg(pen));
    sql(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (1, %1, 1.5)").arg(pen));
    open();
    setMaster("PARTNERID", 1);
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    auto *grid = m_form->Grid();
    grid->setFocus();
    // One key at a time to whatever has the focus: the first opens the cell's editor.
    auto type = [](const QString &text) {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClicks(QApplication::focusWidget(), QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    m_form->muAppendDetailClick();
    grid->setCurrentIndex(grid->model()->index(0, grid->ColumnOfField(QStringLiteral("COMMODITYCODE"))));
    type(QStringLiteral("BG0003"));
    EXPECT_EQ(line("COMMODITYNAME").toString(), QStringLiteral("中性笔"));
    grid->setCurrentIndex(grid->model()->index(0, grid->ColumnOfField(QStringLiteral("QUANTITY"))));
    type(QStringLiteral("12"));
    grid->setCurrentIndex(grid->model()->index(0, grid->ColumnOfField(QStringLiteral("DISC"))));
    type(QStringLiteral("0"));
    EXPECT_EQ(errors().value(0), QString::fromUtf8(commodity::kDiscRangeMessage));
    EXPECT_DOUBLE_EQ(num("DISC"), 100);
    m_messages.clear();
    grid->setCurrentIndex(grid->model()->index(0, grid->ColumnOfField(QStringLiteral("TAXRATE"))));
    type(QStringLiteral("13"));
    EXPECT_DOUBLE_EQ(num("AMOUNT"), 20.34);
    // A second line found by the start of its name in the code cell's drop-down.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(lines()->RecordCount(), 2);
    grid->setCurrentIndex(grid->model()->index(1, grid->ColumnOfField(QStringLiteral("COMMODITYCODE"))));
    type(QStringLiteral("订书"));
    EXPECT_EQ(line("COMMODITYCODE").toString(), QStringLiteral("BG0005"));
    grid->setCurrentIndex(grid->model()->index(1, grid->ColumnOfField(QStringLiteral("QUANTITY"))));
    type(QStringLiteral("1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select TAXAMT from testgoodsathdetail")).toDouble(), 2.34);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from testgoodsath")).toDouble(),
                     20.34 + scalar(QStringLiteral("select AMOUNT from testgoodsathdetail where ITEMSNO=2")).toDouble());
    // The printed totals: 12 pens at 1.50 plus the stapler.
    const QHash<QString, QVariant> vars = m_form->CommodityReportVariables();
    const double total = scalar(QStringLiteral("select AMOUNT from testgoodsath")).toDouble();
    EXPECT_EQ(vars.value(QStringLiteral("SumofQuantity")).toString(), QStringLiteral("13"));
    EXPECT_EQ(vars.value(QStringLiteral("SumofAmount")).toString(), QString::number(total));
    EXPECT_EQ(vars.value(QStringLiteral("Daxie")).toString(), AmountInWords(total));
    EXPECT_EQ(vars.value(QStringLiteral("SumofTaxAmt")).toString(),
              QString::number(scalar(QStringLiteral("select sum(TAXAMT) from testgoodsathdetail")).toDouble()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from testgoodsath")).toInt(), 1);
}

} // namespace

namespace {

TEST_F(CommodityLinesTest, TheBatchAndTheColourSizeDialogsFillTheLine)
{
    open();
    setMaster("NOTEKIND", 2); // a return draws from a specific batch, at its price and store
    newLine("SP0001");
    setLine("QUANTITY", 5);
    // The oldest open batch of the water, in whatever store.
    const auto oldest = [this](const char *column) {
        return scalar(QStringLiteral("select %1 from noteflowaath where COMMODITYID=11 and BCODE<>'' and "
                                     "BTURNNOTEID is null and IOFLAG*QUANTITY-BREFERQTY>0 order by NOTEDATE, ID limit 1")
                          .arg(QString::fromLatin1(column)));
    };
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TPickbcodeForm *>(w);
        EXPECT_NE(f, nullptr);
        f->OkBtn->click();
        return f->result();
    });
    m_form->PickBatch();
    EXPECT_EQ(line("BTURNNOTEID").toLongLong(), oldest("ID").toLongLong());
    EXPECT_EQ(line("BCODE").toString(), oldest("BCODE").toString());
    EXPECT_EQ(line("BUILDINGID").toInt(), oldest("BUILDINGID").toInt());
    EXPECT_DOUBLE_EQ(num("PRICE"), oldest("PRICE").toDouble());
    EXPECT_FALSE(line("VALIDDAY").isNull());

    // The uniform by colour and size: the matrix total becomes the quantity,
    // and the breakdown is saved with the note under its final line number.
    newLine("FZ0001");
    int cells = 0;
    m_modal.setHandler([&cells](QWidget *w) {
        auto *f = qobject_cast<TqryDetailForm *>(w);
        EXPECT_NE(f, nullptr);
        f->DetailGrid->item(0, 0)->setText(QStringLiteral("2"));
        f->DetailGrid->item(1, 1)->setText(QStringLiteral("3.7"));
        cells = 2;
        f->OkBtn->click();
        return f->result();
    });
    m_form->EditColorSize();
    ASSERT_EQ(cells, 2);
    EXPECT_DOUBLE_EQ(num("QUANTITY"), 5) << "the total, truncated";
    lines()->Post();
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    const int note = scalar(QStringLiteral("select NOTEID from testgoodsath")).toInt();
    EXPECT_DOUBLE_EQ(
        scalar(QStringLiteral("select sum(Quantity) from purchasepthdetail2 where noteType=4 and noteID=%1 and Item=2")
                   .arg(note))
            .toDouble(),
        5.7);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TempDetail2")).toInt(), 0);
}

} // namespace

namespace {

TEST_F(CommodityLinesTest, PartnerSettlementAndStoreOfTheMasterFillTheNote)
{
    setParam(QStringLiteral("IsDistinctStore"), QStringLiteral("0"));
    open();
    newLine("SP0001");
    setLine("BCODE", QStringLiteral("B9"));
    setLine("BTURNNOTEID", 3);
    setLine("PRICE", 99);
    lines()->Post();
    setMaster("PARTNERID", 1); // 晨光文具: 30 days, 周敏, salesman 2 of department 2
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("TERMDAYS")).toInt(), 30);
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("CONTACTOR")).toString(), QStringLiteral("周敏"));
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("EMPID")).toInt(), 2);
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("DEPID")).toInt(), 2);
    setMaster("PAYTYPESID", 2); // 转账支票 pays from account 2
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("ACCOUNTID")).toInt(), 2);
    // Lines follow the master's store: the batch of the old store goes, the
    // price is the new store's default.
    setMaster("BUILDINGID", 4);
    lines()->First();
    EXPECT_TRUE(line("BTURNNOTEID").isNull());
    EXPECT_TRUE(line("BCODE").isNull());
    EXPECT_NE(num("PRICE"), 99);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

} // namespace

namespace {

TEST_F(CommodityLinesTest, ALineTakenFromASourceOrDrawnOnKeepsWhatItTook)
{
    sql(QStringLiteral("insert into testgoodsath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, PARTNERID) "
                       "values (900, 'T900', '2026-12-01', 0, 1, 1)"));
    // Line 1 came from an order line; line 2 is water whose batch later notes draw on; line 3 is free.
    sql(QStringLiteral("insert into testgoodsathdetail (NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY, PRICE, "
                       "REFERNOTETYPE, REFERNOTEID, REFERITEMSNO, BCODE, REFERCOUNT) values "
                       "(900, 1, 1, 1, 5, 18, 2, 77, 1, null, 0), (900, 2, 11, 4, 10, 17.5, null, null, null, 'B1', 1), "
                       "(900, 3, 3, 1, 2, 1.5, null, null, null, null, 0)"));
    open();
    ASSERT_TRUE(m_form->LoadNote(900));
    auto *grid = m_form->Grid();
    auto column = [grid](const char *field) { return grid->ColumnOfField(QString::fromLatin1(field)); };
    const struct {
        int row;
        const char *field;
        bool editable, button;
    } cells[] = {
        {0, "COMMODITYCODE", false, false}, {0, "PRICE", true, false},   {0, "QUANTITY", true, true},
        {1, "QUANTITY", false, true},       {1, "STORECODE", false, false}, {1, "PRICE", true, false},
        {2, "COMMODITYCODE", true, true},   {2, "STORECODE", true, true},
    };
    for (const auto &c : cells) {
        lines()->MoveTo(c.row);
        EXPECT_EQ(grid->CanEditColumn(column(c.field)), c.editable) << c.row << ' ' << c.field;
        EXPECT_EQ(grid->HasButton(column(c.field)), c.button) << c.row << ' ' << c.field;
    }
}

} // namespace
