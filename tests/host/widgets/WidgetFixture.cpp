#include "WidgetFixture.h"

#include <QApplication>
#include <QFont>
#include <QKeyEvent>
#include <QWidget>

namespace widgettest {

void WidgetTest::SetUp()
{
    testsupport::ensureApplication();
    // The default offscreen font has no Chinese glyphs.
    QFont f("WenQuanYi Zen Hei");
    f.setPointSize(10);
    QApplication::setFont(f);
    SessionTest::SetUp();
}

std::unique_ptr<data::ClientDataSet> WidgetTest::query(const QString &sql)
{
    auto ds = std::make_unique<data::ClientDataSet>(m_db.get());
    ds->SetCommandText(sql);
    ds->Open();
    return ds;
}

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
