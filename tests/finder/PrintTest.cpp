// Printing a note through its window: the standard template, pages written as
// PDF, the print register, the questions before printing, the books' own
// template, and copying a note with its lines.

#include "MDnote.h"
#include "NoteMessages.h"
#include "NoteReport.h"
#include "NoteTypes.h"
#include "PackageWindows.h"
#include "Notepublic.h"
#include "PNOrderForm.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/LookupCombo.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPrinterInfo>

#include <gtest/gtest.h>

#include <memory>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

extern "C" int noteStandardTemplates();

namespace {

class PrintTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        noteLoad();
        setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
        g_asTempDirectory = m_folder.path();
        if (!QPrinterInfo::defaultPrinter().isNull())
            GTEST_SKIP() << "a printer is installed: printing would reach it";
        // An audited order with lines, made by the demo.
        m_id = scalar(QStringLiteral("select min(o.NOTEID) from orderpth o where o.NOTESTATE=1 and exists "
                                     "(select 1 from orderpthDetail d where d.NOTEID=o.NOTEID)"))
                   .toInt();
        ASSERT_GT(m_id, 0);
        m_form = again();
        m_form->show();
    }
    void TearDown() override
    {
        m_form.reset();
        g_asTempDirectory.clear();
        SessionTest::TearDown();
    }
    // A new window of the order on the same note.
    std::unique_ptr<TPNOrderForm> again()
    {
        std::unique_ptr<TPNOrderForm> f(CreateNoteForm<TPNOrderForm>());
        EXPECT_EQ(pk_note::SendNoteMessage(f.get(), pk_note::NM_NOTELOCATE, 0, m_id), pk_note::S_OK);
        return f;
    }
    int printed() { return scalar(QStringLiteral("select printed from noteprintabth where notetype=2 and noteid=%1").arg(m_id)).toInt(); }
    QLabel *label() const { return m_form->findChild<QLabel *>(QStringLiteral("lblPrinted")); }
    QString pdf(const char *name) const { return m_folder.file(QString::fromLatin1(name)); }
    static bool isPdf(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-" && f.size() > 2000;
    }

    int m_id = 0;
    std::unique_ptr<TPNOrderForm> m_form;
};

