// The three money kinds reach the host with real factories: the host builds
// them under their privileges, and a user without the privilege gets nothing.

#include "MoneyFixture.h"

#include "widgets/LookupCombo.h"

#include <QApplication>
#include <memory>

using namespace moneytest;

namespace {

class MoneyRegistrationTest : public MoneyTest {};

TEST_F(MoneyRegistrationTest, TheHostGetsFactoriesForTheThreeKindsOnly)
{
    const QHash<QString, QPair<int, const char *>> built = {
        {QStringLiteral("MoveForm"), {2053, "TMoveForm"}},
        {QStringLiteral("OutMoneyForm"), {2052, "TOutMoneyForm"}},
        {QStringLiteral("InComeForm"), {2051, "TInComeForm"}},
    };
    int withFactory = 0;
    for (const PrivilegedForm &f : RegisteredForms()) {
        if (!f.factory)
            continue;
        ++withFactory;
        ASSERT_TRUE(built.contains(f.name)) << f.name.toStdString();
        EXPECT_EQ(f.privilegeId, built.value(f.name).first);
        std::unique_ptr<QWidget> w(GetPrivilegedForm(f.name, 1));
        ASSERT_NE(w, nullptr) << f.name.toStdString();
        EXPECT_STREQ(w->metaObject()->className(), built.value(f.name).second);
        EXPECT_EQ(w->objectName(), f.name);
    }
    EXPECT_EQ(withFactory, 3);
}

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
