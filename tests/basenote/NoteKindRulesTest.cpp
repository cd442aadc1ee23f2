// The note types the base window treats apart: POS sale, POS day-end and
// invoicing records are never created in the window, and the init notes of
// books already in use can only be viewed.

#include "BasenoteFixture.h"
#include "NoteMessages.h"

#include <map>

using namespace basenotetest;

namespace {

// A plain kind over the test master table, with the given note type.
const basenote::Resource &kindResource(int type)
{
    static std::map<int, basenote::Resource> resources;
    auto it = resources.find(type);
    if (it == resources.end()) {
        basenote::Resource r{
            .formName = "TestKindForm",
            .caption = "测试单据",
            .noteType = type,
            .masterSql = "select m.* from testnoteath m",
            .controls = {{"AMOUNT", "金额", basenote::Ctl::Edit, "edAmount", nullptr, nullptr, 1, false, "#0.00"}},
            .lookups = {},
            .size = {800, 500},
            .tableName = "testnoteath",
        };
        it = resources.emplace(type, r).first;
    }
    return it->second;
}

} // namespace

class NoteKindRulesTest : public BasenoteTest {
protected:
    void TearDown() override
    {
        m_kind.reset();
        BasenoteTest::TearDown();
    }
    TBasenoteForm *openKind(int type, bool initMode = false)
    {
        m_kind.reset();
        m_kind = std::unique_ptr<TBasenoteForm>(CreateNoteForm<TBasenoteForm>(kindResource(type)));
        pk_note::SendNoteMessage(m_kind.get(), pk_note::NM_NOTEOPEN, initMode ? 1 : 0, 0);
        return m_kind.get();
    }

    std::unique_ptr<TBasenoteForm> m_kind;
};

TEST_F(NoteKindRulesTest, PosAndInvoiceKindsNeverCreateNotes)
{
    const std::pair<int, const char *> kinds[] = {
        {71, "没有POS销售单可以查看。"}, {73, "没有POS日结单可以查看。"}, {64, "没有开票记录可以查看。"}};
    for (const auto &[type, message] : kinds) {
        SCOPED_TRACE(type);
        const QString text = QString::fromUtf8(message);
        m_messages.clear();
        TBasenoteForm *f = openKind(type);
        EXPECT_EQ(errors(), QStringList{text}) << "opening the window";
        EXPECT_EQ(refused([&] { return f->NewNote(); }), text);
        EXPECT_EQ(refused([&] { return f->AppendBlankNote(); }), text);
        EXPECT_FALSE(f->IsNewNote());
    }
    EXPECT_EQ(count(), 0);

    // With notes: the latest is shown instead of a blank one, and "后单" stays on the last.
    insertNote(3);
    insertNote(6);
    for (const auto &[type, message] : kinds) {
        SCOPED_TRACE(type);
        m_messages.clear();
        TBasenoteForm *f = openKind(type);
        EXPECT_EQ(f->CurrentNoteID(), 6);
        f->FirstNote();
        EXPECT_TRUE(f->NewNote());
        EXPECT_EQ(f->CurrentNoteID(), 6);
        f->FirstNote();
        EXPECT_FALSE(f->AppendBlankNote());
        EXPECT_EQ(f->CurrentNoteID(), 6);
        EXPECT_FALSE(f->NextNote());
        EXPECT_EQ(f->CurrentNoteID(), 6);
        EXPECT_FALSE(f->IsNewNote());
        EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();
    }
    // The ordinary kind opens a blank note after the last one.
    TBasenoteForm *f = openKind(kType);
    f->LastNote();
    EXPECT_TRUE(f->NextNote());
    EXPECT_TRUE(f->IsNewNote());
}

TEST_F(NoteKindRulesTest, InitModeOfBooksInUseWithoutInitNotes)
{
    atStartPeriod(true);
    const std::pair<int, const char *> kinds[] = {{3, "没有估价入库初始化的单据可以查看。"},
                                                  {13, "没有委托代销初始化的单据可以查看。"}};
    for (const auto &[type, message] : kinds) {
        SCOPED_TRACE(type);
        const QString text = QString::fromUtf8(message);
        m_messages.clear();
        TBasenoteForm *f = openKind(type, true);
        EXPECT_EQ(errors(), QStringList{text});
        EXPECT_EQ(refused([&] { return f->AppendBlankNote(); }), text);
        EXPECT_FALSE(f->IsNewNote());
        // Normal mode of the same kind creates notes as usual.
        f->SetInitMode(false);
        EXPECT_EQ(refused([&] { return f->NewNote(); }), QStringLiteral("(done)"));
        EXPECT_TRUE(f->IsNewNote());
    }
    // Other kinds refuse without a message.
    m_messages.clear();
    TBasenoteForm *f = openKind(kType, true);
    EXPECT_FALSE(f->AppendBlankNote());
    EXPECT_FALSE(f->IsNewNote());
    EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();

    // With an init note there is no message: the latest is shown.
    insertNote(-2, -1);
    insertNote(-1, -1);
    for (int type : {13, kType}) {
        f = openKind(type, true);
        EXPECT_EQ(f->CurrentNoteID(), -2);
        EXPECT_FALSE(f->AppendBlankNote());
        EXPECT_EQ(f->CurrentNoteID(), -2);
        EXPECT_FALSE(f->IsNewNote());
    }
    EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();
}
