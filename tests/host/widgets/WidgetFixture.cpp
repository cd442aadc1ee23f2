#include "WidgetFixture.h"

#include <QApplication>
#include <QFont>
#include <QKeyEvent>
#include <QWidget>

namespace widgettest {

void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_widgets";
    static char *argv[] = {name, nullptr};
    auto *app = new QApplication(argc, argv); // lives until the program ends
    // The default offscreen font has no Chinese glyphs.
    QFont f(QStringLiteral("WenQuanYi Zen Hei"));
    f.setPointSize(10);
    app->setFont(f);
}

void WidgetTest::SetUp()
{
    ensureApplication(); // before the session's, for the font
    SessionTest::SetUp();
}

std::unique_ptr<data::ClientDataSet> WidgetTest::query(const QString &sql)
{
    auto ds = std::make_unique<data::ClientDataSet>(m_db.get());
    ds->SetCommandText(sql);
    ds->Open();
    return ds;
}

std::unique_ptr<data::ClientDataSet> WidgetTest::lines()
{
    auto ds = std::make_unique<data::ClientDataSet>();
    ds->AddField(QStringLiteral("CODE"), data::FieldType::String, 20);
    ds->AddField(QStringLiteral("NAME"), data::FieldType::String, 60);
    ds->AddField(QStringLiteral("QUANTITY"), data::FieldType::Float);
    ds->AddField(QStringLiteral("PRICE"), data::FieldType::Float);
    ds->AddField(QStringLiteral("AMOUNT"), data::FieldType::Float);
    ds->CreateDataSet();
    return ds;
}

void addLine(data::ClientDataSet &ds, const QString &code, const QString &name, double qty, double price)
{
    ds.Append();
    ds.FieldByName(QStringLiteral("CODE"))->SetValue(code);
    ds.FieldByName(QStringLiteral("NAME"))->SetValue(name);
    ds.FieldByName(QStringLiteral("QUANTITY"))->SetValue(qty);
    ds.FieldByName(QStringLiteral("PRICE"))->SetValue(price);
    ds.FieldByName(QStringLiteral("AMOUNT"))->SetValue(qty * price);
    ds.Post();
}

} // namespace widgettest

namespace widgettest {

void typeText(QWidget *w, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

} // namespace widgettest
