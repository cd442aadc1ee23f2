#include "PricePolicyForms.h"

#include "DataAccess.h"
#include "Messages.h"
#include "PackageWindows.h"
#include "Pk_note_itf.h"
#include "Rounding.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

const char *const kClients = "IsClient=1 and Closed=0 and partnerID>0";
const char *const kVendors = "IsVendor=1 and Closed=0 and partnerID>0";
const char *const kPolicyVendors = "IsClient=0 and Closed=0 and partnerID>0";

enum Column { ColCode, ColName, ColUnit, ColPrice, ColRemark };

pk_note::FormClassRegistrar regGet("TGetPriceForm", [](QWidget *owner) -> QWidget * { return new TGetPriceForm(owner); });
pk_note::FormClassRegistrar regSet("TSetDefPriceForm",
                                   [](QWidget *owner) -> QWidget * { return new TSetDefPriceForm(owner); });

QTableWidget *priceTable(QWidget *parent, const char *name)
{
    auto *t = new QTableWidget(0, 5, parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHorizontalHeaderLabels({QStringLiteral("货品编号"), QStringLiteral("货品名称"), QStringLiteral("单位"),
                                  QStringLiteral("单价"), QStringLiteral("备注")});
    t->horizontalHeader()->setSectionResizeMode(ColName, QHeaderView::Stretch);
    t->verticalHeader()->hide();
    return t;
}

QTableWidgetItem *cell(const QString &text, bool editable)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable)
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A price as the documents show it: "#0.########".
QString priceText(double price)
{
    QString text = QString::number(FormatPrice(price), 'f', 8);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

qint64 partnerOf(const QComboBox *box) { return box->currentData().isNull() ? 0 : box->currentData().toLongLong(); }

} // namespace

namespace pricepolicy {

void FillPartners(QComboBox *box, const QString &condition)
{
    const QSignalBlocker quiet(box);
    box->clear();
    AutoQuery q = CreateAutoQuery(QStringLiteral("select PARTNERID, CODE, NAME from partnerlth where ") + condition
                                  + QStringLiteral(" and (shoperateid is null or shoperateid=0) order by CODE"));
    for (q->First(); !q->Eof(); q->Next())
        box->addItem(q->FieldByName(QStringLiteral("CODE")).AsString() + u' '
                         + q->FieldByName(QStringLiteral("NAME")).AsString(),
                     QVariant::fromValue(q->FieldByName(QStringLiteral("PARTNERID")).AsLargeInt()));
    box->setCurrentIndex(-1);
}

void ReadPrices(QTableWidget *table, qint64 partner, bool editable)
{
    table->setRowCount(0);
    if (partner == 0)
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select m.*, g.CODE, g.NAME, u.NAME as UNITNAME from partnerprice m "
                                                 "left join Commoditylth g on g.COMMODITYID = m.COMMODITYID "
                                                 "left join unitlth u on u.UNITSID = g.UNITSID "
                                                 "where m.partnerid = :partnerid order by g.CODE"),
                                  false);
    q->Parameters().insert(QStringLiteral("partnerid"), partner);
    q->Open();
    for (q->First(); !q->Eof(); q->Next()) {
        const int row = table->rowCount();
        table->insertRow(row);
        auto text = [&q](const char *name) { return q->FieldByName(QString::fromLatin1(name)).AsString(); };
        // The commodity of a line already stored stays; its price and remark change.
        table->setItem(row, ColCode, cell(text("CODE"), false));
        table->setItem(row, ColName, cell(text("NAME"), false));
        table->setItem(row, ColUnit, cell(text("UNITNAME"), false));
        table->setItem(row, ColPrice, cell(priceText(q->FieldByName(QStringLiteral("PRICE")).AsFloat()), editable));
        table->setItem(row, ColRemark, cell(text("REMARK"), editable));
    }
}

} // namespace pricepolicy

// ============================================================ price enquiry

