// Commodity lines on a small purchase-like kind of the tests (a real window on
// demo books): the line arithmetic, what a commodity or store fills in, the
// checks before save and audit, and the colour/size breakdown saved with the note.

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
using goodskind::LineOf;
using goodskind::TTestGoodsForm;

class CommodityLinesTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        goodskind::Install(*m_db);
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
        EXPECT_EQ(pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK) << shownText();
        m_form->show();
        return m_form.get();
    }
    data::ClientDataSet *lines() const { return m_form->DetailDataSet(); }
    QVariant line(const char *name) const { return m_form->DetailValue(QString::fromLatin1(name)); }
    double num(const char *name) const { return line(name).toDouble(); }
    // The current line's values of "A,B,...", joined by '/'.
    QString values(const char *fields) const
    {
        QStringList out;
        for (const QByteArray &f : QByteArray(fields).split(','))
            out << line(f.constData()).toString();
        return out.join(u'/');
    }
    // A new line of the commodity, and a quantity when given.
    void newLine(const char *code, double quantity = 0)
    {
        m_form->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
        if (quantity)
            setLine("QUANTITY", quantity);
    }
    qint64 goods(const char *code)
    {
        return scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE='%1'").arg(QLatin1String(code))).toLongLong();
    }
    int notes() { return scalar(QStringLiteral("select count(*) from testgoodsath")).toInt(); }
    int noteState() { return scalar(QStringLiteral("select NOTESTATE from testgoodsath")).toInt(); }
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
    double lastTax = 0;
    bool prevNull = false;
};

// The plain edit of a price is proved through the price dialog; here the
// amount and the tax corrections.
TEST(LineMathTest, EachEditedColumnRecomputesTheLine)
{
    const Edit edits[] = {
        {"the amount gives the prices back: 22.6 with tax 13 % over 2 units at 90 %",
         {{Col::Quantity, 2}, {Col::OrigPrice, 0}, {Col::Disc, 90}, {Col::Price, 10}, {Col::TaxRate, 13}, {Col::TaxPrice, 0},
          {Col::CommodityAmt, 0}, {Col::TaxAmt, 0}, {Col::Amount, 22.6}, {Col::DiscAmt, 0}, {Col::OrigTaxPrice, 0}},
         Col::Amount,
         {{Col::Price, 10}, {Col::TaxPrice, 11.3}, {Col::OrigPrice, 11.111111}, {Col::TaxAmt, 2.6}, {Col::CommodityAmt, 20},
          {Col::Quantity, 2}}},
        {"a small tax correction keeps the total", {{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 13},
                                                    {Col::CommodityAmt, 10}, {Col::TaxAmt, 1.33}, {Col::Amount, 11.3}},
         Col::TaxAmt, {{Col::TaxAmt, 1.33}, {Col::CommodityAmt, 9.97}, {Col::Price, 10}}, 1.3},
        {"a large tax change derives the prices", {{Col::Quantity, 2}, {Col::Price, 10}, {Col::TaxRate, 10},
                                                   {Col::CommodityAmt, 20}, {Col::TaxAmt, 4}, {Col::Amount, 22}},
         Col::TaxAmt, {{Col::Price, 20}, {Col::CommodityAmt, 40}, {Col::Amount, 44}}, 2},
        {"the first tax typed on a blank tax is large", {{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 10},
                                                         {Col::TaxAmt, 1.02}, {Col::Amount, 11}},
         Col::TaxAmt, {{Col::Price, 10.2}, {Col::Amount, 11.22}}, 1, true},
    };
    for (const Edit &e : edits) {
        SCOPED_TRACE(e.what);
        commodity::LineValues v = LineOf(e.line);
        commodity::LineContext ctx;
        ctx.taxAmtLimit = 0.05;
        ctx.lastTaxAmt = e.lastTax;
        ctx.previousTaxAmtNull = e.prevNull;
        ASSERT_TRUE(commodity::Recompute(v, e.edited, ctx).ok());
        for (const auto &[c, x] : e.expected)
            EXPECT_NEAR(v.Get(c), x, 1e-6) << commodity::DefaultColumnName(c);
        if (v.Present(Col::CommodityAmt)) {
            EXPECT_DOUBLE_EQ(ctx.lastTaxAmt, v.Get(Col::TaxAmt));
        }
    }
}

