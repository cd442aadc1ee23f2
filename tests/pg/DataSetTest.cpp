// Client data sets on both engines: the same schema, the same edits, the same
// fields, keys, SQL written and rows left behind.

#include "PgFixture.h"

#include "data/ClientDataSet.h"

using data::ClientDataSet;
using data::FieldType;
using data::UpdateStatus;

namespace {

class DataSetsOnBothEngines : public pgtest::TwoEngines {
protected:
    void SetUp() override
    {
        TwoEngines::SetUp();
        if (IsSkipped())
            return;
        both(QStringLiteral("create table t_note (NOTEID integer not null primary key, NOTECODE varchar(20) COLLATE TSQL "
                            "not null, NOTEDATE date, AMOUNT numeric(19,6), STATE integer not null default 0, CLOSED bit, "
                            "REMARK varchar(200) COLLATE TSQL, UPDATETIME datetime)"));
        both(QStringLiteral("create table t_line (NOTEID integer not null, ITEMNO integer not null, QTY numeric(19,6), "
                            "primary key (NOTEID, ITEMNO))"));
        // The delete of note 2 is guarded by its time stamp, as a note's delete is.
        both(QStringLiteral("insert into t_note (NOTEID, NOTECODE, NOTEDATE, AMOUNT, REMARK, UPDATETIME) values "
                            "(1, 'PB-1', '2024-03-01', 120.5, 'first', '2024-03-01 10:20:30'), "
                            "(2, 'PB-2', null, 0, null, '2024-03-02 08:00:00')"));
        both(QStringLiteral("insert into t_line values (1, 1, 2), (1, 2, 3)"));
    }

    // One session of edits on `d`: what the data set showed along the way.
    static QStringList session(db::Database &d)
    {
        QStringList seen;
        ClientDataSet::ClearTableInfoCache();
        ClientDataSet ds(&d);
        ds.SetCommandText(QStringLiteral("select * from t_note order by NOTEID"));
        ds.Open();
        for (const QString &name : {QStringLiteral("NOTEID"), QStringLiteral("notecode"), QStringLiteral("NoteDate"),
                                    QStringLiteral("AMOUNT"), QStringLiteral("REMARK"), QStringLiteral("CLOSED")}) {
            const data::Field *f = ds.FieldByName(name);
            seen << QStringLiteral("%1 %2 %3").arg(name).arg(int(f->DataType())).arg(f->Size());
        }
        // An edit, an insert relying on a default, a delete; the change log holds all three.
        ds.Locate(QStringLiteral("NOTEID"), 1);
        ds.Edit();
        ds.FieldByName(QStringLiteral("REMARK"))->SetValue(QStringLiteral("changed"));
        ds.FieldByName(QStringLiteral("AMOUNT"))->SetValue(99.125);
        ds.Post();
        ds.Append();
        ds.FieldByName(QStringLiteral("NOTEID"))->SetValue(3);
        ds.FieldByName(QStringLiteral("NOTECODE"))->SetValue(QStringLiteral("PB-3"));
        ds.FieldByName(QStringLiteral("NOTEDATE"))->SetValue(QDate(2024, 4, 2));
        ds.Post();
        seen << QStringLiteral("inserted %1").arg(int(ds.GetUpdateStatus()));
        ds.Locate(QStringLiteral("NOTEID"), 2);
        ds.Delete();
        seen << QStringLiteral("changes %1").arg(ds.ChangeCount());
        seen << QStringLiteral("failed %1").arg(ds.ApplyUpdates(0, true));
        seen << QStringLiteral("after apply %1").arg(ds.ChangeCount());
        // Changed behind its back, then refreshed: it shows the row as stored.
        d.exec(QStringLiteral("update t_note set STATE = 1 where NOTEID = 3"));
        ds.Locate(QStringLiteral("NOTEID"), 3);
        ds.Refresh();
        seen << QStringLiteral("refreshed at %1 state %2 date %3")
                    .arg(ds.FieldByName(QStringLiteral("NOTEID"))->AsString(),
                         ds.FieldByName(QStringLiteral("STATE"))->AsString(),
                         pgtest::canonical(ds.FieldByName(QStringLiteral("NOTEDATE"))->Value()));
        // A reverted edit writes nothing; a key of two columns finds its row.
        ds.Edit();
        ds.FieldByName(QStringLiteral("REMARK"))->SetValue(QStringLiteral("dropped"));
        ds.Post();
        ds.RevertRecord();
        seen << QStringLiteral("reverted %1 %2").arg(ds.ChangeCount()).arg(ds.ApplyUpdates(0, true));
        ClientDataSet lines(&d);
        lines.SetCommandText(QStringLiteral("select NOTEID, ITEMNO, QTY from t_line order by ITEMNO"));
        lines.Open();
        lines.Locate(QStringLiteral("ITEMNO"), 2);
        lines.Edit();
        lines.FieldByName(QStringLiteral("QTY"))->SetValue(7);
        lines.Post();
        seen << QStringLiteral("lines %1").arg(lines.ApplyUpdates(0, true));
        return seen;
    }
};

TEST_F(DataSetsOnBothEngines, ShowApplyAndRefreshAlike)
{
    const QStringList lite = session(*m_lite);
    const QStringList pg = session(*m_pg);
    EXPECT_EQ(lite.join(u'\n').toStdString(), pg.join(u'\n').toStdString());
    // The engines agreeing is not enough: the sizes are the declared ones and every change went through.
    EXPECT_EQ(pg.value(1), QStringLiteral("notecode %1 20").arg(int(FieldType::String)));
    EXPECT_EQ(pg.value(4), QStringLiteral("REMARK %1 200").arg(int(FieldType::String)));
    EXPECT_EQ(pg.value(5), QStringLiteral("CLOSED %1 0").arg(int(FieldType::Boolean)));
    EXPECT_TRUE(pg.contains(QStringLiteral("failed 0")));
    EXPECT_TRUE(pg.contains(QStringLiteral("after apply 0")));
    EXPECT_TRUE(pg.contains(QStringLiteral("refreshed at 3 state 1 date 2024-04-02")));
    EXPECT_TRUE(pg.contains(QStringLiteral("reverted 0 0")));
    for (const char *sql : {"select NOTEID, NOTECODE, NOTEDATE, AMOUNT, STATE, REMARK from t_note order by NOTEID",
                            "select * from t_line order by ITEMNO"})
        expectSame(QString::fromLatin1(sql));
    EXPECT_EQ(pgtest::canonical(m_pg->select(QStringLiteral("select NOTEID, AMOUNT, REMARK from t_note order by NOTEID"))),
              QStringLiteral("1.000000|99.125000|changed\n3.000000|NULL|NULL"));
}

} // namespace
