// The batch picker, the price dialog and the colour/size matrix of a commodity
// line, driven through the keyboard: what is listed and handed back, what is
// refused, and what reaches the breakdown tables.

#include "SampleGoodsKind.h"
#include "TestSupport.h"

#include "CommodityDialogs.h"
#include "PickbcodeForm.h"
#include "SetPriceForm.h"
#include "qryDetailForm.h"
#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace commodity;
using testsupport::keyIntoFocus;
using testsupport::showActive;
using testsupport::typeIntoFocus;

namespace {

constexpr qint64 kShirt = 9001;

class DialogsTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        sql(QStringLiteral("insert into Commoditylth (COMMODITYID, CODE, NAME, LPRICE1, APRICE) "
                           "values (9001, 'T9001', '测试衬衫', 12, 0)"));
    }
    static QWidget *focus() { return QApplication::focusWidget(); }
    // For looking at by eye: shots/dlg_<name>.png.
    static void shot(QWidget *w, const QString &name) { EXPECT_TRUE(testsupport::saveShot(w, QStringLiteral("dlg_") + name)); }
};

// ---- batch picker ----

class BatchPickerTest : public DialogsTest {
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        // id, type, note id, code, date, store, commodity, qty, price, batch, expiry, made, ioflag, drawn from, drawn
        const char *rows[] = {
            "90001, 4, 10, 'CGKD-1', '2026-03-05', 1, 9001, 10, 5.5, 'B2', '2027-01-01', '2026-03-01', 1, null, 4",
            "90002, 4, -1, 'QC-1', '2026-01-01', 1, 9001, 3, 5, 'O''Neil', null, null, 1, null, 0",
            "90003, 14, 11, 'XSKD-1', '2026-04-01', 2, 9001, 2, 6, 'B2', '2027-02-01', '2026-03-20', 1, null, 0",
            "90004, 13, 12, 'WXD-1', '2026-04-02', 1, 9001, 1, 6, 'C1', null, null, 1, 0, 0",
            "90005, 4, 13, 'CGKD-2', '2026-02-01', 1, 9001, 5, 5, 'B9', null, null, 1, null, 5", // used up
            "90006, 25, 14, 'LLD-1', '2026-03-06', 1, 9001, 2, 5.5, 'B2', null, null, 1, 90001, 0", // draws
            "90007, 4, 15, 'CGKD-3', '2026-02-02', 1, 9001, 5, 5, '', null, null, 1, null, 0", // no batch
            "90008, 4, 16, 'CGKD-4', '2026-02-03', 1, 1, 5, 5, 'B2', null, null, 1, null, 0", // other goods
            "90009, 29, 17, 'BSD-1', '2026-02-04', 1, 9001, 3, 5, 'B2', null, null, -1, null, 0", // stock out
        };
        for (const char *r : rows)
            sql(QStringLiteral("insert into noteflowaath (ID, NOTETYPE, NOTEID, NOTECODE, NOTEDATE, BUILDINGID, "
                               "COMMODITYID, QUANTITY, PRICE, BCODE, VALIDDAY, PRODUCEDDATE, IOFLAG, BTURNNOTEID, "
                               "BREFERQTY) values (")
                + QString::fromUtf8(r) + u')');
    }
    // The listed rows' values of "A,B", "a:b" a row.
    static QStringList column(TPickbcodeForm *f, const char *fields)
    {
        QStringList out;
        for (int r = 0; r < f->cdsBcode->RecordCount(); ++r) {
            QStringList row;
            for (const QByteArray &name : QByteArray(fields).split(',')) {
                data::Field *fd = f->cdsBcode->FieldByName(QString::fromLatin1(name));
                row << fd->FormatValue(f->cdsBcode->ValueAt(r, fd->Index()));
            }
            out << row.join(u':');
        }
        return out;
    }
};

