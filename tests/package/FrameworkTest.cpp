// TnoteBootForm, window messages to the navigator, and InforBox.

#include "PackageFixture.h"

#include "InforBox.h"
#include "NoteMessages.h"
#include "Noteboot.h"
#include "Pk_note_itf.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

namespace pkgtest {
namespace {

// Stands in for the host's navigator: only the invokable handler, no package class.
class NavigatorStub : public QWidget {
    Q_OBJECT
public:
    NavigatorStub() { setObjectName(QStringLiteral("NavigatorForm")); }
    Q_INVOKABLE long noteMessage(int message, qlonglong wParam, qlonglong lParam)
    {
        messages << QStringLiteral("%1 %2 %3").arg(message).arg(wParam == qintptr(sent) ? "form" : "?").arg(lParam);
        return 0;
    }
    QStringList messages;
    static inline QWidget *sent = nullptr;
};

// A lookup combo as the host's widget offers it: the utility signal and its key.
class ComboStub : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void utilityCommand(const QString &command);
};

class FrameworkTest : public PackageTest {};

TEST_F(FrameworkTest, FormChangedReachesTheOpenNavigator)
{
    TnoteBootForm form(QStringLiteral("PBuyForm"));
    NavigatorStub::sent = &form;
    // No navigator open: nothing to reach. An object without a handler answers 0.
    EXPECT_EQ(pk_note::NotifyNoteFormChanged(&form), 0);
    QObject none;
    EXPECT_EQ(pk_note::SendNoteMessage(&none, pk_note::NM_NOTEOPEN, 0, 0), 0);

    auto *navigator = new NavigatorStub;
    EXPECT_EQ(pk_note::NotifyNoteFormChanged(&form), 0);
    EXPECT_EQ(navigator->messages, QStringList{"2952 form 0"});
    delete navigator;

    // The host keeps its navigator docked in the main window: it is reached there too.
    QMainWindow main;
    auto *dock = new QDockWidget(&main);
    auto *docked = new NavigatorStub;
    dock->setWidget(docked);
    main.addDockWidget(Qt::LeftDockWidgetArea, dock);
    EXPECT_EQ(pk_note::NotifyNoteFormChanged(&form), 0);
    EXPECT_EQ(docked->messages, QStringList{"2952 form 0"});
}

TEST_F(FrameworkTest, LookupCombosGoToTheHostUtility)
{
    QStringList keys; // the key each editor was opened for
    RegisterLookupEditor(QStringLiteral("dsTestSource"), [&](QWidget *, const QVariant &key) {
        keys << (key.isNull() ? QStringLiteral("new") : key.toString());
        return new QWidget;
    });
    TnoteBootForm form(QStringLiteral("PBuyForm"));
    auto *combo = new ComboStub(&form);
    combo->setProperty("lookupSource", QStringLiteral("dsTestSource"));
    form.InitComponents();

    // "编辑" needs the combo's key: without one nothing happens. "新增" opens
    // the editor for a new record.
    emit combo->utilityCommand(QStringLiteral("编辑"));
    combo->setProperty("keyValue", 42);
    emit combo->utilityCommand(QStringLiteral("编辑"));
    emit combo->utilityCommand(QStringLiteral("新增#"));

    // Wired once, however often the components are walked; later children on show.
    form.InitComponents();
    emit combo->utilityCommand(QStringLiteral("编辑"));
    auto *late = new ComboStub(&form);
    late->setProperty("lookupSource", QStringLiteral("dsTestSource"));
    late->setProperty("keyValue", 7);
    form.show();
    emit late->utilityCommand(QStringLiteral("编辑"));
    EXPECT_EQ(keys, QStringList({"42", "new", "42", "7"}));
}

TEST_F(FrameworkTest, InforBoxReturnsTheTextOnlyOnConfirmAndHidesAPassword)
{
    QString value = QStringLiteral("old");
    m_modal.setHandler([](QWidget *w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("修改样式名称"));
        EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("lbPrompt"))->text(), QStringLiteral("样式名称:"));
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("edValue"));
        EXPECT_TRUE(edit->text().isEmpty());
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal);
        edit->setText(QStringLiteral("新的模板"));
        w->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
        return w->property("modalResult").toInt();
    });
    EXPECT_TRUE(InforBox(QStringLiteral("修改样式名称"), QStringLiteral("样式名称:"), value, false));
    EXPECT_EQ(value, QStringLiteral("新的模板"));

    // Exit leaves the value alone.
    m_modal.setHandler([](QWidget *w) {
        w->findChild<QLineEdit *>(QStringLiteral("edValue"))->setText(QStringLiteral("ignored"));
        w->findChild<QPushButton *>(QStringLiteral("ExitBtn"))->click();
        return w->property("modalResult").toInt();
    });
    EXPECT_FALSE(InforBox(QStringLiteral("a"), QStringLiteral("b"), value, false));
    EXPECT_EQ(value, QStringLiteral("新的模板"));

    // Closing the window without a button is no confirmation either.
    m_modal.setHandler({});
    EXPECT_FALSE(InforBox(QStringLiteral("a"), QStringLiteral("b"), value, false));
    EXPECT_EQ(value, QStringLiteral("新的模板"));
    EXPECT_TRUE(newWindows().isEmpty()); // freed before returning

    // A password is typed unseen and confirmed with Enter.
    QString shown;
    m_modal.setHandler([&](QWidget *w) {
        auto *edit = w->findChild<QLineEdit *>(QStringLiteral("edValue"));
        QTest::keyClicks(edit, QStringLiteral("s3cr"));
        shown = edit->displayText();
        QTest::keyClick(edit, Qt::Key_Return);
        return w->property("modalResult").toInt();
    });
    EXPECT_TRUE(InforBox(QStringLiteral("密码"), QStringLiteral("请输入密码:"), value, true));
    EXPECT_EQ(value, QStringLiteral("s3cr"));
    EXPECT_EQ(shown, QStringLiteral("****"));
}

} // namespace
} // namespace pkgtest

#include "FrameworkTest.moc"
