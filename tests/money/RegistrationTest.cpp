// The money kinds open under their privileges: a user without the privilege
// gets nothing (the factories are checked by the kind structure test).

#include "MoneyFixture.h"

#include "widgets/LookupCombo.h"

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
    // Given the browse right only, the window opens on the latest note, read-only.
    sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (2, 2052, 1), (2, 2091, 5)"));
    QWidget *w = show(QStringLiteral("OutMoneyForm"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(),
              scalar(QStringLiteral("select max(NOTEID) from expenseath")).toInt());
    EXPECT_TRUE(child<widgets::TRqLookupCombo>(QStringLiteral("cmbPayType"))->ReadOnly());
    EXPECT_TRUE(takeMessages().isEmpty());
}

} // namespace
