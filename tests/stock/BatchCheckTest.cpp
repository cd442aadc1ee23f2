// The audit centre: notes of every type listed in date order and audited or
// un-audited through the postings; what stops the batch (the period, a note's
// own rule, a refused posting, the cancel, missing rights) and where.

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
    // An entered note of two pens in store 1, `day` days into the period.
    qint64 pens(const char *table, const char *code, int day = 0, int emp = 5, int maker = 1,
                const QList<std::pair<const char *, int>> &extra = {})
    {
        return insertNote(table, QString::fromLatin1(code), {{"BG0003", 2, 1.5}}, 0, 1, emp, maker, day, extra);
    }
    void choose(QComboBox *box, const QVariant &value) { box->setCurrentIndex(box->findData(value)); }
    // The codes listed by a query, joined by ','.
    QString listed()
    {
        m_center->btnQueryClick();
        return testsupport::valuesIn(*m_center->cdsNotes, "NOTECODE").join(u',');
    }
    // The states of notes in their tables, joined: "1,0".
    QString states(std::initializer_list<std::pair<const char *, qint64>> notes)
    {
        QStringList out;
        for (const auto &[table, id] : notes)
            out << QString::number(state(table, id));
        return out.join(u',');
    }
    // Lists, ticks every note and runs the batch; the notes done.
    int runAll()
    {
        listed();
        m_center->btnSelectClick();
        return m_center->BatchCheck();
    }
    std::unique_ptr<TBatchCheckForm> m_center;
};

TEST_F(BatchCheckTest, ABatchOfEveryTypeIsAuditedAndUnauditedThroughThePostingsByEachWindowsOwnRules)
{
    const qint64 a = pens("OtherInith", "RK-B", 2, 8), b = pens("OtherInith", "RK-A", 1, 8);
    const qint64 c = insertNote("iostoreith", QStringLiteral("CRK-%1"), {{"BG0005", 4, 12}}, 0, 2, 8, 1, 0,
                                {{"NOTETYPE", 22}, {"ISAUTO", 1}, {"SHOPERATEID", 0}}); // made by the system
    const QList<int> types = m_center->NoteTypes();
    EXPECT_TRUE(types.contains(21) && types.contains(22) && !types.contains(73));
    // Before the first query the list already shows its headings.
    EXPECT_EQ(m_center->NoteGrid->model()->headerData(2, Qt::Horizontal).toString(), "单据编号");
    // 周晓东's notes of every type, in date order; of one type.
    choose(m_center->cmbEmploy, 8);
    EXPECT_EQ(listed(), QStringLiteral("CRK-%1,RK-A,RK-B").arg(c));
    choose(m_center->cmbNoteType, 22);
    EXPECT_EQ(listed(), QStringLiteral("RK-A,RK-B"));
    m_center->cmbNoteType->setCurrentIndex(0);
    listed();
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList());
    EXPECT_EQ(states({{"OtherInith", a}, {"OtherInith", b}, {"iostoreith", c}}), QStringLiteral("1,1,1"));
    EXPECT_EQ(flows(22, a), QStringLiteral("1:1:2:1.5"));
    EXPECT_EQ(flows(21, c), QStringLiteral("2:1:4:12"));
    EXPECT_EQ(column("OtherInith", a, "CHKORID").toInt(), kDemoAdmin);

    // The audited ones, un-audited together, latest first: the postings go,
    // until the system-made note's own window refuses it.
    m_center->rbChecked->setChecked(true);
    listed();
    EXPECT_EQ(m_center->BatchCheck(), 0) << "nothing ticked";
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("机制出入库单不能反审核！")});
    EXPECT_EQ(shown().last(), QStringLiteral("共反审核了2张单据。"));
    EXPECT_EQ(states({{"OtherInith", a}, {"OtherInith", b}, {"iostoreith", c}}), QStringLiteral("0,0,1")) << err();
    EXPECT_EQ(flows(22, a) + flows(22, b), QString()) << "nothing posted";
    EXPECT_EQ(flows(21, c), QStringLiteral("2:1:4:12"));

    // The receipt's own rule reads the line columns of its window: lines an
    // in/out note took in (IOQTY) keep it audited.
    sql(QStringLiteral("update purchasepthDetail set IOQTY=1 where NOTEID=1 and ITEMSNO=1"));
    m_center->cmbEmploy->setCurrentIndex(0);
    choose(m_center->cmbNoteType, 4);
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

