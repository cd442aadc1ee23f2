#include "LoginDialog.h"

#include "Messages.h"
#include "notedb.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace notehost {

int operatorByLogin(db::Database &books, const QString &login)
{
    return books
        .scalar(QStringLiteral("select OPERATEID from operatormth where LOGINNAME = :login and CLOSED = 0"),
                {{QStringLiteral("login"), login.trimmed()}})
        .toInt();
}

LoginDialog::LoginDialog(db::Database &books, QWidget *parent) : QDialog(parent), m_books(books)
{
    setObjectName(QStringLiteral("LoginForm"));
    setWindowTitle(QStringLiteral("登录"));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("帐套: %1").arg(QFileInfo(books.path()).fileName()), this);
    title->setObjectName(QStringLiteral("lblBooks"));
    layout->addWidget(title);

    auto *form = new QFormLayout;
    m_user = new QComboBox(this);
    m_user->setObjectName(QStringLiteral("cmbUser"));
    m_user->setEditable(true);
    const db::ResultSet rs =
        books.select(QStringLiteral("select LOGINNAME from operatormth where CLOSED = 0 order by OPERATEID"));
    for (const auto &row : rs.rows)
        m_user->addItem(row.value(0).toString());
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("edPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("用户:"), m_user);
    form->addRow(QStringLiteral("密码:"), m_password);
    layout->addLayout(form);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(ok, &QPushButton::clicked, this, &LoginDialog::tryLogin);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_password->setFocus();
}

void LoginDialog::tryLogin()
{
    const int id = notedb::checkPassword(m_books, m_user->currentText(), m_password->text());
    if (!id) {
        ShowError(QStringLiteral("用户名或密码错误,请重新输入."));
        m_password->clear();
        m_password->setFocus();
        return;
    }
    m_operatorId = id;
    accept();
}

} // namespace notehost
