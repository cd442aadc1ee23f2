#pragma once
// TnoteBootForm: the root of every window of the package. Its objectName is
// the form name. It hands each lookup combo it owns to LookupComboUtility and
// receives the package's window messages through noteMessage.
//
// A lookup combo is any child object with the signal utilityCommand(QString)
// (TRqLookupCombo emits it for "新增", "编辑", "刷新"); its current key is its
// "keyValue" property.

#include <QPointer>
#include <QSet>
#include <QWidget>

class TnoteBootForm : public QWidget {
    Q_OBJECT
public:
    explicit TnoteBootForm(const QString &formName, QWidget *owner = nullptr);
    ~TnoteBootForm() override;

    QString FormName() const { return objectName(); }

    // Window messages (NoteMessages.h): 0 success, E_FAIL refusal.
    Q_INVOKABLE virtual long noteMessage(int message, qlonglong wParam, qlonglong lParam);

    // Passes every owned component not seen yet to InitComponent, in creation
    // order. Runs by itself before the first show and before each message;
    // constructors that build their controls may call it at their end.
    void InitComponents();

    // The combo's utility command through the host: "编辑" uses the combo's
    // current key (nothing without one), other commands the form's privilege id.
    bool LookupComboUtility(QObject *combo, const QString &command);

protected:
    virtual void InitComponent(QObject *component);
    bool event(QEvent *e) override;

private slots:
    void onComboUtility(const QString &command);

private:
    void walk(QObject *parent);
    QSet<QObject *> m_initialised;
};
