// notehost driven by a script, as an automation user finds and prints a
// note: "FINDNOTE" on purchase orders, the filter by partner, the note opened
// from the list, previewed and printed to PDF; the PDF is read back.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

TEST(FinderScript, FindsANoteByPartnerOpensItAndPrintsItToPdf)
{
    testsupport::TempFolder folder;
    const QString books = folder.file(QStringLiteral("books.db"));
    auto r = runProgram(QStringLiteral("notectl"), {QStringLiteral("init"), books, QStringLiteral("--demo")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // The shots are kept beside the test program to be looked at.
    const QString shots = testsupport::binDir();
    const QString pdf = folder.file(QStringLiteral("order.pdf"));
    const QString path = folder.file(QStringLiteral("find.js"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral(R"JS(
function check(c, what) { if (!c) throw new Error("failed: " + what); }
var order = host.sql("select o.NOTEID, o.NOTECODE, p.NAME from orderpth o join partnerlth p on p.PARTNERID = o.PARTNERID " +
                     "where exists (select 1 from orderpthDetail d where d.NOTEID = o.NOTEID) order by o.NOTEID")[0];
host.call("FINDNOTE", "", {NOTETYPE: 2});
var f = host.form("FindnoteForm");
check(f !== null, "the finder is open");
var list = f.dataSet("qryPNOrder");
var all = list.count;
host.grab(f, "%1/finder_orders.png");
host.onModal(function (win) {
    win.SetCondition(0, "PARTNERNAME", "等于", order.NAME);
    host.grab(win, "%1/finder_filter_partner.png");
    win.find("OkBtn").click();
    return 1;
});
f.find("btnFilter").click();
host.onModal(null);
check(list.count >= 1 && list.count < all, "the filter keeps the partner's orders: " + list.count + " of " + all);
for (list.first(); !list.eof; list.next())
    check(list.field("PARTNERNAME") === order.NAME, "only the partner's: " + list.field("PARTNERNAME"));
check(list.locate("NOTEID", order.NOTEID), "the order is listed");
f.find("btnOpenNote").click();
var w = host.form("PNOrderForm");
check(w !== null && w.master.field("NOTEID") === order.NOTEID, "the order opened from the list");
host.onModal(function (win) {
    win.show();
    host.wait(100);
    host.grab(win, "%1/print_preview.png");
    return 0;
});
w.PrintPreviewPMItemClick();
host.onModal(null);
host.answerFile("%2");
w.PrintPMItemClick();
check(host.messages.filter(function (m) { return m.kind === "Error"; }).length === 0, JSON.stringify(host.messages));
print(order.NOTECODE);
print(host.sql("select PRINTED from noteprintabth where NOTETYPE = 2 and NOTEID = " + order.NOTEID)[0].PRINTED);
)JS").arg(shots, pdf).toUtf8());
    }
    r = runProgram(QStringLiteral("notehost"),
                   {QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("admin"), QStringLiteral("--script"), path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    const QStringList out = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 2) << r.out.toStdString();
    const QString code = out[0];
    EXPECT_EQ(out[1], QStringLiteral("1")) << "the print is counted, the preview is not";

    // The PDF holds the note's number, partner, lines and totals.
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000) && text.exitCode() == 0) << text.readAllStandardError().toStdString();
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    auto sql = [&](const QString &query) {
        const auto q = runProgram(QStringLiteral("notectl"), {QStringLiteral("sql"), books, query});
        EXPECT_EQ(q.exitCode, 0) << q.err.toStdString();
        return q.out.split(u'\n', Qt::SkipEmptyParts).mid(1);
    };
    EXPECT_TRUE(page.contains(code)) << page.toStdString();
    const QString where = QStringLiteral(" where o.NOTECODE = '") + code + u'\'';
    for (const QString &partner :
         sql(QStringLiteral("select p.NAME from orderpth o join partnerlth p on p.PARTNERID = o.PARTNERID") + where))
        EXPECT_TRUE(page.contains(partner)) << partner.toStdString();
    const QStringList lines = sql(QStringLiteral("select g.NAME from orderpth o join orderpthDetail d on d.NOTEID = o.NOTEID "
                                                 "join Commoditylth g on g.COMMODITYID = d.COMMODITYID")
                                  + where);
    EXPECT_FALSE(lines.isEmpty());
    for (const QString &line : lines)
        EXPECT_TRUE(page.contains(line)) << line.toStdString();
    const QStringList total = sql(QStringLiteral("select sum(d.AMOUNT) from orderpth o join orderpthDetail d on d.NOTEID = o.NOTEID") + where);
    ASSERT_EQ(total.size(), 1);
    EXPECT_TRUE(page.contains(QString::number(total[0].toDouble(), 'f', 2))) << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("合计")));

    for (const char *shot : {"finder_orders.png", "finder_filter_partner.png", "print_preview.png"}) {
        const QImage image(QDir(shots).filePath(QString::fromLatin1(shot)));
        EXPECT_GT(image.width(), 300) << shot;
    }
}

} // namespace