TEST(LineMathTest, RefusalsAndTheBlankDefaults)
{
    commodity::LineContext ctx;
    // A cleared quantity becomes 1.
    auto q = LineOf({{Col::Price, 5}, {Col::Amount, 0}}, {Col::Quantity});
    ASSERT_TRUE(commodity::Recompute(q, Col::Quantity, ctx).ok());
    EXPECT_DOUBLE_EQ(q.Get(Col::Quantity), 1);
    EXPECT_DOUBLE_EQ(q.Get(Col::Amount), 5);
    // An amount on quantity 0 writes quantity 1; DISC 0 held is taken as 100.
    auto a = LineOf({{Col::Quantity, 0}, {Col::Disc, 0}, {Col::Amount, 30}, {Col::Price, 0}, {Col::OrigPrice, 0}});
    ASSERT_TRUE(commodity::Recompute(a, Col::Amount, ctx).ok());
    EXPECT_TRUE(a.Changed(Col::Quantity));
    EXPECT_DOUBLE_EQ(a.Get(Col::Quantity), 1);
    EXPECT_DOUBLE_EQ(a.Get(Col::Disc), 100);
    EXPECT_DOUBLE_EQ(a.Get(Col::Price), 30);
    // DISC typed as 0 or above 100: refused, put back to 100 with its event.
    for (double bad : {0.0, -5.0, 100.5}) {
        auto d = LineOf({{Col::Disc, bad}, {Col::OrigPrice, 10}, {Col::Price, 7}, {Col::Quantity, 1}});
        const auto r = commodity::Recompute(d, Col::Disc, ctx);
        EXPECT_EQ(r.error, QString::fromUtf8(commodity::kDiscRangeMessage));
        EXPECT_TRUE(d.Fires(Col::Disc));
        EXPECT_DOUBLE_EQ(d.Get(Col::Disc), 100);
        EXPECT_DOUBLE_EQ(d.Get(Col::Price), 7) << "nothing else of the edit is computed";
    }
    // A tax amount with no tax rate cannot give a price: refused, nothing written.
    auto t = LineOf({{Col::Quantity, 1}, {Col::Price, 10}, {Col::TaxRate, 0}, {Col::TaxAmt, 3}, {Col::Amount, 10}});
    ctx.lastTaxAmt = 0;
    EXPECT_EQ(commodity::Recompute(t, Col::TaxAmt, ctx).error, QString::fromUtf8(commodity::kTaxRateZeroMessage));
    EXPECT_FALSE(t.Changed(Col::Price) || t.Changed(Col::Amount));
    // A column the line lacks is never written and reads as its default.
    auto m = LineOf({{Col::Quantity, 3}, {Col::Price, 2}});
    ASSERT_TRUE(commodity::Recompute(m, Col::Price, ctx).ok());
    EXPECT_FALSE(m.Present(Col::TaxAmt) || m.Changed(Col::TaxAmt));
}

// ---------------------------------------------------------------- line entry

