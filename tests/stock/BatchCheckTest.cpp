// The audit centre: notes of every type listed in date order, a batch audited
// and un-audited through the postings, the period rule blocking the whole
// batch, a note's own audit rule stopping at that note, and a note audited
// meanwhile left alone, a refused posting stopping the batch at its note, the
// cancel stopping it before the next, missing rights stopping at their note.

#include "BatchCheckForm.h"
#include "StockFixture.h"

#include <QComboBox>
#include <QDateEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

class BatchCheckTest : public stocktest::StockTest<TMDnoteForm> {
protected:
    void SetUp() override
    {
        StockTest::SetUp();
        m_center = std::make_unique<TBatchCheckForm>();
    }
    void TearDown() override
    {
        m_center.reset();
        StockTest::TearDown();
    }
    // An entered independent stock-in of 2 pens into store 1 on day `day` of the period.
    qint64 stockIn(int day, const char *code, int emp = 8)
    {
        // The key from the counter the type's loans share.
        const qint64 id = GetNewKeyValue(QStringLiteral("OtherInith"));
        sql(QStringLiteral("insert into OtherInithdetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, AMOUNT) values "
                           "(%1, 1, (select COMMODITYID from Commoditylth where CODE='BG0003'), 2, 1.5, 3)").arg(id));
        sql(QStringLiteral("insert into OtherInith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID) "
                           "values (%1, 1, 0, '%2', '%3', 1, %4, 1)")
                .arg(id).arg(QLatin1String(code)).arg(GetFirstDayOfPosMonth().addDays(day - 1).toString(Qt::ISODate)).arg(emp));
        return id;
    }
    QStringList listed()
    {
        m_center->btnQueryClick();
        QStringList codes;
        data::ClientDataSet *n = m_center->cdsNotes;
        for (int r = 0; r < n->RecordCount(); ++r)
            codes << n->ValueAt(r, n->FieldByName(QStringLiteral("NOTECODE"))->Index()).toString();
        return codes;
    }
    std::unique_ptr<TBatchCheckForm> m_center;
};

TEST_F(BatchCheckTest, ABatchOfEveryTypeIsAuditedAndUnauditedThroughThePostings)
{
    const qint64 a = stockIn(3, "RK-B");
    const qint64 b = stockIn(2, "RK-A");
    const qint64 c = writeInOut(0, 1, 22, 2, 1, {{"BG0005", 4, 12}}); // made by the system
    sql(QStringLiteral("update iostoreith set NOTEDATE='%1', EMPID=8 where NOTEID=%2").arg(GetFirstDayOfPosMonth().toString(Qt::ISODate)).arg(c));
    EXPECT_TRUE(m_center->NoteTypes().contains(21) && m_center->NoteTypes().contains(22));
    EXPECT_FALSE(m_center->NoteTypes().contains(73));
    // 周晓东's notes of every type, in date order.
    m_center->cmbEmploy->setCurrentIndex(m_center->cmbEmploy->findData(8));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("CRK-%1").arg(c), QStringLiteral("RK-A"), QStringLiteral("RK-B")}));

    m_center->cmbNoteType->setCurrentIndex(m_center->cmbNoteType->findData(22));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("RK-A"), QStringLiteral("RK-B")}));
    m_center->cmbNoteType->setCurrentIndex(0);
    listed();
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList());
    for (const auto &[table, id] : {std::pair{"OtherInith", a}, {"OtherInith", b}, {"iostoreith", c}})
        EXPECT_EQ(state(table, id), 1) << table << id;
    EXPECT_EQ(flows(22, a), QStringLiteral("1:1:2:1.5"));
    EXPECT_EQ(flows(21, c), QStringLiteral("2:1:4:12"));
    EXPECT_EQ(scalar(QStringLiteral("select CHKORID from OtherInith where NOTEID=%1").arg(a)).toInt(), kDemoAdmin);

    // The audited ones, un-audited together, latest first: the postings go,
    // until the system-made note's own window refuses it.
    m_center->rbChecked->setChecked(true);
    EXPECT_EQ(m_center->btnCheck->text(), QStringLiteral("反审核"));
    listed();
    EXPECT_EQ(m_center->BatchCheck(), 0) << "nothing ticked";
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("机制出入库单不能反审核！")});
    EXPECT_EQ(shown().last(), QStringLiteral("共反审核了2张单据。"));
    for (const qint64 id : {a, b}) {
        EXPECT_EQ(state("OtherInith", id), 0) << err();
        EXPECT_EQ(flows(22, id), QString());
    }
    EXPECT_EQ(state("iostoreith", c), 1);
    EXPECT_EQ(flows(21, c), QStringLiteral("2:1:4:12"));
}

