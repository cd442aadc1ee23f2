#pragma once
// Fixture of the stock-document tests: the purchase windows' fixture (fresh
// demo books, windows opened as note_Call opens them, scripted messages) with
// the stock books read back per store and commodity.

#include "../purchase/PurchaseFixture.h"

#include <QLabel>

namespace stocktest {

template <class Form>
class StockTest : public purchasetest::PurchaseTest<Form> {
protected:
    using Base = purchasetest::PurchaseTest<Form>;
    using Base::scalar;
    using Base::sql;

    // Audits an entered note, or un-audits an audited one, through its
    // window's button (after an audit the window moves on to the next note).
    void toggleAudit(qint64 id)
    {
        this->form()->LoadNote(int(id));
        this->form()->CheckBtnClick();
    }
    // "quantity/amount" on hand of a commodity (by code) in a store.
    QString onHand(const char *code, int store)
    {
        return scalar(QStringLiteral("select coalesce((select round(QUANTITY,4) || '/' || round(AMOUNT,2) from onhandaath "
                                     "where BUILDINGID=%1 and COMMODITYID=(select COMMODITYID from Commoditylth where CODE='%2')), '0/0')")
                          .arg(store)
                          .arg(QLatin1String(code)))
            .toString();
    }
    // The flow rows of a note: "store:ioflag:quantity:price;...".
    QString flows(int noteType, qint64 id)
    {
        return scalar(QStringLiteral("select coalesce(group_concat(x, ';'), '') from (select BUILDINGID || ':' || IOFLAG || ':' || "
                                     "round(QUANTITY,4) || ':' || round(PRICE,4) as x from noteflowaath where NOTETYPE=%1 and "
                                     "NOTEID=%2 order by ID)")
                          .arg(noteType)
                          .arg(id))
            .toString();
    }
    // A stock in/out note written straight into the books: master values and
    // lines {code, quantity, price}; its id.
    qint64 writeInOut(int state, int kind, int sourceType, int store, int isAuto, const QVector<QVariantList> &rows)
    {
        const qint64 id = scalar(QStringLiteral("select coalesce(max(NOTEID),0)+701 from iostoreith")).toLongLong();
        int item = 0;
        for (const QVariantList &r : rows)
            sql(QStringLiteral("insert into iostoreithDetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT) "
                               "values (%1, %2, (select COMMODITYID from Commoditylth where CODE='%3'), %4, %5, %5, %6)")
                    .arg(id).arg(++item).arg(r[0].toString()).arg(r[1].toDouble()).arg(r[2].toDouble())
                    .arg(r[1].toDouble() * r[2].toDouble()));
        sql(QStringLiteral("insert into iostoreith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, "
                           "OPERATEID, SHOPERATEID, NOTETYPE, ISAUTO) values (%1, %2, %3, 'CRK-%1', '%4', %5, 5, 1, 0, %6, %7)")
                .arg(id).arg(kind).arg(state).arg(GetFirstDayOfPosMonth().addDays(1).toString(Qt::ISODate))
                .arg(store).arg(sourceType).arg(isAuto));
        return id;
    }
};

} // namespace stocktest
