// The document finder on fresh demo books: every declared list prepares
// against the schema, the types offered follow tables and rights, lists are
// sorted by title clicks, filtered through the find dialog (bad values
// refused, typed quotes harmless), exported with the right only, and a note
// opens in its own window.

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

using widgets::FindCondition;
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
    // A column of the current list, top to bottom.
    QStringList column(const char *field) const
    {
        QStringList out;
        const int f = list()->FieldByName(QString::fromLatin1(field))->Index();
        for (int r = 0; r < list()->RecordCount(); ++r)
            out << list()->ValueAt(r, f).toString();
        return out;
    }
    QStringList ids(const QString &sql)
    {
        QStringList out;
        db::ResultSet rs = database().select(sql);
        for (const auto &row : rs.rows)
            out << row.at(0).toString();
        return out;
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
        m_finder->findChild<QPushButton *>(QStringLiteral("btnFilter"))->click();
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
                database().select(sql + QStringLiteral(" where ") + f.expression + QStringLiteral(" = 'x'"));
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

TEST_F(FinderTest, OffersTheTypesWithTablesTheUserMayBrowse)
{
    open(2);
    const QList<int> all = m_finder->OfferedTypes();
    EXPECT_TRUE(all.contains(2) && all.contains(14) && all.contains(51) && all.contains(21));
    EXPECT_FALSE(all.contains(27)) << "the assembly's table is not built";
    EXPECT_FALSE(all.contains(32)) << "places are off";

    // The clerk may browse the purchase and sales documents only.
    SetCurrentUser(2);
    TFindnoteForm clerks;
    for (int type : clerks.OfferedTypes())
        EXPECT_TRUE((type >= 1 && type <= 5) || (type >= 11 && type <= 15)) << type;
    EXPECT_TRUE(clerks.OfferedTypes().contains(12));
}

TEST_F(FinderTest, ListsTheNotesOfTheChosenTypeWithTheirNames)
{
    open(2);
    ASSERT_NE(list(), nullptr);
    EXPECT_EQ(list()->objectName(), QStringLiteral("qryPNOrder"));
    const QStringList expected = ids(QStringLiteral("select NOTEID from orderpth"));
    ASSERT_FALSE(expected.isEmpty());
    QStringList shown = column("NOTEID");
    shown.sort();
    QStringList want = expected;
    want.sort();
    EXPECT_EQ(shown, want);
    // Names come from their tables.
    list()->First();
    const QString id = list()->FieldByName(QStringLiteral("NOTEID"))->AsString();
    EXPECT_EQ(list()->FieldByName(QStringLiteral("PARTNERNAME"))->AsString(),
              scalar(QStringLiteral("select p.NAME from orderpth o join partnerlth p on p.PARTNERID=o.PARTNERID "
                                    "where o.NOTEID=") + id).toString());
    EXPECT_EQ(list()->FieldByName(QStringLiteral("NOTESTATENAME"))->AsString(),
              scalar(QStringLiteral("select k.NAME from orderpth o join kindamth k on k.KIND=1 and k.ID=o.NOTESTATE "
                                    "where o.NOTEID=") + id).toString());
    EXPECT_EQ(m_finder->Grid()->ColumnTitle(0), QStringLiteral("单据编号"));
    for (int c = 0; c < m_finder->Grid()->ColumnCount(); ++c)
        EXPECT_FALSE(m_finder->Grid()->CanEditColumn(c)) << c;

    // Another type lists its own notes.
    m_finder->SelectNoteType(14);
    EXPECT_EQ(list()->objectName(), QStringLiteral("qrySale"));
    EXPECT_EQ(list()->RecordCount(), scalar(QStringLiteral("select count(*) from salesth")).toInt());
}

TEST_F(FinderTest, ALongListShowsAPageFirstAndTheRestWhenNeeded)
{
    const int all = scalar(QStringLiteral("select count(*) from salesth")).toInt();
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
    m_finder->findChild<QPushButton *>(QStringLiteral("btnToExcel"))->click();
    EXPECT_EQ(list()->RecordCount(), all);
    EXPECT_TRUE(list()->CommandText().endsWith(QLatin1String(" Order by b.NOTECODE Asc ")));
}

TEST_F(FinderTest, TitleClicksSortAndFlipAndAnotherColumnReplacesTheOrder)
{
    open(14);
    auto *header = m_finder->Grid()->horizontalHeader();
    const int code = m_finder->Grid()->ColumnOfField(QStringLiteral("NOTECODE"));
    const int amount = m_finder->Grid()->ColumnOfField(QStringLiteral("AMOUNT"));
    ASSERT_GE(code, 0);
    ASSERT_GE(amount, 0);

    // The width the user gave a column outlasts a sort of the same list.
    m_finder->Grid()->setColumnWidth(amount, 211);
    emit header->sectionClicked(code);
    EXPECT_EQ(m_finder->Grid()->columnWidth(amount), 211);
    QStringList codes = column("NOTECODE");
    QStringList sorted = codes;
    sorted.sort();
    EXPECT_EQ(codes, sorted);
    EXPECT_TRUE(list()->CommandText().endsWith(QLatin1String(" Order by b.NOTECODE Asc ")));
    EXPECT_EQ(header->sortIndicatorSection(), code);

    emit header->sectionClicked(code);
    std::reverse(sorted.begin(), sorted.end());
    EXPECT_EQ(column("NOTECODE"), sorted);
    EXPECT_TRUE(list()->CommandText().endsWith(QLatin1String(" Order by b.NOTECODE Desc")));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    emit header->sectionClicked(amount);
    const QString sql = list()->CommandText();
    EXPECT_EQ(sql.count(QLatin1String("Order by"), Qt::CaseInsensitive), 1) << sql.toStdString();
    EXPECT_TRUE(sql.endsWith(QLatin1String(" Order by b.AMOUNT Asc ")));
    double last = -1e300;
    for (const QString &a : column("AMOUNT")) {
        EXPECT_GE(a.toDouble(), last);
        last = a.toDouble();
    }

    // A joined name sorts by the name itself.
    emit header->sectionClicked(m_finder->Grid()->ColumnOfField(QStringLiteral("PARTNERNAME")));
    EXPECT_TRUE(list()->CommandText().endsWith(QLatin1String(" Order by td.NAME Asc ")));

    // A filter value holding the words of an order stays whole.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) { typeRow(d, 0, "REMARK", "包含", QStringLiteral("x Order by y")); }));
    emit header->sectionClicked(code);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_TRUE(list()->CommandText().endsWith(QLatin1String("like '%x Order by y%' escape '!') Order by b.NOTECODE Asc ")))
        << list()->CommandText().toStdString();

    // The window as the user sees it, kept beside the test program to be looked at.
    m_finder->SelectNoteType(14);
    emit header->sectionClicked(code);
    m_finder->resize(1000, 420);
    m_finder->show();
    m_finder->grab().save(QDir(testsupport::binDir()).filePath(QStringLiteral("finder_sales.png")));
}

TEST_F(FinderTest, FiltersByTypedConditionsAndRefusesBadValues)
{
    open(14);
    const QString partner =
        scalar(QStringLiteral("select p.NAME from salesth s join partnerlth p on p.PARTNERID=s.PARTNERID "
                              "order by s.NOTEID"))
            .toString();
    ASSERT_FALSE(partner.isEmpty());
    const QStringList ofPartner = ids(
        QStringLiteral("select s.NOTEID from salesth s join partnerlth p on p.PARTNERID=s.PARTNERID where p.NAME=")
        + QuotedStr(partner));

    // The partner chosen from the dialog's list of customers.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        QComboBox *f = cell(d, 0, 1);
        f->setCurrentIndex(f->findData(QStringLiteral("PARTNERNAME")));
        QComboBox *value = cell(d, 0, 3);
        ASSERT_GE(value->findText(partner), 0) << "the customers are offered";
        value->setCurrentIndex(value->findText(partner));
        typeRow(d, 1, "NOTEDATE", "大于等于", QStringLiteral("2026-01-01"));
        d->grab().save(QDir(testsupport::binDir()).filePath(QStringLiteral("finder_filter.png")));
    }));
    QStringList shown = column("NOTEID");
    shown.sort();
    QStringList want = ofPartner;
    want.sort();
    EXPECT_EQ(shown, want);
    EXPECT_TRUE(list()->CommandText().contains(QStringLiteral(" where (td.NAME = '") + partner + u'\''));

    // Amount above a typed number, or a code: both joined as typed.
    const QStringList bigOrFirst =
        ids(QStringLiteral("select NOTEID from salesth where AMOUNT > 1000 or NOTECODE = (select min(NOTECODE) from salesth)"));
    const QString firstCode = scalar(QStringLiteral("select min(NOTECODE) from salesth")).toString();
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        d->ClearRows();
        typeRow(d, 0, "AMOUNT", "大于", QStringLiteral("1000"));
        typeRow(d, 1, "NOTECODE", "等于", firstCode, true);
    }));
    shown = column("NOTEID");
    shown.sort();
    want = bigOrFirst;
    want.sort();
    EXPECT_EQ(shown, want);

    // A bad number and a bad date are refused with their message; the dialog
    // stays and the list keeps its filter.
    const QString before = list()->CommandText();
    m_modal.setHandler([&](QWidget *w) {
        auto *d = qobject_cast<FindInstanceDialog *>(w);
        d->ClearRows();
        typeRow(d, 0, "AMOUNT", "大于", QStringLiteral("12x"));
        d->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
        EXPECT_TRUE(d->isVisible() || d->result() != QDialog::Accepted);
        EXPECT_EQ(errors().value(errors().size() - 1), QStringLiteral("字段[金额]的条件值[12x]不是有效的数字。"));
        typeRow(d, 0, "NOTEDATE", "大于", QStringLiteral("2026-13-40"));
        d->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
        EXPECT_EQ(errors().value(errors().size() - 1),
                  QStringLiteral("字段[单据日期]的条件值[2026-13-40]不是有效的日期(年-月-日)。"));
        typeRow(d, 0, "AMOUNT", "包含", QStringLiteral("1"));
        d->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
        EXPECT_EQ(errors().value(errors().size() - 1), QStringLiteral("字段[金额]不能使用[包含]条件。"));
        d->findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click();
        return d->result();
    });
    m_finder->findChild<QPushButton *>(QStringLiteral("btnFilter"))->click();
    EXPECT_EQ(list()->CommandText(), before);

    // A typed quote stays inside the value.
    ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
        d->ClearRows();
        typeRow(d, 0, "REMARK", "等于", QStringLiteral("x' or '1'='1"));
    }));
    EXPECT_EQ(list()->RecordCount(), 0);
    EXPECT_TRUE(list()->CommandText().contains(QStringLiteral("b.REMARK = 'x'' or ''1''=''1'")));
    QLabel *empty = m_finder->findChild<QLabel *>(QStringLiteral("lblEmpty"));
    EXPECT_TRUE(empty->isVisibleTo(m_finder.get()));
    EXPECT_EQ(empty->text(), QStringLiteral("没有符合条件的单据."));

    // The rows are kept for the next opening of the dialog; a new type drops them.
    m_modal.setHandler([&](QWidget *w) {
        auto *d = qobject_cast<FindInstanceDialog *>(w);
        EXPECT_EQ(d->RowAt(0).fieldName, QStringLiteral("REMARK"));
        return int(QDialog::Rejected);
    });
    m_finder->findChild<QPushButton *>(QStringLiteral("btnFilter"))->click();
    m_finder->SelectNoteType(2);
    m_finder->SelectNoteType(14);
    EXPECT_TRUE(m_finder->FindInstance()->Conditions().isEmpty());
    EXPECT_FALSE(list()->CommandText().contains(QLatin1String(" where ")));
    EXPECT_EQ(list()->RecordCount(), scalar(QStringLiteral("select count(*) from salesth")).toInt());
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
    const QStringList notes = ids(QStringLiteral("select NOTEID from orderpth order by NOTEID"));
    ASSERT_GE(notes.size(), stored.size());
    for (int i = 0; i < stored.size(); ++i)
        sql(QStringLiteral("update orderpth set REMARK=:r where NOTEID=") + notes[i], {{QStringLiteral("r"), stored[i]}});
    const int orders = notes.size();

    open(2);
    QString shape;
    for (const QString &value : values) {
        ASSERT_TRUE(filter([&](FindInstanceDialog *d) {
            d->ClearRows();
            typeRow(d, 0, "REMARK", "包含", value);
        })) << value.toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
        QStringList want;
        for (int i = 0; i < stored.size(); ++i)
            if (stored[i].contains(value))
                want << notes[i];
        QStringList got = column("NOTEID");
        got.sort();
        want.sort();
        EXPECT_EQ(got, want) << value.toStdString();
        // Without its one literal the statement is the same for every value.
        QString text = list()->CommandText();
        const int start = int(text.indexOf(QStringLiteral(" like '")));
        const int end = int(text.indexOf(QStringLiteral("' escape '!'"), start));
        ASSERT_TRUE(start > 0 && end > start) << text.toStdString();
        text.remove(start, end - start);
        if (shape.isEmpty())
            shape = text;
        EXPECT_EQ(text, shape) << value.toStdString();
    }
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from orderpth")).toInt(), orders);
}

