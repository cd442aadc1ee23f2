#include "SetPriceForm.h"

#include "Pub.h"
#include "widgets/DBControls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

using commodity::Col;

namespace {

// Prices show up to eight decimals, discount four, amounts the books' precision.
int decimalsOf(Col c)
{
    switch (c) {
    case Col::Disc:
    case Col::Quantity: return 4;
    case Col::CommodityAmt:
    case Col::TaxAmt:
    case Col::Amount:
    case Col::DiscAmt: return AmountDecimals();
    default: return 8;
    }
}

QString num(qint64 v) { return QString::number(v); }

} // namespace

TSetPriceForm::TSetPriceForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SetPriceForm"));
    setWindowTitle(QStringLiteral("设置价格"));

    lbCommodity = new QLabel(this);
    lbCommodity->setObjectName(QStringLiteral("lbCommodity"));
    lbUnit = new QLabel(this);
    lbUnit->setObjectName(QStringLiteral("lbUnit"));
    lbQuantity = new QLabel(this);
    lbQuantity->setObjectName(QStringLiteral("lbQuantity"));
    auto *head = new QHBoxLayout;
    head->addWidget(lbCommodity, 1);
    head->addWidget(lbUnit);
    head->addSpacing(16);
    head->addWidget(lbQuantity);

    auto *prices = new QGroupBox(QStringLiteral("可选价格"), this);
    lstPrice = new QListWidget(prices);
    lstPrice->setObjectName(QStringLiteral("lstPrice"));
    lstPrice->setMinimumWidth(200);
    auto *priceLayout = new QVBoxLayout(prices);
    priceLayout->addWidget(lstPrice);

    auto *values = new QGroupBox(QStringLiteral("价格与金额"), this);
    auto *grid = new QGridLayout(values);
    struct Box {
        Col col;
        const char *caption;
        bool readOnly;
    };
    static const Box boxes[] = {
        {Col::OrigPrice, "原价", false},    {Col::OrigTaxPrice, "原含税价", false},
        {Col::Disc, "折扣(%)", false},      {Col::TaxRate, "税率(%)", false},
        {Col::Price, "单价", false},        {Col::TaxPrice, "含税单价", false},
        {Col::CommodityAmt, "金额", false}, {Col::TaxAmt, "税额", false},
        {Col::Amount, "价税合计", false},   {Col::DiscAmt, "折扣额", true},
    };
    int i = 0;
    for (const Box &b : boxes) {
        QLineEdit *edit = addEdit(b.col, b.readOnly, values);
        auto *label = new QLabel(QString::fromUtf8(b.caption), values);
        label->setBuddy(edit);
        grid->addWidget(label, i / 2, (i % 2) * 2);
        grid->addWidget(edit, i / 2, (i % 2) * 2 + 1);
        ++i;
    }
    grid->setColumnMinimumWidth(1, 120);
    grid->setColumnMinimumWidth(3, 120);

    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);

    auto *middle = new QHBoxLayout;
    middle->addWidget(prices);
    middle->addWidget(values, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, &TSetPriceForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TSetPriceForm::CancelBtnClick);
    connect(lstPrice, &QListWidget::itemClicked, this, &TSetPriceForm::lstPriceChoose);
    lstPrice->installEventFilter(this);
}

QLineEdit *TSetPriceForm::addEdit(Col c, bool readOnly, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("ed") + QString::fromLatin1(commodity::DefaultColumnName(c)));
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setValidator(commodity::NewNumberValidator(edit));
    edit->setReadOnly(readOnly);
    if (readOnly) {
        widgets::ShowReadOnly(edit, true);
    } else {
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::editingFinished, this, [this, c] { commit(c); });
    }
    m_edits[size_t(c)] = edit;
    return edit;
}

void TSetPriceForm::Open(const commodity::PriceRequest &request)
{
    m_closing = false;
    m_line = request.line;
    m_line.ClearChanges();
    m_context = {};
    m_context.taxAmtLimit = LookupSysParam(QStringLiteral("TaxAmtLimit")).toDouble();
    m_context.commodityAmtLimit = LookupSysParam(QStringLiteral("CommodityAmtLimit")).toDouble();
    m_context.lastTaxAmt = m_line.Get(Col::TaxAmt);
    m_context.lastCommodityAmt = m_line.Get(Col::CommodityAmt);

    lbCommodity->setText(QStringLiteral("货品: ") + request.commodityName);
    lbUnit->setText(QStringLiteral("单位: ") + request.unitName);
    lbQuantity->setText(QStringLiteral("数量: ")
                        + commodity::NumberText(m_line.Get(Col::Quantity), decimalsOf(Col::Quantity)));
    for (QLineEdit *e : m_edits)
        if (e && !e->isReadOnly())
            e->setEnabled(true);
    for (size_t c = 0; c < m_edits.size(); ++c)
        if (m_edits[c] && !m_line.Present(Col(c)))
            m_edits[c]->setEnabled(false); // a column the line lacks
    readPrices(request);
    showLine();
    if (QLineEdit *price = Edit(Col::Price)) {
        price->setFocus();
        price->selectAll();
    }
}

