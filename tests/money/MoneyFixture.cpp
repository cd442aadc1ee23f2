#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "NoteTypes.h"
#include "notedb.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

namespace moneytest {

namespace {

QWidget *openWindow(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName().compare(name, Qt::CaseInsensitive) == 0 && w->isVisible())
            return w;
    return nullptr;
}

} // namespace

void MoneyTest::SetUp()
{
    SessionTest::SetUp();
    ASSERT_TRUE(testsupport::plugin().load && testsupport::plugin().call);
    testsupport::plugin().load(); // registers the forms with their factories
}

long MoneyTest::call(const QString &function, const QString &argument, QnParams *params)
{
    return testsupport::plugin().call(function, argument, params);
}

QWidget *MoneyTest::show(const QString &formName)
{
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), formName), 0);
    m_window = openWindow(formName);
    EXPECT_NE(m_window.data(), nullptr) << formName.toStdString() << " did not open";
    return m_window;
}

void MoneyTest::showActive(const QString &formName)
{
    ASSERT_NE(show(formName), nullptr);
    m_window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window));
}

QWidget *MoneyTest::locate(int noteType, int noteId)
{
    QnParams p;
    p.AddValue(QStringLiteral("NOTETYPE"), noteType);
    p.AddValue(QStringLiteral("NOTEID"), noteId);
    EXPECT_EQ(call(QStringLiteral("LOCATENOTE"), QString(), &p), 0);
    m_window = openWindow(NoteTypeFormName(noteType));
    EXPECT_NE(m_window.data(), nullptr);
    return m_window;
}

data::ClientDataSet *MoneyTest::master() const { return child<data::ClientDataSet>(QStringLiteral("cdsMaster")); }
data::ClientDataSet *MoneyTest::detail() const { return child<data::ClientDataSet>(QStringLiteral("cdsDetail")); }

void MoneyTest::setMaster(const QString &field, const QVariant &value)
{
    auto *ds = child<data::DataSource>(QStringLiteral("dsMaster"));
    ASSERT_NE(ds, nullptr);
    ds->SetFieldValue(master()->FieldByName(field), value);
}

QVariant MoneyTest::masterValue(const QString &field) const
{
    data::Field *f = master()->FindField(field);
    return f ? f->Value() : QVariant();
}

void MoneyTest::addLine(const QList<QPair<QString, QVariant>> &values)
{
    auto *ds = child<data::DataSource>(QStringLiteral("dsDetail"));
    ASSERT_NE(ds, nullptr);
    detail()->Append();
    for (const auto &[name, value] : values)
        ds->SetFieldValue(detail()->FieldByName(name), value);
    detail()->Post();
}

void MoneyTest::enterExpenseNote()
{
    setMaster(QStringLiteral("PAYTYPESID"), 1);
    addLine({{QStringLiteral("IETYPESID"), 1}, {QStringLiteral("AMOUNT"), 120.5}, {QStringLiteral("REMARK"), QStringLiteral("墨盒")}});
    addLine({{QStringLiteral("IETYPESID"), 2}, {QStringLiteral("AMOUNT"), 300}});
}

void MoneyTest::click(const QString &button)
{
    auto *b = child<QAbstractButton>(button);
    ASSERT_NE(b, nullptr) << button.toStdString();
    ASSERT_TRUE(b->isEnabled()) << button.toStdString();
    b->click();
}

void MoneyTest::invoke(const char *slot)
{
    ASSERT_TRUE(QMetaObject::invokeMethod(m_window.data(), slot)) << slot;
}

QWidget *MoneyTest::focus() { return QApplication::focusWidget(); }

QString MoneyTest::focusName() { return focus() ? focus()->objectName() : QStringLiteral("<none>"); }

void MoneyTest::type(const QString &text) { testsupport::typeIntoFocus(text); }

void MoneyTest::key(Qt::Key k, Qt::KeyboardModifiers mods)
{
    ASSERT_NE(focus(), nullptr);
    QTest::keyClick(focus(), k, mods);
}

double MoneyTest::balance(int account)
{
    return scalar(QStringLiteral("select BALANCE from accountacth where ACCOUNTID = :a"), {{QStringLiteral("a"), account}})
        .toDouble();
}

QStringList MoneyTest::takeMessages()
{
    QStringList out;
    const auto &all = m_messages.records();
    for (int i = m_seen; i < all.size(); ++i)
        out << all[i].text;
    m_seen = int(all.size());
    return out;
}

} // namespace moneytest
