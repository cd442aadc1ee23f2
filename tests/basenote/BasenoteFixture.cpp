#include "BasenoteFixture.h"

#include "NoteMessages.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "notedb.h"


namespace basenotetest {

const char *const kTable = "testnoteath";

namespace {

using basenote::Ctl;

const basenote::Resource &moveResource()
{
    static const basenote::Resource r{
        .formName = "MoveForm",
        .caption = "银行存取款单",
        .noteType = kType,
        .masterSql = "select m.* from testnoteath m",
        .controls = {
            {"OUTACCOUNTID", "付款帐户", Ctl::Lookup, "cmbOutAccount", "dsAccount", "Closed = 0", 1, true},
            {"INACCOUNTID", "收款帐户", Ctl::Lookup, "cmbInAccount", "dsAccount", "Closed = 0", 1, true},
            {"AMOUNT", "金额", Ctl::Edit, "edAmount", nullptr, nullptr, 1, true, "#0.00"},
            {"PURPOSE", "用途", Ctl::Edit, "edPurpose", nullptr, nullptr, 2},
            {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
            {"CREDCODE", "凭证号", Ctl::Edit, "edCredNo"},
        },
        .lookups = {QStringLiteral("qryAccount")},
        .size = {980, 560},
        .tableName = "testnoteath",
    };
    return r;
}

UserListCall s_userList;

long scriptedUserList(const QString &, const QString &, QnParams *params)
{
    ++s_userList.calls;
    s_userList.modId = params->GetValue(QStringLiteral("iModId"), 0).toInt();
    s_userList.action = params->GetValue(QStringLiteral("iPrtypesid"), 0).toInt();
    const QnVariant list = params->GetValue(QStringLiteral("UserNameList"), QnVariant());
    if (list.type() == QnVariant::Type::Object && list.toPointer())
        *static_cast<QStringList *>(list.toPointer()) << QStringLiteral("1") << QStringLiteral("2");
    return 0;
}

} // namespace

UserListCall &userListCalls() { return s_userList; }

// ---------------------------------------------------------------------------- the kind

TTestMoveForm::TTestMoveForm(QWidget *owner) : TBasenoteForm(moveResource(), owner) {}

bool TTestMoveForm::ValidateNote()
{
    if (!TBasenoteForm::ValidateNote())
        return false;
    if (MasterValue(QStringLiteral("OUTACCOUNTID")) == MasterValue(QStringLiteral("INACCOUNTID"))) {
        ShowError(QStringLiteral("付款帐户不能和收款帐户一样."));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------- fixture

void BasenoteTest::SetUp()
{
    SessionTest::SetUp();
    sql(QStringLiteral(
        "create table testnoteath (NOTEID INTEGER NOT NULL PRIMARY KEY, NOTECODE VARCHAR(30), NOTEDATE DATE, "
        "NOTESTATE INTEGER NOT NULL DEFAULT 0, NOTEKIND INTEGER, OUTACCOUNTID INTEGER, INACCOUNTID INTEGER, "
        "OUTSHOPERATEID INTEGER, INSHOPERATEID INTEGER, AMOUNT NUMERIC(19,6), PURPOSE VARCHAR(60), "
        "CHECKNO VARCHAR(30), CREDCODE VARCHAR(30), PARTNERID INTEGER, BUILDINGID INTEGER, ACCOUNTID INTEGER, "
        "SHOPERATEID INTEGER DEFAULT 0, EMPID INTEGER, DEPID INTEGER, OPERATEID INTEGER, CHKORID INTEGER, "
        "REFERCOUNT INTEGER DEFAULT 0, REFERAMT NUMERIC(19,6) DEFAULT 0, UPDATETIME TIMESTAMP, REMARK VARCHAR(200), "
        "UPFLAG INTEGER DEFAULT 0, CLOSED INTEGER DEFAULT 0)"));
    notedb::ensureKey(*m_db, QString::fromLatin1(kTable), 100);
    RegisterPrivilegedForm(QStringLiteral("MoveForm"), nullptr, kFormPrivilege);
    RegistFunction(QStringLiteral("GETUSERLIST"), &scriptedUserList);
    s_userList = {};
    SetCurrentUser(kAdmin);
}

void BasenoteTest::TearDown()
{
    m_form.reset();
    SessionTest::TearDown();
}

int BasenoteTest::count(const QString &where)
{
    return scalar(QStringLiteral("select count(*) from testnoteath where ") + where).toInt();
}

void BasenoteTest::insertNote(int id, int day, int operateId, int state, const QString &code)
{
    sql(QStringLiteral("insert into testnoteath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, OUTACCOUNTID, "
                       "INACCOUNTID, AMOUNT, PURPOSE, OPERATEID, SHOPERATEID) values (:id, :c, :d, :s, 1, 1, 2, 100, "
                       "'备用金', :o, 0)"),
        {{QStringLiteral("id"), id},
         {QStringLiteral("c"), code.isEmpty() ? QStringLiteral("T%1").arg(id) : code},
         {QStringLiteral("d"), dateText(periodStart().addDays(day))},
         {QStringLiteral("s"), state},
         {QStringLiteral("o"), operateId}});
}

void BasenoteTest::atStartPeriod(bool inUse)
{
    setParam(QStringLiteral("PosYear"), LookupSysParam(QStringLiteral("StartYear")));
    setParam(QStringLiteral("PosMonth"), LookupSysParam(QStringLiteral("StartMonth")));
    if (!inUse)
        setParam(QStringLiteral("IsStartUse"), QStringLiteral("0"));
}

void BasenoteTest::asClerk(std::initializer_list<int> actions)
{
    m_form.reset();
    SetCurrentUser(kClerk);
    grant(kClerk, kFormPrivilege, actions);
}

void BasenoteTest::setField(const QString &name, const QVariant &value, TBasenoteForm *form)
{
    TBasenoteForm *f = form ? form : m_form.get();
    f->MasterDataSource()->SetFieldValue(f->MasterDataSet()->FieldByName(name), value);
}

void BasenoteTest::fill(TBasenoteForm *form, double amount)
{
    setField(QStringLiteral("OUTACCOUNTID"), 1, form);
    setField(QStringLiteral("INACCOUNTID"), 2, form);
    setField(QStringLiteral("AMOUNT"), amount, form);
}

QVariant BasenoteTest::field(const QString &name) const { return m_form->MasterValue(name); }

QString BasenoteTest::refused(const std::function<bool()> &action)
{
    m_messages.clear();
    return action() ? QStringLiteral("(done)") : errors().join(u'|');
}

QDate BasenoteTest::periodStart() const { return GetFirstDayOfPosMonth(); }

} // namespace basenotetest
