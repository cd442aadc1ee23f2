#include "Messages.h"

#include "PubError.h"
#include "db/Database.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <cstdio>

namespace pub {

QString messageKindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error: return QStringLiteral("Error");
    case MessageKind::Warning: return QStringLiteral("Warning");
    case MessageKind::Information: return QStringLiteral("Information");
    case MessageKind::Message: return QStringLiteral("Message");
    case MessageKind::YesNo: return QStringLiteral("YesNo");
    case MessageKind::YesNoCancel: return QStringLiteral("YesNoCancel");
    case MessageKind::OkCancel: return QStringLiteral("OkCancel");
    }
    return {};
}

QMessageBox *GuiMessageService::createBox(MessageKind kind, const QString &text, const QString &caption,
                                          QWidget *parent)
{
    if (!parent)
        parent = QApplication::activeWindow();
    auto *box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("PubMessageBox"));
    box->setWindowTitle(caption);
    box->setText(text);
    auto setText = [box](QMessageBox::StandardButton b, const QString &t) { box->button(b)->setText(t); };
    switch (kind) {
    case MessageKind::Error:
        box->setIcon(QMessageBox::Critical);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageKind::Warning:
        box->setIcon(QMessageBox::Warning);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageKind::Information:
        box->setIcon(QMessageBox::Information);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageKind::Message:
        box->setIcon(QMessageBox::NoIcon);
        box->setStandardButtons(QMessageBox::Ok);
        break;
    case MessageKind::YesNo:
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
        break;
    case MessageKind::YesNoCancel:
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageKind::OkCancel:
        box->setIcon(QMessageBox::Question);
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    }
    if (box->button(QMessageBox::Ok))
        setText(QMessageBox::Ok, QStringLiteral("确定"));
    if (box->button(QMessageBox::Cancel))
        setText(QMessageBox::Cancel, QStringLiteral("取消"));
    if (box->button(QMessageBox::Yes))
        setText(QMessageBox::Yes, QStringLiteral("是(&Y)"));
    if (box->button(QMessageBox::No))
        setText(QMessageBox::No, QStringLiteral("否(&N)"));
    return box;
}

int GuiMessageService::answerOf(MessageKind kind, int standardButton)
{
    switch (standardButton) {
    case QMessageBox::Yes: return AnswerYes;
    case QMessageBox::No: return AnswerNo;
    case QMessageBox::Cancel: return AnswerCancel;
    case QMessageBox::Ok: return AnswerOk;
    default:
        // Closed without a button: the escape answer of the kind.
        switch (kind) {
        case MessageKind::YesNo: return AnswerNo;
        case MessageKind::YesNoCancel:
        case MessageKind::OkCancel: return AnswerCancel;
        default: return AnswerOk;
        }
    }
}

int GuiMessageService::show(MessageKind kind, const QString &text, const QString &caption)
{
    std::unique_ptr<QMessageBox> box(createBox(kind, text, caption));
    box->exec();
    return answerOf(kind, box->standardButton(box->clickedButton()));
}

void ScriptedMessageService::answer(std::initializer_list<int> replies)
{
    for (int r : replies)
        m_answers << r;
}

void ScriptedMessageService::setDefaultAnswer(MessageKind kind, int reply)
{
    if (kind == MessageKind::YesNo)
        m_yesNoDefault = reply;
    else if (kind == MessageKind::YesNoCancel)
        m_yesNoCancelDefault = reply;
    else if (kind == MessageKind::OkCancel)
        m_okCancelDefault = reply;
}

bool ScriptedMessageService::isQuestion(MessageKind kind)
{
    return kind == MessageKind::YesNo || kind == MessageKind::YesNoCancel || kind == MessageKind::OkCancel;
}

int ScriptedMessageService::show(MessageKind kind, const QString &text, const QString &caption)
{
    MessageRecord rec{kind, text, caption, AnswerOk};
    if (isQuestion(kind)) {
        if (!m_answers.isEmpty())
            rec.answer = m_answers.takeFirst();
        else if (m_handler)
            rec.answer = m_handler(rec);
        else
            rec.answer = kind == MessageKind::YesNo ? m_yesNoDefault
                         : kind == MessageKind::YesNoCancel ? m_yesNoCancelDefault
                                                            : m_okCancelDefault;
    }
    m_records.push_back(rec);
    return rec.answer;
}

QStringList ScriptedMessageService::texts() const
{
    QStringList out;
    for (const MessageRecord &r : m_records)
        out << r.text;
    return out;
}

QStringList ScriptedMessageService::texts(MessageKind kind) const
{
    QStringList out;
    for (const MessageRecord &r : m_records)
        if (r.kind == kind)
            out << r.text;
    return out;
}

MessageRecord ScriptedMessageService::last() const
{
    if (m_records.isEmpty())
        throw PubError(QStringLiteral("没有显示过消息"));
    return m_records.last();
}

