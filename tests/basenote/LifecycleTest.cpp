// The window's construction, blank and loaded notes, init mode, navigation,
// window messages, unsaved-changes handling, closing and the form size.

#include "BasenoteFixture.h"

#include "NoteMessages.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

using namespace basenotetest;

namespace {

// Stands in for the host's navigator: counts what it is told.
class FakeNavigator : public QWidget {
    Q_OBJECT
public:
    FakeNavigator() { setObjectName(QStringLiteral("NavigatorForm")); }
    Q_INVOKABLE long noteMessage(int message, qlonglong wParam, qlonglong)
    {
        messages << message;
        lastWindow = wParam;
        return 0;
    }
    QList<int> messages;
    qlonglong lastWindow = 0;
};

} // namespace

TEST_F(BasenoteTest, ConstructionLogsAndShowsPartsByTheBooksSettings)
{
    m_form.reset(CreateNoteForm<TTestMoveForm>());
    for (auto *b : m_form->findChildren<QPushButton *>())
        EXPECT_TRUE(b->shortcut().isEmpty()) << b->objectName().toStdString() << ": the form's actions own the keys";
    EXPECT_TRUE(m_form->findChild<QAction *>(QStringLiteral("FindnoteItem"))->isVisible());
    // The credit number only with accounting linked.
    EXPECT_TRUE(m_form->findChild<QWidget *>(QStringLiteral("edCredNo"))->isHidden());
    EXPECT_TRUE(m_form->findChild<QWidget *>(QStringLiteral("lbCredNo"))->isHidden());
    const QString log = QStringLiteral("select count(*) from syslogmth where TEXT1='银行存取款单' and LOGCODE=");
    EXPECT_EQ(scalar(log + QStringLiteral("200 and CATEGORY='T' and LOGKIND='T' and NUM1=1 and NUM2=0")).toInt(), 1);
    m_form.reset();
    EXPECT_EQ(scalar(log + QStringLiteral("201")).toInt(), 1);

    // The finder only when the books are in use.
    setParam(QStringLiteral("IsStartUse"), QStringLiteral("0"));
    setParam(QStringLiteral("IsBand"), QStringLiteral("1"));
    m_form.reset(CreateNoteForm<TTestMoveForm>());
    EXPECT_FALSE(m_form->findChild<QAction *>(QStringLiteral("FindnoteItem"))->isVisible());
    EXPECT_FALSE(m_form->findChild<QWidget *>(QStringLiteral("edCredNo"))->isHidden());
    EXPECT_FALSE(m_form->findChild<QWidget *>(QStringLiteral("lbCredNo"))->isHidden());
}

TEST_F(BasenoteTest, OpenShowsBlankNumberedNoteWithDefaultsRenumberedAcrossMonths)
{
    const QString month = QStringLiteral("YHCQ-") + periodStart().toString("yyyy-MM");
    insertNote(1, 0, kAdmin, 0, month + QStringLiteral("-0007"));
    g_NewnoteTime = periodStart().addDays(4);
    TTestMoveForm *f = openForm();
    EXPECT_TRUE(f->IsNewNote());
    EXPECT_EQ(field("NOTEDATE").toDate(), periodStart().addDays(4));
    EXPECT_EQ(field("NOTECODE").toString(), month + QStringLiteral("-0008"));
    QStringList defaults;
    for (const char *name : {"NOTEID", "OPERATEID", "OPERATENAME", "NOTESTATE", "NOTEKIND", "SHOPERATEID", "REFERCOUNT"})
        defaults << field(name).toString();
    EXPECT_EQ(defaults.join(u'|'), QStringLiteral("-9999|1|系统管理员|0|1|0|0"));
    EXPECT_EQ(f->appendHooks, 1);
    // Nothing typed yet: no question when leaving.
    EXPECT_FALSE(f->IsNoteModified());
    EXPECT_TRUE(f->QuerySaveChanges());
    EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();
    EXPECT_FALSE(f->ReadOnly());
    EXPECT_TRUE(f->findChild<QWidget *>(QStringLiteral("spAbate"))->isHidden());
    EXPECT_EQ(f->findChild<QLabel *>(QStringLiteral("lbShoperatename"))->text(), QStringLiteral("机构名称  总部"));

    // Another date renumbers only in another month, and again on coming back.
    setField("NOTEDATE", periodStart().addDays(9));
    EXPECT_EQ(field("NOTECODE").toString(), month + QStringLiteral("-0008"));
    setField("NOTEDATE", periodStart().addMonths(1).addDays(2));
    EXPECT_EQ(field("NOTECODE").toString(), QStringLiteral("YHCQ-") + periodStart().addMonths(1).toString("yyyy-MM") + "-0001");
    setField("NOTEDATE", periodStart().addDays(1));
    EXPECT_EQ(field("NOTECODE").toString(), month + QStringLiteral("-0008"));
    // The employee brings the department (except plans).
    setField("EMPID", 2);
    EXPECT_EQ(field("DEPID").toInt(), 2);
    setField("EMPID", QVariant());
    EXPECT_TRUE(field("DEPID").isNull());

    // A working date before the business month: the month's first day.
    g_NewnoteTime = periodStart().addMonths(-2);
    m_messages.answer(AnswerNo); // the typed note is dropped
    f->NewNote();
    EXPECT_EQ(field("NOTEDATE").toDate(), periodStart());
}