TGetPriceForm::TGetPriceForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("GetPriceForm"));
    setWindowTitle(QStringLiteral("价格查询"));
    rbClient = new QRadioButton(QStringLiteral("客户"), this);
    rbClient->setObjectName(QStringLiteral("rbClient"));
    rbVendor = new QRadioButton(QStringLiteral("供应商"), this);
    rbVendor->setObjectName(QStringLiteral("rbVendor"));
    rbClient->setChecked(true);
    cmbPartner = new QComboBox(this);
    cmbPartner->setObjectName(QStringLiteral("cmbPartner"));
    cmbPartner->setMinimumWidth(260);
    grdPrice = priceTable(this, "grdPrice");
    grdPrice->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *top = new QHBoxLayout;
    top->addWidget(rbClient);
    top->addWidget(rbVendor);
    top->addSpacing(16);
    top->addWidget(cmbPartner, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdPrice, 1);
    resize(720, 460);
    connect(rbClient, &QRadioButton::toggled, this, &TGetPriceForm::SideChanged);
    connect(cmbPartner, &QComboBox::currentIndexChanged, this, &TGetPriceForm::PartnerChanged);
    SideChanged();
}

void TGetPriceForm::SideChanged()
{
    pricepolicy::FillPartners(cmbPartner, QString::fromLatin1(rbClient->isChecked() ? kClients : kVendors));
    PartnerChanged();
}