namespace {

MessageService *s_messages = nullptr;
ModalService *s_modal = nullptr;

// Without windows nothing may block; texts go to stderr so a tool's user sees them.
class ConsoleMessageService : public ScriptedMessageService {
public:
    int show(MessageKind kind, const QString &text, const QString &caption) override
    {
        const int answer = ScriptedMessageService::show(kind, text, caption);
        std::fprintf(stderr, "[%s] %s\n", qPrintable(caption), qPrintable(text));
        clear(); // a long-running tool must not pile up records
        return answer;
    }
};

bool haveWidgets() { return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr; }

} // namespace

MessageService &messageService()
{
    if (s_messages)
        return *s_messages;
    if (haveWidgets()) {
        static GuiMessageService gui;
        return gui;
    }
    static ConsoleMessageService console;
    return console;
}

void setMessageService(MessageService *service) { s_messages = service; }

int GuiModalService::showModal(QWidget *window)
{
    if (!window)
        return 0;
    if (auto *dialog = qobject_cast<QDialog *>(window))
        return dialog->exec();
    // A plain window: modal until hidden; it may be deleted while we wait.
    QPointer<QWidget> guard(window);
    window->setWindowModality(Qt::ApplicationModal);
    window->setProperty("modalResult", QVariant());
    window->show();
    QEventLoop loop;
    struct HideWatcher : QObject {
        QEventLoop *loop;
        explicit HideWatcher(QEventLoop *l) : loop(l) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Hide || e->type() == QEvent::Close)
                loop->quit();
            return false;
        }
    } watcher(&loop);
    window->installEventFilter(&watcher);
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::DialogExec);
    if (!guard)
        return 0;
    guard->removeEventFilter(&watcher);
    return guard->property("modalResult").toInt();
}

int ScriptedModalService::showModal(QWidget *window)
{
    if (!window)
        return 0;
    int r = AnswerCancel;
    if (m_handler)
        r = m_handler(window);
    else if (!m_results.isEmpty())
        r = m_results.takeFirst();
    if (auto *dialog = qobject_cast<QDialog *>(window))
        dialog->setResult(r);
    window->setProperty("modalResult", r);
    m_records.push_back({window->objectName(), QString::fromLatin1(window->metaObject()->className()),
                         window->windowTitle(), r});
    return r;
}

ModalService &modalService()
{
    if (s_modal)
        return *s_modal;
    if (haveWidgets()) {
        static GuiModalService gui;
        return gui;
    }
    static ScriptedModalService none;
    return none;
}

void setModalService(ModalService *service) { s_modal = service; }

QString GuiFileDialogService::saveFileName(const QString &caption, const QString &suggested, const QString &filter)
{
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, suggested, filter);
}

QString ScriptedFileDialogService::saveFileName(const QString &caption, const QString &suggested,
                                                const QString &filter)
{
    const QString answer = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    m_records.append({caption, suggested, filter, answer});
    return answer;
}

namespace {
FileDialogService *s_files = nullptr;
}

FileDialogService &fileDialogService()
{
    if (s_files)
        return *s_files;
    if (haveWidgets()) {
        static GuiFileDialogService gui;
        return gui;
    }
    static ScriptedFileDialogService none;
    return none;
}

void setFileDialogService(FileDialogService *service) { s_files = service; }

} // namespace pub

using pub::MessageKind;
using pub::messageService;

QString ExceptionText(const std::exception &e)
{
    if (const auto *d = dynamic_cast<const db::DbError *>(&e))
        return d->text();
    if (const auto *p = dynamic_cast<const PubError *>(&e))
        return p->text();
    return QString::fromUtf8(e.what());
}

void ShowError(const QString &text) { messageService().show(MessageKind::Error, text, QStringLiteral("错误")); }
void ShowError(const std::exception &e) { ShowError(ExceptionText(e)); }
void ShowWarning(const QString &text) { messageService().show(MessageKind::Warning, text, QStringLiteral("警告")); }
void ShowInformation(const QString &text)
{
    messageService().show(MessageKind::Information, text, QStringLiteral("提示"));
}
void ShowMessage(const QString &text) { messageService().show(MessageKind::Message, text, QStringLiteral("提示")); }

int ShowYesNoQuestion(const QString &text, const QString &caption)
{
    return messageService().show(MessageKind::YesNo, text, caption);
}

int ShowYesNoCancelQuestion(const QString &text, const QString &caption)
{
    return messageService().show(MessageKind::YesNoCancel, text, caption);
}

int ShowOkCancelQuestion(const QString &text, const QString &caption)
{
    return messageService().show(MessageKind::OkCancel, text, caption);
}

int ShowModal(QWidget *window) { return pub::modalService().showModal(window); }

QString AskSaveFileName(const QString &caption, const QString &suggested, const QString &filter)
{
    return pub::fileDialogService().saveFileName(caption, suggested, filter);
}