TEST_F(FinderTest, OpensTheNoteInItsWindow)
{
    open(2);
    list()->Last();
    const int id = int(list()->FieldByName(QStringLiteral("NOTEID"))->AsInteger());
    m_finder->findChild<QPushButton *>(QStringLiteral("btnOpenNote"))->click();
    auto *note = dynamic_cast<TBasenoteForm *>(FindOpenForm(QStringLiteral("PNOrderForm")));
    ASSERT_NE(note, nullptr) << shown().join(u'|').toStdString();
    EXPECT_EQ(note->CurrentNoteID(), id);

    // A double-click on another row moves the open window to that note, and
    // so does Enter on the list.
    list()->First();
    const int first = int(list()->FieldByName(QStringLiteral("NOTEID"))->AsInteger());
    emit m_finder->Grid()->doubleClicked(m_finder->Grid()->model()->index(0, 0));
    EXPECT_EQ(note->CurrentNoteID(), first);
    list()->Next();
    const int second = int(list()->FieldByName(QStringLiteral("NOTEID"))->AsInteger());
    QTest::keyClick(m_finder->Grid(), Qt::Key_Return);
    EXPECT_EQ(note->CurrentNoteID(), second);

    // Type 22 keeps the independent stock-ins beside the lending: they list
    // and open in their own window.
    m_finder->SelectNoteType(22);
    ASSERT_NE(list(), nullptr);
    EXPECT_EQ(list()->objectName(), QStringLiteral("qrySpecialIn"));
    ASSERT_GT(list()->RecordCount(), 0);
    const int stockIn = int(list()->FieldByName(QStringLiteral("NOTEID"))->AsInteger());
    m_finder->findChild<QPushButton *>(QStringLiteral("btnOpenNote"))->click();
    auto *special = dynamic_cast<TBasenoteForm *>(FindOpenForm(QStringLiteral("SpecialInForm")));
    ASSERT_NE(special, nullptr) << shown().join(u'|').toStdString();
    EXPECT_EQ(special->CurrentNoteID(), stockIn);
    // Located by type and id alone, such a note opens in the window of the table that holds it.
    const int stockOut = scalar(QStringLiteral("select min(NOTEID) from OtherOutith")).toInt();
    ASSERT_GT(stockOut, 0);
    QnParams locate;
    locate.AddValue(QStringLiteral("NOTEID"), stockOut);
    locate.AddValue(QStringLiteral("NOTETYPE"), 23);
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &locate);
    auto *out = dynamic_cast<TBasenoteForm *>(FindOpenForm(QStringLiteral("SpecialOutForm")));
    ASSERT_NE(out, nullptr) << shown().join(u'|').toStdString();
    EXPECT_EQ(out->CurrentNoteID(), stockOut);
    // And a lending of the same type in the lending window.
    const int lent = scalar(QStringLiteral("select min(NOTEID) from BrowOut")).toInt();
    ASSERT_GT(lent, 0);
    locate.AddValue(QStringLiteral("NOTEID"), lent);
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &locate);
    auto *lending = dynamic_cast<TBasenoteForm *>(FindOpenForm(QStringLiteral("BrowOutForm")));
    ASSERT_NE(lending, nullptr) << shown().join(u'|').toStdString();
    EXPECT_EQ(lending->CurrentNoteID(), lent);
}

