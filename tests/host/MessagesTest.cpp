#include "HostFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

using namespace hosttest;
using pub::MessageKind;

namespace {

// Waits (inside the modal loop) for the modal window and hands it to `act`.
void whenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList out;
    for (QAbstractButton *b : box->buttons())
        out << b->text();
    out.sort();
    return out;
}

void click(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *b : box->buttons())
        if (b->text() == text) {
            b->click();
            return;
        }
    ADD_FAILURE() << "no button " << text.toStdString();
    box->reject();
}

} // namespace

class MessagesTest : public HostTest {};

TEST_F(MessagesTest, ScriptedServiceRecordsAndAnswersFromQueueAndErrorsShowTheExceptionText)
{
    ShowError("出错了");
    ShowInformation("反日结成功.");
    m_messages.answer({7, 2});
    EXPECT_EQ(ShowYesNoQuestion("你确认要将此单反日结吗?"), 7);
    EXPECT_EQ(ShowYesNoCancelQuestion("是否保存?"), 2);
    // Defaults once the queue is empty: Yes, Yes, OK.
    EXPECT_EQ(ShowYesNoQuestion("q1"), AnswerYes);
    EXPECT_EQ(ShowYesNoCancelQuestion("q2"), AnswerYes);
    EXPECT_EQ(ShowOkCancelQuestion("你选的是现金往来单位"), AnswerOk);

    const QVector<pub::MessageRecord> &r = m_messages.records();
    ASSERT_EQ(r.size(), 7);
    EXPECT_EQ(r[0].caption + r[6].caption + QString::number(r[2].answer), "错误提示7");
    EXPECT_EQ(m_messages.texts(MessageKind::YesNo), (QStringList{"你确认要将此单反日结吗?", "q1"}));

    // Plain boxes do not eat queued answers; a handler sees the question.
    m_messages.answer(7);
    ShowInformation("info");
    EXPECT_EQ(ShowYesNoQuestion("q", "确认"), 7);
    EXPECT_EQ(m_messages.last().caption, "确认");
    m_messages.setHandler([](const pub::MessageRecord &m) { return m.text.contains("yes") ? 6 : 7; });
    EXPECT_EQ(ShowYesNoQuestion("say yes"), 6);
    EXPECT_EQ(ShowYesNoQuestion("say no"), 7);

    // Errors show the exception's text.
    try {
        SqlExecute("insert into nosuchtable values (1)");
    } catch (const std::exception &e) {
        ShowError(e);
    }
    ShowError(std::runtime_error("普通错误"));
    ShowError(PubError("内部错误: params != NULL"));
    ASSERT_EQ(errors().size(), 4); // all shown as errors, after the first one above
    EXPECT_TRUE(errors()[1].contains("nosuchtable"));
    EXPECT_EQ(errors().mid(2), (QStringList{"普通错误", "内部错误: params != NULL"}));
}

TEST_F(MessagesTest, GuiBoxesHaveChineseButtonsAndMapAnswersAndModalWindowsShowGuiOrScripted)
{
    pub::GuiMessageService gui;
    pub::setMessageService(&gui);
    const QString yes = "是(&Y)", no = "否(&N)", ok = "确定", cancel = "取消";
    auto yesNo = [](const QString &t) { return ShowYesNoQuestion(t); };
    auto yesNoCancel = [](const QString &t) { return ShowYesNoCancelQuestion(t); };
    auto okCancel = [](const QString &t) { return ShowOkCancelQuestion(t); };
    auto error = [](const QString &t) { ShowError(t); return -1; };
    struct Case {
        std::function<int(const QString &)> show;
        QString text;
        QStringList buttons; // sorted
        QString caption, click;
        int answer;
    } cases[] = {
        {yesNo, "确认删除吗?", {no, yes}, "提示", no, AnswerNo},
        {yesNoCancel, "保存修改吗?", {cancel, no, yes}, "提示", cancel, AnswerCancel},
        {okCancel, "你选的是现金往来单位", {cancel, ok}, "提示", ok, AnswerOk},
        {error, "出错了", {ok}, "错误", ok, -1},
    };
    for (const Case &c : cases) {
        QStringList seen;
        QString caption, text;
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            ASSERT_NE(box, nullptr);
            seen = buttonTexts(box);
            caption = box->windowTitle();
            text = box->text();
            if (c.answer == -1) {
                EXPECT_EQ(box->icon(), QMessageBox::Critical);
            }
            click(box, c.click);
        });
        EXPECT_EQ(c.show(c.text), c.answer) << c.text.toStdString();
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(seen, c.buttons);
        EXPECT_EQ(caption, c.caption);
    }

    // Closed with Escape: the safe answer of each kind.
    whenModal([](QWidget *w) { qobject_cast<QMessageBox *>(w)->reject(); });
    EXPECT_EQ(ShowYesNoQuestion("q"), AnswerNo);
    EXPECT_EQ(pub::GuiMessageService::answerOf(MessageKind::OkCancel, QMessageBox::NoButton), AnswerCancel);
    EXPECT_EQ(pub::GuiMessageService::answerOf(MessageKind::YesNoCancel, QMessageBox::NoButton), AnswerCancel);

    // Modal windows, shown or scripted.
    pub::GuiModalService guiModal;
    pub::setModalService(&guiModal);
    QDialog dialog;
    QTimer::singleShot(20, &dialog, [&] { dialog.done(1); });
    EXPECT_EQ(ShowModal(&dialog), 1);

    QWidget plain;
    whenModal([](QWidget *w) {
        w->setProperty("modalResult", 2);
        w->close();
    });
    EXPECT_EQ(ShowModal(&plain), 2);

    // Scripted: nothing is shown; the answer reaches the window as its result;
    // the default is cancel.
    pub::setModalService(&m_modal);
    QDialog picker;
    m_modal.result(1);
    EXPECT_EQ(ShowModal(&picker), 1);
    EXPECT_EQ(picker.result(), 1);
    EXPECT_EQ(ShowModal(&picker), AnswerCancel);
    m_modal.setHandler([](QWidget *) { return 1; });
    EXPECT_EQ(ShowModal(&plain), 1);
    EXPECT_EQ(plain.property("modalResult").toInt(), 1);
    EXPECT_EQ(ShowModal(nullptr), 0);
}
