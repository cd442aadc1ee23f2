#include "HostFixture.h"

#include <QLabel>
#include <QPointer>

using namespace hosttest;
using pub::MessageKind;

namespace {

struct CallLog {
    QStringList calls;
    QnParams *lastParams = nullptr;
};
CallLog g_calls;

long recordingHandler(const QString &function, const QString &argument, QnParams *params)
{
    g_calls.calls << function + u'|' + argument;
    g_calls.lastParams = params;
    if (params)
        params->AddValue("result", "done");
    return argument == QLatin1String("REFUSE") ? long(0x80004005) : 0;
}

long otherHandler(const QString &, const QString &, QnParams *) { return 7; }

FormFactory labelFactory(const QString &text, int *created = nullptr)
{
    return [text, created](QWidget *owner) -> QWidget * {
        if (created)
            ++*created;
        auto *w = new QLabel(text, owner);
        w->setObjectName(text);
        return w;
    };
}

} // namespace

class RegistryTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        g_calls = CallLog();
    }
};

TEST_F(RegistryTest, FunctionsDispatchByNameAnyCase)
{
    RegistFunction("SHOWNOTEFORM", recordingHandler);
    RegistFunction("GETNOTENAME", recordingHandler);

    QnParams params;
    EXPECT_EQ(GlobalCall("shownoteform", "PBuyForm", &params), 0);
    EXPECT_EQ(g_calls.calls, QStringList{"shownoteform|PBuyForm"});
    EXPECT_EQ(params.GetValue("result").toString(), "done");

    EXPECT_EQ(GlobalCall("GETNOTENAME", "REFUSE"), long(0x80004005));
    EXPECT_EQ(g_calls.lastParams, nullptr);

    // Unknown names do nothing and answer 0.
    EXPECT_EQ(GlobalCall("NOSUCHFUNCTION", "x", &params), 0);
    EXPECT_EQ(g_calls.calls.size(), 2);

    // A later registration of a name replaces its handler, not its place.
    RegistFunction("ShowNoteForm", otherHandler);
    EXPECT_EQ(GlobalCall("SHOWNOTEFORM", "x"), 7);
    EXPECT_EQ(RegisteredFunctions(), (QStringList{"SHOWNOTEFORM", "GETNOTENAME"}));
}

TEST_F(RegistryTest, PrivilegesFromTheDatabase)
{
    grant(kClerk, 2004, 1);
    grant(kClerk, 2004, 2);
    grant(kClerk, 551, 5);
    SetCurrentUser(kClerk);
    EXPECT_EQ(g_asUserName, "张三");
    EXPECT_FALSE(IsAdministrator(kClerk));

    // The administrator holds every right, also ones nobody granted; a closed
    // administrator holds nothing, nor does an unknown user.
    const std::tuple<int, int, int, bool> cases[] = {
        {kClerk, 2004, 1, true},       {kClerk, 2004, 2, true},        {kClerk, 2004, 6, false},
        {kClerk, 2014, 1, false},      {kClerk, 551, 5, true},         {kClerk, 552, 5, false},
        {kAdmin, 2014, 1, true},       {kAdmin, 2077, 5, true},        {kClosedAdmin, 2014, 1, false},
        {999, 2004, 1, false},
    };
    for (const auto &[user, privilege, action, held] : cases) {
        SetCurrentUser(user);
        EXPECT_EQ(GetUPrivilegeItem(privilege, action), held) << user << " " << privilege << "/" << action;
    }
    EXPECT_TRUE(g_asUserName.isEmpty());

    // A right granted now is seen at once.
    SetCurrentUser(kClerk);
    EXPECT_FALSE(GetUPrivilegeItem(2014, 3));
    grant(kClerk, 2014, 3);
    EXPECT_TRUE(GetUPrivilegeItem(2014, 3));
    SetStartupDB(nullptr);
    EXPECT_FALSE(GetUPrivilegeItem(2004, 1));
}

TEST_F(RegistryTest, FormsKeepDuplicatesAndOrderAndPrivilegedFormsAreCreatedOrRefused)
{
    int created = 0;
    RegisterPrivilegedForm("BrowInForm", labelFactory("BrowInForm"), 2022);
    RegisterPrivilegedForm("PBuyForm", labelFactory("PBuyForm", &created), 2004);
    RegisterPrivilegedForm("PBuyForm", labelFactory("PBuyForm-second"), 2999);
    RegisterPrivilegedForm("NoFactoryForm", FormFactory(), 2005);
    // Duplicates are kept in order; lookup is by name in any case and the first registration wins.
    ASSERT_EQ(RegisteredForms().size(), 4);
    EXPECT_EQ(RegisteredForms()[2].privilegeId, 2999);
    EXPECT_EQ(GetPrivilegedFormID("pbuyform"), 2004);
    EXPECT_EQ(GetPrivilegedFormID("NoSuchForm"), 0);
    grant(kClerk, 2004, 1);

    QWidget owner;
    SetCurrentUser(kClerk);
    std::unique_ptr<QWidget> form(GetPrivilegedForm("pbuyform", 1, &owner));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->parentWidget(), &owner);
    EXPECT_EQ(form->objectName(), "PBuyForm");
    form.reset();

    // No edit right: null, nothing created, and the user is told why.
    EXPECT_EQ(GetPrivilegedForm("PBuyForm", 2), nullptr);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(m_messages.texts(MessageKind::Warning), QStringList{"对不起,你没有[PBuyForm]的编辑权限!"});

    // Unknown names and forms without a factory: null, silently.
    EXPECT_EQ(GetPrivilegedForm("NoSuchForm", 1), nullptr);
    EXPECT_EQ(GetPrivilegedForm("NoFactoryForm", 1), nullptr);
    EXPECT_EQ(m_messages.records().size(), 1);

    SetCurrentUser(kAdmin);
    std::unique_ptr<QWidget> audit(GetPrivilegedForm("PBuyForm", 6));
    EXPECT_NE(audit, nullptr);
    EXPECT_EQ(created, 2);
}
