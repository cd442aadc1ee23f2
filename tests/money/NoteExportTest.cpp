// "导出Excel" of the expense window (the file read back from the .xlsx zip),
// its right and cancelling.

#include "MoneyFixture.h"
#include "Pk_note_itf.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QFile>
#include <QProcess>

using namespace moneytest;

namespace {

class NoteExportTest : public MoneyTest {
protected:
    void trigger(const char *action)
    {
        auto *a = child<QAction>(QString::fromLatin1(action));
        ASSERT_NE(a, nullptr) << action;
        a->trigger();
    }
    static QString part(const QString &file, const char *entry)
    {
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QString::fromLatin1(entry)});
        EXPECT_TRUE(unzip.waitForFinished()) << "unzip";
        return QString::fromUtf8(unzip.readAllStandardOutput());
    }
};

} // namespace

TEST_F(NoteExportTest, WritesTheMasterFieldsAndTheShownLinesOnlyWithTheRightAndAFileName)
{
    ASSERT_NE(show(QStringLiteral("OutMoneyForm")), nullptr);
    enterExpenseNote();
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    const int remark = grid->ColumnOfField(QStringLiteral("REMARK"));
    ASSERT_GE(remark, 0);
    grid->Column(remark).Visible = false; // hidden by the user: not exported
    grid->ColumnsChanged();
    const QString code = masterValue(QStringLiteral("NOTECODE")).toString();

    const QString file = m_folder.file(QStringLiteral("费用"));
    m_files.answer(file);
    trigger("muToExcel");
    ASSERT_EQ(m_files.records().size(), 1);
    EXPECT_EQ(m_files.records()[0].suggested, QStringLiteral("费用开支单-") + code + QStringLiteral(".xlsx"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("已导出到 ") + file + QStringLiteral(".xlsx")});

    const QString strings = part(file + QStringLiteral(".xlsx"), "xl/sharedStrings.xml");
    const QString itemName = scalar(QStringLiteral("select IENAME from ietypelth where IETYPESID = 1")).toString();
    for (const QString &s : {QStringLiteral("费用开支单"), QStringLiteral("单据号码"), code, QStringLiteral("结算方式"),
                             QStringLiteral("现金"), QStringLiteral("费用项目"), QStringLiteral("金额"), itemName,
                             QStringLiteral("合 计")})
        EXPECT_TRUE(strings.contains(s)) << s.toStdString();
    EXPECT_FALSE(strings.contains(QStringLiteral("墨盒")));
    // Amounts stay numbers in the sheet.
    const QString sheet = part(file + QStringLiteral(".xlsx"), "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(sheet.contains(QStringLiteral("<v>120.5</v>")));
    EXPECT_TRUE(sheet.contains(QStringLiteral("<v>300</v>")));

    m_files.answer(QString()); // cancelled: nothing written, nothing said
    trigger("muToExcel");
    EXPECT_EQ(m_files.records().size(), 2);
    EXPECT_TRUE(takeMessages().isEmpty());

    g_iUserID = kClerk; // no right on expense notes
    trigger("muToExcel");
    EXPECT_EQ(m_files.records().size(), 2);
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("对不起,你没有导出的权限!")});
    sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (2, 2052, 4)"));
    m_files.answer(m_folder.file(QStringLiteral("a.xlsx")));
    trigger("muToExcel");
    EXPECT_TRUE(QFile::exists(m_folder.file(QStringLiteral("a.xlsx"))));
    g_iUserID = kAdmin;

    // A file that cannot be written is reported.
    m_files.answer(QStringLiteral("/proc/no-such-folder/x.xlsx"));
    takeMessages();
    trigger("muToExcel");
    ASSERT_EQ(errors().size(), 2);
    EXPECT_TRUE(errors().last().contains(QStringLiteral("/proc/no-such-folder/x.xlsx")));
    EXPECT_EQ(takeMessages(), QStringList{errors().last()});

    // The money notes take nothing in from other notes. (The finder and the
    // printing from a note window: their own tests.)
    trigger("muSelectnote");
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("尚未提供此功能。")});
}