TEST_F(BatchPickerTest, ListsOpenBatchesOldestFirstNarrowsByNumberAndEnterHandsBackTheRow)
{
    TPickbcodeForm form;
    form.Open({kShirt, 0});
    EXPECT_EQ(form.windowTitle(), QStringLiteral("请选择批次"));
    EXPECT_EQ(column(&form, "ID,NOTENAME,BREFERQTY,VALIDQTY"),
              QStringList({"90002:期初:0:3", "90001:采购开单:4:6", "90003:销售退货:0:2", "90004:代销退货:0:1"}));
    EXPECT_EQ(column(&form, "STORENAME")[2], QStringLiteral("原料仓库"));
    QStringList choices;
    for (int i = 0; i < form.cmbBcode->count(); ++i)
        choices << form.cmbBcode->itemText(i);
    EXPECT_EQ(choices, QStringList({"所有", "O'Neil", "B2", "C1"}));

    // A quote in the batch number neither breaks the filter nor widens it.
    form.cmbBcode->setCurrentIndex(1);
    EXPECT_EQ(column(&form, "ID"), QStringList({"90002"}));
    form.cmbBcode->setCurrentIndex(2);
    EXPECT_EQ(column(&form, "ID"), QStringList({"90001", "90003"}));
    form.cmbBcode->setCurrentIndex(0);
    EXPECT_EQ(column(&form, "ID").size(), 4);

    // One store: the other stores' batches go.
    form.Open({kShirt, 1});
    EXPECT_EQ(column(&form, "ID"), QStringList({"90002", "90001", "90004"}));

    // Enter on the list hands back the row, Escape nothing.
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TPickbcodeForm *>(w);
        showActive(f);
        EXPECT_EQ(focus(), f->BcodeGrid);
        f->cmbBcode->setCurrentIndex(2); // B2
        f->BcodeGrid->setFocus();
        keyIntoFocus(Qt::Key_Down);
        shot(f, QStringLiteral("pickbcode"));
        keyIntoFocus(Qt::Key_Return);
        return f->result();
    });
    const std::optional<BatchChoice> c = PickBatch({kShirt, 0});
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(QStringLiteral("%1/%2/%3/%4/%5/%6/%7/%8")
                  .arg(c->flowId).arg(c->bcode).arg(c->storeId).arg(c->storeCode, c->storeName).arg(c->price)
                  .arg(c->validDay.toDate().toString(Qt::ISODate), c->productDay.toDate().toString(Qt::ISODate)),
              QStringLiteral("90003/B2/2/02/原料仓库/6/2027-02-01/2026-03-20"));

    m_modal.setHandler([](QWidget *w) {
        showActive(w);
        keyIntoFocus(Qt::Key_Escape);
        return qobject_cast<QDialog *>(w)->result();
    });
    EXPECT_FALSE(PickBatch({kShirt, 0}).has_value());
    // No batch at all: OK chooses nothing.
    m_modal.setHandler([](QWidget *w) {
        qobject_cast<TPickbcodeForm *>(w)->OkBtn->click();
        return qobject_cast<QDialog *>(w)->result();
    });
    EXPECT_FALSE(PickBatch({kShirt, 5}).has_value());
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

// ---- price dialog ----

// The columns of a line: "a/b" for {A, B}.
QString columns(const LineValues &l, std::initializer_list<Col> cols)
{
    QStringList out;
    for (Col c : cols)
        out << QString::number(l.Get(c));
    return out.join(u'/');
}

// Types `text` over what the dialog's box of `c` holds, then Enter unless told not.
void retype(TSetPriceForm *f, Col c, const char *text, bool enter = true)
{
    f->Edit(c)->setFocus();
    f->Edit(c)->selectAll();
    typeIntoFocus(QString::fromLatin1(text));
    if (enter)
        keyIntoFocus(Qt::Key_Return);
}

