// Remembered master choices in "System.ini", the template per window class in
// "PrintName.ini", and the subject and person choosers.

#include "NotepublicFixture.h"

#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/LookupCombo.h"

#include <QWidget>

using namespace notepublictest;

namespace {

// A document form as the routines see it: a master data set and its combos.
struct Form {
    QWidget window;
    data::ClientDataSet master;
    data::DataSource source{&master};
    widgets::TRqLookupCombo *store;
    QStringList changed;

    explicit Form(const QString &name)
    {
        window.setObjectName(name);
        for (const char *name : {"NOTEID", "BUILDINGID", "PAYMETHODID", "EMPID", "NOTEKIND"})
            master.AddField(QString::fromLatin1(name), data::FieldType::Integer);
        master.CreateDataSet();
        for (int i = 0; i < master.FieldCount(); ++i)
            master.FieldAt(i)->OnChange = [this](data::Field &f) { changed << f.FieldName(); };
        store = combo("cmbBuildingID", "BUILDINGID", "dsStore");
        combo("cmbPayMethod", "PAYMETHODID", "dsPayMethod");
        combo("cmbEmp", "EMPID", "dsEmploy"); // not a remembered combo
    }

    widgets::TRqLookupCombo *combo(const char *name, const char *field, const char *list)
    {
        auto *c = new widgets::TRqLookupCombo(&window, QString::fromLatin1(name));
        c->setObjectName(QString::fromLatin1(name));
        c->SetDataSource(&source);
        c->SetDataField(QString::fromLatin1(field));
        c->SetListSource(QString::fromLatin1(list));
        return c;
    }
    QVariant value(const char *field) { return master.FieldByName(QString::fromLatin1(field))->Value(); }

    void newNote()
    {
        master.Append();
        master.FieldByName(QStringLiteral("NOTEID"))->SetValueSilent(-9999);
        master.FieldByName(QStringLiteral("NOTEKIND"))->SetValueSilent(1);
        changed.clear();
    }
};

class FormSettingsTest : public NotepublicTest {};

} // namespace

TEST_F(FormSettingsTest, SavedChoicesFillTheNextNewNote)
{
    {
        Form form(QStringLiteral("PBuyForm"));
        form.newNote();
        form.master.FieldByName(QStringLiteral("BUILDINGID"))->SetValue(3);
        form.master.FieldByName(QStringLiteral("PAYMETHODID"))->SetValue(2);
        form.master.FieldByName(QStringLiteral("EMPID"))->SetValue(5);
        form.master.Post();
        SaveNoteDefaults(&form.window);
    }
    EXPECT_EQ(ReadIniSection(QStringLiteral("System.ini"), QStringLiteral("PBuyForm")),
              (QStringList{"BUILDINGID", "PAYMETHODID"}));

    Form form(QStringLiteral("PBuyForm"));
    form.newNote();
    LoadNoteDefaults(&form.window, &form.master);
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_EQ((QStringList{form.value("BUILDINGID").toString(), form.value("PAYMETHODID").toString(),
                           form.value("EMPID").toString(), form.value("NOTEKIND").toString()}),
              (QStringList{"3", "2", "", "1"}));
    // Set as a user would choose them: the change rules run.
    EXPECT_EQ(form.changed, (QStringList{"BUILDINGID", "PAYMETHODID"}));
    EXPECT_EQ(form.store->text(), QStringLiteral("成品仓库"));

    // Another form has its own section; a form without one is left alone.
    Form sale(QStringLiteral("SaleForm"));
    sale.newNote();
    LoadNoteDefaults(&sale.window, &sale.master);
    EXPECT_TRUE(sale.value("BUILDINGID").isNull());
    EXPECT_TRUE(sale.changed.isEmpty());

    // Remembered values no longer listed, or of unknown fields, are skipped.
    for (const auto &[key, value] : {std::pair<const char *, const char *>{"BUILDINGID", "99"}, {"PAYMETHODID", ""},
                                     {"NOTEKIND", "2"}, {"NOSUCHFIELD", "1"}})
        WriteIni(QStringLiteral("System.ini"), QStringLiteral("SaleForm"), QString::fromLatin1(key), QString::fromLatin1(value));
    Form again(QStringLiteral("SaleForm"));
    again.newNote();
    LoadNoteDefaults(&again.window, &again.master);
    EXPECT_TRUE(errors().isEmpty());
    // Store 99 is not in the list; a field without a combo is still filled.
    EXPECT_EQ(again.changed, (QStringList{"NOTEKIND"}));
    EXPECT_EQ(again.value("NOTEKIND").toInt(), 2);
}