TEST_F(BasenoteTest, NavigationUsesBoundsAndOthersNotesPrivilege)
{
    for (int id : {5, 7, 9})
        insertNote(id);
    insertNote(8, 0, kClerk);
    insertNote(-1, -1); // an init note: never in normal navigation
    TTestMoveForm *f = openForm();
    // No prior before the first: stay. After the last a blank new note (edit
    // right on the type's item); "前单" on it goes to the last.
    using Step = bool (TTestMoveForm::*)();
    const std::pair<Step, int> walk[] = {
        {&TTestMoveForm::FirstNote, 5}, {&TTestMoveForm::PriorNote, 5}, {&TTestMoveForm::NextNote, 7},
        {&TTestMoveForm::NextNote, 8},  {&TTestMoveForm::LastNote, 9},  {&TTestMoveForm::NextNote, TBasenoteForm::kNewNoteID},
        {&TTestMoveForm::PriorNote, 9}, {&TTestMoveForm::PriorNote, 8}};
    for (const auto &[step, id] : walk) {
        (f->*step)();
        EXPECT_EQ(f->CurrentNoteID(), id);
    }

    // The clerk without 2091 sees only own notes; locating another's gives a blank.
    asClerk();
    insertNote(3, 0, kClerk);
    f = openForm();
    EXPECT_EQ(f->FirstNoteID(), 3);
    EXPECT_EQ(f->LastNoteID(), 8);
    EXPECT_EQ(f->NextNoteID(3), 8);
    EXPECT_EQ(f->PriorNoteID(8), 3);
    EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTELOCATE, 0, 9), pk_note::S_OK);
    EXPECT_TRUE(f->IsNewNote());
    EXPECT_EQ(field("OPERATEID").toInt(), kClerk);
    // Without the edit right on the type's item, "后单" on the last note reloads it.
    f->LoadNote(8);
    setField("PURPOSE", QStringLiteral("改过"));
    m_messages.answer(AnswerNo); // discard
    f->NextNote();
    EXPECT_EQ(f->CurrentNoteID(), 8);
    EXPECT_EQ(field("PURPOSE").toString(), QStringLiteral("备用金"));
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNoCancel), QStringList{QStringLiteral("数据没有保存，保存数据？")});
    // With 2091 the others' notes are in the walk.
    grant(kClerk, 2091, {5});
    EXPECT_EQ(f->LastNoteID(), 9);
    EXPECT_EQ(f->NextNoteID(3), 5);
}

