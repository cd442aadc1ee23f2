#pragma once
// The host's navigator: the document flows of each business area as clickable
// steps. Registered windows tell it when their init state changes through the
// window message NM_NOTEFORMCHANGED, which it shows in lblFormState.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace notehost {

class NavigatorForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int NM_NOTEFORMCHANGED = 2952;

    explicit NavigatorForm(QWidget *parent = nullptr);

    // The window-message entry the package calls on a form of the host
    // (QMetaObject::invokeMethod). wParam carries the sending window.
    Q_INVOKABLE long noteMessage(int msg, qlonglong wParam, qlonglong lParam);

    // Enables each step by the predicate (form name -> may open).
    void updateEnabled(const std::function<bool(const QString &)> &mayOpen);
    // The step of a form, or null.
    QToolButton *step(const QString &formName) const;
    QString stateText() const;
    // Shows the note window that became active (null: none).
    void showForm(QWidget *form);

signals:
    void openRequested(const QString &formName);

private:
    QWidget *flow(const QString &title, const QStringList &forms);
    QLabel *m_state = nullptr;
    QVector<QToolButton *> m_steps;
};

// The text the navigator shows for a document window: its caption and whether it
// is in init (opening-balance) mode.
QString formStateText(QWidget *form);

} // namespace notehost