TEST_F(CommodityLinesTest, ACommodityTypedByCodeFillsTheLine)
{
    const qint64 paper = goods("BG0001");
    const qint64 supplier = scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='S001'")).toLongLong();
    sql(QStringLiteral("delete from partnerprice"));
    sql(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (%1, %2, 0)").arg(supplier).arg(paper));
    sql(QStringLiteral("update Commoditylth set CUSTDEF3='A级' where COMMODITYID=%1").arg(paper));
    sql(QStringLiteral("delete from onhandaath where COMMODITYID=%1").arg(paper));
    sql(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, REALQTY, USEDQTY) values (1, %1, 120.5, 120.5, 20)")
            .arg(paper));
    open();
    setMaster("PARTNERID", supplier); // 晨光文具: 30 days, 周敏, salesman 2 of department 2
    setMaster("PAYTYPESID", 2);       // 转账支票 pays from account 2
    QStringList settlement;
    for (const char *f : {"TERMDAYS", "CONTACTOR", "EMPID", "DEPID", "ACCOUNTID"})
        settlement << m_form->MasterValue(QLatin1String(f)).toString();
    EXPECT_EQ(settlement.join(u'/'), QStringLiteral("30/周敏/2/2/2"));
    setMaster("DISC", 95);
    newLine("NOPE-'1");
    EXPECT_TRUE(line("COMMODITYID").isNull()) << "a code that matches nothing changes nothing";
    // The commodity's own head-office store, the master's discount, a
    // partner price of 0 as a price.
    setLine("COMMODITYCODE", QStringLiteral("BG0001"));
    EXPECT_EQ(values("COMMODITYID,COMMODITYNAME,UNITNAME,BUILDINGID,BUILDINGNAME,DISC,PRICE,CUSTDEF3"),
              QStringLiteral("%1/A4复印纸/包/1/总部仓库/95/0/A级").arg(paper));
    EXPECT_EQ(m_form->StockLabel()->text(),
              QStringLiteral("货品[A4复印纸]在仓库[总部仓库]中的实际库存为:120.5\n已占用数量为:20, 可用数量为:100.5"));
    setLine("QUANTITY", 4);
    setLine("PRICE", 20);
    EXPECT_EQ(values("ORIGPRICE,PRICE,AMOUNT"), QStringLiteral("20/19/76"));
    // A store with no stock of it reads all zeros and ends with ", ".
    setLine("STORECODE", QStringLiteral("03"));
    EXPECT_EQ(m_form->StockLabel()->text(),
              QStringLiteral("货品[A4复印纸]在仓库[成品仓库]中的实际库存为:0 已占用数量为:0, 可用数量为:0, "));
    EXPECT_TRUE(testsupport::saveShot(m_form.get(), QStringLiteral("commodity_lines"))); // for checking by eye
    setLine("STORECODE", QStringLiteral("zz"));
    EXPECT_EQ(line("BUILDINGID").toInt(), 3) << "an unknown store code leaves the store";
    lines()->Post();
    ASSERT_TRUE(save()) << shownText();
    EXPECT_EQ(testsupport::joinedRows(database(), QStringLiteral("select d.PRICE, d.DISC, m.AMOUNT from testgoodsathdetail d "
                                                                 "join testgoodsath m on m.NOTEID=d.NOTEID"), u'/'),
              QStringLiteral("19/95/76"));
}

TEST_F(CommodityLinesTest, AStoreChangeDropsTheBatchAndTheProductionDateGivesTheExpiry)
{
    setParam(QStringLiteral("IsDistinctStore"), QStringLiteral("0"));
    open();
    newLine("SP0001"); // batch-costed, 365 days
    setLine("BCODE", QStringLiteral("B1"));
    setLine("BTURNNOTEID", 77);
    setLine("PRODUCTDAY", QDate(2026, 3, 1));
    EXPECT_EQ(line("VALIDDAY").toDate(), QDate(2027, 3, 1));
    setLine("BUILDINGID", 2);
    EXPECT_EQ(values("BTURNNOTEID,BCODE,PRODUCTDAY,VALIDDAY"), QStringLiteral("///"));
    EXPECT_EQ(line("COMMODITYID").toLongLong(), goods("SP0001"));

    // A change of the master's store does the same to every line, and the
    // price becomes the new store's default.
    setLine("BCODE", QStringLiteral("B9"));
    setLine("BTURNNOTEID", 3);
    setLine("PRICE", 99);
    lines()->Post();
    setMaster("BUILDINGID", 4);
    lines()->First();
    EXPECT_EQ(values("BTURNNOTEID,BCODE"), QStringLiteral("/"));
    EXPECT_NE(num("PRICE"), 99);
    EXPECT_TRUE(errors().isEmpty()) << shownText();
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
        SCOPED_TRACE(c.message.toStdString());
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
        EXPECT_EQ(notes(), 0);
        m_messages.clear();
    }
    // No lines at all.
    open();
    setMaster("PARTNERID", 1);
    m_form->OkBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("单据没有发生业务,不能保存."));
}