TEST_F(BasenoteTest, InitModeKeysCaptionsAndNavigator)
{
    FakeNavigator nav;
    nav.show();
    atStartPeriod(false); // init notes are entered only there
    TTestMoveForm *f = openForm(true);
    EXPECT_TRUE(f->InitMode());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("银行存取款单初始化"));
    EXPECT_EQ(f->findChild<QLabel *>(QStringLiteral("lblTitle"))->text(), QStringLiteral("银行存取款单初始化"));
    EXPECT_FALSE(f->findChild<QWidget *>(QStringLiteral("DateDBEdit"))->isEnabled());
    EXPECT_EQ(nav.messages, QList<int>{pk_note::NM_NOTEFORMCHANGED});
    EXPECT_EQ(nav.lastWindow, qlonglong(reinterpret_cast<qintptr>(f)));
    EXPECT_EQ(field("NOTEDATE").toDate(), GetFirstDayOfPosMonth().addDays(-1));

    // Init notes take keys below zero.
    for (int key : {-1, -2}) {
        if (key != -1)
            f->NewNote();
        fill(f, 500);
        ASSERT_TRUE(f->SaveNote()) << shown().join('|').toStdString();
        EXPECT_EQ(f->CurrentNoteID(), key);
    }
    EXPECT_EQ(count("NOTEID in (-1, -2)"), 2);
    // "第一单" is the key nearest to zero; "后单" walks away from it.
    f->FirstNote();
    EXPECT_EQ(f->CurrentNoteID(), -1);
    f->NextNote();
    EXPECT_EQ(f->CurrentNoteID(), -2);
    EXPECT_EQ(f->LastNoteID(), -2);

    // Switching back to normal mode tells the navigator again; unchanged mode does not.
    f->SetInitMode(false);
    f->SetInitMode(false);
    EXPECT_EQ(nav.messages.size(), 2);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("银行存取款单"));

    // Past the start period, "新增" in init mode shows the latest init note.
    setParam(QStringLiteral("PosMonth"), QString::number(LookupSysParam(QStringLiteral("StartMonth")).toInt() % 12 + 1));
    if (LookupSysParam(QStringLiteral("PosMonth")) == QLatin1String("1"))
        setParam(QStringLiteral("PosYear"), QString::number(LookupSysParam(QStringLiteral("PosYear")).toInt() + 1));
    f->SetInitMode(true);
    f->NewNote();
    EXPECT_EQ(f->CurrentNoteID(), -2);
    EXPECT_TRUE(f->ReadOnly()) << "an init note outside the start period cannot be changed";
}

TEST_F(BasenoteTest, WindowMessagesOpenLocateRefreshAndRefuse)
{
    insertNote(4);
    insertNote(6);
    m_form.reset(CreateNoteForm<TTestMoveForm>());
    TTestMoveForm *f = m_form.get();
    EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTELOCATE, 0, 4), pk_note::S_OK);
    EXPECT_EQ(f->CurrentNoteID(), 4);
    sql(QStringLiteral("update testnoteath set PURPOSE='外部修改' where NOTEID=4"));
    EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTEREFRESH, 0, 0), pk_note::S_OK);
    EXPECT_EQ(field("PURPOSE").toString(), QStringLiteral("外部修改"));

    // Browse only: the latest note. Neither: refused with the message.
    asClerk({1});
    grant(kClerk, 2091, {5});
    f = openForm();
    EXPECT_EQ(f->CurrentNoteID(), 6);
    EXPECT_TRUE(f->ReadOnly());
    EXPECT_FALSE(f->findChild<QAction *>(QStringLiteral("muDelete"))->isEnabled());
    m_form.reset();
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2 and PRIVILEGEID=2053"));
    m_form.reset(CreateNoteForm<TTestMoveForm>());
    EXPECT_EQ(pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::E_FAIL);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("对不起,你没有编辑和浏览的权限.")});
}

