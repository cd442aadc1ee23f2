// The document finder: every declared list prepares, the types offered follow
// tables and rights, sorting by title clicks, the find dialog (bad values
// refused, typed quotes harmless), export with the right only, opening a note.

#include "FindnoteForm.h"
#include "Basenote.h"
#include "NoteTypes.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "TestSupport.h"
#include "notedb.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/FindInstance.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

using widgets::FindInstanceDialog;

class FinderTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        noteLoad();
    }
    void TearDown() override
    {
        m_finder.reset();
        SessionTest::TearDown();
    }
    TFindnoteForm *open(int noteType)
    {
        m_finder = std::make_unique<TFindnoteForm>();
        m_finder->SelectNoteType(noteType);
        return m_finder.get();
    }
    data::ClientDataSet *list() const { return m_finder->CurrentQuery(); }
    QString statement() const { return list()->CommandText(); }
    // Whether the list's statement ends with `tail` (names in any case: the
    // server gives field names in lower case).
    bool endsWith(const char *tail) const { return statement().endsWith(QString::fromUtf8(tail), Qt::CaseInsensitive); }
    // A column of the current list, top to bottom or sorted.
    QStringList column(const char *field, bool sorted = false) const
    {
        QStringList out = testsupport::valuesIn(*list(), field);
        if (sorted)
            out.sort();
        return out;
    }
    // The first column of a query's rows, sorted.
    QStringList ids(const QString &select)
    {
        QStringList out;
        for (const auto &row : database().select(select).rows)
            out << row.at(0).toString();
        out.sort();
        return out;
    }
    int count(const char *table) { return scalar(QStringLiteral("select count(*) from ") + QLatin1String(table)).toInt(); }
    void click(const char *button) { m_finder->findChild<QPushButton *>(QLatin1String(button))->click(); }
    // The note shown by the open window of a form, -1 when none is open.
    static int shownIn(const char *form)
    {
        auto *note = dynamic_cast<TBasenoteForm *>(FindOpenForm(QLatin1String(form)));
        return note ? note->CurrentNoteID() : -1;
    }
    // Opens "过滤", lets `fill` set the rows, presses OK; whether accepted.
    bool filter(const std::function<void(FindInstanceDialog *)> &fill)
    {
        int result = -1;
        m_modal.setHandler([&](QWidget *w) {
            auto *dialog = qobject_cast<FindInstanceDialog *>(w);
            EXPECT_NE(dialog, nullptr);
            fill(dialog);
            dialog->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
            return result = dialog->result();
        });
        click("btnFilter");
        m_modal.setHandler({});
        return result == QDialog::Accepted;
    }
    static QComboBox *cell(FindInstanceDialog *d, int row, int column)
    {
        return qobject_cast<QComboBox *>(d->Rows()->cellWidget(row, column));
    }
    // Chooses field and operator in a row and types the value into it.
    static void typeRow(FindInstanceDialog *d, int row, const char *field, const char *op, const QString &value,
                        bool orJoin = false)
    {
        while (d->Rows()->rowCount() <= row)
            d->AddRow();
        cell(d, row, 0)->setCurrentIndex(orJoin ? 1 : 0);
        QComboBox *f = cell(d, row, 1);
        f->setCurrentIndex(f->findData(QString::fromLatin1(field), Qt::UserRole, Qt::MatchFixedString));
        cell(d, row, 2)->setCurrentText(QString::fromUtf8(op));
        QLineEdit *edit = cell(d, row, 3)->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, value);
    }

    std::unique_ptr<TFindnoteForm> m_finder;
};