TEST_F(FinderTest, ExportsTheListOnlyWithTheExportRight)
{
    open(14);
    const QString file = m_folder.file(QStringLiteral("sales.xlsx"));
    m_files.answer(file);
    m_finder->findChild<QPushButton *>(QStringLiteral("btnToExcel"))->click();
    EXPECT_TRUE(QFileInfo(file).size() > 0) << shown().join(u'|').toStdString();
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
        m_finder->findChild<QPushButton *>(QStringLiteral("btnToExcel"))->click();
        EXPECT_TRUE(errors().value(errors().size() - 1).startsWith(QStringLiteral("无法写入文件 ") + bad))
            << errors().join(u'|').toStdString();
        EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        EXPECT_FALSE(QFileInfo::exists(m_folder.file(QStringLiteral("no"))));
    }

    SetCurrentUser(2);
    const QString refused = m_folder.file(QStringLiteral("refused.xlsx"));
    m_files.answer(refused);
    m_finder->findChild<QPushButton *>(QStringLiteral("btnToExcel"))->click();
    EXPECT_EQ(errors().value(errors().size() - 1), QStringLiteral("对不起, 你没有导出的权限."));
    EXPECT_FALSE(QFileInfo::exists(refused));
    grant(2, 2082, {4});
    m_finder->findChild<QPushButton *>(QStringLiteral("btnToExcel"))->click();
    EXPECT_TRUE(QFileInfo::exists(refused));
}