void TGetPriceForm::PartnerChanged()
{
    try {
        pricepolicy::ReadPrices(grdPrice, partnerOf(cmbPartner), false);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TGetPriceForm::ShowPartner(qint64 partner)
{
    QVariant client;
    GetValueOfSql(QStringLiteral("select IsClient from partnerlth where partnerID=") + QString::number(partner), client);
    (client.toInt() == 1 ? rbClient : rbVendor)->setChecked(true);
    SideChanged();
    cmbPartner->setCurrentIndex(cmbPartner->findData(QVariant::fromValue(partner)));
}

// ============================================================ price policy

TSetDefPriceForm::TSetDefPriceForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SetDefPriceForm"));
    setWindowTitle(QStringLiteral("定价政策"));
    pgPolicy = new QTabWidget(this);
    pgPolicy->setObjectName(QStringLiteral("pgPolicy"));
    const struct {
        const char *caption, *condition, *name;
    } pages[] = {{"销售定价政策", kClients, "grdSalePrice"}, {"采购订价政策", kPolicyVendors, "grdBuyPrice"}};
    for (int i = 0; i < 2; ++i) {
        auto *w = new QWidget(pgPolicy);
        auto *v = new QVBoxLayout(w);
        auto *row = new QHBoxLayout;
        auto *label = new QLabel(i == 0 ? QStringLiteral("客户") : QStringLiteral("供应商"), w);
        m_pages[i].partner = new QComboBox(w);
        m_pages[i].partner->setObjectName(i == 0 ? QStringLiteral("cmbClient") : QStringLiteral("cmbVendor"));
        m_pages[i].partner->setMinimumWidth(260);
        label->setBuddy(m_pages[i].partner);
        row->addWidget(label);
        row->addWidget(m_pages[i].partner, 1);
        v->addLayout(row);
        m_pages[i].prices = priceTable(w, pages[i].name);
        v->addWidget(m_pages[i].prices, 1);
        pgPolicy->addTab(w, QString::fromUtf8(pages[i].caption));
        pricepolicy::FillPartners(m_pages[i].partner, QString::fromLatin1(pages[i].condition));
        const Page page = m_pages[i];
        connect(page.partner, &QComboBox::currentIndexChanged, this, [page] {
            try {
                pricepolicy::ReadPrices(page.prices, partnerOf(page.partner), true);
            } catch (const std::exception &e) {
                ShowError(e);
            }
        });
    }
    auto button = [this](const QString &caption, const char *name) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    btnAdd = button(QStringLiteral("增加(&A)"), "btnAdd");
    btnDelete = button(QStringLiteral("删除(&D)"), "btnDelete");
    btnSave = button(QStringLiteral("保存(&S)"), "btnSave");
    btnClose = button(QStringLiteral("关闭"), "btnClose");
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(btnAdd);
    bottom->addWidget(btnDelete);
    bottom->addStretch(1);
    bottom->addWidget(btnSave);
    bottom->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pgPolicy, 1);
    layout->addLayout(bottom);
    resize(760, 500);
    connect(btnAdd, &QPushButton::clicked, this, &TSetDefPriceForm::btnAddClick);
    connect(btnDelete, &QPushButton::clicked, this, &TSetDefPriceForm::btnDeleteClick);
    connect(btnSave, &QPushButton::clicked, this, &TSetDefPriceForm::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void TSetDefPriceForm::btnAddClick()
{
    const Page p = m_pages[pgPolicy->currentIndex()];
    if (partnerOf(p.partner) == 0)
        return;
    // A new line: its commodity code is typed in, the name comes at save.
    const int row = p.prices->rowCount();
    p.prices->insertRow(row);
    p.prices->setItem(row, ColCode, cell(QString(), true));
    p.prices->setItem(row, ColName, cell(QString(), false));
    p.prices->setItem(row, ColUnit, cell(QString(), false));
    p.prices->setItem(row, ColPrice, cell(QStringLiteral("0"), true));
    p.prices->setItem(row, ColRemark, cell(QString(), true));
    p.prices->setCurrentCell(row, ColCode);
}

void TSetDefPriceForm::btnDeleteClick()
{
    const Page p = m_pages[pgPolicy->currentIndex()];
    if (p.prices->currentRow() >= 0)
        p.prices->removeRow(p.prices->currentRow());
}

bool TSetDefPriceForm::Save()
{
    const Page p = m_pages[pgPolicy->currentIndex()];
    const qint64 partner = partnerOf(p.partner);
    if (partner == 0) {
        ShowError(QStringLiteral("请选择往来单位！"));
        return false;
    }
    struct Price {
        qint64 goods;
        double price;
        QString remark;
    };
    QList<Price> prices;
    QSet<qint64> seen;
    for (int row = 0; row < p.prices->rowCount(); ++row) {
        auto text = [&](int column) { return p.prices->item(row, column) ? p.prices->item(row, column)->text().trimmed() : QString(); };
        const QString code = text(ColCode);
        if (code.isEmpty())
            continue;
        QVariant goods;
        GetValueOfSql(QStringLiteral("select COMMODITYID from Commoditylth where CODE=") + QuotedStr(code), goods);
        if (goods.isNull()) {
            ShowError(QStringLiteral("货品编号[") + code + QStringLiteral("]不存在！"));
            p.prices->setCurrentCell(row, ColCode);
            return false;
        }
        bool number = false;
        const double price = text(ColPrice).toDouble(&number);
        if (!number || price < 0) {
            ShowError(QStringLiteral("单价不能小于0！"));
            p.prices->setCurrentCell(row, ColPrice);
            return false;
        }
        if (seen.contains(goods.toLongLong())) {
            ShowError(QStringLiteral("货品编号[") + code + QStringLiteral("]重复！"));
            p.prices->setCurrentCell(row, ColCode);
            return false;
        }
        seen.insert(goods.toLongLong());
        prices.append({goods.toLongLong(), FormatPrice(price), text(ColRemark)});
    }
    try {
        TransactionGuard transaction;
        SqlExecute(QStringLiteral("delete from partnerprice where partnerid = ") + QString::number(partner));
        for (const Price &price : prices)
            SqlExecute(QStringLiteral("insert into partnerprice (PARTNERID, COMMODITYID, PRICE, REMARK) values (:p, :g, :price, :remark)"),
                       {{QStringLiteral("p"), partner},
                        {QStringLiteral("g"), price.goods},
                        {QStringLiteral("price"), price.price},
                        {QStringLiteral("remark"), price.remark}});
        transaction.Commit();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    pricepolicy::ReadPrices(p.prices, partner, true);
    return true;
}