TEST_F(CommodityLinesTest, AServiceLosesItsStoreAHighPriceIsAskedAboutAndClosedCommoditiesAndTypesStopTheAudit)
{
    sql(QStringLiteral("update Commoditylth set HIGHPRICE=30 where CODE='BG0001'"));
    open();
    newLine("FW0001", 1);
    setLine("BUILDINGID", 1);
    newLine("BG0001", 1);
    setLine("PRICE", 31);
    newLine("BG0003", 1);
    lines()->Post();
    m_messages.answer(AnswerNo);
    m_form->OkBtnClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("货品[A4复印纸]的单价大于最高进价，是否继续？"));
    EXPECT_EQ(notes(), 0);
    m_messages.answer(AnswerYes);
    ASSERT_TRUE(save()) << shownText();
    EXPECT_TRUE(scalar(QStringLiteral("select BUILDINGID from testgoodsathdetail where COMMODITYID=%1").arg(goods("FW0001"))).isNull());

    sql(QStringLiteral("update Commoditylth set CLOSED=1 where CODE in ('BG0001','BG0003')"));
    m_form->CheckBtnClick();
    const QString msg = errors().value(0);
    EXPECT_TRUE(msg == QStringLiteral("此单中的货品：A4复印纸、中性笔 已经停用不能审核！")
                || msg == QStringLiteral("此单中的货品：中性笔、A4复印纸 已经停用不能审核！"))
        << msg.toStdString();
    EXPECT_EQ(noteState(), 0);
    // Open again, audited; a type closed since stops the un-audit.
    sql(QStringLiteral("update Commoditylth set CLOSED=0"));
    m_messages.clear();
    m_form->CheckBtnClick();
    ASSERT_EQ(noteState(), 1) << shownText();
    sql(QStringLiteral("update testgoodsath set IOTYPESID=7")); // 旧品报废(停用)
    m_form->LoadNote(scalar(QStringLiteral("select NOTEID from testgoodsath")).toInt());
    m_messages.setDefaultAnswer(pub::MessageKind::YesNo, AnswerYes);
    m_form->CheckBtnClick();
    EXPECT_TRUE(errors().contains(QStringLiteral("此单的出入库类型已经被停用不能反审核。"))) << shownText();
    EXPECT_EQ(noteState(), 1);
}

TEST_F(CommodityLinesTest, PriceColumnsFollowTheRightAndANewNoteTakesTheInvoiceType)
{
    setParam(QStringLiteral("TaxKind"), QStringLiteral("0"));
    const auto readOnly = [this](const char *field) {
        auto *grid = m_form->Grid();
        for (int i = 0; i < grid->ColumnCount(); ++i)
            if (grid->Column(i).FieldName.compare(QLatin1String(field), Qt::CaseInsensitive) == 0)
                return grid->Column(i).ReadOnly;
        return false;
    };
    open();
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("NOTETYPE")).toInt(), 2);
    EXPECT_FALSE(readOnly("PRICE")) << "the administrator may edit purchase prices";
    // A clerk without sub-right 5 of privilege 551.
    SetCurrentUser(2);
    open();
    for (const char *c : {"PRICE", "ORIGPRICE", "TAXPRICE", "AMOUNT", "TAXAMT", "COMMODITYAMT"})
        EXPECT_TRUE(readOnly(c)) << c;
    EXPECT_FALSE(readOnly("QUANTITY"));
}