// The generic check of every declaration: each list, its joined names and its
// pick lists run against fresh books; types whose tables are not built yet are
// reported as skipped.
TEST_F(FinderTest, EveryDeclaredListPreparesAgainstTheBooks)
{
    QStringList skipped, names;
    int prepared = 0;
    for (const FinderQuery &q : TFindnoteForm::Queries()) {
        EXPECT_FALSE(names.contains(q.name)) << q.name.toStdString();
        names << q.name;
        EXPECT_FALSE(NoteTypeFormName(q.noteType).isEmpty() && q.noteType != 32) << q.noteType;
        try {
            database().select(QStringLiteral("select count(*) from ") + q.table + QStringLiteral(" where 1=0"));
        } catch (const std::exception &) {
            skipped << QStringLiteral("%1 %2").arg(q.noteType).arg(q.table);
            continue;
        }
        const QString sql = TFindnoteForm::QuerySql(q);
        try {
            db::ResultSet rs = database().select(sql + QStringLiteral(" where 1=0 Order by b.NOTECODE Asc "));
            for (const FinderField &f : TFindnoteForm::JoinedFields(q)) {
                EXPECT_GE(rs.columnIndex(f.name), 0) << q.name.toStdString() << " " << f.name.toStdString();
                database().select(sql + QStringLiteral(" where ") + f.expression + QStringLiteral(" is null"));
                if (!f.pickSql.isEmpty())
                    database().select(f.pickSql);
            }
            for (const char *c : {"NOTEID", "NOTECODE", "NOTEDATE", "NOTESTATE"})
                EXPECT_GE(rs.columnIndex(QString::fromLatin1(c)), 0) << q.name.toStdString() << " " << c;
            ++prepared;
        } catch (const std::exception &e) {
            ADD_FAILURE() << q.name.toStdString() << ": " << e.what();
        }
    }
    std::cout << "[ finder   ] " << prepared << " lists prepared; not built yet, skipped: "
              << skipped.join(QStringLiteral(", ")).toStdString() << std::endl;
    EXPECT_GE(prepared, 14);
}

TEST_F(FinderTest, OffersTheTypesWithTablesTheUserMayBrowseAndListsTheirNotesWithNames)
{
    open(2);
    const QList<int> all = m_finder->OfferedTypes();
    EXPECT_TRUE(all.contains(2) && all.contains(14) && all.contains(51) && all.contains(21));
    EXPECT_FALSE(all.contains(27)) << "the assembly's table is not built";
    EXPECT_FALSE(all.contains(32)) << "places are off";

    ASSERT_NE(list(), nullptr);
    ASSERT_GT(count("orderpth"), 0);
    EXPECT_EQ(column("NOTEID", true), ids(QStringLiteral("select NOTEID from orderpth")));
    // The state's name comes from its table (the partner's is proved by the filters on it).
    list()->First();
    EXPECT_EQ(list()->FieldByName(QStringLiteral("NOTESTATENAME"))->AsString(),
              scalar(QStringLiteral("select k.NAME from orderpth o join kindamth k on k.KIND=1 and k.ID=o.NOTESTATE "
                                    "where o.NOTEID=") + list()->FieldByName(QStringLiteral("NOTEID"))->AsString()).toString());
    for (int c = 0; c < m_finder->Grid()->ColumnCount(); ++c)
        EXPECT_FALSE(m_finder->Grid()->CanEditColumn(c)) << c;
    // Another type lists its own notes.
    m_finder->SelectNoteType(14);
    EXPECT_EQ(list()->objectName(), QStringLiteral("qrySale"));
    EXPECT_EQ(list()->RecordCount(), count("salesth"));

    // The clerk may browse the purchase and sales documents only.
    SetCurrentUser(2);
    TFindnoteForm clerks;
    for (int type : clerks.OfferedTypes())
        EXPECT_TRUE((type >= 1 && type <= 5) || (type >= 11 && type <= 15)) << type;
    EXPECT_TRUE(clerks.OfferedTypes().contains(12));
}

TEST_F(FinderTest, ALongListShowsAPageFirstAndTheRestWhenNeeded)
{
    const int all = count("salesth");
    ASSERT_GE(all, 3);
    m_finder = std::make_unique<TFindnoteForm>();
    m_finder->PageSize = 1;
    m_finder->SelectNoteType(14);
    EXPECT_EQ(list()->RecordCount(), 2) << "a page and one row more";
    EXPECT_FALSE(m_finder->Complete());
    m_finder->FetchAll();
    EXPECT_EQ(list()->RecordCount(), all);
    EXPECT_TRUE(m_finder->Complete());

    // A new order reads a page again; the export takes every row.
    emit m_finder->Grid()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(list()->RecordCount(), 2);
    m_files.answer(m_folder.file(QStringLiteral("all.xlsx")));
    click("btnToExcel");
    EXPECT_EQ(list()->RecordCount(), all);
    EXPECT_TRUE(endsWith(" Order by b.NOTECODE Asc ")) << statement().toStdString();
}

