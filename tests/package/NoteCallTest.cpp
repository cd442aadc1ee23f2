// note_Call branches that need no window of a later unit, through the plug-in.

#include "PackageFixture.h"

#include "NoteTypes.h"

namespace pkgtest {
namespace {

class NoteCallTest : public PackageTest {};

// GETNOTENAME adds the display name as text; the place adjustment (32) has
// one only while the books use places ("1"; any other value is off).
TEST_F(NoteCallTest, GetNoteNameAddsTheDisplayNameAsTextAndNeedsItsParams)
{
    const struct {
        QnVariant type;
        const char *usePlace, *name;
    } cases[] = {{99, "0", "进出口业务提单"}, {11, "0", ""}, {-3, "0", ""}, {32, "0", ""},
                 {32, "1", "货位调整单"}, {32, "yes", ""}, {QnVariant(), "0", ""}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type.toString().toStdString() + " UsePlace=" + c.usePlace);
        setParam(QStringLiteral("UsePlace"), QString::fromLatin1(c.usePlace));
        QnParams p = c.type.isEmpty() ? QnParams() : params({{"NOTETYPE", c.type}}); // none: type 0
        EXPECT_EQ(call(QStringLiteral("GetNoteName"), QString(), &p), 0);
        EXPECT_EQ(p.GetValue(QStringLiteral("result")).type(), QnVariant::Type::Text);
        EXPECT_EQ(p.GetValue(QStringLiteral("result")).toString(), QString::fromUtf8(c.name));
    }
    setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    EXPECT_EQ(NoteTypeFormName(32), QStringLiteral("PlaceAdjustForm"));
    EXPECT_EQ(NoteTypeMasterTable(32), QStringLiteral("PlaceAdjustith"));
    setParam(QStringLiteral("UsePlace"), QStringLiteral("0"));
    EXPECT_TRUE(NoteTypeFormName(32).isEmpty() && NoteTypeMasterTable(32).isEmpty());