TEST_F(BatchCheckTest, APreviousPeriodBlocksTheBatchAndANotesOwnRuleStopsAtThatNote)
{
    // Stock in/out notes made by the clerk (张伟) on the period's first two
    // days and the day before it; the second one's employee has left.
    const auto inOut = [this](int day, int emp) {
        return pens("iostoreith", "CRK-%1", day, emp, 2, {{"NOTETYPE", 22}, {"ISAUTO", 0}, {"SHOPERATEID", 0}});
    };
    const qint64 good = inOut(0, 5), closedEmployee = inOut(1, 9), late = inOut(-1, 5);
    const QDate first = GetFirstDayOfPosMonth();
    choose(m_center->cmbNoteType, 21);
    choose(m_center->cmbOperator, 2);
    m_center->edStartDate->setDate(first.addMonths(-1));
    EXPECT_EQ(runAll(), 0);
    EXPECT_EQ(lastError(), QStringLiteral("单据[CRK-%1]的日期在本业务期间之前,不能对其进行审核或反审核.").arg(late));
    EXPECT_EQ(state("iostoreith", good), 0) << "nothing written";

    // Without it, the first is audited and the closed employee's note stops the batch.
    m_center->edStartDate->setDate(first);
    EXPECT_EQ(runAll(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("此单员工已经被停用不能审核。"));
    EXPECT_EQ(states({{"iostoreith", good}, {"iostoreith", closedEmployee}}), QStringLiteral("1,0"));

    // A note audited meanwhile does not change again.
    sql(QStringLiteral("update iostoreith set EMPID=5 where NOTEID=%1").arg(closedEmployee));
    listed();
    m_center->btnSelectClick();
    sql(QStringLiteral("update iostoreith set NOTESTATE=1, CHKORID=2 where NOTEID=%1").arg(closedEmployee));
    EXPECT_EQ(m_center->BatchCheck(), 0);
    EXPECT_EQ(column("iostoreith", closedEmployee, "CHKORID").toInt(), 2);

    m_center->edStartDate->setDate(GetLastDayOfPosMonth().addDays(1));
    m_center->btnQueryClick();
    EXPECT_EQ(lastError(), QStringLiteral("开始日期不能大于结束日期!"));
}

TEST_F(BatchCheckTest, ALoanIsListedWithTheIndependentNotesOfItsTypeAndAuditedByItsOwnWindowsRules)
{
    // An independent stock-out and two lendings, all type 23, keys from the one counter.
    const qint64 special = pens("OtherOutith", "CK-1", 0, 5, 2);
    const qint64 lent = pens("BrowOut", "JC-1", 0, 5, 2);
    const qint64 closed = pens("BrowOut", "JC-2", 0, 9, 2); // the employee has left
    choose(m_center->cmbNoteType, 23);
    choose(m_center->cmbOperator, 2);
    ASSERT_EQ(listed(), QStringLiteral("CK-1,JC-1,JC-2"));
    data::ClientDataSet *n = m_center->cdsNotes;
    const int name = n->FieldByName(QStringLiteral("NOTETYPENAME"))->Index();
    EXPECT_EQ(n->ValueAt(0, name).toString() + u',' + n->ValueAt(1, name).toString(), QStringLiteral("独立出仓单,借出单"));
    m_center->btnSelectClick();
    EXPECT_EQ(m_center->BatchCheck(), 2);
    EXPECT_EQ(lastError(), QStringLiteral("此单员工已经被停用不能审核。")) << "the lending's own rule stops at it";
    EXPECT_EQ(states({{"OtherOutith", special}, {"BrowOut", lent}, {"BrowOut", closed}}), QStringLiteral("1,1,0"));
    for (const qint64 id : {special, lent})
        EXPECT_EQ(flows(23, id).section(u':', 0, 2), QStringLiteral("1:-1:2")) << id << ": each posted once, apart";
}

TEST_F(BatchCheckTest, ARefusedPostingLeavesItsNoteAsItWasAndStopsTheBatchAndTheCancelStopsBeforeTheNextNote)
{
    const qint64 a = pens("OtherInith", "RK-A"), b = pens("OtherInith", "RK-B", 1), c = pens("OtherInith", "RK-C", 2);
    sql(QStringLiteral("update OtherInithdetail set COMMODITYID=99999 where NOTEID=%1").arg(b)); // goods that are gone
    choose(m_center->cmbNoteType, 22);
    m_center->edEndDate->setDate(GetFirstDayOfPosMonth().addDays(2));
    ASSERT_EQ(listed(), QStringLiteral("RK-A,RK-B,RK-C"));
    m_center->btnSelectClick();
    m_center->btnCheckClick();
    EXPECT_EQ(errors(), QStringList{QStringLiteral("单据[RK-B]：单据[RK-B]第1行的货品(ID 99999)不存在,不能审核。")});
    EXPECT_EQ(shown().last(), QStringLiteral("共审核了1张单据。"));
    EXPECT_EQ(flows(22, a), QStringLiteral("1:1:2:1.5"));
    EXPECT_EQ(states({{"OtherInith", b}, {"OtherInith", c}}), QStringLiteral("0,0"));
    EXPECT_EQ(flows(22, b) + flows(22, c), QString()) << "nothing posted";
    EXPECT_TRUE(m_center->btnCheck->isEnabled() && m_center->btnCancel->isHidden()) << "usable again";

    // Cancelled while the first note is shown done: the rest stay waiting.
    sql(QStringLiteral("update OtherInithdetail set COMMODITYID=%1 where NOTEID=%2").arg(goods(QStringLiteral("BG0003"))).arg(b));
    sql(QStringLiteral("update OtherInith set NOTESTATE=0, CHKORID=null where NOTEID=%1").arg(a));
    QObject::connect(m_center->ProgressBar, &QProgressBar::valueChanged, m_center.get(), [this](int done) {
        EXPECT_TRUE(!m_center->btnCancel->isHidden() && !m_center->btnCheck->isEnabled());
        if (done == 1)
            m_center->btnCancel->click();
    });
    EXPECT_EQ(runAll(), 1);
    EXPECT_EQ(m_center->ProgressBar->text(), QStringLiteral("1/3  RK-A"));
    EXPECT_EQ(states({{"OtherInith", a}, {"OtherInith", b}}), QStringLiteral("1,0"));
}

TEST_F(BatchCheckTest, AMissingAuditRightStopsAtItsNoteAndAnotherMakersNoteNeedsTheRightToAuditOthers)
{
    // The clerk may open and audit stock-ins, and open losses only.
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2"));
    grant(2, 2022, {1, 6});
    grant(2, 2029, {1});
    SetCurrentUser(2);
    m_center = std::make_unique<TBatchCheckForm>();
    const qint64 own = pens("OtherInith", "RK-A", 0, 5, 2);
    const qint64 loss = pens("Attaintith", "BS-1", 1, 5, 2);
    const qint64 others = pens("OtherInith", "RK-C", 2); // the administrator's
    m_center->edEndDate->setDate(GetFirstDayOfPosMonth().addDays(2));
    EXPECT_EQ(listed(), QStringLiteral("RK-A,BS-1,RK-C"));
    EXPECT_EQ(runAll(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("你没有权限审核单据."));
    EXPECT_EQ(states({{"OtherInith", own}, {"Attaintith", loss}}), QStringLiteral("1,0"));

    grant(2, 2029, {6});
    EXPECT_EQ(runAll(), 1);
    EXPECT_EQ(lastError(), QStringLiteral("对不起,你没有审核别人单据的权限!"));
    EXPECT_EQ(states({{"Attaintith", loss}, {"OtherInith", others}}), QStringLiteral("1,0"));
    EXPECT_EQ(flows(29, loss), QStringLiteral("1:-1:2:1.5"));
}

} // namespace
