#pragma once
// The login dialog: operator and password, checked against the stored salted
// hash; a wrong password is refused with a message and the dialog stays open.

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace db {
class Database;
}

namespace notehost {

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(db::Database &books, QWidget *parent = nullptr);
    int operatorId() const { return m_operatorId; }
    // Checks the entered login and password; accepts on success.
    void tryLogin();

private:
    db::Database &m_books;
    QComboBox *m_user;
    QLineEdit *m_password;
    int m_operatorId = 0;
};

// The id of the open operator with this login, 0 when there is none.
int operatorByLogin(db::Database &books, const QString &login);

} // namespace notehost