TEST_F(FormSettingsTest, FailuresAreShownAndTheDocumentGoesOn)
{
    Form form(QStringLiteral("PBuyForm"));
    form.newNote();
    form.master.FieldByName(QStringLiteral("BUILDINGID"))->SetValue(1);

    SetProgramFolder(QStringLiteral("/proc/no-such-folder"));
    EXPECT_NO_THROW(SaveNoteDefaults(&form.window));
    EXPECT_EQ(errors(), (QStringList{QStringLiteral("保存单据设置出错。")}));
    SetProgramFolder(m_folder.path());

    WriteIni(QStringLiteral("System.ini"), QStringLiteral("PBuyForm"), QStringLiteral("BUILDINGID"), QStringLiteral("2"));
    form.master.FieldByName(QStringLiteral("BUILDINGID"))->OnChange = [](data::Field &) {
        throw data::DataSetError(QStringLiteral("仓库已停用"));
    };
    m_messages.clear();
    EXPECT_NO_THROW(LoadNoteDefaults(&form.window, &form.master));
    EXPECT_EQ(errors(), (QStringList{QStringLiteral("自动填充单据出错。")}));
    EXPECT_EQ(form.master.State(), data::DataSetState::Insert);
}

// (The choice made in a window and found by the next: the printing tests.)
TEST_F(FormSettingsTest, TemplateChoiceIsReadInAnyCaseAndAFailedWriteKeepsTheOldOne)
{
    EXPECT_EQ(ReadPrintChoice(QStringLiteral("TPBuyForm")).id, 0);
    WritePrintChoice(QStringLiteral("TPBuyForm"), {QStringLiteral("采购开单(套打)"), 6004});
    const PrintChoice buy = ReadPrintChoice(QStringLiteral("tpbuyform"));
    EXPECT_EQ(buy.formName + u'|' + QString::number(buy.id), QStringLiteral("采购开单(套打)|6004"));
    EXPECT_TRUE(errors().isEmpty());

    SetProgramFolder(QStringLiteral("/proc/no-such-folder"));
    WritePrintChoice(QStringLiteral("TPBuyForm"), {QStringLiteral("x"), 1});
    EXPECT_EQ(errors().size(), 1);
    SetProgramFolder(m_folder.path());
    EXPECT_EQ(ReadPrintChoice(QStringLiteral("TPBuyForm")).id, 6004);
}

namespace {

// What the finance package was asked ("function/argument/INSUBID") and answers.
QStringList g_financeCalls;
std::optional<int> g_financeAnswer;
long g_financeResult = 0;

long financeStub(const QString &function, const QString &argument, QnParams *params)
{
    g_financeCalls << function + u'/' + argument + u'/' + params->GetValue(QStringLiteral("INSUBID"), -1).toString();
    if (g_financeAnswer)
        params->AddValue(QStringLiteral("SUBJECTID"), *g_financeAnswer);
    return g_financeResult;
}

} // namespace