TEST_F(DialogsTest, PriceDialogRecomputesByTheLineRulesAndRefusesABadDiscount)
{
    sql(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (1, 9001, 7.5)"));
    sql(QStringLiteral("insert into partnerpriceaath (PARTNERID, COMMODITYID, PRICE, NOTEDATE) values (1, 9001, 8, '2026-05-01')"));
    PriceRequest request{.noteType = 14, .commodityId = kShirt, .partnerId = 1, .commodityName = QStringLiteral("测试衬衫"),
                         .unitName = QStringLiteral("件"),
                         .line = goodskind::LineOf({{Col::Quantity, 2}, {Col::OrigPrice, 0}, {Col::Disc, 100}, {Col::Price, 0},
                                                    {Col::OrigTaxPrice, 0}, {Col::TaxRate, 0}, {Col::TaxPrice, 0},
                                                    {Col::CommodityAmt, 0}, {Col::TaxAmt, 0}, {Col::Amount, 0}, {Col::DiscAmt, 0}})};

    QStringList offered;
    m_modal.setHandler([&](QWidget *w) {
        auto *f = qobject_cast<TSetPriceForm *>(w);
        showActive(f);
        for (int i = 0; i < f->lstPrice->count(); ++i)
            offered << f->lstPrice->item(i)->text();
        auto box = [f](Col c) { return f->Edit(c)->text(); };
        f->Edit(Col::OrigPrice)->setFocus();
        typeIntoFocus(QStringLiteral("1x0")); // the letter is refused as it is typed
        keyIntoFocus(Qt::Key_Return);
        EXPECT_EQ(box(Col::Price), QStringLiteral("10"));
        EXPECT_EQ(focus(), f->Edit(Col::OrigTaxPrice));

        retype(f, Col::Disc, "0");
        EXPECT_EQ(errors(), QStringList{QString::fromUtf8(kDiscRangeMessage)});
        EXPECT_EQ(box(Col::Disc), QStringLiteral("100"));
        EXPECT_EQ(focus(), f->Edit(Col::Disc)); // refused: the box keeps the focus

        retype(f, Col::Disc, "90");
        retype(f, Col::TaxRate, "13");
        EXPECT_EQ(box(Col::Price) + u'/' + box(Col::TaxPrice) + u'/' + box(Col::OrigTaxPrice) + u'/' + box(Col::Amount),
                  QStringLiteral("9/10.17/11.3/20.34"));
        shot(f, QStringLiteral("setprice"));
        f->OkBtn->click();
        return f->result();
    });
    std::optional<LineValues> line = SetLinePrice(request);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(offered, QStringList({"预设价格1:  12", "协议价:  7.5", "最近成交价(2026-05-01):  8"}));
    EXPECT_EQ(columns(*line, {Col::OrigPrice, Col::Disc, Col::Price, Col::TaxPrice, Col::CommodityAmt, Col::TaxAmt, Col::DiscAmt,
                              Col::Quantity}),
              QStringLiteral("10/90/9/10.17/18/2.34/2/2"));

    // Choosing the agreed price (Enter on the list) is typing it into the price.
    request.line = *line;
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TSetPriceForm *>(w);
        showActive(f);
        f->lstPrice->setFocus();
        f->lstPrice->setCurrentRow(0);
        keyIntoFocus(Qt::Key_Down);
        keyIntoFocus(Qt::Key_Return);
        EXPECT_EQ(focus(), f->Edit(Col::Price));
        EXPECT_TRUE(f->isVisible()); // Enter on the list does not close the window
        f->OkBtn->click();
        return f->result();
    });
    line = SetLinePrice(request);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(columns(*line, {Col::OrigPrice, Col::Disc, Col::Price, Col::TaxPrice}), QStringLiteral("7.5/90/6.75/7.6275"));

    // Cancel with a bad discount still in its box: nothing is said or handed back.
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TSetPriceForm *>(w);
        showActive(f);
        retype(f, Col::Disc, "0", false);
        f->CancelBtn->click();
        return f->result();
    });
    EXPECT_FALSE(SetLinePrice(request).has_value());
    EXPECT_EQ(errors().size(), 1);
}

// ---- colour/size matrix ----

