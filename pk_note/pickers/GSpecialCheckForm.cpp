#include "GSpecialCheckForm.h"

#include "Pub.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TGSpecialCheckForm::TGSpecialCheckForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("GSpecialCheckForm"));
    setWindowTitle(QStringLiteral("其他..."));
    static const char *const labels[] = {"货品自定义1：", "货品自定义2：", "货品自定义3：", "货品自定义4：",
                                         "货品自定义5："};
    auto *form = new QFormLayout;
    for (int i = 0; i < 5; ++i) {
        edCustDef[i] = new QLineEdit(this);
        // The box is tied to its field by name: edCUSTDEF1 filters CUSTDEF1.
        edCustDef[i]->setObjectName(QStringLiteral("edCUSTDEF%1").arg(i + 1));
        edCustDef[i]->setMinimumWidth(220);
        form->addRow(QString::fromUtf8(labels[i]), edCustDef[i]);
    }
    OkBtn = new QPushButton(QStringLiteral("确认"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("退出"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(OkBtn, &QPushButton::clicked, this, [this] { done(1); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });
}

QString TGSpecialCheckForm::Condition() const
{
    QString condition;
    for (int i = 0; i < 5; ++i) {
        const QString text = edCustDef[i]->text();
        if (!text.trimmed().isEmpty())
            condition += QStringLiteral(" and ") + QStringLiteral("g.CUSTDEF%1").arg(i + 1) + QStringLiteral("=")
                         + QuotedStr(text);
    }
    return condition;
}