TEST_F(FinderTest, TitleClicksSortAndFlipAndAnotherColumnReplacesTheOrder)
{
    open(14);
    auto *header = m_finder->Grid()->horizontalHeader();
    const int code = m_finder->Grid()->ColumnOfField(QStringLiteral("NOTECODE"));
    const int amount = m_finder->Grid()->ColumnOfField(QStringLiteral("AMOUNT"));
    ASSERT_TRUE(code >= 0 && amount >= 0);

    // The width the user gave a column outlasts a sort of the same list.
    m_finder->Grid()->setColumnWidth(amount, 211);
    emit header->sectionClicked(code);
    EXPECT_EQ(m_finder->Grid()->columnWidth(amount), 211);
    QStringList sorted = column("NOTECODE", true);
    EXPECT_EQ(column("NOTECODE"), sorted);
    EXPECT_TRUE(endsWith(" Order by b.NOTECODE Asc ")) << statement().toStdString();
    EXPECT_EQ(header->sortIndicatorSection(), code);

    emit header->sectionClicked(code);
    std::reverse(sorted.begin(), sorted.end());
    EXPECT_EQ(column("NOTECODE"), sorted);
    EXPECT_TRUE(endsWith(" Order by b.NOTECODE Desc"));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // (That the rows follow the statement's order is shown by the codes above.)
    emit header->sectionClicked(amount);
    EXPECT_EQ(statement().count(QLatin1String("Order by"), Qt::CaseInsensitive), 1) << statement().toStdString();
    EXPECT_TRUE(endsWith(" Order by b.AMOUNT Asc "));

    // A joined name sorts by the name itself.
    emit header->sectionClicked(m_finder->Grid()->ColumnOfField(QStringLiteral("PARTNERNAME")));
    EXPECT_TRUE(endsWith(" Order by td.NAME Asc "));

    // A filter value holding the words of an order stays whole.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) { typeRow(d, 0, "REMARK", "包含", QStringLiteral("x Order by y")); }));
    emit header->sectionClicked(code);
    EXPECT_TRUE(errors().isEmpty()) << shownText();
    EXPECT_TRUE(endsWith("like '%x Order by y%' escape '!') Order by b.NOTECODE Asc ")) << statement().toStdString();
}

TEST_F(FinderTest, FiltersByTypedConditionsAndRefusesBadValues)
{
    open(14);
    const QString partner = scalar(QStringLiteral("select p.NAME from salesth s join partnerlth p on p.PARTNERID=s.PARTNERID "
                                                  "order by s.NOTEID")).toString();
    ASSERT_FALSE(partner.isEmpty());

    // The partner chosen from the dialog's list of customers.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        QComboBox *f = cell(d, 0, 1);
        f->setCurrentIndex(f->findData(QStringLiteral("PARTNERNAME"), Qt::UserRole, Qt::MatchFixedString));
        QComboBox *value = cell(d, 0, 3);
        ASSERT_GE(value->findText(partner), 0) << "the customers are offered";
        value->setCurrentIndex(value->findText(partner));
        typeRow(d, 1, "NOTEDATE", "大于等于", QStringLiteral("2026-01-01"));
    }));
    EXPECT_EQ(column("NOTEID", true), ids(QStringLiteral("select s.NOTEID from salesth s join partnerlth p on "
                                                         "p.PARTNERID=s.PARTNERID where p.NAME=") + QuotedStr(partner)));
    EXPECT_TRUE(statement().contains(QStringLiteral(" where (td.NAME = '") + partner + u'\'', Qt::CaseInsensitive));

    // Amount above a typed number, or a code: both joined as typed.
    const QString firstCode = scalar(QStringLiteral("select min(NOTECODE) from salesth")).toString();
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        d->ClearRows();
        typeRow(d, 0, "AMOUNT", "大于", QStringLiteral("1000"));
        typeRow(d, 1, "NOTECODE", "等于", firstCode, true);
    }));
    EXPECT_EQ(column("NOTEID", true), ids(QStringLiteral("select NOTEID from salesth where AMOUNT > 1000 or NOTECODE = ")
                                          + QuotedStr(firstCode)));

    // Bad values are refused with their message; the dialog stays and the
    // list keeps its filter.
    const struct {
        const char *field, *op, *value, *message;
    } bad[] = {
        {"AMOUNT", "大于", "12x", "字段[金额]的条件值[12x]不是有效的数字。"},
        {"NOTEDATE", "大于", "2026-13-40", "字段[单据日期]的条件值[2026-13-40]不是有效的日期(年-月-日)。"},
        {"AMOUNT", "包含", "1", "字段[金额]不能使用[包含]条件。"},
    };
    const QString before = statement();
    m_modal.setHandler([&](QWidget *w) {
        auto *d = qobject_cast<FindInstanceDialog *>(w);
        d->ClearRows();
        for (const auto &b : bad) {
            typeRow(d, 0, b.field, b.op, QString::fromUtf8(b.value));
            d->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
            EXPECT_EQ(lastError(), QString::fromUtf8(b.message));
            EXPECT_NE(d->result(), QDialog::Accepted) << b.value;
        }
        d->findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click();
        return d->result();
    });
    click("btnFilter");
    EXPECT_EQ(statement(), before);

    // A typed quote stays inside the value (for "包含" every kind of text is
    // tried below); nothing matches, and the list says so.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        d->ClearRows();
        typeRow(d, 0, "REMARK", "等于", QStringLiteral("x' or '1'='1"));
    }));
    EXPECT_EQ(list()->RecordCount(), 0);
    EXPECT_TRUE(statement().contains(QStringLiteral("b.REMARK = 'x'' or ''1''=''1'"), Qt::CaseInsensitive));
    QLabel *empty = m_finder->findChild<QLabel *>(QStringLiteral("lblEmpty"));
    EXPECT_TRUE(empty->isVisibleTo(m_finder.get()));
    EXPECT_EQ(empty->text(), QStringLiteral("没有符合条件的单据."));

    // The rows are kept for the next opening of the dialog; a new type drops them.
    m_modal.setHandler([&](QWidget *w) {
        EXPECT_EQ(qobject_cast<FindInstanceDialog *>(w)->RowAt(0).fieldName.toUpper(), QStringLiteral("REMARK"));
        return int(QDialog::Rejected);
    });
    click("btnFilter");
    m_finder->SelectNoteType(2);
    m_finder->SelectNoteType(14);
    EXPECT_TRUE(m_finder->FindInstance()->Conditions().isEmpty());
    EXPECT_FALSE(statement().contains(QLatin1String(" where ")));
    EXPECT_EQ(list()->RecordCount(), count("salesth"));
    EXPECT_FALSE(empty->isVisibleTo(m_finder.get()));
}