TEST_F(FinderTest, ANoteWindowsFindButtonOpensTheFinderOnItsType)
{
    std::unique_ptr<TBasenoteForm> note(
        qobject_cast<TBasenoteForm *>(pk_note::CreateFormClass(QStringLiteral("TSaleForm"))));
    ASSERT_NE(note, nullptr);
    note->findChild<QPushButton *>(QStringLiteral("btnFind"))->click();
    auto *finder = qobject_cast<TFindnoteForm *>(FindOpenForm(QStringLiteral("FindnoteForm")));
    ASSERT_NE(finder, nullptr) << shown().join(u'|').toStdString();
    EXPECT_EQ(finder->CurrentNoteType(), 14);
    finder->close();
}

TEST_F(FinderTest, FindnoteOpensTheFinderOnTheGivenType)
{
    QnParams params;
    params.AddValue(QStringLiteral("NOTETYPE"), 12);
    EXPECT_EQ(GlobalCall(QStringLiteral("FINDNOTE"), QString(), &params), 0);
    auto *finder = qobject_cast<TFindnoteForm *>(FindOpenForm(QStringLiteral("FindnoteForm")));
    ASSERT_NE(finder, nullptr);
    EXPECT_EQ(finder->CurrentNoteType(), 12);
    EXPECT_EQ(finder->CurrentQuery()->RecordCount(), scalar(QStringLiteral("select count(*) from ordersth")).toInt());
    EXPECT_EQ(finder->windowTitle(), QStringLiteral("单据速查"));
    finder->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Without parameters: the purchase plans.
    EXPECT_EQ(GlobalCall(QStringLiteral("FINDNOTE"), QString()), 0);
    finder = qobject_cast<TFindnoteForm *>(FindOpenForm(QStringLiteral("FindnoteForm")));
    ASSERT_NE(finder, nullptr);
    EXPECT_EQ(finder->CurrentNoteType(), 1);
    finder->close();
}

} // namespace