TEST_F(BatchCheckTest, APreviousPeriodBlocksTheBatchAndANotesOwnRuleStopsAtThatNote)
{
    // Stock in/out notes on days 1, 2 and 3; the second one's employee has left.
    const qint64 good = writeInOut(0, 1, 22, 1, 0, {{"BG0003", 1, 1.5}});
    const qint64 closedEmployee = writeInOut(0, 1, 22, 1, 0, {{"BG0003", 1, 1.5}});
    const qint64 late = writeInOut(0, 1, 22, 1, 0, {{"BG0003", 1, 1.5}});
    const QDate first = GetFirstDayOfPosMonth();
    const auto date = [this](qint64 id, const QDate &d) {
        sql(QStringLiteral("update iostoreith set NOTEDATE='%1' where NOTEID=%2").arg(d.toString(Qt::ISODate)).arg(id));
    };
    date(good, first);
    date(closedEmployee, first.addDays(1));
    date(late, first.addDays(-1)); // the month before
    // Made by the clerk (张伟), so only they are listed.
    sql(QStringLiteral("update iostoreith set OPERATEID=2 where NOTEID in (%1, %2, %3)").arg(good).arg(closedEmployee).arg(late));
    sql(QStringLiteral("update iostoreith set EMPID=9 where NOTEID=%1").arg(closedEmployee));
    m_center->cmbNoteType->setCurrentIndex(m_center->cmbNoteType->findData(21));
    m_center->cmbOperator->setCurrentIndex(m_center->cmbOperator->findData(2));
    m_center->edStartDate->setDate(first.addMonths(-1));
    ASSERT_EQ(listed().size(), 3);
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 0);
    EXPECT_EQ(lastError(), QStringLiteral("单据[CRK-%1]的日期在本业务期间之前,不能对其进行审核或反审核.").arg(late));
    EXPECT_EQ(state("iostoreith", good), 0) << "nothing written";

    // Without it, the first is audited and the closed employee's note stops the batch.
    m_center->edStartDate->setDate(first);
    ASSERT_EQ(listed().size(), 2);
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("此单员工已经被停用不能审核。"));
    EXPECT_EQ(state("iostoreith", good), 1);
    EXPECT_EQ(state("iostoreith", closedEmployee), 0);

    // A note audited meanwhile does not change again.
    sql(QStringLiteral("update iostoreith set EMPID=5 where NOTEID=%1").arg(closedEmployee));
    listed();
    m_center->btnSelectClick();
    sql(QStringLiteral("update iostoreith set NOTESTATE=1, CHKORID=2 where NOTEID=%1").arg(closedEmployee));
    EXPECT_EQ(m_center->BatchCheck(), 0);
    EXPECT_EQ(scalar(QStringLiteral("select CHKORID from iostoreith where NOTEID=%1").arg(closedEmployee)).toInt(), 2);

    m_center->edStartDate->setDate(GetLastDayOfPosMonth().addDays(1));
    m_center->btnQueryClick();
    EXPECT_EQ(lastError(), QStringLiteral("开始日期不能大于结束日期!"));
}