void TSetPriceForm::readPrices(const commodity::PriceRequest &request)
{
    lstPrice->clear();
    auto add = [this](const QString &caption, double price) {
        auto *item = new QListWidgetItem(caption + QStringLiteral(":  ") + commodity::NumberText(price, 8), lstPrice);
        item->setData(Qt::UserRole, price);
    };
    AutoQuery list = CreateAutoQuery(
        QStringLiteral("select LPRICE1, LPRICE2, LPRICE3, LPRICE4, LPRICE5, APRICE from Commoditylth where CommodityID=")
        + num(request.commodityId));
    if (!list->IsEmpty()) {
        // List prices not set (0) are not worth choosing.
        for (int i = 1; i <= 5; ++i) {
            const double p = list->FieldByName(QStringLiteral("LPRICE") + QString::number(i)).AsFloat();
            if (p != 0)
                add(QStringLiteral("预设价格") + QString::number(i), p);
        }
        const double cost = list->FieldByName(QStringLiteral("APRICE")).AsFloat();
        if (cost != 0)
            add(QStringLiteral("参考成本价"), cost);
    }
    if (request.partnerId <= 0)
        return;
    // An agreed price counts even when it is 0.
    AutoQuery agreed = CreateAutoQuery(QStringLiteral("select price from partnerprice where partnerid =")
                                       + num(request.partnerId) + QStringLiteral("and CommodityID = ")
                                       + num(request.commodityId));
    if (!agreed->IsEmpty())
        add(QStringLiteral("协议价"), agreed->FieldByName(QStringLiteral("price")).AsFloat());
    AutoQuery last = CreateAutoQuery(QStringLiteral("select PRICE, NOTEDATE from partnerpriceaath where PARTNERID=")
                                     + num(request.partnerId) + QStringLiteral(" and COMMODITYID=")
                                     + num(request.commodityId));
    if (!last->IsEmpty()) {
        const QDate date = last->FieldByName(QStringLiteral("NOTEDATE")).AsDate();
        add(QStringLiteral("最近成交价") + (date.isValid() ? QStringLiteral("(") + date.toString(QStringLiteral("yyyy-MM-dd")) + u')' : QString()),
            last->FieldByName(QStringLiteral("PRICE")).AsFloat());
    }
}

QString TSetPriceForm::text(Col c) const
{
    return m_line.IsNull(c) ? QString() : commodity::NumberText(m_line.Get(c), decimalsOf(c));
}

void TSetPriceForm::showLine()
{
    for (size_t i = 0; i < m_edits.size(); ++i)
        if (QLineEdit *e = m_edits[i]) {
            m_shown[i] = text(Col(i));
            e->setText(m_shown[i]);
        }
}

bool TSetPriceForm::edited(Col c, double value)
{
    const commodity::LineValues before = m_line;
    m_context.previousTaxAmtNull = m_line.IsNull(Col::TaxAmt);
    m_line.Set(c, value);
    const commodity::RecomputeResult result = commodity::Recompute(m_line, c, m_context);
    if (!result.ok()) {
        ShowError(result.error);
        if (c == Col::Disc)
            commodity::Recompute(m_line, Col::Disc, m_context); // the discount, back at 100, recomputes
        else
            m_line = before;
    }
    showLine();
    return result.ok();
}

bool TSetPriceForm::commit(Col c)
{
    QLineEdit *e = Edit(c);
    // Leaving the boxes by closing the window changes nothing.
    if (!e || e->isReadOnly() || !e->isEnabled() || m_closing)
        return true;
    const QString typed = e->text().trimmed();
    if (typed == m_shown[size_t(c)])
        return true;
    bool ok = false;
    const double v = typed.toDouble(&ok);
    if (typed.isEmpty() || !ok || !std::isfinite(v)) {
        // An emptied box or a lone sign changes nothing.
        e->setText(m_shown[size_t(c)]);
        return typed.isEmpty();
    }
    return edited(c, v);
}

bool TSetPriceForm::commitPending()
{
    bool ok = true;
    for (size_t i = 0; i < m_edits.size(); ++i)
        if (m_edits[i] && m_edits[i]->text().trimmed() != m_shown[i])
            ok = commit(Col(i)) && ok;
    return ok;
}

void TSetPriceForm::lstPriceChoose(QListWidgetItem *item)
{
    if (!item || !Edit(Col::Price) || !Edit(Col::Price)->isEnabled())
        return;
    commitPending();
    edited(Col::Price, item->data(Qt::UserRole).toDouble());
}

void TSetPriceForm::OkBtnClick()
{
    if (commitPending())
        accept();
}

void TSetPriceForm::CancelBtnClick() { reject(); }

void TSetPriceForm::done(int result)
{
    m_closing = true;
    QDialog::done(result);
}

bool TSetPriceForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter takes the box's value and moves to the next box; on the list it
    // takes the price and goes to the price box.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (watched == lstPrice) {
                lstPriceChoose(lstPrice->currentItem());
                if (QLineEdit *price = Edit(Col::Price))
                    price->setFocus();
                return true;
            }
            for (size_t i = 0; i < m_edits.size(); ++i)
                if (m_edits[i] == watched) {
                    if (commit(Col(i)))
                        focusNextChild();
                    return true;
                }
        }
    }
    return QDialog::eventFilter(watched, event);
}
