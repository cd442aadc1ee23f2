// The commodity picker: what each filter lists, text that would break a
// statement, adding to a note by the skip rules, the keyboard, and "PICK".

#include "../commodity/SampleGoodsKind.h"
#include "GSpecialCheckForm.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "PickCommodityForm.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

using goodskind::TTestGoodsForm;

class PickCommodityTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        goodskind::Install(*m_db);
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
        SetCurrentUser(1);
        m_picker = std::make_unique<TPickCommodityForm>();
    }
    void TearDown() override
    {
        m_picker.reset();
        m_form.reset();
        ClearLookupEditors();
        SessionTest::TearDown();
    }
    TTestGoodsForm *openNote()
    {
        m_form.reset(CreateNoteForm<TTestGoodsForm>());
        EXPECT_EQ(pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
        m_form->show();
        return m_form.get();
    }
    // Codes of the listed commodities, or of the note's lines, in order.
    static QStringList codesOf(data::ClientDataSet *d) { return testsupport::valuesIn(*d, "COMMODITYCODE"); }
    QStringList codes() const { return codesOf(m_picker->qryCommodity); }
    QStringList lineCodes() const { return codesOf(m_form->DetailDataSet()); }
    void chooseType(const QString &name)
    {
        const auto items = m_picker->tvType->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        m_picker->tvType->setCurrentItem(items.first());
    }
    void commodity(int id, const char *code, const char *name, int kind = 1)
    {
        sql(QStringLiteral("insert into Commoditylth (COMMODITYID, CODE, NAME, KIND, COSTTYPE, UNITSID) "
                           "values (:i, :c, :n, :k, 1, 1)"),
            {{"i", id}, {"c", QString::fromUtf8(code)}, {"n", QString::fromUtf8(name)}, {"k", kind}});
    }

    std::unique_ptr<TPickCommodityForm> m_picker;
    std::unique_ptr<TTestGoodsForm> m_form;
};

