#pragma once
// Fixture of the stock-document tests: the purchase windows' fixture with the
// stock read back per store and commodity (joined in C++, so alike on both
// engines), and notes written straight into the books.

#include "../purchase/PurchaseFixture.h"

#include <QLabel>

namespace stocktest {

// A line written straight into the books: commodity code, quantity, price.
struct Line {
    const char *code;
    double quantity;
    double price;
};

template <class Form>
class StockTest : public purchasetest::PurchaseTest<Form> {
protected:
    using Base = purchasetest::PurchaseTest<Form>;
    using Base::scalar;
    using Base::sql;

    // Audits or un-audits a note through its window's button.
    void toggleAudit(qint64 id)
    {
        this->form()->LoadNote(int(id));
        this->form()->CheckBtnClick();
    }
    // toggleAudit, then the note's state in `table`.
    int audit(const char *table, qint64 id)
    {
        toggleAudit(id);
        return this->state(table, id);
    }
    // A new note of the window on a store, by employee 5.
    template <class F = Form>
    F *start(int store)
    {
        F *f = this->template open<F>();
        this->setMaster("BUILDINGID", store);
        this->setMaster("EMPID", 5);
        return f;
    }
    // The rows of a query: values joined by `sep`, rows by ';'.
    QString rows(const QString &select, QChar sep = u':') { return testsupport::joinedRows(this->database(), select, sep); }
    // "quantity/amount" on hand of a commodity (by code) in a store.
    QString onHand(const char *code, int store)
    {
        const QString r = rows(QStringLiteral("select QUANTITY, AMOUNT from onhandaath where BUILDINGID=%1 and COMMODITYID=%2")
                                   .arg(store).arg(this->goods(QLatin1String(code))), u'/');
        return r.isEmpty() ? QStringLiteral("0/0") : r;
    }
    // onHand in several stores, joined by ' '.
    QString onHand(const char *code, std::initializer_list<int> stores)
    {
        QStringList out;
        for (int store : stores)
            out << onHand(code, store);
        return out.join(u' ');
    }
    // The flow rows of a note: "store:ioflag:quantity:price;...".
    QString flows(int noteType, qint64 id)
    {
        return rows(QStringLiteral("select BUILDINGID, IOFLAG, QUANTITY, PRICE from noteflowaath where NOTETYPE=%1 and "
                                   "NOTEID=%2 order by ID").arg(noteType).arg(id));
    }
    // Pens on the places of store 1: "place:quantity;...".
    QString penPlaces()
    {
        return rows(QStringLiteral("select PLACEID, QUANTITY from onhandaathPlace where BUILDINGID=1 and COMMODITYID=%1 "
                                   "order by PLACEID").arg(this->goods(QStringLiteral("BG0003"))));
    }
    // A note written straight into the books, keyed from the table's counter,
    // `day` days into the period, with `extra` master columns ("%1" in `code`
    // becomes the id; state 1 posts it); its id.
    qint64 insertNote(const char *table, const QString &code, const QVector<Line> &lines, int state = 0, int store = 1,
                      int emp = 5, int maker = 1, int day = 0, const QList<std::pair<const char *, int>> &extra = {})
    {
        const QString t = QLatin1String(table);
        const qint64 id = GetNewKeyValue(t);
        int item = 0;
        for (const Line &l : lines)
            sql(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT) "
                               "values (%2, %3, %4, %5, %6, %6, %7)")
                    .arg(t).arg(id).arg(++item).arg(this->goods(QLatin1String(l.code))).arg(l.quantity).arg(l.price)
                    .arg(l.quantity * l.price));
        QString columns, values;
        bool kind = false;
        for (const auto &[column, value] : extra) {
            columns += QStringLiteral(", ") + QLatin1String(column), values += QStringLiteral(", %1").arg(value);
            kind = kind || qstrcmp(column, "NOTEKIND") == 0;
        }
        if (!kind)
            columns += QStringLiteral(", NOTEKIND"), values += QStringLiteral(", 1");
        sql(QStringLiteral("insert into %1 (NOTEID, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID%2) "
                           "values (%3, %4, '%5', '%6', %7, %8, %9%10)")
                .arg(t, columns).arg(id).arg(state).arg(code.contains(QLatin1String("%1")) ? code.arg(id) : code)
                .arg(GetFirstDayOfPosMonth().addDays(day).toString(Qt::ISODate)).arg(store).arg(emp).arg(maker).arg(values));
        return id;
    }
    // A stock in/out note ("CRK-<id>", day 2), made by the system when `isAuto`.
    qint64 writeInOut(int state, int kind, int sourceType, int store, int isAuto, const QVector<Line> &lines)
    {
        return insertNote("iostoreith", QStringLiteral("CRK-%1"), lines, state, store, 5, 1, 1,
                          {{"NOTEKIND", kind}, {"NOTETYPE", sourceType}, {"ISAUTO", isAuto}, {"SHOPERATEID", 0}});
    }
    // An audited stock-in of a commodity into a store.
    void receive(const char *code, int store, double quantity, double price)
    {
        insertNote("OtherInith", QStringLiteral("RK-%1"), {{code, quantity, price}}, 1, store);
    }
    // The stores lose whatever the demo held there of a commodity.
    void clearStock(const char *code, std::initializer_list<int> stores)
    {
        for (int store : stores)
            sql(QStringLiteral("delete from onhandaath where BUILDINGID=%1 and COMMODITYID=%2")
                    .arg(store).arg(this->goods(QLatin1String(code))));
    }
};

} // namespace stocktest
