// The message protocol between note_Call and a document window, against a
// test window the host creates through a real factory.

#include "PackageFixture.h"

#include "NoteMessages.h"
#include "Noteboot.h"
#include "Pk_note_itf.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace pkgtest {
namespace {

struct Received {
    QString form;
    int message;
    qlonglong wParam, lParam;
    bool visible;
};

class TestNoteForm : public TnoteBootForm {
public:
    explicit TestNoteForm(const QString &name, QWidget *owner) : TnoteBootForm(name, owner) { ++created; }
    long noteMessage(int message, qlonglong wParam, qlonglong lParam) override
    {
        TnoteBootForm::noteMessage(message, wParam, lParam);
        log.push_back({objectName(), message, wParam, lParam, isVisible()});
        return answer;
    }
    static inline int created = 0;
    static inline long answer = 0;
    static inline QVector<Received> log;
};

class WindowProtocolTest : public PackageTest {
protected:
    void SetUp() override
    {
        PackageTest::SetUp();
        TestNoteForm::created = 0;
        TestNoteForm::answer = 0;
        TestNoteForm::log.clear();
    }
    // The host knows the form under `name` (and `id`) with the test window's factory.
    void registerForm(const QString &name, int id)
    {
        RegisterPrivilegedForm(name, [name](QWidget *owner) { return new TestNoteForm(name, owner); }, id);
    }
    // note_Call("LOCATENOTE") (named `function`, in any case) for note `id` of `type`.
    long locate(int type, qint64 id, bool modal = false, const char *function = "LOCATENOTE")
    {
        QnParams p = params({{"NOTETYPE", type}, {"NOTEID", QnVariant(id)}});
        if (modal)
            p.AddValue(QStringLiteral("SHOWMODAL"), true);
        return call(QString::fromLatin1(function), QString(), &p);
    }
    // Entry `i` of the log (the last for -1) is `message` with its parameters.
    static void expectLog(int i, int message, qlonglong wParam, qlonglong lParam)
    {
        ASSERT_LT(i, TestNoteForm::log.size());
        const Received &r = TestNoteForm::log[i < 0 ? TestNoteForm::log.size() - 1 : i];
        EXPECT_EQ(QList<qlonglong>({r.message, r.wParam, r.lParam}), QList<qlonglong>({message, wParam, lParam}));
    }
};

TEST_F(WindowProtocolTest, ShowNoteFormOpensOnceAndReusesTheOpenWindow)
{
    registerForm(QStringLiteral("PBuyForm"), 2004);
    EXPECT_EQ(call(QStringLiteral("shownoteform"), QStringLiteral("pbuyform")), 0);
    QWidget *w = FindOpenForm(QStringLiteral("PBUYFORM"));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
    expectLog(0, pk_note::NM_NOTEOPEN, 0, 0);
    EXPECT_FALSE(TestNoteForm::log[0].visible); // asked before it is shown

    // Minimised, it is restored and asked again; no second window.
    w->showMinimized();
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PBuyForm")), 0);
    EXPECT_EQ(TestNoteForm::created, 1);
    expectLog(1, pk_note::NM_NOTEOPEN, 0, 0);
    EXPECT_FALSE(w->isMinimized());

    // A refusal of the open window frees it.
    QPointer<QWidget> guard(w);
    TestNoteForm::answer = pk_note::E_FAIL;
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PBuyForm")), 0);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(FindOpenForm(QStringLiteral("PBuyForm")), nullptr);

    // A refused new window is freed unshown.
    registerForm(QStringLiteral("SaleForm"), 2014);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("SaleForm")), 0);
    ASSERT_EQ(TestNoteForm::log.size(), 4);
    EXPECT_FALSE(TestNoteForm::log[3].visible);
    EXPECT_TRUE(newWindows().isEmpty());
}

TEST_F(WindowProtocolTest, ModalWindowIsShownModallyThenFreed)
{
    registerForm(QStringLiteral("SaleForm"), 2014);
    QPointer<QWidget> shown;
    m_modal.setHandler([&](QWidget *w) {
        shown = w;
        return 1;
    });
    QnParams p = params({{"SHOWMODAL", 1}});
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("SaleForm"), &p), 0);
    ASSERT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(m_modal.records()[0].objectName, QStringLiteral("SaleForm"));
    EXPECT_TRUE(shown.isNull()); // freed after closing
    EXPECT_TRUE(newWindows().isEmpty());

    // SHOWMODAL false is the MDI path.
    p.AddValue(QStringLiteral("SHOWMODAL"), false);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("SaleForm"), &p), 0);
    EXPECT_EQ(m_modal.records().size(), 1);
    EXPECT_NE(FindOpenForm(QStringLiteral("SaleForm")), nullptr);
}

