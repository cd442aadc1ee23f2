#include "MDnoteFixture.h"

#include "NoteMessages.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "notedb.h"


namespace mdnotetest {

namespace {

using basenote::Ctl;

basenote::Resource masterResource(const char *sql, const char *table)
{
    return basenote::Resource{
        .formName = "OutMoneyForm",
        .caption = "费用开支单",
        .noteType = kType,
        .masterSql = sql,
        .controls = {
            {"PARTNERID", "往来单位", Ctl::Lookup, "cmbPartner", "dsPartner"},
            {"ACCOUNTID", "付款帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
            {"NOTEKIND", "类型", Ctl::Edit, "ednoteKind"},
            {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
            {"AMOUNT", "金额", Ctl::Text, "lbAmount", nullptr, nullptr, 1, false, "#0.00"},
        },
        .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryAccount")},
        .size = {980, 600},
        .tableName = table,
    };
}

mdnote::DetailResource detailResource(const char *sql)
{
    return mdnote::DetailResource{
        .detailSql = sql,
        .columns = {
            {"ITEMSNO", "序号", 50, nullptr, true},
            {"IETYPESID", "费用项目", 120},
            {"AMOUNT", "金额", 110, "#0.00", false, true},
            {"REFERNOTEID", "源单", 80, nullptr, true},
            {"REFERCOUNT", "引用次数", 80, nullptr, true},
            {"REMARK", "备注", 240},
        },
    };
}

const basenote::Resource &masterOf(Tables tables)
{
    static const basenote::Resource r[] = {masterResource("select m.* from expenseath m", nullptr),
                                           masterResource("select m.* from testmdath m", "testmdath")};
    return r[int(tables)];
}
const mdnote::DetailResource &detailOf(Tables tables)
{
    static const mdnote::DetailResource r[] = {detailResource("select m.* from expenseathdetail m"),
                                               detailResource("select m.* from testmdathdetail m")};
    return r[int(tables)];
}

} // namespace

// ---------------------------------------------------------------------------- the kind

TTestExpenseForm::TTestExpenseForm(Tables tables, QWidget *owner)
    : TMDnoteForm(masterOf(tables), detailOf(tables), owner)
{
}

bool TTestExpenseForm::ValidateDetailLine()
{
    ++validated;
    if (DetailValue(QStringLiteral("REMARK")).toString() == QLatin1String("bad")) {
        ShowError(QStringLiteral("第") + QString::number(cdsDetail->RecNo()) + QStringLiteral("行明细有误"));
        return false;
    }
    return true;
}

void TTestExpenseForm::DetailFieldChange(data::Field &field) { changedFields << field.FieldName().toUpper(); }

// ---------------------------------------------------------------------------- fixture

void MDnoteTest::SetUp()
{
    SessionTest::SetUp();
    // Tables of their own with the columns of the expense tables but no
    // trigger deleting the lines of a deleted note.
    sql(QStringLiteral(
        "create table testmdath (NOTEID INTEGER NOT NULL PRIMARY KEY, NOTECODE VARCHAR(30), NOTEDATE DATE, "
        "NOTESTATE INTEGER NOT NULL DEFAULT 0, NOTEKIND INTEGER DEFAULT 1, OPERATEID INTEGER, CHKORID INTEGER, "
        "EMPID INTEGER, DEPID INTEGER, SHOPERATEID INTEGER DEFAULT 0, REFERCOUNT INTEGER DEFAULT 0, "
        "PARTNERID INTEGER, ACCOUNTID INTEGER, AMOUNT NUMERIC(19,6) DEFAULT 0, CHECKNO VARCHAR(30), "
        "UPDATETIME TIMESTAMP, REMARK VARCHAR(200), UPFLAG INTEGER DEFAULT 0)"));
    sql(QStringLiteral(
        "create table testmdathdetail (NOTEID INTEGER NOT NULL, ITEMSNO INTEGER NOT NULL, IETYPESID INTEGER, "
        "REFERCOUNT INTEGER DEFAULT 0, REFERNOTETYPE INTEGER, REFERNOTEID INTEGER, REFERITEMSNO INTEGER, "
        "AMOUNT NUMERIC(19,6) DEFAULT 0, QUANTITY NUMERIC(19,6), PRICE NUMERIC(19,6), DISC NUMERIC(19,6), "
        "CLOSED INTEGER, REMARK VARCHAR(200), PRIMARY KEY (NOTEID, ITEMSNO))"));
    notedb::ensureKey(*m_db, QStringLiteral("testmdath"), 100);
    RegisterPrivilegedForm(QStringLiteral("OutMoneyForm"), nullptr, kFormPrivilege);
    setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    SetCurrentUser(kAdmin);
}

void MDnoteTest::TearDown()
{
    m_form.reset();
    SessionTest::TearDown();
}

TTestExpenseForm *MDnoteTest::openForm(Tables tables)
{
    m_tables = tables;
    m_form = std::unique_ptr<TTestExpenseForm>(CreateNoteForm<TTestExpenseForm>(tables));
    const long rc = pk_note::SendNoteMessage(m_form.get(), pk_note::NM_NOTEOPEN, 0, 0);
    EXPECT_EQ(rc, pk_note::S_OK);
    return m_form.get();
}

void MDnoteTest::setField(const QString &name, const QVariant &value)
{
    m_form->MasterDataSource()->SetFieldValue(m_form->MasterDataSet()->FieldByName(name), value);
}

void MDnoteTest::setLine(const QString &name, const QVariant &value)
{
    m_form->DetailDataSource()->SetFieldValue(m_form->DetailDataSet()->FieldByName(name), value);
}

void MDnoteTest::addLine(double amount, const QString &remark, int referNoteId, int referCount)
{
    m_form->muAppendDetailClick();
    ASSERT_EQ(m_form->DetailDataSet()->State(), data::DataSetState::Insert);
    setLine(QStringLiteral("IETYPESID"), 1);
    setLine(QStringLiteral("AMOUNT"), amount);
    if (!remark.isEmpty())
        setLine(QStringLiteral("REMARK"), remark);
    if (referNoteId != 0)
        setLine(QStringLiteral("REFERNOTEID"), referNoteId);
    if (referCount != 0)
        setLine(QStringLiteral("REFERCOUNT"), referCount);
    m_form->DetailDataSet()->Post();
}

QVariantList MDnoteTest::lineValues(const QString &column) const
{
    data::ClientDataSet *ds = m_form->DetailDataSet();
    const int index = ds->FieldByName(column)->Index();
    QVariantList values;
    for (int row = 0; row < ds->RecordCount(); ++row)
        values << ds->ValueAt(row, index);
    return values;
}

int MDnoteTest::lineRows(int noteId)
{
    return scalar(QStringLiteral("select count(*) from ") + detailTable() + QStringLiteral(" where NOTEID=")
                  + QString::number(noteId))
        .toInt();
}

} // namespace mdnotetest