TEST_F(FinderTest, FilterValuesOfAnyTextMatchAsTypedAndKeepTheStatementsShape)
{
    const QStringList values = {QStringLiteral("x' or '1'='1"), QStringLiteral("50%"), QStringLiteral("a_b"),
                                QStringLiteral("[ab]"), QStringLiteral("]); delete from orderpth; --"),
                                QStringLiteral("!%")};
    // Some notes hold the texts, others what a pattern of them would match.
    const QStringList stored = {QStringLiteral("价x' or '1'='1格"), QStringLiteral("折50%"), QStringLiteral("折500"),
                                QStringLiteral("a_b"), QStringLiteral("axb"), QStringLiteral("[ab]"), QStringLiteral("a"),
                                QStringLiteral("]); delete from orderpth; --"), QStringLiteral("!%"), QStringLiteral("!x")};
    notedb::growNotes(database(), 2, int(stored.size()));
    QStringList notes;
    for (const auto &row : database().select(QStringLiteral("select NOTEID from orderpth order by NOTEID")).rows)
        notes << row.at(0).toString();
    ASSERT_GE(notes.size(), stored.size());
    for (int i = 0; i < stored.size(); ++i)
        sql(QStringLiteral("update orderpth set REMARK=:r where NOTEID=") + notes[i], {{QStringLiteral("r"), stored[i]}});

    open(2);
    QString shape;
    for (const QString &value : values) {
        SCOPED_TRACE(value.toStdString());
        ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
            d->ClearRows();
            typeRow(d, 0, "REMARK", "包含", value);
        }));
        EXPECT_TRUE(errors().isEmpty()) << shownText();
        QStringList want;
        for (int i = 0; i < stored.size(); ++i)
            if (stored[i].contains(value))
                want << notes[i];
        want.sort();
        EXPECT_EQ(column("NOTEID", true), want);
        // Without its one literal the statement is the same for every value.
        QString text = statement();
        const int start = int(text.indexOf(QStringLiteral(" like '")));
        const int end = int(text.indexOf(QStringLiteral("' escape '!'"), start));
        ASSERT_TRUE(start > 0 && end > start) << text.toStdString();
        text.remove(start, end - start);
        if (shape.isEmpty())
            shape = text;
        EXPECT_EQ(text, shape);
    }
    EXPECT_EQ(count("orderpth"), notes.size());
}

