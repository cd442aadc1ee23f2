// The money kinds open under their privileges: a user without the privilege
// gets nothing (the factories are checked by the kind structure test, a
// browse right alone by the base window's tests).

#include "MoneyFixture.h"

#include <QApplication>
#include <memory>

using namespace moneytest;

namespace {

class MoneyRegistrationTest : public MoneyTest {};

TEST_F(MoneyRegistrationTest, AUserWithoutThePrivilegeGetsNoWindow)
{
    SetCurrentUser(kClerk); // the clerk holds only the purchase and sales forms
    const int before = int(QApplication::topLevelWidgets().size());
    for (const char *form : {"MoveForm", "OutMoneyForm", "InComeForm"})
        EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QString::fromLatin1(form)), 0) << form;
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), before);
    // The refusal is the host's own.
    EXPECT_EQ(takeMessages(), (QStringList{QStringLiteral("对不起,你没有[MoveForm]的浏览权限!"),
                                           QStringLiteral("对不起,你没有[OutMoneyForm]的浏览权限!"),
                                           QStringLiteral("对不起,你没有[InComeForm]的浏览权限!")}));
}

} // namespace