class MatrixTest : public DialogsTest {
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        // Colours and sizes of the test's own, in place of the demo's.
        sql(QStringLiteral("delete from Color"));
        sql(QStringLiteral("delete from Size"));
        sql(QStringLiteral("delete from CommodityDetail"));
        sql(QStringLiteral("insert into Color (ColorID, CODE, NAME, ColorValue, FontColor) values "
                           "(1, '01', '红', 16711680, 16777215), (2, '02', 'Men''s 黑', null, null)"));
        sql(QStringLiteral("insert into Size (SizeID, CODE, NAME, SORTNO) values (1, 'S', 'S码', 2), (2, 'M', 'M码', 1)"));
        sql(QStringLiteral("insert into commoditycolor values (9001, 1), (9001, 2)"));
        sql(QStringLiteral("insert into CommoditySize values (9001, 1), (9001, 2)"));
        m_key = {.table = QStringLiteral("salesthdetail2"), .noteType = 14, .noteId = 500, .noteKind = 1, .item = 1,
                 .commodityId = kShirt, .storeId = 1};
        // Red in size M already holds 3.
        sql(QStringLiteral("insert into salesthdetail2 values (500, 14, 1, 1, 1, 9001, 1, 2, 3)"));
    }
    // The shirt's cells in a table: "colour,size,value ..." in colour and size order.
    QString cells(const char *table, const char *column = "Quantity")
    {
        return testsupport::joinedRows(database(), QStringLiteral("select ColorID, SizeID, %1 from %2 where CommodityID = 9001 "
                                                                  "order by ColorID, SizeID").arg(QLatin1String(column), QLatin1String(table)),
                                       u',', u' ');
    }
    // Types the cells given as text, row by row, Enter after each.
    std::function<int(QWidget *)> typing(const QStringList &cells, const QString &shotName = {})
    {
        return [this, cells, shotName](QWidget *w) {
            auto *f = qobject_cast<TqryDetailForm *>(w);
            showActive(f);
            for (const QString &cell : cells) {
                if (!cell.isEmpty()) {
                    typeIntoFocus(cell);
                    keyIntoFocus(Qt::Key_Return);
                    QApplication::processEvents(); // the editor closes after Enter
                } else {
                    keyIntoFocus(Qt::Key_Return);
                }
            }
            if (!shotName.isEmpty())
                shot(f, shotName);
            f->OkBtn->click();
            return f->result();
        };
    }
    ColorSizeKey m_key;
};

