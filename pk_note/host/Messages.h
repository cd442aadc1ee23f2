#pragma once
// Message boxes and modal windows. The package never builds a QMessageBox or
// runs exec() itself: it calls the functions below, which go through the
// current MessageService / ModalService. The GUI services show real windows;
// the scripted ones record what was shown and answer from a queue, never
// blocking (tests and automation).

#include <QList>
#include <QString>
#include <QVector>

#include <exception>
#include <functional>
#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

// Answers, as the host's message boxes return them.
enum MessageAnswer { AnswerOk = 1, AnswerCancel = 2, AnswerYes = 6, AnswerNo = 7 };

namespace pub {

enum class MessageKind {
    Error,       // stop icon, OK
    Warning,     // warning icon, OK
    Information, // information icon, OK
    Message,     // plain box, OK
    YesNo,       // 6 Yes / 7 No
    YesNoCancel, // 6 Yes / 7 No / 2 Cancel
    OkCancel,    // 1 OK / 2 Cancel
};

QString messageKindName(MessageKind kind);

class MessageService {
public:
    virtual ~MessageService() = default;
    // Shows one box and returns the answer (1 for the boxes with only OK).
    virtual int show(MessageKind kind, const QString &text, const QString &caption) = 0;
};

// QMessageBox with Chinese buttons ("确定", "取消", "是", "否").
class GuiMessageService : public MessageService {
public:
    int show(MessageKind kind, const QString &text, const QString &caption) override;
    // The box show() would run, not yet shown; the caller owns it.
    static QMessageBox *createBox(MessageKind kind, const QString &text, const QString &caption,
                                  QWidget *parent = nullptr);
    // Maps the clicked standard button of such a box to 1/2/6/7.
    static int answerOf(MessageKind kind, int standardButton);
};

struct MessageRecord {
    MessageKind kind;
    QString text;
    QString caption;
    int answer;
};

// Records every box; questions take their answer from the queue, then from the
// handler, then from the default of their kind: Yes (6) for YesNo and
// YesNoCancel, OK (1) for OkCancel. Boxes with only OK answer 1 and leave the
// queue alone.
class ScriptedMessageService : public MessageService {
public:
    int show(MessageKind kind, const QString &text, const QString &caption) override;

    void answer(int reply) { m_answers << reply; }
    void answer(std::initializer_list<int> replies);
    int pendingAnswers() const { return int(m_answers.size()); }
    void setHandler(std::function<int(const MessageRecord &)> handler) { m_handler = std::move(handler); }
    void setDefaultAnswer(MessageKind kind, int reply);

    const QVector<MessageRecord> &records() const { return m_records; }
    QStringList texts() const;
    QStringList texts(MessageKind kind) const;
    MessageRecord last() const;
    void clear() { m_records.clear(); m_answers.clear(); }

private:
    static bool isQuestion(MessageKind kind);
    QVector<MessageRecord> m_records;
    QList<int> m_answers;
    std::function<int(const MessageRecord &)> m_handler;
    int m_yesNoDefault = AnswerYes;
    int m_yesNoCancelDefault = AnswerYes;
    int m_okCancelDefault = AnswerOk;
};

// The current service: the one set, else a GUI service when a QApplication
// runs, else a scripted one (never blocks a program without windows).
MessageService &messageService();
// Sets the service (not owned; null restores the default).
void setMessageService(MessageService *service);

// Shows a window modally and returns its result.
class ModalService {
public:
    virtual ~ModalService() = default;
    virtual int showModal(QWidget *window) = 0;
};

// QDialog: exec(). Any other widget: shown application-modal with a local
// event loop until it is hidden or closed; the result is its "modalResult"
// property (0 when unset).
class GuiModalService : public ModalService {
public:
    int showModal(QWidget *window) override;
};

struct ModalRecord {
    QString objectName;
    QString className;
    QString title;
    int result;
};

// Never shows anything. The handler (when set) gets the window and returns the
// result, so a test can fill it in first; else the queue; else 2 (cancel, as
// if the user closed it). The result is also stored in the window (QDialog
// result, "modalResult" property).
class ScriptedModalService : public ModalService {
public:
    int showModal(QWidget *window) override;
    void result(int r) { m_results << r; }
    void setHandler(std::function<int(QWidget *)> handler) { m_handler = std::move(handler); }
    const QVector<ModalRecord> &records() const { return m_records; }
    void clear() { m_records.clear(); m_results.clear(); }

private:
    QVector<ModalRecord> m_records;
    QList<int> m_results;
    std::function<int(QWidget *)> m_handler;
};

ModalService &modalService();
void setModalService(ModalService *service);

// The name of a file to save into; empty when the user cancels.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    virtual QString saveFileName(const QString &caption, const QString &suggested, const QString &filter) = 0;
};

// QFileDialog::getSaveFileName (it asks before overwriting).
class GuiFileDialogService : public FileDialogService {
public:
    QString saveFileName(const QString &caption, const QString &suggested, const QString &filter) override;
};

struct FileDialogRecord {
    QString caption;
    QString suggested;
    QString filter;
    QString answer;
};

// Never shows anything: answers from the queue, else empty (cancelled).
class ScriptedFileDialogService : public FileDialogService {
public:
    QString saveFileName(const QString &caption, const QString &suggested, const QString &filter) override;
    void answer(const QString &fileName) { m_answers << fileName; }
    const QVector<FileDialogRecord> &records() const { return m_records; }
    void clear() { m_records.clear(); m_answers.clear(); }

private:
    QVector<FileDialogRecord> m_records;
    QList<QString> m_answers;
};

// The one set, else a GUI service when a QApplication runs, else a scripted one.
FileDialogService &fileDialogService();
void setFileDialogService(FileDialogService *service);

} // namespace pub

// The package's message calls. Captions default to the host's: "错误",
// "警告", "提示".
void ShowError(const QString &text);
void ShowError(const std::exception &e); // the exception's own text
void ShowWarning(const QString &text);
void ShowInformation(const QString &text);
void ShowMessage(const QString &text);
int ShowYesNoQuestion(const QString &text, const QString &caption = QStringLiteral("提示"));
int ShowYesNoCancelQuestion(const QString &text, const QString &caption = QStringLiteral("提示"));
// The question box with OK and Cancel, titled "提示": 1 OK, 2 Cancel.
int ShowOkCancelQuestion(const QString &text, const QString &caption = QStringLiteral("提示"));
// The text of any exception as shown to the user.
QString ExceptionText(const std::exception &e);

// Shows `window` modally through the current modal service; returns its result.
int ShowModal(QWidget *window);

// Asks for the name of a file to save into (the current file-dialog service);
// `filter` as QFileDialog takes it ("Excel 文件 (*.xlsx)"). Empty when cancelled.
QString AskSaveFileName(const QString &caption, const QString &suggested, const QString &filter);