    // No parameters at all is an internal error, here and in the cost calculation.
    for (const char *fn : {"GETNOTENAME", "COSTCACULATE"})
        EXPECT_EQ(testsupport::errorOf([&] { call(QString::fromLatin1(fn), QString(), nullptr); }),
                  QStringLiteral("内部错误: params != NULL\n发生在: note_Call"))
            << fn;
}

TEST_F(NoteCallTest, LocateNoteWithoutIdOrTypeIsRefusedAndZeroOpensNothing)
{
    plugin().load();
    for (QnParams p : {params({{"NOTETYPE", 2}}), params({{"NOTEID", 5}}), params({{"NOTETYPE", 2}, {"NOTEID", "abc"}}),
                       params({})}) {
        m_messages.clear();
        EXPECT_EQ(call(QStringLiteral("LOCATENOTE"), QString(), p.Count() ? &p : nullptr), kFail) << p.toText().toStdString();
        ASSERT_EQ(errors().size(), 1);
        EXPECT_TRUE(errors()[0].startsWith(QStringLiteral("内部错误: ")) && errors()[0].contains(QStringLiteral("NOTEID")));
    }

    // Id 0, a type without a form, and a form not built yet open nothing.
    m_messages.clear();
    for (QnParams p : {params({{"NOTETYPE", 2}, {"NOTEID", 0}}), params({{"NOTETYPE", 77}, {"NOTEID", 3}}),
                       params({{"NOTETYPE", 42}, {"NOTEID", 3}})})
        EXPECT_EQ(call(QStringLiteral("LOCATENOTE"), QString(), &p), 0) << p.toText().toStdString();
    EXPECT_TRUE(m_messages.records().isEmpty());
    EXPECT_TRUE(newWindows().isEmpty());
}

TEST_F(NoteCallTest, UnknownFunctionsAndWindowsNotBuiltYetOpenNothing)
{
    plugin().load();
    QnParams p = params({{"NOTETYPE", 2}, {"NOTEID", 7}});
    for (const char *name : {"NOSUCHFUNCTION", "", "SHOWNOTEFORMX"}) {
        EXPECT_EQ(call(QString::fromLatin1(name), QStringLiteral("PBuyForm"), &p), 0) << name;
        EXPECT_EQ(call(QString::fromLatin1(name), QString(), nullptr), 0) << name;
    }
    EXPECT_EQ(p.toText(), QStringLiteral("NOTETYPE=2\nNOTEID=7"));
    QnParams modal = params({{"SHOWMODAL", true}});
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("mnfmanunorderform"), &modal), 0);
    const char *calls[][2] = {{"SHOWNOTEFORM", "MnfManuNOrderForm"}, {"SHOWNOTEFORM", "NoSuchForm"},
                              {"POSCLOSEOFF", "PosCloseOffForm"}, {"SETPOSBATCHIDFORM", ""},
                              {"POSDAYEND", ""}, {"FILL", ""}};
    for (const auto &c : calls)
        EXPECT_EQ(call(QString::fromLatin1(c[0]), QString::fromLatin1(c[1])), 0) << c[0] << " " << c[1];
    for (const char *arg : {"PARENTSAM", "COMMODITY", "VENDOR", "CLIENT", "EMP", "OTHER"}) {
        QnParams p = params({{"noteType", 29}});
        EXPECT_EQ(call(QStringLiteral("PICK"), QString::fromLatin1(arg), &p), 0) << arg;
    }
    // Without its window the cost calculation reports false, whatever came in.
    QnParams cost = params({{"RECACULATE", true}, {"result", true}});
    EXPECT_EQ(call(QStringLiteral("costcaculate"), QString(), &cost), 0);
    EXPECT_EQ(cost.toText(), QStringLiteral("RECACULATE=True\nresult=False"));
    EXPECT_EQ(cost.GetValue(QStringLiteral("result")).type(), QnVariant::Type::Bool);
    EXPECT_TRUE(m_messages.records().isEmpty());
    EXPECT_TRUE(m_modal.records().isEmpty());
    EXPECT_TRUE(newWindows().isEmpty());
}

TEST_F(NoteCallTest, FindNoteWithTypeZeroOrNegativeAsksForNoFinder)
{
    // A finder registered by the host records whether it was asked for.
    int created = 0;
    RegisterPrivilegedForm(QStringLiteral("FindnoteForm"), [&](QWidget *owner) {
        ++created;
        auto *w = new QWidget(owner);
        w->setObjectName(QStringLiteral("FindnoteForm"));
        return w;
    }, 2082);
    for (int type : {0, -1, -64}) {
        QnParams p = params({{"NOTETYPE", type}});
        EXPECT_EQ(call(QStringLiteral("FINDNOTE"), QString(), &p), 0);
    }
    EXPECT_EQ(created, 0);
    EXPECT_EQ(call(QStringLiteral("FINDNOTE"), QString()), 0);
    ASSERT_EQ(newWindows().size(), 1);
    EXPECT_TRUE(newWindows()[0]->isVisible());
}

TEST_F(NoteCallTest, PrivilegeRefusalsOfTheClerkShowTheirMessages)
{
    plugin().load();
    SetCurrentUser(kClerk);
    const struct {
        const char *function, *message;
    } cases[] = {
        {"SETPOSBATCHIDFORM", "对不起,你没有调整货品批次的权限."},
        {"POSDAYEND", "对不起,你没有POS日结的权限."},
        {"POSUNDAYEND", "对不起,你没有POS日结/反日结的权限."},
        {"FILL", "对不起,你没有执行开票管理的权限"},
    };
    for (const auto &c : cases) {
        m_messages.clear();
        EXPECT_EQ(call(QString::fromLatin1(c.function).toLower(), QString()), kFail) << c.function;
        EXPECT_EQ(errors(), QStringList{QString::fromUtf8(c.message)}) << c.function;
    }
    EXPECT_TRUE(newWindows().isEmpty());

    // The administrator holds them all: no refusal (the day-end reversal is
    // tested on its own, with its table).
    SetCurrentUser(kAdmin);
    m_messages.clear();
    for (const auto &c : cases) {
        if (qstrcmp(c.function, "POSUNDAYEND") == 0)
            continue;
        EXPECT_EQ(call(QString::fromLatin1(c.function), QString()), 0) << c.function;
    }
    EXPECT_TRUE(errors().isEmpty());
}