TEST_F(PrintTest, PrintingWritesThePagesAndCountsEachPrint)
{
    const int before = printed();
    EXPECT_EQ(label()->isVisible(), before > 0);

    m_files.answer(pdf("first.pdf"));
    m_form->PrintPMItemClick();
    ASSERT_TRUE(isPdf(pdf("first.pdf"))) << shownText();
    {
        // The Chinese texts are drawn with the CJK font, embedded in the file.
        QFile f(pdf("first.pdf"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        EXPECT_TRUE(bytes.contains("WenQuanYi") && bytes.contains("/FontFile")) << "no CJK font embedded";
    }
    EXPECT_EQ(m_files.records().value(0).suggested,
              QStringLiteral("采购订单-") + m_form->MasterValue(QStringLiteral("NOTECODE")).toString() + QStringLiteral(".pdf"));
    EXPECT_EQ(printed(), before + 1);
    EXPECT_TRUE(label()->isVisible());
    EXPECT_EQ(label()->text(), QStringLiteral("本单据已经被打印%1次").arg(before + 1));

    // A print given up in the file dialog, and a preview, count nothing;
    // while the preview is open the window starts no second print.
    m_form->PrintPMItemClick();
    const int asked = int(m_files.records().size());
    int previews = 0;
    m_modal.setHandler([&](QWidget *w) {
        if (w->objectName() == QLatin1String("PrintPreview") && ++previews == 1) {
            m_form->PrintPMItemClick();
            m_form->PrintPreviewPMItemClick();
        }
        return 0;
    });
    m_form->PrintPreviewPMItemClick();
    m_modal.setHandler({});
    EXPECT_EQ(previews, 1);
    EXPECT_EQ(int(m_files.records().size()), asked);
    EXPECT_EQ(printed(), before + 1);
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(PrintTest, TheStandardPageShowsTheNoteItsPartnerAndItsLines)
{
    TCorvanReportStyle report(m_form->MasterDataSource(), m_form->DetailDataSource());
    ASSERT_TRUE(m_form->ChooseReportStyle(&report));
    m_form->SetReportVariables(&report);
    // The partner, the lines and the total on the printed page are read back
    // from the PDF by the automation script's test (test_notehost).
    EXPECT_EQ(report.Variable(QStringLiteral("M.MnoteState")).toString(), QStringLiteral("审核"));
    EXPECT_FALSE(report.Variable(QStringLiteral("Daxie")).toString().isEmpty()) << "the commodity totals";
    EXPECT_EQ(report.Expand(QStringLiteral("No.[M.NOTECODE]/[unknown]")),
              QStringLiteral("No.") + m_form->MasterValue(QStringLiteral("NOTECODE")).toString() + QStringLiteral("/"));
    EXPECT_EQ(report.PageCount(), 1);

    // The page as a picture, kept beside the test program to be looked at.
    const QImage page = report.PageImage(0, 110);
    int dark = 0;
    for (int y = 0; y < page.height(); y += 2)
        for (int x = 0; x < page.width(); x += 2)
            dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 2000) << "text and table lines are drawn";
    page.save(QDir(testsupport::binDir()).filePath(QStringLiteral("print_pnorder.png")));

    // Many lines run over pages; the totals come once, on the last.
    data::ClientDataSet many;
    many.AddField(QStringLiteral("COMMODITYNAME"), data::FieldType::String, 40);
    many.AddField(QStringLiteral("QUANTITY"), data::FieldType::Float);
    many.AddField(QStringLiteral("AMOUNT"), data::FieldType::Float);
    many.CreateDataSet();
    for (int i = 0; i < 120; ++i) {
        many.Append();
        many.FieldByName(QStringLiteral("COMMODITYNAME"))->SetAsString(QStringLiteral("货品%1").arg(i));
        many.FieldByName(QStringLiteral("QUANTITY"))->SetAsFloat(1);
        many.FieldByName(QStringLiteral("AMOUNT"))->SetAsFloat(2.5);
        many.Post();
    }
    data::DataSource lines(&many);
    TCorvanReportStyle longReport(m_form->MasterDataSource(), &lines);
    ASSERT_TRUE(m_form->ChooseReportStyle(&longReport));
    EXPECT_GE(longReport.PageCount(), 3);
    EXPECT_TRUE(longReport.PrintToPdf(pdf("long.pdf")));
    EXPECT_TRUE(isPdf(pdf("long.pdf")));
}

TEST_F(PrintTest, QuestionsAndTemplatesDecideWhatIsPrinted)
{
    const int before = printed();
    // A changed note must be saved first; refusing prints nothing.
    m_form->MasterDataSource()->SetFieldValue(m_form->MasterField(QStringLiteral("REMARK")), QStringLiteral("改"));
    m_messages.answer(AnswerNo);
    m_form->PrintPMItemClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("打印前必须先保存单据, 是否继续?"));
    EXPECT_TRUE(m_files.records().isEmpty());
    m_form->CancelNote();

    // No style chosen: the standard one only when the user agrees.
    auto *style = m_form->findChild<widgets::TRqLookupCombo *>(QStringLiteral("RptStyleCB"));
    style->setKeyValue(QVariant());
    m_messages.answer(AnswerNo);
    m_form->PrintPMItemClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("本单没有选择打印样式, 是否要用标准样式进行打印或预览?"));
    EXPECT_TRUE(m_files.records().isEmpty());

    // A template of the books' own, made from the kind's standard one; the
    // choice is remembered for the window's class.
    QString own = scalar(QStringLiteral("select DATA from printtemplatelth where PRINTTEMPLATEID=6002")).toString();
    ASSERT_FALSE(own.isEmpty()) << "the window wrote its kind's standard template";
    own.replace(QStringLiteral("[CompanyName]"), QStringLiteral("OWN-TITLE"));
    sql(QStringLiteral("insert into printtemplatelth (PRINTTEMPLATEID, TYPESID, NAME, DATA) values (7001, 6002, :n, :d)"),
        {{QStringLiteral("n"), QStringLiteral("我的样式")}, {QStringLiteral("d"), own}});
    style->setKeyValue(7001);
    TCorvanReportStyle report(m_form->MasterDataSource(), m_form->DetailDataSource());
    ASSERT_TRUE(m_form->ChooseReportStyle(&report));
    EXPECT_EQ(report.Expand(report.Template().value(QLatin1String("title")).toString()), QStringLiteral("OWN-TITLE"));
    EXPECT_EQ(ReadPrintChoice(QStringLiteral("TPNOrderForm")).id, 7001) << "the choice is remembered for the class";

    // A template without its definition, one that is not a template and a
    // standard one gone from the books are named; nothing is printed or counted.
    sql(QStringLiteral("update printtemplatelth set DATA=null where PRINTTEMPLATEID=7001"));
    m_form->PrintPMItemClick();
    EXPECT_EQ(lastError(), QStringLiteral("打印样式[我的样式(7001)]没有内容, 无法打印."));
    sql(QStringLiteral("update printtemplatelth set DATA='{ broken' where PRINTTEMPLATEID=7001"));
    m_form->PrintPreviewPMItemClick();
    EXPECT_TRUE(lastError().startsWith(QStringLiteral("打印样式文件不是本系统的打印样式: ")));
    EXPECT_TRUE(lastError().endsWith(QStringLiteral("Template7001.Rpt")));
    sql(QStringLiteral("delete from printtemplatelth where PRINTTEMPLATEID=6002"));
    style->setKeyValue(QVariant());
    m_messages.answer(AnswerYes);
    m_form->PrintPMItemClick();
    EXPECT_EQ(lastError(), QStringLiteral("打印样式[6002]不存在."));
    EXPECT_TRUE(m_files.records().isEmpty());
    EXPECT_EQ(printed(), before);

    // The remembered template is chosen in the next window while it exists;
    // gone, the window shows the standard one.
    const auto chosen = [](TPNOrderForm *f) {
        return f->findChild<widgets::TRqLookupCombo *>(QStringLiteral("RptStyleCB"))->KeyValue().toInt();
    };
    EXPECT_EQ(chosen(again().get()), 7001);
    sql(QStringLiteral("delete from printtemplatelth where PRINTTEMPLATEID=7001"));
    EXPECT_EQ(chosen(again().get()), 6002);

    // A temporary folder that cannot take the template file.
    g_asTempDirectory = m_folder.file(QStringLiteral("missing/folder"));
    m_form->PrintPMItemClick();
    EXPECT_TRUE(lastError().startsWith(QStringLiteral("无法写入打印样式文件 ")));
    EXPECT_EQ(printed(), before);
    g_asTempDirectory = m_folder.path();

    // Without the print right.
    SetCurrentUser(2);
    m_form->PrintPMItemClick();
    EXPECT_EQ(lastError(), QStringLiteral("对不起,你没有打印的权限!"));
    EXPECT_EQ(printed(), before);
}