TEST_F(MatrixTest, OkWritesEveryCellUpdateOrInsertAndGivesTheTruncatedTotal)
{
    QString seen;
    m_modal.setHandler([&](QWidget *w) {
        auto *f = qobject_cast<TqryDetailForm *>(w);
        EXPECT_EQ(f->windowTitle(), QStringLiteral("颜色\\尺码组"));
        // Sizes by their order number, colours drawn in their own colours.
        EXPECT_EQ(f->DetailGrid->horizontalHeaderItem(0)->text(), QStringLiteral("M码"));
        EXPECT_EQ(f->DetailGrid->verticalHeaderItem(1)->text(), QStringLiteral("Men's 黑"));
        EXPECT_EQ(f->DetailGrid->item(0, 0)->background().color(), QColor(255, 0, 0));
        EXPECT_EQ(f->DetailGrid->item(0, 0)->foreground().color(), QColor(255, 255, 255));
        seen = f->DetailGrid->item(0, 0)->text();
        return typing({QString(), QStringLiteral("2.5"), QStringLiteral("4x")}, QStringLiteral("qrydetail"))(w);
    });
    const std::optional<double> total = EditColorSize(m_key, m_key, true);
    EXPECT_EQ(seen, QStringLiteral("3"));
    ASSERT_TRUE(total.has_value());
    EXPECT_DOUBLE_EQ(*total, 9); // 3 + 2.5 + 4 + 0
    EXPECT_EQ(cells("salesthdetail2"), QStringLiteral("1,1,2.5 1,2,3 2,1,0 2,2,4"));
    EXPECT_FALSE(BreakdownEmpty(m_key));

    // Again: the cells are updated in place, none added.
    m_modal.setHandler(typing({QStringLiteral("5")}));
    EXPECT_DOUBLE_EQ(EditColorSize(m_key, m_key, true).value_or(-1), 11);
    EXPECT_EQ(cells("salesthdetail2"), QStringLiteral("1,1,2.5 1,2,5 2,1,0 2,2,4"));

    // Read-only: OK closes, nothing is written or handed back.
    m_modal.setHandler([](QWidget *w) {
        auto *f = qobject_cast<TqryDetailForm *>(w);
        EXPECT_FALSE(f->DetailGrid->item(0, 0)->flags() & Qt::ItemIsEditable);
        f->OkBtn->click();
        return f->result();
    });
    EXPECT_FALSE(EditColorSize(m_key, m_key, false).has_value());
    EXPECT_EQ(cells("salesthdetail2"), QStringLiteral("1,1,2.5 1,2,5 2,1,0 2,2,4"));
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(MatrixTest, SourceLineShownTargetWrittenOpeningStockAndAllOrNothing)
{
    // A new note's line opened on its source order line: rows go to TempDetail2.
    sql(QStringLiteral("insert into ordersthdetail2 values (70, 12, 1, 3, 1, 9001, 2, 1, 6)"));
    const ColorSizeKey source{.table = BreakdownTable(12), .noteType = 12, .noteId = 70, .item = 3, .commodityId = kShirt, .storeId = 1};
    EXPECT_FALSE(BreakdownEmpty(source));
    ColorSizeKey target = m_key;
    target.table = QStringLiteral("TempDetail2");
    target.noteId = -9999;
    EXPECT_TRUE(BreakdownEmpty(target));
    m_modal.setHandler(typing({}));
    EXPECT_DOUBLE_EQ(EditColorSize(source, target, true).value_or(-1), 6);
    EXPECT_EQ(cells("TempDetail2"), QStringLiteral("1,1,0 1,2,0 2,1,6 2,2,0"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TempDetail2 where noteID = -9999 and noteType = 14")).toInt(), 4);
    EXPECT_EQ(cells("ordersthdetail2"), QStringLiteral("2,1,6")) << "the source stays as it was";

    // Opening stock: per store, Quantity and StartQty alike.
    ColorSizeKey opening = m_key;
    opening.table = BreakdownTable(-99);
    opening.openingStock = true;
    m_modal.setHandler(typing({QStringLiteral("7")}));
    EXPECT_DOUBLE_EQ(EditColorSize(opening, opening, true).value_or(-1), 7);
    EXPECT_EQ(cells("CommodityDetail"), QStringLiteral("1,1,0 1,2,7 2,1,0 2,2,0"));
    EXPECT_EQ(cells("CommodityDetail", "StartQty"), cells("CommodityDetail"));

    // A cell the books refuse: the error is shown, the window stays, nothing changed.
    sql(QStringLiteral("create trigger refuse_black before insert on salesthdetail2 when new.ColorID = 2 "
                       "begin select raise(abort, 'black refused'); end"));
    bool stayed = false;
    m_modal.setHandler([&](QWidget *w) {
        auto *f = qobject_cast<TqryDetailForm *>(w);
        showActive(f);
        typeIntoFocus(QStringLiteral("8"));
        keyIntoFocus(Qt::Key_Return);
        QApplication::processEvents();
        f->OkBtn->click();
        stayed = f->isVisible();
        f->CancelBtn->click();
        return f->result();
    });
    EXPECT_FALSE(EditColorSize(m_key, m_key, true).has_value());
    EXPECT_TRUE(stayed);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("black refused"))) << errors()[0].toStdString();
    EXPECT_EQ(cells("salesthdetail2"), QStringLiteral("1,2,3"));

    // Types without a breakdown table.
    EXPECT_EQ(BreakdownTable(21), QString());
    ColorSizeKey none = m_key;
    none.table.clear();
    none.noteType = 21;
    EXPECT_TRUE(BreakdownEmpty(none));
}

} // namespace
