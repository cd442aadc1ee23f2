#include "NavigatorForm.h"

#include "FormCatalog.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariant>

namespace notehost {

QString formStateText(QWidget *form)
{
    if (!form)
        return QStringLiteral("当前单据: 无");
    const QString title = form->windowTitle();
    const QVariant flag = form->property("InitMode");
    const bool init = flag.isValid() ? flag.toBool() : title.endsWith(QStringLiteral("初始化"));
    return QStringLiteral("当前单据: %1 (%2)")
        .arg(title.isEmpty() ? form->objectName() : title, init ? QStringLiteral("初始化") : QStringLiteral("正常"));
}

NavigatorForm::NavigatorForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("NavigatorForm"));
    setWindowTitle(QStringLiteral("导航器"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(flow(QStringLiteral("采购流程"),
                           {QStringLiteral("RePurchaseForm"), QStringLiteral("PNOrderForm"),
                            QStringLiteral("PBuyForm"), QStringLiteral("PayForm")}));
    layout->addWidget(flow(QStringLiteral("销售流程"),
                           {QStringLiteral("SPriceForm"), QStringLiteral("SNOrderForm"), QStringLiteral("SaleForm"),
                            QStringLiteral("GetMoneyForm")}));
    layout->addWidget(flow(QStringLiteral("委托代销"),
                           {QStringLiteral("SNOrderForm"), QStringLiteral("DeputeMarketForm"),
                            QStringLiteral("SaleForm")}));
    layout->addWidget(flow(QStringLiteral("库存业务"),
                           {QStringLiteral("IIOBuildingForm"), QStringLiteral("BadsthForm"),
                            QStringLiteral("BalItemForm"), QStringLiteral("ChgPriceForm")}));
    layout->addWidget(flow(QStringLiteral("生产流程"),
                           {QStringLiteral("MnfManuNOrderForm"), QStringLiteral("DrawItemForm"),
                            QStringLiteral("PrdCheckForm"), QStringLiteral("PrdInStoreForm")}));
    layout->addWidget(flow(QStringLiteral("POS"),
                           {QStringLiteral("saleposthForm"), QStringLiteral("closeposthForm"),
                            QStringLiteral("PosCloseOffForm")}));
    m_state = new QLabel(formStateText(nullptr), this);
    m_state->setObjectName(QStringLiteral("lblFormState"));
    m_state->setWordWrap(true);
    m_state->setFrameShape(QFrame::StyledPanel);
    m_state->setMargin(4);
    layout->addWidget(m_state);
    layout->addStretch(1);
}

QWidget *NavigatorForm::flow(const QString &title, const QStringList &forms)
{
    auto *box = new QGroupBox(title, this);
    auto *row = new QHBoxLayout(box);
    row->setSpacing(2);
    for (int i = 0; i < forms.size(); ++i) {
        if (i > 0) {
            auto *arrow = new QLabel(QStringLiteral("→"), box);
            arrow->setAlignment(Qt::AlignCenter);
            row->addWidget(arrow);
        }
        const QString name = forms[i];
        auto *b = new QToolButton(box);
        b->setObjectName(QStringLiteral("nav") + name);
        b->setText(formCaption(name));
        b->setToolTip(name);
        b->setAutoRaise(false);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        connect(b, &QToolButton::clicked, this, [this, name] { emit openRequested(name); });
        row->addWidget(b);
        m_steps << b;
    }
    row->addStretch(1);
    return box;
}

long NavigatorForm::noteMessage(int msg, qlonglong wParam, qlonglong)
{
    if (msg != NM_NOTEFORMCHANGED)
        return 0;
    // The sender passes itself; accept only a live widget of this application.
    QWidget *form = nullptr;
    for (QWidget *w : QApplication::allWidgets())
        if (quintptr(w) == quintptr(wParam))
            form = w;
    m_state->setText(formStateText(form));
    return 0;
}

void NavigatorForm::updateEnabled(const std::function<bool(const QString &)> &mayOpen)
{
    for (QToolButton *b : m_steps)
        b->setEnabled(mayOpen(b->toolTip()));
}

QToolButton *NavigatorForm::step(const QString &formName) const
{
    return findChild<QToolButton *>(QStringLiteral("nav") + formName);
}

QString NavigatorForm::stateText() const { return m_state->text(); }

void NavigatorForm::showForm(QWidget *form) { m_state->setText(formStateText(form)); }

} // namespace notehost
