#pragma once
// TSNOrderProcForm ("订单执行过程"): what became of a sales order: the sales
// and consignment notes made from its lines, with their numbers, dates,
// states and quantities, beside what each order line asked for.

#include <QDialog>

class QLabel;
class QTableWidget;

class TSNOrderProcForm : public QDialog {
    Q_OBJECT
public:
    explicit TSNOrderProcForm(QWidget *parent = nullptr);

    // Reads the order `orderId`; throws the database's error.
    void Open(qint64 orderId);

    QLabel *lbOrder = nullptr;
    QTableWidget *grdLines = nullptr; // the order's lines: ordered, delivered, open
    QTableWidget *grdSales = nullptr; // the notes made from them
};
