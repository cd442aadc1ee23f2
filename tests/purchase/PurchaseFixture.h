#pragma once
// Fixture of the purchase-window tests: fresh demo books, scripted messages and
// modal windows, the window built as the package builds it, and source notes
// (orders, estimated receipts) written straight into the books.

#include "NoteMessages.h"
#include "NoteTypes.h"
#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Messages print as text in failures.
inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace purchasetest {

template <class Form>
class PurchaseTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        for (int type : {1, 2, 3, 4, 5})
            RegisterPrivilegedForm(NoteTypeFormName(type), nullptr, 2000 + type);
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
        setParam(QStringLiteral("IsPSequence"), QStringLiteral("1"));
        SetCurrentUser(kDemoAdmin);
    }
    void TearDown() override
    {
        m_form.reset();
        SessionTest::TearDown();
    }

    // A new note in a fresh window, as the host's menu opens it.
    Form *open()
    {
        m_form.reset(CreateNoteForm<Form>());
        EXPECT_EQ(pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK)
            << shown().join(u'|').toStdString();
        m_form->show();
        return m_form.get();
    }
    data::ClientDataSet *lines() const { return m_form->DetailDataSet(); }
    // Writes a field as its control would: the field's rules run.
    void setMaster(const char *name, const QVariant &v)
    {
        m_form->MasterDataSource()->SetFieldValue(m_form->MasterDataSet()->FieldByName(QString::fromLatin1(name)), v);
    }
    void setLine(const char *name, const QVariant &v)
    {
        m_form->DetailDataSource()->SetFieldValue(lines()->FieldByName(QString::fromLatin1(name)), v);
    }
    QVariant master(const char *name) const { return m_form->MasterValue(QString::fromLatin1(name)); }
    QVariant line(int row, const char *name) const
    {
        return lines()->ValueAt(row, lines()->FieldByName(QString::fromLatin1(name))->Index());
    }
    void addLine(const char *code, double quantity, double price)
    {
        m_form->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
        setLine("QUANTITY", quantity);
        setLine("PRICE", price);
    }
    // Saves with OK; true when no error was shown.
    bool save()
    {
        const int before = int(errors().size());
        m_form->OkBtnClick();
        return errors().size() == before;
    }
    QString lastError() const { return errors().value(errors().size() - 1); }

    // An audited source note of `table` for `partner` with lines
    // {commodity, store, quantity, price, extra column values}; its id.
    qint64 sourceNote(const QString &table, int kind, int partner, const QString &code,
                      const QVector<QVector<QVariant>> &rows, const QString &extraColumns = {})
    {
        const qint64 id = scalar(QStringLiteral("select coalesce(max(NOTEID),0)+1 from ") + table).toLongLong() + 500;
        sql(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, "
                           "SHOPERATEID, REMARK) values (%2, %3, 1, '%4', '2026-12-01', %5, 0, 0, 'from %4')")
                .arg(table).arg(id).arg(kind).arg(code).arg(partner));
        int item = 0;
        for (const QVector<QVariant> &r : rows) {
            QString cols = QStringLiteral("NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY, PRICE, AMOUNT");
            QStringList values{QString::number(id), QString::number(++item), r[0].toString(), r[1].toString(),
                               r[2].toString(), r[3].toString(), QString::number(r[2].toDouble() * r[3].toDouble())};
            if (!extraColumns.isEmpty()) {
                cols += QStringLiteral(", ") + extraColumns;
                for (int i = 4; i < r.size(); ++i)
                    values << (r[i].isNull() ? QStringLiteral("null") : r[i].toString());
            }
            sql(QStringLiteral("insert into %1Detail (%2) values (%3)").arg(table, cols, values.join(u',')));
        }
        return id;
    }
    qint64 savedNote() { return scalar(QStringLiteral("select max(NOTEID) from purchasepth")).toLongLong(); }

    std::unique_ptr<Form> m_form;
};

} // namespace purchasetest