TEST_F(BasenoteTest, UnsavedChangesAreSavedOrDiscardedAndAFailedSaveKeepsTheWindow)
{
    insertNote(4);
    TTestMoveForm *f = openForm();
    f->show();
    f->LoadNote(4);
    setField("PURPOSE", QStringLiteral("差旅借款"));
    EXPECT_TRUE(f->IsNoteModified());
    // Cancel discards too and goes on.
    m_messages.answer(AnswerCancel);
    f->muRefreshClick();
    EXPECT_EQ(field("PURPOSE").toString(), QStringLiteral("备用金"));
    EXPECT_EQ(scalar(QStringLiteral("select PURPOSE from testnoteath where NOTEID=4")).toString(), QStringLiteral("备用金"));
    // Yes saves.
    setField("PURPOSE", QStringLiteral("差旅借款"));
    m_messages.answer(AnswerYes);
    f->muRefreshClick();
    EXPECT_EQ(scalar(QStringLiteral("select PURPOSE from testnoteath where NOTEID=4")).toString(), QStringLiteral("差旅借款"));
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNoCancel).size(), 2);
    EXPECT_FALSE(f->IsNoteModified());

    // Closing: Yes with a save the kind refuses keeps the window open.
    f->NewNote();
    setField("OUTACCOUNTID", 1);
    setField("INACCOUNTID", 1); // refused by the kind's rule
    setField("AMOUNT", 10);
    m_messages.answer(AnswerYes);
    EXPECT_FALSE(f->close());
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(errors(), QStringList{QStringLiteral("付款帐户不能和收款帐户一样.")});
    // Any other answer discards and closes.
    m_messages.answer(AnswerNo);
    EXPECT_TRUE(f->close());
    EXPECT_EQ(count(), 1);
    // Forced close never asks.
    f->show();
    f->NewNote();
    setField("AMOUNT", 10);
    g_bForceCloseForm = true;
    m_messages.clear();
    EXPECT_TRUE(f->close());
    EXPECT_TRUE(m_messages.records().isEmpty());
    g_bForceCloseForm = false;
}

TEST_F(BasenoteTest, FormSizeIsRememberedPerClass)
{
    TTestMoveForm *f = openForm();
    f->show();
    f->setGeometry(40, 50, 700, 520);
    EXPECT_TRUE(f->close()); // closing saves the size, while the kind is whole
    EXPECT_EQ(ReadIni(QStringLiteral("System.ini"), QStringLiteral("FORMSIZE"), QStringLiteral("BASENOTETEST::TTESTMOVEFORM::WIDTH")),
              QStringLiteral("700"));
    EXPECT_EQ(ReadIni(QStringLiteral("System.ini"), QStringLiteral("FORMSIZE"), QStringLiteral("BASENOTETEST::TTESTMOVEFORM::HEIGHT")),
              QStringLiteral("520"));
    f = openForm();
    f->show(); // first activation reads it
    EXPECT_EQ(f->size(), QSize(700, 520));
}

#include "LifecycleTest.moc"

namespace {

// A kind that records which of its overrides the framework reached.
class TObservedKind : public TTestMoveForm {
public:
    QStringList calls;
    void UpdateCredNoControls() override { calls << QStringLiteral("UpdateCredNoControls"); }
    void OpenOperatorLookup() override
    {
        TTestMoveForm::OpenOperatorLookup();
        m_LookupNames << QStringLiteral("qrySupplier"); // as the purchase kinds add theirs
        calls << QStringLiteral("OpenOperatorLookup");
    }
    void SaveFormSize() override { calls << QStringLiteral("SaveFormSize"); }
};

} // namespace

TEST_F(BasenoteTest, ConstructionAndClosingReachTheKindsOverrides)
{
    std::unique_ptr<TObservedKind> kind(CreateNoteForm<TObservedKind>());
    EXPECT_EQ(kind->calls, (QStringList{QStringLiteral("UpdateCredNoControls"), QStringLiteral("OpenOperatorLookup")}));
    EXPECT_TRUE(kind->LookupNames().contains(QStringLiteral("qrySupplier")));
    kind->InitializeForm(); // a second call changes nothing
    EXPECT_EQ(kind->calls.size(), 2);
    ASSERT_EQ(pk_note::SendNoteMessage(kind.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
    kind->show();
    kind->calls.clear();
    EXPECT_TRUE(kind->close());
    EXPECT_EQ(kind->calls, QStringList{QStringLiteral("SaveFormSize")});
}