// The clerk's way: code, Enter, quantity, Enter ... into the grid's cells.
TEST_F(CommodityLinesTest, ALineKeyedIntoTheGridIsSavedAndAudited)
{
    const qint64 pen = goods("BG0003");
    sql(QStringLiteral("delete from partnerprice where PARTNERID=1 and COMMODITYID=%1").arg(pen));
    sql(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (1, %1, 1.5)").arg(pen));
    open();
    setMaster("PARTNERID", 1);
    testsupport::showActive(m_form.get());
    auto *grid = m_form->Grid();
    grid->setFocus();
    // One key at a time to the cell of `field` in `row`: the first opens the cell's editor.
    const auto type = [grid](int row, const char *field, const QString &text) {
        grid->setCurrentIndex(grid->model()->index(row, grid->ColumnOfField(QString::fromLatin1(field))));
        testsupport::typeIntoFocus(text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    m_form->muAppendDetailClick();
    type(0, "COMMODITYCODE", QStringLiteral("BG0003"));
    type(0, "QUANTITY", QStringLiteral("12"));
    type(0, "TAXRATE", QStringLiteral("13"));
    EXPECT_DOUBLE_EQ(num("AMOUNT"), 20.34);
    // A second line found by the start of its name in the code cell's drop-down.
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert, Qt::ShiftModifier);
    ASSERT_EQ(lines()->RecordCount(), 2);
    type(1, "COMMODITYCODE", QStringLiteral("订书"));
    EXPECT_EQ(line("COMMODITYCODE").toString(), QStringLiteral("BG0005"));
    type(1, "QUANTITY", QStringLiteral("1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << shownText();
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select TAXAMT from testgoodsathdetail where ITEMSNO=1")).toDouble(), 2.34);
    const double total = scalar(QStringLiteral("select AMOUNT from testgoodsath")).toDouble();
    EXPECT_DOUBLE_EQ(total, 20.34 + scalar(QStringLiteral("select AMOUNT from testgoodsathdetail where ITEMSNO=2")).toDouble());
    // The printed totals: 12 pens at 1.50 plus the stapler.
    const QHash<QString, QVariant> vars = m_form->CommodityReportVariables();
    EXPECT_EQ(vars.value(QStringLiteral("SumofQuantity")).toString(), QStringLiteral("13"));
    EXPECT_EQ(vars.value(QStringLiteral("SumofAmount")).toString(), QString::number(total));
    EXPECT_EQ(vars.value(QStringLiteral("Daxie")).toString(), AmountInWords(total));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << shownText();
    EXPECT_EQ(noteState(), 1);
}

TEST_F(CommodityLinesTest, TheBatchAndTheColourSizeDialogsFillTheLineAndTheBreakdownIsSavedWithTheNote)
{
    open();
    setMaster("NOTEKIND", 2); // a return draws from a specific batch, at its price and store
    newLine("SP0001", 5);
    // The oldest open batch of the water, in whatever store.
    const QString oldest = QStringLiteral("select ID, BCODE, BUILDINGID, PRICE from noteflowaath where COMMODITYID=11 and "
                                          "BCODE<>'' and BTURNNOTEID is null and IOFLAG*QUANTITY-BREFERQTY>0 order by NOTEDATE, ID");
    const QVector<QVariant> batch = database().select(oldest).rows.value(0);
    ASSERT_EQ(batch.size(), 4);
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TPickbcodeForm *>(w);
        EXPECT_NE(f, nullptr);
        f->OkBtn->click();
        return f->result();
    });
    m_form->PickBatch();
    EXPECT_EQ(values("BTURNNOTEID,BCODE,BUILDINGID"),
              QStringLiteral("%1/%2/%3").arg(batch[0].toLongLong()).arg(batch[1].toString()).arg(batch[2].toInt()));
    EXPECT_DOUBLE_EQ(num("PRICE"), batch[3].toDouble());
    EXPECT_FALSE(line("VALIDDAY").isNull());

    // The uniform by colour and size: the matrix total becomes the quantity.
    newLine("FZ0001");
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TqryDetailForm *>(w);
        EXPECT_NE(f, nullptr);
        f->DetailGrid->item(0, 0)->setText(QStringLiteral("2"));
        f->DetailGrid->item(1, 1)->setText(QStringLiteral("3.7"));
        f->OkBtn->click();
        return f->result();
    });
    m_form->EditColorSize();
    EXPECT_DOUBLE_EQ(num("QUANTITY"), 5) << "the total, truncated";
    lines()->Post();
    // Besides what the matrix wrote: a line deleted since, and another note's breakdown.
    sql(QStringLiteral("insert into TempDetail2 values (-9999, 4, 2, -55, 1, 1, 1, 1, 4)")); // the unsaved return's
    sql(QStringLiteral("insert into purchasepthdetail2 values (55, 4, 1, 1, 1, 1, 9, 9, 1)"));
    ASSERT_TRUE(save()) << shownText();
    // Saved under the line's final number; the deleted line's breakdown goes.
    const int note = scalar(QStringLiteral("select NOTEID from testgoodsath")).toInt();
    const auto quantity = [this, note](const QString &where) {
        return scalar(QStringLiteral("select sum(Quantity) from purchasepthdetail2 where noteType=4 and noteID=%1 and %2")
                          .arg(note).arg(where)).toDouble();
    };
    EXPECT_DOUBLE_EQ(quantity(QStringLiteral("Item=2")), 5.7);
    EXPECT_DOUBLE_EQ(quantity(QStringLiteral("1=1")), 5.7) << "the breakdown of a deleted line goes with it";
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TempDetail2")).toInt(), 0);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from purchasepthdetail2 where noteID=55")).toInt(), 1)
        << "another note's breakdown stays";
}

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
    // Each cell: editable, with its button.
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
        const int column = grid->ColumnOfField(QString::fromLatin1(c.field));
        EXPECT_EQ(grid->CanEditColumn(column), c.editable) << c.row << ' ' << c.field;
        EXPECT_EQ(grid->HasButton(column), c.button) << c.row << ' ' << c.field;
    }
}

} // namespace
