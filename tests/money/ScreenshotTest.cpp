// Screenshots of the three money windows on demo notes, for checking the
// layout by eye: build-money/shots/<form>.png beside the build's bin folder.

#include "MoneyFixture.h"

#include "widgets/DBGrid.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>

using namespace moneytest;

namespace {

class ScreenshotTest : public MoneyTest {
protected:
    QString grab(const QString &name)
    {
        m_window->show();
        QApplication::processEvents();
        const QString dir = QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots"));
        QDir().mkpath(dir);
        const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
        EXPECT_TRUE(m_window->grab().save(path)) << path.toStdString();
        return path;
    }
    int note(const QString &table, int state)
    {
        return scalar(QStringLiteral("select max(NOTEID) from %1 where NOTESTATE=%2").arg(table).arg(state)).toInt();
    }
};

TEST_F(ScreenshotTest, TheThreeWindowsOnDemoNotes)
{
    struct Shot {
        const char *form, *table;
        int type, state;
    } shots[] = {{"MoveForm", "movebth", 51, 1}, {"OutMoneyForm", "expenseath", 52, 0}, {"InComeForm", "InComebth", 53, 0}};
    for (const Shot &s : shots) {
        const int id = note(QString::fromLatin1(s.table), s.state);
        ASSERT_GT(id, 0) << s.form;
        locate(s.type, id);
        ASSERT_NE(m_window.data(), nullptr) << s.form;
        EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), id);
        if (auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"))) {
            EXPECT_GT(grid->FooterValue(1), 0) << s.form;
        }
        const QImage image(grab(QString::fromLatin1(s.form)));
        EXPECT_GE(image.width(), 700) << s.form; // within the test screen
        EXPECT_GE(image.height(), 300) << s.form;
    }
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

} // namespace