// The reversal procedure records the day-end it was given and fails on request.
class PosUnDayEndTest : public NoteCallTest {
protected:
    void SetUp() override
    {
        NoteCallTest::SetUp();
        if (!database().hasTable(QStringLiteral("closeposth")))
            sql(QStringLiteral("create table closeposth (NOTEID integer primary key, NOTECODE varchar(30), NOTEDATE varchar(10))"));
        calls.clear();
        failWith.clear();
        db::Registry::instance().addProcedure(QStringLiteral("POS_UNDAYEND"), [](db::Database &, QVector<db::ProcArg> &args) {
            calls << (args.isEmpty() ? -1 : args[0].value.toLongLong());
            if (!failWith.isEmpty())
                throw db::DbError(failWith);
            return db::ResultSet();
        });
    }
    static inline QList<qint64> calls;
    static inline QString failWith;
    void addDayEnd(int id, const QString &code, const QString &date)
    {
        sql(QStringLiteral("insert into closeposth (NOTEID, NOTECODE, NOTEDATE) values (:i, :c, :d)"),
            {{"i", id}, {"c", code}, {"d", date}});
    }
};

TEST_F(PosUnDayEndTest, LatestDayEndIsReversedOnlyAfterYesAndAFailureIsShown)
{
    // Without a day-end nothing is asked.
    EXPECT_EQ(call(QStringLiteral("POSUNDAYEND"), QString()), 0);
    EXPECT_TRUE(m_messages.records().isEmpty());
    EXPECT_TRUE(calls.isEmpty());

    addDayEnd(5, QStringLiteral("POSRJ-202401-0005"), QStringLiteral("2024-01-14"));
    addDayEnd(7, QStringLiteral("POSRJ-202401-0007"), QStringLiteral("2024-01-15"));
    const QString question = QStringLiteral("每次只能反日结本期最近的一张日结单.以下是最近的一张日结单:\r\n单据号:"
                                            "POSRJ-202401-0007 单据日期:2024-01-15\r\n你确认要将此单反日结吗?");

    m_messages.answer(AnswerNo);
    EXPECT_EQ(call(QStringLiteral("POSUNDAYEND"), QString()), 0);
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNo), QStringList{question});
    EXPECT_TRUE(calls.isEmpty());

    m_messages.clear();
    m_messages.answer(AnswerYes);
    EXPECT_EQ(call(QStringLiteral("PosUnDayEnd"), QString()), 0);
    EXPECT_EQ(calls, QList<qint64>{7});
    EXPECT_EQ(shown(), (QStringList{question, QStringLiteral("反日结成功.")}));
    EXPECT_EQ(m_messages.last().kind, pub::MessageKind::Information);

    // A failure of the procedure is shown and swallowed.
    addDayEnd(9, QStringLiteral("POSRJ-202402-0009"), QStringLiteral("2024-02-29"));
    failWith = QStringLiteral("本期已结帐,不能反日结");
    m_messages.clear();
    m_messages.answer(AnswerYes);
    EXPECT_EQ(call(QStringLiteral("POSUNDAYEND"), QString()), 0);
    EXPECT_EQ(calls, (QList<qint64>{7, 9}));
    ASSERT_EQ(shown().size(), 2); // the question and the error, no success
    EXPECT_TRUE(shown()[0].contains(QStringLiteral("单据日期:2024-02-29")));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("本期已结帐,不能反日结")));
}

} // namespace
} // namespace pkgtest