TEST_F(PickCommodityTest, StockConditionFollowsTheStoreAndTheStockBox)
{
    commodity(9001, "TT01", "二号仓有货"); // in stock in store 2 only
    commodity(9002, "TT02", "一号仓无货"); // a row in store 1 without stock
    commodity(9003, "TT03", "从未入库");
    sql(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, REALQTY) values (2, 9001, 5, 5)"));
    sql(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, REALQTY) values (1, 9002, 0, 0)"));

    m_picker->SetDocument(nullptr, 0, 0);
    EXPECT_EQ(m_picker->lbStore->text(), QStringLiteral("当前仓库:所有仓库"));
    m_picker->edCode->setText(QStringLiteral("TT"));
    EXPECT_EQ(codes(), (QStringList{"TT01", "TT02", "TT03"})); // no store, no box: no stock condition
    m_picker->chkOnhand->setChecked(true);
    EXPECT_EQ(codes(), QStringList{"TT01"}); // stock in some store
    // The stock of the current row in every store.
    ASSERT_EQ(m_picker->qryOnhand->RecordCount(), 1);
    EXPECT_EQ(m_picker->qryOnhand->FieldByName(QStringLiteral("BuildingID"))->AsInteger(), 2);

    m_picker->chkOnhand->setChecked(false);
    m_picker->SetDocument(nullptr, 1, 0);
    EXPECT_EQ(m_picker->lbStore->text(),
              QStringLiteral("当前仓库:") + scalar(QStringLiteral("select NAME from storelth where BUILDINGID=1")).toString());
    EXPECT_EQ(codes(), QStringList{"TT02"});
    m_picker->chkOnhand->setChecked(true);
    EXPECT_TRUE(codes().isEmpty()); // an empty list, its stock list empty too, and no error
    EXPECT_EQ(m_picker->qryOnhand->RecordCount(), 0);
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(PickCommodityTest, CategoriesDataTypesAndPartners)
{
    m_picker->PageSize = 0;
    m_picker->SetDocument(nullptr, 0, 1);
    chooseType(QStringLiteral("办公用品")); // a parent: its sub-categories' commodities
    EXPECT_EQ(codes(), (QStringList{"BG0001", "BG0002", "BG0003", "BG0004", "BG0005", "FZ0001", "TZ0001"}));
    chooseType(QStringLiteral("书写工具"));
    EXPECT_EQ(codes(), (QStringList{"BG0003", "BG0005"}));
    chooseType(QStringLiteral("全部类别"));

    const auto kinds = [this] {
        QSet<int> out;
        for (const QString &kind : testsupport::valuesIn(*m_picker->qryCommodity, "KIND"))
            out << kind.toInt();
        return out;
    };
    m_picker->rgDataType->button(TPickCommodityForm::StockTypes)->setChecked(true);
    EXPECT_EQ(kinds(), (QSet<int>{1, 2, 3}));
    m_picker->rgDataType->button(TPickCommodityForm::NonStockTypes)->setChecked(true);
    EXPECT_EQ(kinds(), (QSet<int>{4, 5, 6}));
    m_picker->rgDataType->button(TPickCommodityForm::DiscountTypes)->setChecked(true);
    EXPECT_EQ(codes(), (QStringList{"ZK0001", "ZK0002"}));
    m_picker->rgDataType->button(TPickCommodityForm::AllTypes)->setChecked(true);
    EXPECT_EQ(kinds(), (QSet<int>{1, 2, 3, 4, 5, 6, 7, 8}));

    // Partner 1 last bought two commodities; any partner's last prices are the recent ones.
    m_picker->chkPartner->setChecked(true);
    EXPECT_EQ(codes(), (QStringList{"BG0001", "BG0002"}));
    m_picker->chkPartner->setChecked(false);
    m_picker->chkRecent->setChecked(true);
    EXPECT_EQ(codes().size(),
              scalar(QStringLiteral("select count(distinct COMMODITYID) from partnerpriceaath")).toInt());
}

TEST_F(PickCommodityTest, AnEmptyListANewCommodityAndTypedTextKeepingTheStatementWhole)
{
    commodity(9001, "Q'1", "O'Neil笔");
    commodity(9002, "Q%2", "100%纯棉[a]_x");
    m_picker->SetDocument(nullptr, 0, 0);
    // (Adding without a note fails: the initial letters' test.)
    m_picker->edCode->setText(QStringLiteral("没有这个"));
    m_picker->OkBtnClick();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("没有货品可以选择！")});
    EXPECT_NE(m_picker->result(), 1);

    // Without the host's commodity window "新增..." says so; with it the new commodity is shown.
    m_picker->btnNewClick();
    EXPECT_EQ(shown().last(), QStringLiteral("尚未提供此功能。"));
    RegisterLookupEditor(QStringLiteral("COMMODITYEDITFORM"), [this](QWidget *, const QVariant &key) {
        EXPECT_TRUE(key.isNull());
        commodity(9100, "NEW1", "新货品");
        return new QWidget;
    });
    m_picker->edCode->clear();
    m_picker->btnNewClick();
    EXPECT_EQ(m_picker->qryCommodity->FieldByName(QStringLiteral("COMMODITYCODE"))->AsString(), QStringLiteral("NEW1"));
    m_messages.clear();

    m_picker->edName->setText(QStringLiteral("O'Neil"));
    EXPECT_EQ(codes(), QStringList{"Q'1"});
    m_picker->edName->clear();
    m_picker->edCode->setText(QStringLiteral("Q'"));
    EXPECT_EQ(codes(), QStringList{"Q'1"});
    for (const char *text : {"'; delete from Commoditylth; --", "[a]", "_", "%", "'')", "\\"}) {
        m_picker->edSpec->setText(QString::fromUtf8(text));
        m_picker->edName->setText(QString::fromUtf8(text));
    }
    EXPECT_TRUE(errors().isEmpty()) << shownText();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from Commoditylth where COMMODITYID in (9001, 9002)")).toInt(), 2);

    // "其它...": the user-defined fields, quoted.
    m_picker->edName->clear();
    m_picker->edSpec->clear();
    m_picker->edCode->clear();
    sql(QStringLiteral("update Commoditylth set CUSTDEF3 = 'O''Neil' where COMMODITYID = 9002"));
    m_modal.setHandler([](QWidget *w) {
        auto *other = qobject_cast<TGSpecialCheckForm *>(w);
        EXPECT_NE(other, nullptr);
        if (!other)
            return 2;
        other->edCustDef[2]->setText(QStringLiteral("O'Neil"));
        testsupport::saveShot(other, QStringLiteral("pick_other")); // for looking at by eye
        return 1;
    });
    m_picker->btnOtherClick();
    EXPECT_EQ(codes(), QStringList{"Q%2"});
}