TEST_F(BatchCheckTest, ALoanIsListedWithTheIndependentNotesOfItsTypeAndAuditedByItsOwnWindowsRules)
{
    // An independent stock-out and two lendings, all type 23, keys from the one counter.
    auto write = [this](const char *table, const char *code, int emp) {
        const qint64 id = GetNewKeyValue(QLatin1String(table));
        sql(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT) values "
                           "(%2, 1, (select COMMODITYID from Commoditylth where CODE='BG0003'), 1, 1.5, 1.5, 1.5)")
                .arg(QLatin1String(table)).arg(id));
        sql(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID) "
                           "values (%2, 1, 0, '%3', '%4', 1, %5, 2)")
                .arg(QLatin1String(table)).arg(id).arg(QLatin1String(code)).arg(GetFirstDayOfPosMonth().toString(Qt::ISODate)).arg(emp));
        return id;
    };
    const qint64 special = write("OtherOutith", "CK-1", 5);
    const qint64 lent = write("BrowOut", "JC-1", 5);
    const qint64 closed = write("BrowOut", "JC-2", 9); // the employee has left
    m_center->cmbNoteType->setCurrentIndex(m_center->cmbNoteType->findData(23));
    m_center->cmbOperator->setCurrentIndex(m_center->cmbOperator->findData(2));
    ASSERT_EQ(listed(), (QStringList{QStringLiteral("CK-1"), QStringLiteral("JC-1"), QStringLiteral("JC-2")}));
    data::ClientDataSet *n = m_center->cdsNotes;
    EXPECT_EQ(n->ValueAt(0, n->FieldByName(QStringLiteral("NOTETYPENAME"))->Index()).toString(), QStringLiteral("独立出仓单"));
    EXPECT_EQ(n->ValueAt(1, n->FieldByName(QStringLiteral("NOTETYPENAME"))->Index()).toString(), QStringLiteral("借出单"));
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 2);
    EXPECT_EQ(lastError(), QStringLiteral("此单员工已经被停用不能审核。")) << "the lending's own rule stops at it";
    EXPECT_EQ(state("OtherOutith", special), 1);
    EXPECT_EQ(state("BrowOut", lent), 1);
    EXPECT_EQ(state("BrowOut", closed), 0);
    for (const qint64 id : {special, lent})
        EXPECT_EQ(flows(23, id).section(u':', 0, 2), QStringLiteral("1:-1:1")) << id << ": each posted once, apart";
    // The list of every note knows each one's table and form.
    EXPECT_EQ(scalar(QStringLiteral("select group_concat(MASTERTABLE || ':' || FORMNAME, ' ') from (select * from allnote "
                                    "where NOTETYPE=23 and NOTEID in (%1, %2) order by NOTECODE)").arg(special).arg(lent))
                  .toString(),
              QStringLiteral("OtherOutith:SpecialOutForm BrowOut:BrowOutForm"));
}

TEST_F(BatchCheckTest, ARefusedPostingLeavesItsNoteAsItWasAndStopsTheBatchAndTheCancelStopsBeforeTheNextNote)
{
    const qint64 a = stockIn(1, "RK-A"), b = stockIn(2, "RK-B"), c = stockIn(3, "RK-C");
    sql(QStringLiteral("update OtherInithdetail set COMMODITYID=99999 where NOTEID=%1").arg(b)); // goods that are gone
    m_center->cmbNoteType->setCurrentIndex(m_center->cmbNoteType->findData(22));
    m_center->edEndDate->setDate(GetFirstDayOfPosMonth().addDays(2));
    ASSERT_EQ(listed().size(), 3);
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("单据[RK-B]：单据[RK-B]第1行的货品(ID 99999)不存在,不能审核。")});
    EXPECT_EQ(shown().last(), QStringLiteral("共审核了1张单据。"));
    EXPECT_EQ(state("OtherInith", a), 1);
    EXPECT_EQ(flows(22, a), QStringLiteral("1:1:2:1.5"));
    for (const qint64 id : {b, c}) {
        EXPECT_EQ(state("OtherInith", id), 0);
        EXPECT_EQ(flows(22, id), QString());
    }
    EXPECT_TRUE(m_center->btnCheck->isEnabled() && m_center->btnCancel->isHidden()) << "usable again";

    // Cancelled while the first note is shown done: the rest stay waiting.
    sql(QStringLiteral("update OtherInithdetail set COMMODITYID=(select COMMODITYID from Commoditylth where CODE='BG0003') "
                       "where NOTEID=%1").arg(b));
    sql(QStringLiteral("update OtherInith set NOTESTATE=0, CHKORID=null where NOTEID=%1").arg(a));
    ASSERT_EQ(listed().size(), 3);
    m_center->btnSelectClick();
    QObject::connect(m_center->ProgressBar, &QProgressBar::valueChanged, m_center.get(), [this](int done) {
        EXPECT_TRUE(!m_center->btnCancel->isHidden() && !m_center->btnCheck->isEnabled());
        if (done == 1)
            m_center->btnCancel->click();
    });
    EXPECT_EQ(m_center->BatchCheck(), 1);
    EXPECT_EQ(m_center->ProgressBar->text(), QStringLiteral("1/3  RK-A"));
    EXPECT_EQ(state("OtherInith", a), 1);
    EXPECT_EQ(state("OtherInith", b), 0);
}