TEST_F(FormSettingsTest, SubjectIsChosenThroughTheFinancePackage)
{
    // Without the finance package nothing is chosen.
    EXPECT_EQ(ChooseSubject(7), std::nullopt);

    RegistFunction(QStringLiteral("SHOWFINANCEFORM"), financeStub);
    g_financeCalls.clear();
    g_financeAnswer = 1122;
    g_financeResult = 0;
    EXPECT_EQ(ChooseSubject(7), 1122);
    g_financeAnswer.reset(); // cancelled: nothing comes back
    EXPECT_EQ(ChooseSubject(1122), std::nullopt);
    g_financeAnswer = 5;
    g_financeResult = 0x80004005L; // refused
    EXPECT_EQ(ChooseSubject(0), std::nullopt);
    EXPECT_EQ(g_financeCalls, (QStringList{"SHOWFINANCEFORM/SELECTSUBJECTID/7", "SHOWFINANCEFORM/SELECTSUBJECTID/1122",
                                           "SHOWFINANCEFORM/SELECTSUBJECTID/0"}));
}

namespace {

// Stands in for the package's employee list window.
class FakeEmployeePicker : public EmployeePicker {
public:
    QWidget window;
    int clears = 0;
    qint64 current = -1, selected = 0;
    static inline FakeEmployeePicker *last = nullptr;

    FakeEmployeePicker() { last = this; }
    ~FakeEmployeePicker() override { last = nullptr; }
    QWidget *Window() override { return &window; }
    void Clear() override { ++clears, current = 0; }
    void SetCurrentId(qint64 id) override { current = id; }
    qint64 SelectedId() const override { return selected; }
};

EmployeePickerFactory fakeFactory()
{
    return [] { return std::make_unique<FakeEmployeePicker>(); };
}

} // namespace

TEST_F(FormSettingsTest, PersonIsChosenWithTheEmployeePicker)
{
    EXPECT_EQ(PersonPickerCaption(29), QStringLiteral("选择领料人"));
    EXPECT_EQ(PersonPickerCaption(25), QStringLiteral("选择生产工人"));
    EXPECT_EQ(ChoosePerson({}, QStringLiteral("选择领料人"), 3), std::nullopt);

    // What the picker showed: its caption, the row it was positioned on, how often it was cleared.
    QString shown;
    m_modal.setHandler([&](QWidget *w) {
        const FakeEmployeePicker *p = FakeEmployeePicker::last;
        shown = QStringLiteral("%1 at %2 after %3 clear").arg(w->windowTitle()).arg(p->current).arg(p->clears);
        FakeEmployeePicker::last->selected = 7;
        return 1;
    });
    EXPECT_EQ(ChoosePerson(fakeFactory(), QStringLiteral("选择领料人"), 3), 7);
    EXPECT_EQ(shown, QStringLiteral("选择领料人 at 3 after 1 clear")); // positioned after being cleared
    EXPECT_EQ(FakeEmployeePicker::last, nullptr); // freed after the call

    // Into a field: browse -> edit, the choice written with its change event.
    Form form(QStringLiteral("PickForm"));
    form.newNote();
    data::Field *emp = form.master.FieldByName(QStringLiteral("EMPID"));
    emp->SetValue(2);
    form.master.Post();
    form.changed.clear();
    EXPECT_TRUE(ChoosePersonForField(fakeFactory(), emp, 29));
    EXPECT_EQ(shown, QStringLiteral("选择领料人 at 2 after 1 clear"));
    EXPECT_EQ(form.master.State(), data::DataSetState::Edit);
    EXPECT_EQ(emp->AsInteger(), 7);
    EXPECT_EQ(form.changed, QStringList{"EMPID"});
    form.master.Post();

    // OK without a choice leaves the field; cancel leaves everything.
    m_modal.setHandler([&](QWidget *w) {
        shown = w->windowTitle();
        return 1;
    });
    EXPECT_TRUE(ChoosePersonForField(fakeFactory(), emp, 42));
    EXPECT_EQ(shown, QStringLiteral("选择生产工人"));
    EXPECT_EQ(emp->AsInteger(), 7);
    form.master.Post();
    m_modal.setHandler(nullptr); // the scripted service answers 2: cancel
    EXPECT_FALSE(ChoosePersonForField(fakeFactory(), emp, 29));
    EXPECT_EQ(form.master.State(), data::DataSetState::Browse);
    EXPECT_EQ(emp->AsInteger(), 7);
    EXPECT_EQ(form.changed, QStringList{"EMPID"});
}