TEST_F(PickCommodityTest, InitialLettersFilterTheList)
{
    // The whole list open: filtered in memory, the statement untouched.
    m_picker->PageSize = 0;
    m_picker->SetDocument(nullptr, 0, 0);
    const QString statement = m_picker->qryCommodity->CommandText();
    m_picker->edSpeed->setText(QStringLiteral("a"));
    EXPECT_EQ(codes(), (QStringList{"BG0001", "BG0002"}));
    m_picker->edSpeed->setText(QStringLiteral("A3"));
    EXPECT_EQ(codes(), QStringList{"BG0002"});
    EXPECT_EQ(m_picker->qryCommodity->CommandText(), statement);
    m_picker->edSpeed->clear();
    const int total = scalar(QStringLiteral("select count(*) from Commoditylth")).toInt();
    EXPECT_EQ(codes().size(), total);

    // Paged: the match beyond the first page is found all the same.
    m_picker->PageSize = 5;
    m_picker->RefreshQuery();
    EXPECT_FALSE(m_picker->ListComplete());
    EXPECT_EQ(codes().size(), 6); // a page and the row that says there is more
    m_picker->edSpeed->setText(QStringLiteral("cgf"));
    EXPECT_EQ(codes(), QStringList{"ZK0002"});
    m_picker->edSpeed->setText(QStringLiteral("A"));
    EXPECT_EQ(codes(), (QStringList{"BG0001", "BG0002"}));
    m_picker->edSpeed->clear();
    EXPECT_EQ(codes().size(), 6);
    m_picker->edSpeed->setText(QStringLiteral("_")); // a letter, not a wildcard: the whole list is read
    EXPECT_TRUE(codes().isEmpty());
    EXPECT_TRUE(m_picker->ListComplete());
    m_picker->edSpeed->clear();
    EXPECT_EQ(codes().size(), total);

    m_picker->RefreshQuery();
    EXPECT_EQ(codes().size(), 6);
    m_picker->AddAll(); // no note: reads the rest first, then fails on the first row
    EXPECT_EQ(codes().size(), total);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("添加数据出错，请重新添加！")});
}

TEST_F(PickCommodityTest, GrownBooksAreListedPageByPage)
{
    const qint64 first = notedb::growCommodities(*m_db, 1200);
    const int total = scalar(QStringLiteral("select count(*) from Commoditylth")).toInt();
    EXPECT_GT(GetNewKeyValue(QStringLiteral("Commoditylth")), first + 1199); // keys go on above them

    m_picker->resize(900, 500);
    m_picker->show();
    m_picker->SetDocument(nullptr, 0, 0);
    EXPECT_EQ(codes().size(), m_picker->PageSize + 1);
    EXPECT_FALSE(m_picker->ListComplete());
    // Scrolling to the end of the page reads the rest, keeping the row.
    m_picker->qryCommodity->SetRecNo(7);
    QScrollBar *bar = m_picker->GoodsGrid->verticalScrollBar();
    bar->setValue(bar->maximum());
    EXPECT_TRUE(m_picker->ListComplete());
    EXPECT_EQ(codes().size(), total);
    EXPECT_EQ(m_picker->qryCommodity->RecNo(), 7);
}

