// Field access helpers and the detail table of a query text: no books needed.
// (The note type's price class: the default price test, where it reaches the books.)

#include "Notepublic.h"
#include "data/ClientDataSet.h"

#include <gtest/gtest.h>

namespace {

struct Lines {
    data::ClientDataSet ds;
    data::Field *qty;
    data::Field *name;
    int changes = 0;
    QStringList changed;

    Lines()
    {
        qty = ds.AddField(QStringLiteral("QUANTITY"), data::FieldType::Float);
        name = ds.AddField(QStringLiteral("COMMODITYNAME"), data::FieldType::String, 40);
        ds.CreateDataSet();
        for (data::Field *f : {qty, name})
            f->OnChange = [this](data::Field &f) {
                ++changes;
                changed << f.FieldName();
            };
        ds.Append();
    }
};

} // namespace

TEST(FieldAccess, GetFieldValueFallsBackForMissingFieldsAndNulls)
{
    Lines l;
    EXPECT_EQ(GetFieldValue(nullptr, 7).toInt(), 7);
    EXPECT_EQ(GetFieldValue(l.qty, 3.5).toDouble(), 3.5); // null value
    EXPECT_TRUE(GetFieldValue(l.qty).isNull());
    l.qty->SetValue(0);
    EXPECT_EQ(GetFieldValue(l.qty, 3.5).toDouble(), 0.0); // 0 is a value, not a missing one
    l.name->SetValue(QStringLiteral("毛巾"));
    l.name->Clear();
    EXPECT_EQ(GetFieldValue(l.name, QStringLiteral("无")).toString(), QStringLiteral("无"));
}

TEST(FieldAccess, SetFieldValueFiresOnlyWhenAskedAndClearsEmptyValues)
{
    Lines l;
    SetFieldValue(l.qty, 4, true);
    SetFieldValue(l.name, QStringLiteral("毛巾"), false);
    EXPECT_EQ(l.name->AsString(), QStringLiteral("毛巾"));
    SetFieldValue(l.name, QString(), true); // empty text clears
    EXPECT_TRUE(l.name->IsNull());
    SetFieldValue(l.qty, QVariant(), false); // null clears, silently
    EXPECT_TRUE(l.qty->IsNull());
    EXPECT_EQ(l.changed, (QStringList{"QUANTITY", "COMMODITYNAME"}));

    // The handler is back after a silent write, even one validation refuses.
    SetFieldValueSilent(l.qty, 9);
    EXPECT_EQ(l.qty->AsFloat(), 9.0);
    l.qty->OnValidate = [](data::Field &f) {
        if (f.AsFloat() < 0)
            throw data::DataSetError(QStringLiteral("数量不能为负"));
    };
    EXPECT_THROW(SetFieldValueSilent(l.qty, -1), data::DataSetError);
    EXPECT_EQ(l.changes, 2);
    SetFieldValue(l.qty, 10);
    EXPECT_EQ(l.changes, 3);

    // A field the data set lacks: nothing happens, nothing is raised.
    EXPECT_NO_THROW(SetFieldValue(nullptr, 1, true));
    EXPECT_NO_THROW(SetFieldValue(l.ds.FindField(QStringLiteral("NOSUCH")), 1, false));
    EXPECT_NO_THROW(SetFieldValueSilent(nullptr, 1));
}

TEST(DetailTable, TableAfterTheFirstFromEndsAtBlanksAndParentheses)
{
    const std::pair<const char *, const char *> cases[] = {
        {"select m.*, g.Name from purchasepthDetail m left join Commoditylth g", "purchasepthDetail"},
        {"Select * FROM\r\n\tsalesthDetail\tm where 1=0", "salesthDetail"},
        {"select * from drawithDetail(nolock)", "drawithDetail"},
        {"select * from orderpthDetail\nwhere noteid=1", "orderpthDetail"},
        // Only the first FROM counts, and only as a word of its own.
        {"select DATEFROM, (select 1 from x) from BalItemithDetail", "x"},
        {"select DATEFROM from BalItemithDetail", "BalItemithDetail"},
        {"select 1", ""},
        {"", ""},
    };
    for (const auto &[sql, table] : cases)
        EXPECT_EQ(DetailTableOfSql(QString::fromLatin1(sql)), QString::fromLatin1(table)) << sql;
}
