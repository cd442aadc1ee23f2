#include "SNOrderProcForm.h"

#include "DataAccess.h"
#include "PackageWindows.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TSNOrderProcForm", [](QWidget *owner) -> QWidget * { return new TSNOrderProcForm(owner); });

QTableWidget *table(QWidget *parent, const char *name, const QStringList &captions)
{
    auto *t = new QTableWidget(0, int(captions.size()), parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHorizontalHeaderLabels(captions);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QString quantityText(double q)
{
    QString text = QString::number(q, 'f', 4);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

// Fills `t` from `sql`: each column by name; numbers in `quantities` as quantities.
void fill(QTableWidget *t, const QString &sql, const QStringList &columns, const QStringList &quantities)
{
    t->setRowCount(0);
    AutoQuery q = CreateAutoQuery(sql);
    for (q->First(); !q->Eof(); q->Next()) {
        const int row = t->rowCount();
        t->insertRow(row);
        for (int c = 0; c < columns.size(); ++c) {
            const QueryField f = q->FieldByName(columns[c]);
            const QString text = quantities.contains(columns[c]) ? quantityText(f.AsFloat())
                                 : columns[c] == QLatin1String("NOTEDATE") ? f.AsDate().toString(Qt::ISODate)
                                                                           : f.AsString();
            t->setItem(row, c, new QTableWidgetItem(text));
        }
    }
    t->resizeColumnsToContents();
}

} // namespace

TSNOrderProcForm::TSNOrderProcForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SNOrderProcForm"));
    setWindowTitle(QStringLiteral("订单执行过程"));
    lbOrder = new QLabel(this);
    lbOrder->setObjectName(QStringLiteral("lbOrder"));
    auto *lines = new QGroupBox(QStringLiteral("订单明细"), this);
    grdLines = table(lines, "grdLines",
                     {QStringLiteral("行号"), QStringLiteral("货品编号"), QStringLiteral("货品名称"), QStringLiteral("订货数量"),
                      QStringLiteral("已发货数量"), QStringLiteral("未发货数量"), QStringLiteral("中止")});
    (new QVBoxLayout(lines))->addWidget(grdLines);
    auto *sales = new QGroupBox(QStringLiteral("销售单"), this);
    grdSales = table(sales, "grdSales",
                     {QStringLiteral("单据类型"), QStringLiteral("单据号"), QStringLiteral("日期"), QStringLiteral("状态"),
                      QStringLiteral("行号"), QStringLiteral("货品编号"), QStringLiteral("货品名称"), QStringLiteral("数量")});
    (new QVBoxLayout(sales))->addWidget(grdSales);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lbOrder);
    layout->addWidget(lines, 1);
    layout->addWidget(sales, 2);
    resize(820, 560);
}

void TSNOrderProcForm::Open(qint64 orderId)
{
    const QString id = QString::number(orderId);
    QVariant code;
    GetValueOfSql(QStringLiteral("select NOTECODE from ordersth where NOTEID=") + id, code);
    lbOrder->setText(QStringLiteral("销售订单: ") + code.toString());
    fill(grdLines,
         QStringLiteral("select d.ITEMSNO, g.CODE, g.NAME, d.QUANTITY, d.SALEQTY, "
                        "d.QUANTITY-isnull(d.REFERQTY,0)-isnull(d.SALEQTY,0) as LEFTQTY, "
                        "case when d.CLOSED=1 then '中止' else '' end as STOPPED from ordersthDetail d "
                        "left join Commoditylth g on g.COMMODITYID=d.COMMODITYID where d.NOTEID=")
             + id + QStringLiteral(" order by d.ITEMSNO"),
         {QStringLiteral("ITEMSNO"), QStringLiteral("CODE"), QStringLiteral("NAME"), QStringLiteral("QUANTITY"),
          QStringLiteral("SALEQTY"), QStringLiteral("LEFTQTY"), QStringLiteral("STOPPED")},
         {QStringLiteral("QUANTITY"), QStringLiteral("SALEQTY"), QStringLiteral("LEFTQTY")});
    // Sales and consignment notes that took the order's lines; void ones are gone.
    auto made = [&id](const char *kind, const char *master) {
        const QString m = QLatin1String(master);
        return QStringLiteral("select '%1' as KINDNAME, m.NOTECODE, m.NOTEDATE, case when m.NOTESTATE=1 then '已审核' "
                              "else '未审核' end as STATENAME, d.REFERITEMSNO, g.CODE, g.NAME, d.QUANTITY from %2Detail d "
                              "join %2 m on m.NOTEID=d.NOTEID left join Commoditylth g on g.COMMODITYID=d.COMMODITYID "
                              "where d.REFERNOTETYPE=12 and d.REFERNOTEID=%3 and m.NOTESTATE<>2")
            .arg(QString::fromUtf8(kind), m, id);
    };
    fill(grdSales, made("销售开单", "salesth") + QStringLiteral(" union all ") + made("委销单", "DeputeMarketsth")
                       + QStringLiteral(" order by 3, 2, 5"),
         {QStringLiteral("KINDNAME"), QStringLiteral("NOTECODE"), QStringLiteral("NOTEDATE"), QStringLiteral("STATENAME"),
          QStringLiteral("REFERITEMSNO"), QStringLiteral("CODE"), QStringLiteral("NAME"), QStringLiteral("QUANTITY")},
         {QStringLiteral("QUANTITY")});
}