TEST_F(PickCommodityTest, AddingFollowsTheSkipRulesAndTheQuantity)
{
    openNote();
    m_form->muAppendDetailClick(); // an empty line waits: it takes the first commodity
    m_picker->SetDocument(m_form.get(), 0, 0);
    m_picker->OtherCondition = QStringLiteral(" and g.CODE in ('BG0003','SP0001','FW0001','ZK0001','TZ0001')");
    m_picker->RefreshQuery();
    m_picker->edQuantity->setValue(3);
    m_picker->btnAddAllClick();
    // Not a sale nor a purchase receipt: stock commodities only.
    EXPECT_EQ(lineCodes(), (QStringList{"BG0003", "SP0001"}));
    data::ClientDataSet *lines = m_form->DetailDataSet();
    lines->First();
    EXPECT_EQ(m_form->DetailValue(QStringLiteral("QUANTITY")).toDouble(), 3);

    // Without the quantity option the line keeps its own.
    m_picker->chkQuantity->setChecked(false);
    m_picker->edCode->setText(QStringLiteral("BG0003"));
    m_picker->btnAddClick();
    lines->Last();
    EXPECT_EQ(lineCodes().size(), 3);
    EXPECT_EQ(m_form->DetailValue(QStringLiteral("QUANTITY"), 0).toDouble(), 0);
    EXPECT_TRUE(errors().isEmpty()) << shownText();

    // The same window known as a sale, then as a purchase receipt and a price change.
    struct Case {
        const char *form, *param, *value;
        QStringList taken;
    } cases[] = {
        {"SaleForm", "IsSSequence", "0", {"FW0001", "ZK0001"}},
        {"SaleForm", "IsSSequence", "1", {"BG0003", "FW0001", "SP0001", "ZK0001"}},
        {"PBuyForm", "IsPSequence", "0", {"FW0001", "ZK0001"}},
        {"PValueForm", "IsPSequence", "0", {"BG0003", "FW0001", "SP0001", "ZK0001"}},
        {"ChgPriceForm", "IsPSequence", "0", {"BG0003"}},
    };
    m_picker->edCode->clear();
    for (const Case &c : cases) {
        m_form->setObjectName(QString::fromLatin1(c.form));
        setParam(QString::fromLatin1(c.param), QString::fromLatin1(c.value));
        QStringList taken;
        m_picker->qryCommodity->First();
        for (; !m_picker->qryCommodity->Eof(); m_picker->qryCommodity->Next()) {
            data::ClientDataSet *q = m_picker->qryCommodity;
            if (m_picker->CanTake(int(q->FieldByName(QStringLiteral("KIND"))->AsInteger()),
                                  int(q->FieldByName(QStringLiteral("COSTTYPE"))->AsInteger())))
                taken << q->FieldByName(QStringLiteral("COMMODITYCODE"))->AsString();
        }
        EXPECT_EQ(taken, c.taken) << c.form << " " << c.value;
    }

    // A note that may not be edited takes nothing.
    m_form->SetReadOnly(true);
    m_picker->btnAddAllClick();
    EXPECT_EQ(lineCodes().size(), 3);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("添加数据出错，请重新添加！")});
}

TEST_F(PickCommodityTest, KeyboardFromTheFilterToTheNoteAndThePickCallOnTheNotesStore)
{
    openNote();
    m_picker->SetDocument(m_form.get(), 0, 0);
    testsupport::showActive(m_picker.get());
    ASSERT_EQ(QApplication::focusWidget(), m_picker->edCode);
    QTest::keyClicks(m_picker->edCode, QStringLiteral("BG000"));
    QTest::keyClick(m_picker->edCode, Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), m_picker->GoodsGrid);
    QTest::keyClick(m_picker->GoodsGrid, Qt::Key_Down);
    EXPECT_EQ(m_picker->qryCommodity->FieldByName(QStringLiteral("COMMODITYCODE"))->AsString(), QStringLiteral("BG0002"));
    QTest::keyClick(m_picker->GoodsGrid, Qt::Key_Return);
    EXPECT_EQ(lineCodes(), QStringList{"BG0002"});
    EXPECT_TRUE(m_picker->isVisible());
    QTest::keyClick(m_picker->GoodsGrid, Qt::Key_Escape);
    EXPECT_FALSE(m_picker->isVisible());

    // note_Call "PICK" opens it on the note's store.
    openNote();
    m_form->MasterDataSource()->SetFieldValue(m_form->MasterDataSet()->FieldByName(QStringLiteral("BUILDINGID")), 1);
    auto *combo = new QObject(m_form.get());
    combo->setProperty("dataSource", QVariant::fromValue<QObject *>(m_form->MasterDataSource()));
    QString label;
    m_modal.setHandler([&](QWidget *w) {
        auto *picker = qobject_cast<TPickCommodityForm *>(w);
        EXPECT_NE(picker, nullptr);
        if (!picker)
            return 2;
        label = picker->lbStore->text();
        picker->edCode->setText(QStringLiteral("DZ0001"));
        picker->OkBtnClick();
        return picker->result();
    });
    QnParams p;
    p.AddValue(QStringLiteral("AProDBLookupGridCombo"), QnVariant(combo));
    EXPECT_EQ(note_Call(QStringLiteral("PICK"), QStringLiteral("COMMODITY"), &p), 0);
    ASSERT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(m_modal.records()[0].title, QStringLiteral("选择货品"));
    EXPECT_EQ(m_modal.records()[0].result, 1);
    EXPECT_EQ(label, QStringLiteral("当前仓库:") + scalar(QStringLiteral("select NAME from storelth where BUILDINGID=1")).toString());
    EXPECT_EQ(lineCodes(), QStringList{"DZ0001"});

    // For looking at by eye.
    m_picker->SetDocument(m_form.get(), 1, 0);
    m_picker->show();
    EXPECT_TRUE(testsupport::saveShot(m_picker.get(), QStringLiteral("pick_commodity")));
}

} // namespace
