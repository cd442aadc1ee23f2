// The branches that drive windows of later units, with stand-in windows made
// known through the package's class table (the package's code linked in).

#include "PackageFixture.h"

#include "PackageWindows.h"
#include "Pk_note_itf.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QHash>

namespace pkgtest {
namespace {

class PickerStub : public QWidget, public pk_note::IPicker {
public:
    void Clear() override { log << QStringLiteral("clear"); }
    void SetCurrentId(int id) override { log << QStringLiteral("current %1").arg(id); }
    int SelectedId() const override { return selected; }
    static inline QStringList log;
    static inline int selected = 0;
};

class CostStub : public QWidget, public pk_note::ICostCalculator {
public:
    void SetRecalculate(bool on) override { recalculate = on; }
    static inline bool recalculate = false;
};

class PickerHookTest : public PackageTest {
protected:
    void SetUp() override
    {
        PackageTest::SetUp();
        PickerStub::log.clear();
        // The stand-ins override the real pickers for this test only.
        for (const char *name : kStandIns)
            m_real.insert(QString::fromLatin1(name), pk_note::FormClassFactory(QString::fromLatin1(name)));
        for (const char *name : {"TPickpartnerForm", "TPickClientForm", "TPickEmpForm"})
            pk_note::RegisterFormClass(QString::fromLatin1(name), [](QWidget *) { return new PickerStub; });
        pk_note::RegisterFormClass(QStringLiteral("TCostCaculatorForm"), [](QWidget *) { return new CostStub; });
        data.AddFieldDefs({{QStringLiteral("PARTNERID"), data::FieldType::Integer}});
        data.CreateDataSet();
        data.Append();
        data.FieldByName(QStringLiteral("PARTNERID"))->SetAsInteger(5);
        data.Post();
    }
    void TearDown() override
    {
        for (auto it = m_real.cbegin(); it != m_real.cend(); ++it)
            pk_note::RegisterFormClass(it.key(), it.value());
        PackageTest::TearDown();
    }
    long pick(const QString &argument, int noteType = 0)
    {
        QnParams p;
        p.AddValue(QStringLiteral("Field"), QnVariant::fromPointer(data.FieldByName(QStringLiteral("PARTNERID"))));
        p.AddValue(QStringLiteral("noteType"), noteType);
        return note_Call(QStringLiteral("PICK"), argument, &p);
    }
    data::ClientDataSet data;
    static constexpr const char *kStandIns[] = {"TPickpartnerForm", "TPickClientForm", "TPickEmpForm",
                                                "TCostCaculatorForm"};
    QHash<QString, pk_note::WindowFactory> m_real;
};

// Choosing and cancelling in the real picker, and the caption for note type 29:
// OtherPickersTest (VendorPickThroughNoteCallFromTheKeyboard, EmployeePickByDepartmentAndDoubleClick).
TEST_F(PickerHookTest, PickerStartsOnTheFieldAndOkWithoutAChoiceOnlyEdits)
{
    PickerStub::selected = 0;
    m_modal.result(1);
    EXPECT_EQ(pick(QStringLiteral("CLIENT")), 0);
    EXPECT_EQ(PickerStub::log, (QStringList{QStringLiteral("clear"), QStringLiteral("current 5")}));
    EXPECT_EQ(data.State(), data::DataSetState::Edit);
    EXPECT_EQ(data.FieldByName(QStringLiteral("PARTNERID"))->AsInteger(), 5);
    EXPECT_TRUE(newWindows().isEmpty()); // pickers are freed

    // Other production documents pick their workers.
    EXPECT_EQ(pick(QStringLiteral("EMP"), 48), 0);
    EXPECT_EQ(m_modal.records().value(1).title, QStringLiteral("选择生产工人"));
}

TEST_F(PickerHookTest, CostCalculationReportsTheDialogResult)
{
    QnParams p;
    p.AddValue(QStringLiteral("RECACULATE"), true);
    m_modal.result(1);
    EXPECT_EQ(note_Call(QStringLiteral("COSTCACULATE"), QString(), &p), 0);
    EXPECT_TRUE(CostStub::recalculate);
    EXPECT_TRUE(p.GetValue(QStringLiteral("result")).toBool());

    QnParams cancelled;
    m_modal.result(2);
    EXPECT_EQ(note_Call(QStringLiteral("COSTCACULATE"), QString(), &cancelled), 0);
    EXPECT_FALSE(CostStub::recalculate);
    EXPECT_FALSE(cancelled.GetValue(QStringLiteral("result")).toBool());
}

} // namespace
} // namespace pkgtest
