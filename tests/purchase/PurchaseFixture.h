#pragma once
// Fixture of the document-window tests: demo books with the package's forms
// registered, a window on a new note as note_Call opens it, keys into the
// focus, and notes written straight into the books.

#include "MDnote.h"
#include "NoteMessages.h"
#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "noteSelectorForm.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

// Messages print as text in failures.
inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace purchasetest {

template <class Form = TMDnoteForm>
class PurchaseTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        noteLoad();
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
        setParam(QStringLiteral("IsPSequence"), QStringLiteral("1"));
    }
    void TearDown() override { m_form.reset(), SessionTest::TearDown(); }

    // A new note in a fresh window, active for keys.
    template <class F = Form>
    F *open()
    {
        auto *f = CreateNoteForm<F>();
        m_form.reset(f);
        EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK) << err();
        testsupport::showActive(f);
        return f;
    }
    Form *form() const { return static_cast<Form *>(m_form.get()); }
    data::ClientDataSet *lines() const { return form()->DetailDataSet(); }
    widgets::TRqDBGrid *grid() const { return form()->Grid(); }
    template <class T = QWidget>
    T *child(const char *name) const { return m_form->findChild<T *>(QString::fromLatin1(name)); }
    QAction *menu(const char *name) const { return child<QAction>(name); }

    // Writes a field as its control would: the field's rules run.
    void setMaster(const char *name, const QVariant &v)
    {
        form()->MasterDataSource()->SetFieldValue(form()->MasterField(QString::fromLatin1(name)), v);
    }
    void setLine(const char *name, const QVariant &v)
    {
        form()->DetailDataSource()->SetFieldValue(lines()->FieldByName(QString::fromLatin1(name)), v);
    }
    QVariant master(const char *name) const { return form()->MasterValue(QString::fromLatin1(name)); }
    // A line's value, in this window or in `other`.
    QVariant line(int row, const char *name, TMDnoteForm *other = nullptr) const
    {
        data::ClientDataSet *d = (other ? other : form())->DetailDataSet();
        return d->ValueAt(row, d->FieldByName(QString::fromLatin1(name))->Index());
    }
    // Values of the fields "A,B" of a line (of this window or `other`) or of the master: "a/b".
    QString row(int r, const char *fields, TMDnoteForm *other = nullptr) const
    {
        return joined(fields, [&](const char *f) { return line(r, f, other); });
    }
    QString masters(const char *fields) const
    {
        return joined(fields, [&](const char *f) { return master(f); });
    }
    QString refer(int r, TMDnoteForm *other = nullptr) const { return row(r, "REFERNOTETYPE,REFERNOTEID,REFERITEMSNO", other); }
    template <class Value>
    static QString joined(const char *fields, Value value)
    {
        QStringList values;
        for (const QByteArray &f : QByteArray(fields).split(','))
            values << value(f.constData()).toString();
        return values.join(u'/');
    }
    void addLine(const char *code, double quantity, double price)
    {
        form()->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
        setLine("QUANTITY", quantity);
        setLine("PRICE", price);
    }
    // Saves with OK; true when no error was shown.
    bool save()
    {
        const auto before = errors().size();
        form()->OkBtnClick();
        return errors().size() == before;
    }
    // Save refused with the error `text`.
    testing::AssertionResult refused(const QString &text)
    {
        if (save())
            return testing::AssertionFailure() << "saved";
        if (lastError() != text)
            return testing::AssertionFailure() << "shown: " << err();
        return testing::AssertionSuccess();
    }
    qint64 current() const { return qint64(form()->CurrentNoteID()); }
    // Saves and audits the note on screen, then shows it again; its id.
    qint64 saveAndAudit(const char *table)
    {
        EXPECT_TRUE(save()) << err();
        const qint64 id = current();
        form()->CheckBtnClick();
        EXPECT_EQ(state(table, id), 1) << err();
        EXPECT_TRUE(form()->LoadNote(int(id)));
        return id;
    }
    // The audit button refused with the error `text`, the note left at `stays`.
    testing::AssertionResult auditRefused(const char *table, qint64 id, int stays, const QString &text)
    {
        m_messages.clear();
        form()->CheckBtnClick();
        if (lastError() != text)
            return testing::AssertionFailure() << "shown: " << err();
        if (const int now = state(table, id); now != stays)
            return testing::AssertionFailure() << "state " << now;
        return testing::AssertionSuccess();
    }
    std::string err() const { return shownText(); }

    // ---- the keyboard ----
    QWidget *focus() const { return QApplication::focusWidget(); }
    static void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { testsupport::keyIntoFocus(k, mods); }
    void enter(const QString &text) { testsupport::typeIntoFocus(text), key(Qt::Key_Return); }
    // Types into a master lookup by its code and takes the row with Enter.
    void pick(const char *combo, const QString &code)
    {
        auto *c = child<widgets::TRqLookupCombo>(combo);
        c->setFocus();
        c->selectAll(); // as Tab into the field selects its text
        enter(code);
    }

    // ---- the books ----
    int count(const char *table, const QString &where = QStringLiteral("1=1"))
    {
        return scalar(QStringLiteral("select count(*) from %1 where %2").arg(QLatin1String(table), where)).toInt();
    }
    // One column of a note (or of its line `item`) in the books.
    QVariant column(const char *table, qint64 id, const char *name, int item = 0)
    {
        return scalar(QStringLiteral("select %1 from %2 where NOTEID=%3%4")
                          .arg(QLatin1String(name), QLatin1String(table)).arg(id)
                          .arg(item ? QStringLiteral(" and ITEMSNO=%1").arg(item) : QString()));
    }
    int state(const char *table, qint64 id) { return column(table, id, "NOTESTATE").toInt(); }
    // Columns of a note (or of its line `item`) in the books, "a/b"; of a
    // detail table all its lines in order, "a/b,c/d".
    QString values(const char *table, qint64 id, const char *columns, int item = 0)
    {
        const bool detail = QLatin1String(table).endsWith(QLatin1String("detail"), Qt::CaseInsensitive);
        return testsupport::rowsOf(database(), QStringLiteral("select %1 from %2 where NOTEID=%3%4%5")
                                                   .arg(QLatin1String(columns), QLatin1String(table)).arg(id)
                                                   .arg(item ? QStringLiteral(" and ITEMSNO=%1").arg(item) : QString(),
                                                        detail ? QStringLiteral(" order by ITEMSNO") : QString()),
                                   u'/', u',');
    }
    // Stop flags in the books: "note/line 1,line 2,...".
    QString stops(const char *table, qint64 id)
    {
        return values(table, id, "CLOSED") + u'/' + values(QByteArray(table).append("Detail").constData(), id, "CLOSED");
    }
    qint64 lastNote(const char *table) { return scalar(QStringLiteral("select max(NOTEID) from %1").arg(QLatin1String(table))).toLongLong(); }
    qint64 partnerId(const char *code)
    {
        return scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='%1'").arg(QLatin1String(code))).toLongLong();
    }
    // What the partner owes (a supplier: what is owed to it).
    double owed(qint64 partner) { return scalar(QStringLiteral("select SCAMT from partnerlth where PARTNERID=%1").arg(partner)).toDouble(); }
    qint64 goods(const QString &code)
    {
        return scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE='%1'").arg(code)).toLongLong();
    }
    // A note written straight into the books for `partner` (S00n is n in the
    // demo), lines {code, quantity, price, `extra` columns...} in store 1; its id.
    qint64 writeNote(const char *table, const char *code, int state, int kind, qint64 partner,
                     const QVector<QVariantList> &rows, const char *extra = "")
    {
        const QString t = QLatin1String(table), x = QLatin1String(extra);
        const qint64 id = scalar(QStringLiteral("select coalesce(max(NOTEID),0)+501 from ") + t).toLongLong();
        sql(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, OPERATEID, SHOPERATEID, "
                           "REMARK%2) values (%3, %4, %5, '%6', '%7', 1, 0, 'from %6'%8)")
                .arg(t, partner ? QStringLiteral(", PARTNERID") : QString()).arg(id).arg(kind).arg(state)
                .arg(QLatin1String(code), GetFirstDayOfPosMonth().addDays(1).toString(Qt::ISODate))
                .arg(partner ? QStringLiteral(", %1").arg(partner) : QString()));
        int item = 0;
        for (const QVariantList &r : rows) {
            QStringList values{QString::number(id), QString::number(++item), QString::number(goods(r[0].toString())),
                               r[1].toString(), r[2].toString(), QString::number(r[1].toDouble() * r[2].toDouble()), QStringLiteral("1")};
            for (int i = 3; i < r.size(); ++i)
                values << r[i].toString();
            sql(QStringLiteral("insert into %1Detail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, AMOUNT, "
                               "BUILDINGID%2) values (%3)")
                    .arg(t, x.isEmpty() ? QString() : QStringLiteral(", ") + x, values.join(u',')));
        }
        return id;
    }
    // Turns in with the selector: every line of one source note ticked.
    void turnIn(qint64 source, bool splitByBatch = false)
    {
        m_modal.setHandler([source, splitByBatch](QWidget *w) {
            auto *selector = qobject_cast<TnoteSelectorForm *>(w);
            if (!selector)
                return 0;
            selector->chkSplit->setChecked(splitByBatch);
            EXPECT_TRUE(selector->qryMaster->Locate(QStringLiteral("noteid"), source));
            selector->ToggleDocument();
            selector->OkBtnClick();
            return selector->result();
        });
        form()->SelectSourceNote();
    }
    // The window of a kind another window opened, owned by the test.
    template <class F>
    std::unique_ptr<F> opened(const char *name)
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName().compare(QLatin1String(name), Qt::CaseInsensitive) == 0 && w != m_form.get())
                return std::unique_ptr<F>(dynamic_cast<F *>(w));
        return nullptr;
    }

    // A new note of `F` with two lines, grabbed to shots/<name>.png for
    // checking by eye; every master control must lie inside the window.
    template <class F>
    void shoot(const QString &name, qint64 partner, const char *code, double price)
    {
        auto *f = open<F>();
        if (f->MasterField(QStringLiteral("PARTNERID")))
            setMaster("PARTNERID", partner);
        addLine(code, 10, price);
        addLine("BG0003", 24, 1.5);
        EXPECT_TRUE(errors().isEmpty()) << err();
        grabbed(f, name);
        m_form.reset();
    }
    void grabbed(QWidget *f, const QString &name)
    {
        EXPECT_TRUE(testsupport::saveShot(f, name));
        if (auto *master = f->findChild<QWidget *>(QStringLiteral("palMaster")))
            for (QWidget *w : master->findChildren<QWidget *>())
                if (!w->isWindow() && w->isVisibleTo(f)) {
                    EXPECT_TRUE(f->rect().contains(w->mapTo(f, QPoint(0, 0))))
                        << name.toStdString() << ": " << w->objectName().toStdString();
                }
    }
    // The window `function` opens in init mode, in the books' first period before use.
    template <class F>
    F *openInit(const char *function, const char *window)
    {
        setParam(QStringLiteral("IsStartUse"), QStringLiteral("0"));
        for (const char *part : {"Year", "Month"})
            sql(QStringLiteral("update sysparamamth set DATAVALUE=(select DATAVALUE from sysparamamth where "
                               "PARAMNAME='Pos%1') where PARAMNAME='Start%1'").arg(QLatin1String(part)));
        EXPECT_EQ(note_Call(QStringLiteral("SHOWNOTEFORM"), QLatin1String(function), nullptr), 0);
        m_form = opened<F>(window);
        EXPECT_TRUE(m_form && form()->InitMode()) << err();
        return static_cast<F *>(m_form.get());
    }

    std::unique_ptr<QWidget> m_form;
};

// The sales windows keep their notes in sequence as well.
template <class Form = TMDnoteForm>
class SalesTest : public PurchaseTest<Form> {
protected:
    void SetUp() override
    {
        PurchaseTest<Form>::SetUp();
        this->setParam(QStringLiteral("IsSSequence"), QStringLiteral("1"));
    }
};

} // namespace purchasetest