TEST_F(BatchCheckTest, AMissingAuditRightStopsAtItsNoteAndAnotherMakersNoteNeedsTheRightToAuditOthers)
{
    // The clerk may open and audit stock-ins, and open losses only.
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2"));
    grant(2, 2022, {1, 6});
    grant(2, 2029, {1});
    SetCurrentUser(2);
    m_center = std::make_unique<TBatchCheckForm>();
    const qint64 own = stockIn(1, "RK-A");
    const qint64 loss = GetNewKeyValue(QStringLiteral("Attaintith"));
    sql(QStringLiteral("insert into Attaintithdetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT) values "
                       "(%1, 1, (select COMMODITYID from Commoditylth where CODE='BG0003'), 1, 1.2, 1.2, 1.2)").arg(loss));
    sql(QStringLiteral("insert into Attaintith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID) "
                       "values (%1, 1, 0, 'BS-1', '%2', 1, 5, 2)").arg(loss).arg(GetFirstDayOfPosMonth().addDays(1).toString(Qt::ISODate)));
    const qint64 others = stockIn(3, "RK-C"); // the administrator's
    sql(QStringLiteral("update OtherInith set OPERATEID=2 where NOTEID=%1").arg(own));
    m_center->edEndDate->setDate(GetFirstDayOfPosMonth().addDays(2));
    ASSERT_EQ(listed(), (QStringList{QStringLiteral("RK-A"), QStringLiteral("BS-1"), QStringLiteral("RK-C")}));
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("你没有权限审核单据."));
    EXPECT_EQ(state("OtherInith", own), 1);
    EXPECT_EQ(state("Attaintith", loss), 0);

    grant(2, 2029, {6});
    ASSERT_EQ(listed().size(), 2);
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("对不起,你没有审核别人单据的权限!"));
    EXPECT_EQ(state("Attaintith", loss), 1);
    EXPECT_EQ(flows(29, loss), QStringLiteral("1:-1:1:1.2"));
    EXPECT_EQ(state("OtherInith", others), 0);
}

TEST_F(BatchCheckTest, AReceiptWhoseGoodsAStockNoteMovedIsNotUnauditedByTheMasterRowAlone)
{
    // The receipt's own rule reads the line columns of its window: lines an
    // in/out note took in (IOQTY) keep it audited.
    sql(QStringLiteral("update purchasepthDetail set IOQTY=1 where NOTEID=1 and ITEMSNO=1"));
    m_center->cmbNoteType->setCurrentIndex(m_center->cmbNoteType->findData(4));
    m_center->rbChecked->setChecked(true);
    ASSERT_TRUE(listed().contains(QStringLiteral("CGKD-%1-0001").arg(GetFirstDayOfPosMonth().toString(QStringLiteral("yyyy-MM")))));
    data::ClientDataSet *n = m_center->cdsNotes;
    ASSERT_TRUE(n->Locate(QStringLiteral("NOTEID"), 1));
    n->Edit();
    n->FieldByName(QStringLiteral("SELECTED"))->SetValue(1);
    n->Post();
    EXPECT_EQ(m_center->BatchCheck(), 0);
    EXPECT_EQ(lastError(), QStringLiteral("该单有记录已被引用,不能反审核!"));
    EXPECT_EQ(state("purchasepth", 1), 1);
}

TEST_F(BatchCheckTest, TheNamedFunctionOpensTheAuditCentre)
{
    EXPECT_EQ(GlobalCall(QStringLiteral("BATCHCHECK"), QString(), nullptr), 0);
    QWidget *center = nullptr;
    for (QWidget *w : newWindows())
        if (w->objectName() == QLatin1String("BatchCheckForm") && w != m_center.get())
            center = w;
    ASSERT_NE(center, nullptr) << err();
    EXPECT_NE(qobject_cast<TBatchCheckForm *>(center), nullptr);
    delete center;
}

} // namespace