TEST_F(PrintTest, EveryKindHasAStandardTemplateMadeFromItsDeclaration)
{
    sql(QStringLiteral("delete from printtemplatelth"));
    int expected = 0;
    for (const pk_note::NoteTypeInfo &type : pk_note::NoteTypeTable()) {
        const QString form = QString::fromLatin1(type.formName);
        bool built = false;
        for (const pk_note::FormRegistration &r : pk_note::RegistrationTable())
            built = built || (form == QLatin1String(r.formName) && pk_note::FormClassFactory(QString::fromLatin1(r.className)));
        expected += built;
    }
    EXPECT_GT(expected, 20);
    EXPECT_EQ(noteStandardTemplates(), expected);
    // Each with its system copy under the negative id, and nothing else.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID>0")).toInt(), expected);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from printtemplatelth a join printtemplatelth c on "
                                    "c.PRINTTEMPLATEID=-a.PRINTTEMPLATEID and c.DATA=a.DATA and c.TYPESID=a.TYPESID "
                                    "where a.PRINTTEMPLATEID=a.TYPESID and a.NAME='标准样式'")).toInt(),
              expected);

    // What the order's prints (partner, lines, total) is read back from its PDF
    // by the automation script's test; a kind without lines prints none.
    const QJsonObject move =
        QJsonDocument::fromJson(scalar(QStringLiteral("select DATA from printtemplatelth where PRINTTEMPLATEID=6051")).toString().toUtf8())
            .object();
    EXPECT_FALSE(move.contains(QLatin1String("lines")));

    // Books that lack it get it back when a window of the kind opens.
    sql(QStringLiteral("delete from printtemplatelth where TYPESID=6002"));
    again();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from printtemplatelth where TYPESID=6002")).toInt(), 2);
}

TEST_F(PrintTest, ACopyIsANewNoteWithTheLines)
{
    const QString code = m_form->MasterValue(QStringLiteral("NOTECODE")).toString();
    const int lines = scalar(QStringLiteral("select count(*) from orderpthDetail where NOTEID=%1").arg(m_id)).toInt();
    m_form->muClonenoteClick();
    EXPECT_TRUE(m_form->IsNewNote());
    EXPECT_NE(m_form->MasterValue(QStringLiteral("NOTECODE")).toString(), code);
    EXPECT_EQ(m_form->MasterValue(QStringLiteral("PARTNERID")),
              scalar(QStringLiteral("select PARTNERID from orderpth where NOTEID=%1").arg(m_id)));

    m_form->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << shownText();
    const int copy = m_form->CurrentNoteID();
    ASSERT_NE(copy, m_id);
    const QString sameLines = QStringLiteral("select count(*) from orderpthDetail c join orderpthDetail s on "
                                             "s.NOTEID=%1 and s.COMMODITYID=c.COMMODITYID and s.QUANTITY=c.QUANTITY "
                                             "and s.PRICE=c.PRICE where c.NOTEID=%2")
                                  .arg(m_id)
                                  .arg(copy);
    EXPECT_EQ(scalar(sameLines).toInt(), lines);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from orderpthDetail where NOTEID=%1 and "
                                    "(coalesce(REFERQTY,0)<>0 or coalesce(BUYQTY,0)<>0)").arg(copy))
                  .toInt(),
              0);
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from orderpth where NOTEID=%1").arg(copy)).toInt(), 0);
}

} // namespace