TEST_F(WindowProtocolTest, InitFormsOpenInInitModeAndAreOnlyRaisedWhenOpen)
{
    registerForm(QStringLiteral("PValueForm"), 2003);
    registerForm(QStringLiteral("DeputeMarketForm"), 2013);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("pvalueform_init")), 0);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("DeputeMarketForm_Init")), 0);
    ASSERT_EQ(TestNoteForm::log.size(), 2);
    EXPECT_EQ(TestNoteForm::log[0].form + u'|' + TestNoteForm::log[1].form, QStringLiteral("PValueForm|DeputeMarketForm"));
    expectLog(0, pk_note::NM_NOTEOPEN, 1, 0);
    expectLog(1, pk_note::NM_NOTEOPEN, 1, 0);

    // Open already: raised only, nothing asked.
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PVALUEFORM_INIT")), 0);
    EXPECT_EQ(TestNoteForm::log.size(), 2);
}

TEST_F(WindowProtocolTest, LocateNoteSendsTheIdWithInitFlag)
{
    registerForm(QStringLiteral("PNOrderForm"), 2002);

    EXPECT_EQ(locate(2, 57), 0);
    QWidget *w = FindOpenForm(QStringLiteral("PNOrderForm"));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    expectLog(0, pk_note::NM_NOTELOCATE, 0, 57);

    // An open window keeps its state for a positive id ...
    w->showMinimized();
    EXPECT_EQ(locate(2, 58, false, "locatenote"), 0);
    EXPECT_EQ(TestNoteForm::created, 1);
    expectLog(-1, pk_note::NM_NOTELOCATE, 0, 58);
    EXPECT_TRUE(w->isMinimized());

    // ... and is restored for an initialization note (negative id, init flag 1).
    EXPECT_EQ(locate(2, -3), 0);
    expectLog(-1, pk_note::NM_NOTELOCATE, 1, -3);
    EXPECT_FALSE(w->isMinimized());

    // A refused locate frees the window.
    QPointer<QWidget> guard(w);
    TestNoteForm::answer = pk_note::E_FAIL;
    EXPECT_EQ(locate(2, 59), 0);
    EXPECT_TRUE(guard.isNull());

    // A new window for a negative id, modal.
    TestNoteForm::answer = 0;
    EXPECT_EQ(locate(2, -1, true), 0);
    EXPECT_EQ(TestNoteForm::created, 2);
    expectLog(-1, pk_note::NM_NOTELOCATE, 1, -1);
    EXPECT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(FindOpenForm(QStringLiteral("PNOrderForm")), nullptr);
}

TEST_F(WindowProtocolTest, HostMdiAreaReceivesNonModalWindows)
{
    static QPointer<QMdiArea> area;
    auto *main = new QMainWindow;
    area = new QMdiArea(main);
    main->setCentralWidget(area);
    main->show();
    RegistFunction(QStringLiteral("ADDMDICHILD"), [](const QString &, const QString &, QnParams *p) -> long {
        auto *form = qobject_cast<QWidget *>(p->GetValue(QStringLiteral("FORM")).toObject());
        area->addSubWindow(form);
        p->AddValue(QStringLiteral("RESULT"), true);
        return 0;
    });
    registerForm(QStringLiteral("PayForm"), 2061);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PayForm")), 0);
    ASSERT_EQ(area->subWindowList().size(), 1);
    QWidget *w = area->subWindowList()[0]->widget();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(area->activeSubWindow(), area->subWindowList()[0]);
    // Found inside the MDI area and reused.
    EXPECT_EQ(FindOpenForm(QStringLiteral("payform")), w);
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PayForm")), 0);
    EXPECT_EQ(TestNoteForm::created, 1);
    // A refusal takes the MDI frame along.
    TestNoteForm::answer = pk_note::E_FAIL;
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PayForm")), 0);
    EXPECT_TRUE(area->subWindowList().isEmpty());
    delete main;
}

} // namespace
} // namespace pkgtest
