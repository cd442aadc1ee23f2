// One structure test over every kind the package builds: each registered window
// class is created with the demo books and checked against its own resource
// block, so a declaration and the schema, the lookups or the window cannot
// drift apart unnoticed. Replaces lists of control names and table rows. And
// what the plug-in registers with the host and exports.

#include "PackageFixture.h"

#include "Basenote.h"
#include "MDnote.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "PackageWindows.h"
#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <memory>

namespace pkgtest {
namespace {

class KindStructureTest : public PackageTest {};

QString objectNameOf(const basenote::MasterControl &c)
{
    if (c.name)
        return QString::fromLatin1(c.name);
    const char *prefix = c.kind == basenote::Ctl::Lookup ? "cmb" : c.kind == basenote::Ctl::Check ? "chk"
                         : c.kind == basenote::Ctl::Text || c.kind == basenote::Ctl::Label  ? "lb"
                                                                                            : "ed";
    return QString::fromLatin1(prefix) + QString::fromLatin1(c.field);
}

// Column names a list filter ("IsClient=1 and Closed=0") compares.
QStringList filterColumns(const QString &filter)
{
    static const QRegularExpression re(QStringLiteral("([A-Za-z_][A-Za-z0-9_]*)\\s*(?:=|<>|<|>|\\bis\\b|\\blike\\b|\\bin\\b)"),
                                       QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (auto it = re.globalMatch(filter); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

TEST_F(KindStructureTest, EveryRegisteredKindMatchesItsSchemaLookupsAndWindow)
{
    // The place move opens only with place management on.
    setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    int kinds = 0;
    for (const pk_note::FormRegistration &row : pk_note::RegistrationTable()) {
        // Windows not built, and windows that show no note (the audit centre, the
        // finder...), have no resource block to check.
        if (!pk_note::FormClassFactory(QString::fromLatin1(row.className)) || qstrcmp(row.baseClass, "TnoteBootForm") == 0)
            continue;
        SCOPED_TRACE(row.className);
        ++kinds;
        std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QString::fromLatin1(row.className)));
        auto *form = qobject_cast<TBasenoteForm *>(window.get());
        ASSERT_NE(form, nullptr);
        const basenote::Resource &r = form->DeclaredResource();
        EXPECT_EQ(QString::fromUtf8(r.formName), QString::fromLatin1(row.formName));

        // Opens a blank note, with the master (and lines) read through the schema:
        // a missing table or column would be an error shown.
        ASSERT_EQ(pk_note::SendNoteMessage(form, pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
        EXPECT_TRUE(form->IsNewNote());
        EXPECT_TRUE(m_messages.records().isEmpty()) << shown().join(u'\n').toStdString();
        data::ClientDataSet *master = form->MasterDataSet();
        ASSERT_TRUE(master && master->Active());

        // Every declared master field is in the data set, every control found.
        for (const basenote::MasterControl &c : r.controls) {
            const QString name = objectNameOf(c);
            QWidget *w = form->findChild<QWidget *>(name);
            EXPECT_NE(w, nullptr) << name.toStdString();
            if (c.kind != basenote::Ctl::Label) {
                // The field is there with the declared caption (messages name it).
                const data::Field *f = master->FindField(QString::fromLatin1(c.field));
                EXPECT_EQ(f ? f->DisplayLabel().toStdString() : "(no field)", c.caption) << c.field;
            }
            if (c.kind != basenote::Ctl::Lookup)
                continue;
            // Every lookup source exists and its list filter names its columns.
            pub::LookupTable *source = FindLookupDataSource(QString::fromLatin1(c.lookup));
            ASSERT_NE(source, nullptr) << c.lookup;
            EXPECT_GT(source->rowCount(), 0) << c.lookup; // the demo books fill every list
            auto *combo = qobject_cast<widgets::TRqLookupCombo *>(w);
            ASSERT_NE(combo, nullptr) << name.toStdString();
            EXPECT_EQ(combo->DataField().compare(QString::fromLatin1(c.field), Qt::CaseInsensitive), 0);
            for (const QString &column : filterColumns(QString::fromUtf8(c.listFilter ? c.listFilter : "")))
                EXPECT_GE(source->columnIndex(column), 0) << c.lookup << " filter column " << column.toStdString();
        }
        for (const QString &lookup : r.lookups)
            EXPECT_TRUE(OpenLookupDataSet(lookup)) << lookup.toStdString();

        // Every declared line column is in the line data set and the grid.
        if (auto *md = qobject_cast<TMDnoteForm *>(form)) {
            data::ClientDataSet *lines = md->DetailDataSet();
            ASSERT_TRUE(lines && lines->Active());
            EXPECT_EQ(lines->RecordCount(), 0);
            QStringList gridFields;
            for (int i = 0; i < md->Grid()->ColumnCount(); ++i)
                gridFields << md->Grid()->Column(i).FieldName.toUpper();
            for (const mdnote::DetailColumn &c : md->DeclaredDetail().columns) {
                EXPECT_NE(lines->FindField(QString::fromLatin1(c.field)), nullptr) << c.field;
                const int column = int(gridFields.indexOf(QString::fromLatin1(c.field).toUpper()));
                ASSERT_GE(column, 0) << c.field;
                EXPECT_EQ(md->Grid()->ColumnTitle(column), mdnote::ResolveColumn(c).caption) << c.field;
            }
        }

        // Object names are unique within the window (the inner parts of a
        // control and Qt's own parts aside).
        QSet<QString> names;
        for (QObject *o : form->findChildren<QObject *>()) {
            const QString n = o->objectName();
            if (n.isEmpty() || n.startsWith(QLatin1String("qt_")))
                continue;
            bool inner = false;
            for (QObject *p = o->parent(); p && p != form && !inner; p = p->parent())
                inner = QLatin1String(p->metaObject()->className()).startsWith(QLatin1String("widgets::"));
            if (inner)
                continue;
            EXPECT_FALSE(names.contains(n)) << "duplicate object name " << n.toStdString();
            names.insert(n);
        }

        QString first;
        for (const basenote::MasterControl &c : r.controls)
            if (c.kind != basenote::Ctl::Label && c.kind != basenote::Ctl::Check) {
                first = objectNameOf(c);
                break;
            }
        // Shown again from the menu (the open window gets the open message),
        // the first editable control of the master has the focus.
        form->show();
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        ASSERT_EQ(pk_note::SendNoteMessage(form, pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
        auto named = [form](QWidget *w) {
            while (w && w != form && w->objectName().isEmpty())
                w = w->parentWidget();
            return w ? w->objectName() : QString();
        };
        EXPECT_EQ(named(QApplication::focusWidget()).toStdString(), first.toStdString());

        // The keyboard walk of a clerk: Tab from the first field reaches every
        // editable master field and the lines, and passes the read-only ones.
        QStringList walked;
        for (int step = 0; step < 60 && QApplication::focusWidget(); ++step) {
            const QString at = named(QApplication::focusWidget());
            if (walked.contains(at) || (at.endsWith(QLatin1String("Btn")) && !walked.isEmpty()))
                break;
            walked << at;
            // Ctrl+Tab leaves the grid, whose Tab walks its cells.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                            at == QLatin1String("ItemGrid") ? Qt::ControlModifier : Qt::NoModifier);
        }
        for (const basenote::MasterControl &c : r.controls) {
            const bool editable = c.kind == basenote::Ctl::Edit || c.kind == basenote::Ctl::Lookup || c.kind == basenote::Ctl::Date;
            QWidget *w = form->findChild<QWidget *>(objectNameOf(c));
            if (editable && w && w->isVisible() && w->isEnabled()) { // a kind may disable a field until it applies
                EXPECT_TRUE(walked.contains(objectNameOf(c)))
                    << objectNameOf(c).toStdString() << " not in " << walked.join(u' ').toStdString();
            }
        }
        if (qobject_cast<TMDnoteForm *>(form)) {
            EXPECT_TRUE(walked.contains(QStringLiteral("ItemGrid"))) << walked.join(u' ').toStdString();
        }
        for (const char *readOnly : {"edoperatename", "edchkor"})
            EXPECT_FALSE(walked.contains(QString::fromLatin1(readOnly))) << walked.join(u' ').toStdString();
        m_messages.clear();
        g_bForceCloseForm = true; // the blank note is left without asking

        // In an MDI frame smaller than the window the master fields keep their
        // height (the area scrolls) rather than being squeezed into each other.
        QMdiArea area;
        area.resize(420, 320);
        area.show();
        QMdiSubWindow *sub = area.addSubWindow(window.release());
        sub->resize(400, 300);
        sub->show();
        QApplication::processEvents();
        for (const basenote::MasterControl &c : r.controls)
            if (QWidget *w = form->findChild<QWidget *>(objectNameOf(c)); w && w->isVisible()) {
                EXPECT_GE(w->height(), w->minimumSizeHint().height()) << objectNameOf(c).toStdString();
            }
    }
    // The money kinds at least; a new kind is checked as soon as it registers.
    EXPECT_GE(kinds, 3);
}

// The note-type table and the registration table agree: every form of a note
// type is registered with the host, and unknown types have no form, name or table.
// noteLoad registers the twelve functions too; noteUnload undoes nothing.
TEST_F(KindStructureTest, NoteTypesRegistrationsAndFunctionsAgree)
{
    plugin().load();
    plugin().unload();
    EXPECT_EQ(RegisteredFunctions(),
              QStringLiteral("SHOWNOTEFORM LOCATENOTE BATCHCHECK FINDNOTE POSCLOSEOFF PICK SETPOSBATCHIDFORM "
                             "POSDAYEND FILL COSTCACULATE GETNOTENAME POSUNDAYEND")
                  .split(u' '));
    for (const pk_note::NoteTypeInfo &t : pk_note::NoteTypeTable())
        EXPECT_NE(GetPrivilegedFormID(QString::fromLatin1(t.formName)), 0) << t.formName;
    for (int unknown : {0, -1, 6, 10, 24, 33, 44, 65, 76, 100, 2002})
        EXPECT_TRUE(NoteTypeFormName(unknown).isEmpty() && NoteTypeName(unknown).isEmpty()
                    && NoteTypeMasterTable(unknown).isEmpty())
            << unknown;
    // The host gets a factory exactly for the built classes and refuses the
    // others silently, as an unknown name.
    for (const PrivilegedForm &f : RegisteredForms()) {
        const auto row = std::find_if(pk_note::RegistrationTable().begin(), pk_note::RegistrationTable().end(),
                                      [&](const pk_note::FormRegistration &r) { return f.name == QLatin1String(r.formName); });
        ASSERT_NE(row, pk_note::RegistrationTable().end()) << f.name.toStdString();
        EXPECT_EQ(bool(f.factory), bool(pk_note::FormClassFactory(QString::fromLatin1(row->className))))
            << f.name.toStdString();
        // A built window carries its form name, by which the host finds it again.
        std::unique_ptr<QWidget> w(GetPrivilegedForm(f.name, 1));
        EXPECT_EQ(w ? w->objectName() : QString(), f.factory ? f.name : QString());
    }
    EXPECT_EQ(RegisteredForms().size(), pk_note::RegistrationTable().size());
    EXPECT_TRUE(m_messages.records().isEmpty());
}

TEST_F(KindStructureTest, OnlyTheThreeEntryPointsAreExported)
{
    QLibrary lib(pluginPath());
    ASSERT_TRUE(lib.load()) << lib.errorString().toStdString();
    for (const char *entry : {"noteLoad", "noteUnload", "note_Call"})
        EXPECT_NE(lib.resolve(entry), nullptr) << entry;
    // Everything else stays inside the package.
    for (const char *internal : {"_Z16NoteTypeFormNamei", "_Z12NoteTypeNamei", "_Z12FindOpenFormRK7QString",
                                 "_ZN7pk_note17RegistrationTableEv", "_ZN13TnoteBootForm16staticMetaObjectE",
                                 "_Z8InforBoxRK7QStringS1_RS_b"})
        EXPECT_EQ(lib.resolve(internal), nullptr) << internal;
}

} // namespace
} // namespace pkgtest
