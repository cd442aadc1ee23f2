#include "InforBox.h"

#include "Pub.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

namespace {
// Password characters show as "*" whatever the platform style draws.
class StarEchoStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return int(u'*');
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};
} // namespace

TInforBoxForm::TInforBoxForm(QWidget *owner) : TnoteBootForm(QStringLiteral("InforBoxForm"), owner)
{
    setWindowFlag(Qt::Dialog);
    lbPrompt = new QLabel(this);
    lbPrompt->setObjectName(QStringLiteral("lbPrompt"));
    edValue = new QLineEdit(this);
    edValue->setObjectName(QStringLiteral("edValue"));
    auto *echo = new StarEchoStyle;
    echo->setParent(edValue);
    edValue->setStyle(echo);
    OkBtn = new QPushButton(QStringLiteral("确认"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    ExitBtn = new QPushButton(QStringLiteral("退出"), this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(ExitBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lbPrompt);
    layout->addWidget(edValue);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, &TInforBoxForm::OkBtnClick);
    connect(ExitBtn, &QPushButton::clicked, this, &TInforBoxForm::ExitBtnClick);
    connect(edValue, &QLineEdit::returnPressed, OkBtn, &QPushButton::click);
    InitComponents();
}

void TInforBoxForm::OkBtnClick() { finish(1); }
void TInforBoxForm::ExitBtnClick() { finish(2); }

void TInforBoxForm::finish(int result)
{
    // The host's modal loop ends when the window hides and reads this property.
    setProperty("modalResult", result);
    close();
}

bool InforBox(const QString &caption, const QString &prompt, QString &value, bool password)
{
    std::unique_ptr<TInforBoxForm> box(new TInforBoxForm(nullptr));
    box->setWindowTitle(caption);
    box->lbPrompt->setText(prompt);
    box->edValue->clear();
    box->edValue->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    if (ShowModal(box.get()) != 1)
        return false;
    value = box->edValue->text();
    return true;
}
