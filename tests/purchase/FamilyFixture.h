#pragma once
// Fixture of the purchase family tests (plan, order, estimated receipt,
// requisition): fresh demo books, the package's forms registered with the
// host as noteLoad registers them, a window of a kind opened as note_Call
// opens it, and keys typed into whatever has the focus.

#include "MDnote.h"
#include "NoteMessages.h"
#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "notedb.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace familytest {

class FamilyTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        noteLoad();
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    }
    void TearDown() override
    {
        m_form.reset();
        SessionTest::TearDown();
    }

    // A new window of the kind, opened on a new note and active for keys.
    template <class Form>
    Form *open(bool initMode = false)
    {
        auto *form = CreateNoteForm<Form>();
        m_form.reset(form);
        EXPECT_EQ(pk_note::SendNoteMessage(form, pk_note::NM_NOTEOPEN, initMode ? 1 : 0, 0), pk_note::S_OK)
            << errors().join(u'|').toStdString();
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form));
        return form;
    }
    TMDnoteForm *form() const { return static_cast<TMDnoteForm *>(m_form.get()); }
    data::ClientDataSet *lines() const { return form()->DetailDataSet(); }
    widgets::TRqDBGrid *grid() const { return form()->Grid(); }
    template <class T = QWidget>
    T *child(const char *name) const
    {
        return m_form->findChild<T *>(QString::fromLatin1(name));
    }

    void setMaster(const char *name, const QVariant &v)
    {
        form()->MasterDataSource()->SetFieldValue(form()->MasterDataSet()->FieldByName(QString::fromLatin1(name)), v);
    }
    QVariant master(const char *name) const { return form()->MasterValue(QString::fromLatin1(name)); }
    QVariant lineAt(int row, const char *name) const
    {
        return lines()->ValueAt(row, lines()->FieldByName(QString::fromLatin1(name))->Index());
    }

    // ---- the keyboard ----
    QWidget *focus() const { return QApplication::focusWidget(); }
    void type(const QString &text)
    {
        for (const QChar c : text) {
            ASSERT_NE(focus(), nullptr);
            if (c.unicode() < 128)
                QTest::keyClicks(focus(), QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, focus(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        ASSERT_NE(focus(), nullptr);
        QTest::keyClick(focus(), k, mods);
    }
    // Types into a master lookup by its code and takes the row with Enter.
    void pick(const char *combo, const QString &code)
    {
        auto *c = child<widgets::TRqLookupCombo>(combo);
        c->setFocus();
        c->selectAll(); // as Tab into the field selects its text
        type(code);
        key(Qt::Key_Return);
    }
    // Lines typed into the grid: commodity code, quantity, price, each
    // followed by Enter, the cursor then on the next line.
    void typeLine(const QString &code, const QString &quantity, const QString &price = {})
    {
        auto *g = grid();
        g->setFocus();
        key(Qt::Key_Insert, Qt::ShiftModifier); // a new line
        auto cell = [g](const char *field) {
            g->setCurrentIndex(g->model()->index(g->currentIndex().row(), g->ColumnOfField(QString::fromLatin1(field))));
        };
        cell("COMMODITYCODE");
        type(code);
        key(Qt::Key_Return);
        cell("QUANTITY");
        type(quantity);
        key(Qt::Key_Return);
        if (!price.isEmpty()) {
            cell(g->ColumnOfField(QStringLiteral("ORIGPRICE")) >= 0 ? "ORIGPRICE" : "PRICE");
            type(price);
            key(Qt::Key_Return);
        }
    }

    int count(const QString &table, const QString &where = QStringLiteral("1=1"))
    {
        return scalar(QStringLiteral("select count(*) from ") + table + QStringLiteral(" where ") + where).toInt();
    }
    qint64 goods(const char *code)
    {
        return scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE='%1'").arg(QLatin1String(code)))
            .toLongLong();
    }
    qint64 supplier(const char *code)
    {
        return scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='%1'").arg(QLatin1String(code)))
            .toLongLong();
    }
    // Saved notes and their lines written straight into the books.
    void insertNote(const QString &table, qint64 id, int state, int kind = 1, qint64 partner = 0, int closed = -1)
    {
        QString columns = QStringLiteral("NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, OPERATEID, SHOPERATEID, UPFLAG");
        QString values = QStringLiteral("%1, %2, %3, 'T-%1', '%4', 1, 0, 0")
                             .arg(id)
                             .arg(kind)
                             .arg(state)
                             .arg(GetFirstDayOfPosMonth().addDays(1).toString(QStringLiteral("yyyy-MM-dd")));
        if (partner) {
            columns += QStringLiteral(", PARTNERID");
            values += QStringLiteral(", %1").arg(partner);
        }
        if (closed >= 0) {
            columns += QStringLiteral(", CLOSED, REVDATE");
            values += QStringLiteral(", %1, '%2'").arg(closed).arg(GetFirstDayOfPosMonth().toString(QStringLiteral("yyyy-MM-dd")));
        }
        sql(QStringLiteral("insert into %1 (%2) values (%3)").arg(table, columns, values));
    }
    void insertLine(const QString &table, qint64 id, int item, qint64 commodity, double quantity, double price,
                    const QString &extraColumns = {}, const QString &extraValues = {})
    {
        sql(QStringLiteral("insert into %1 (NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY, PRICE, DISC, TAXRATE, "
                           "AMOUNT%2) values (%3, %4, %5, 1, %6, %7, 100, 13, %8%9)")
                .arg(table, extraColumns.isEmpty() ? QString() : QStringLiteral(", ") + extraColumns)
                .arg(id)
                .arg(item)
                .arg(commodity)
                .arg(quantity)
                .arg(price)
                .arg(quantity * price * 1.13)
                .arg(extraValues.isEmpty() ? QString() : QStringLiteral(", ") + extraValues));
    }
    // The window of a kind found among the top-level windows (opened by another).
    QWidget *openWindow(const QString &name)
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName().compare(name, Qt::CaseInsensitive) == 0 && w != m_form.get())
                return w;
        return nullptr;
    }
    // For checking the window by eye: build/shots/<name>.png.
    bool screenshot(const QString &name)
    {
        const QString shots = QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots"));
        QDir().mkpath(shots);
        QApplication::processEvents();
        return m_form->grab().save(QDir(shots).filePath(name + QStringLiteral(".png")));
    }
    std::string errorText() const { return errors().join(u'|').toStdString(); }

    std::unique_ptr<QWidget> m_form;
};

} // namespace familytest