TEST_F(FinderTest, OpensTheNoteInItsWindow)
{
    open(2);
    const auto idAt = [this] { return int(list()->FieldByName(QStringLiteral("NOTEID"))->AsInteger()); };
    list()->Last();
    const int last = idAt();
    click("btnOpenNote");
    EXPECT_EQ(shownIn("PNOrderForm"), last) << shownText();
    // A double-click on another row moves the open window to that note, and
    // so does Enter on the list.
    list()->First();
    emit m_finder->Grid()->doubleClicked(m_finder->Grid()->model()->index(0, 0));
    EXPECT_EQ(shownIn("PNOrderForm"), idAt());
    list()->Next();
    QTest::keyClick(m_finder->Grid(), Qt::Key_Return);
    EXPECT_EQ(shownIn("PNOrderForm"), idAt());

    // Type 22 keeps the independent stock-ins beside the lending: they list
    // and open in their own window.
    m_finder->SelectNoteType(22);
    ASSERT_NE(list(), nullptr);
    EXPECT_EQ(list()->objectName(), QStringLiteral("qrySpecialIn"));
    ASSERT_GT(list()->RecordCount(), 0);
    click("btnOpenNote");
    EXPECT_EQ(shownIn("SpecialInForm"), idAt()) << shownText();
    // Located by type and id alone, such a note opens in the window of the
    // table that holds it: a stock-out, and a lending of the same type.
    for (const auto &[table, form] : {std::pair{"OtherOutith", "SpecialOutForm"}, {"BrowOut", "BrowOutForm"}}) {
        const int id = scalar(QStringLiteral("select min(NOTEID) from ") + QLatin1String(table)).toInt();
        ASSERT_GT(id, 0) << table;
        QnParams locate;
        locate.AddValue(QStringLiteral("NOTEID"), id);
        locate.AddValue(QStringLiteral("NOTETYPE"), 23);
        GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &locate);
        EXPECT_EQ(shownIn(form), id) << shownText();
    }
}

TEST_F(FinderTest, ExportsTheListOnlyWithTheExportRight)
{
    open(14);
    const QString file = m_folder.file(QStringLiteral("sales.xlsx"));
    m_files.answer(file);
    click("btnToExcel");
    EXPECT_TRUE(QFileInfo(file).size() > 0) << shownText();
    EXPECT_EQ(m_files.records().value(0).suggested, QStringLiteral("单据类型-销售开单.xlsx"));
    {
        // Read back: the title, the captions and every note's number.
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QStringLiteral("xl/sharedStrings.xml")});
        ASSERT_TRUE(unzip.waitForFinished());
        const QString strings = QString::fromUtf8(unzip.readAllStandardOutput());
        EXPECT_TRUE(strings.contains(QStringLiteral("单据类型:销售开单")) && strings.contains(QStringLiteral("单据编号")));
        for (const QString &code : ids(QStringLiteral("select NOTECODE from salesth")))
            EXPECT_TRUE(strings.contains(code)) << code.toStdString();
    }

    // A file that cannot be written is named and nothing is left of it.
    ASSERT_TRUE(QDir(m_folder.path()).mkdir(QStringLiteral("taken.xlsx")));
    for (const QString &bad : {m_folder.file(QStringLiteral("no/such/folder/list.xlsx")), m_folder.file(QStringLiteral("taken.xlsx"))}) {
        const QStringList before = QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        m_files.answer(bad);
        click("btnToExcel");
        EXPECT_TRUE(lastError().startsWith(QStringLiteral("无法写入文件 ") + bad)) << shownText();
        EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    SetCurrentUser(2);
    const QString refused = m_folder.file(QStringLiteral("refused.xlsx"));
    m_files.answer(refused);
    click("btnToExcel");
    EXPECT_EQ(lastError(), QStringLiteral("对不起, 你没有导出的权限."));
    EXPECT_FALSE(QFileInfo::exists(refused));
    grant(2, 2082, {4});
    click("btnToExcel");
    EXPECT_TRUE(QFileInfo::exists(refused));
}

TEST_F(FinderTest, ANoteWindowsFindButtonAndFindnoteOpenTheFinderOnTheirType)
{
    const auto finder = [] { return qobject_cast<TFindnoteForm *>(FindOpenForm(QStringLiteral("FindnoteForm"))); };
    std::unique_ptr<TBasenoteForm> note(qobject_cast<TBasenoteForm *>(pk_note::CreateFormClass(QStringLiteral("TSaleForm"))));
    ASSERT_NE(note, nullptr);
    note->findChild<QPushButton *>(QStringLiteral("btnFind"))->click();
    ASSERT_NE(finder(), nullptr) << shownText();
    EXPECT_EQ(finder()->CurrentNoteType(), 14);
    finder()->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Without parameters: the purchase plans. (A type given is the automation
    // script's FINDNOTE in test_notehost.)
    EXPECT_EQ(GlobalCall(QStringLiteral("FINDNOTE"), QString()), 0);
    ASSERT_NE(finder(), nullptr);
    EXPECT_EQ(finder()->CurrentNoteType(), 1);
    finder()->close();
}

} // namespace
