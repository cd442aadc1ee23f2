#include "HostFixture.h"

#include <QComboBox>
#include <QDialog>
#include <QSignalSpy>

using namespace hosttest;

class LookupTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        units();
        sql("insert into storelth (BUILDINGID, CODE, NAME, SHOPERATEID) values (1, '01', '总部仓库', 0), (5, '05', '门店仓', 1)");
        sql("insert into Commoditylth (COMMODITYID, CODE, NAME, BARCODE, UNITSID, KIND, COSTTYPE, HIGHPRICE, "
            "LOWPRICE) values (7, 'BG0001', 'A4复印纸', '6901234500011', 2, 1, 1, 22, 20)");
        sql("insert into Commoditylth (COMMODITYID, CODE, NAME, UNITSID, KIND, COSTTYPE) "
            "values (8, 'ZK0001', '销售折扣', 1, 7, 1)");
        sql("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR) values (3, 'S001', '晨光文具', 1)");
        sql("insert into paymethodlth (PAYTYPESID, CODE, NAME, ACCOUNTID) values (2, '02', '转账支票', 4)");
        sql("insert into kindamth (KIND, ID, NAME) values (5, 1, '收据'), (5, 3, '增值税专用发票'), (4, 1, '自提')");
    }
};

TEST_F(LookupTest, MemoryTablesByRecordType)
{
    // record type, key, column (any case) -> value; null for an unknown type, key or column
    const std::tuple<int, QVariant, const char *, QVariant> cases[] = {
        {pub::RecordStore, 1, "NAME", "总部仓库"}, {1, 5, "code", "05"},
        {7, 2, "NAME", "箱"}, {3, 8, "KIND", 7}, {3, 7, "HighPrice", 22},
        {3, "7", "LowPrice", 20}, {21, kClerk, "OPERATENAME", "张三"},
        {2, 3, "NAME", "晨光文具"}, {8, 2, "ACCOUNTID", 4},
        {15, 3, "NAME", "增值税专用发票"}, {16, 1, "NAME", "自提"},
        {999, 1, "NAME", {}}, {1, 42, "NAME", {}}, {1, {}, "NAME", {}}, {1, 1, "NOSUCHCOLUMN", {}},
        {21, kClerk, "OPERATEPWD", {}}, // passwords never reach the cache
    };
    for (const auto &[type, key, column, expected] : cases) {
        const QVariant v = LookupData(type, key, column);
        EXPECT_EQ(v.isNull() ? QString("null") : v.toString(), expected.isNull() ? QString("null") : expected.toString())
            << type << " " << column;
    }
    EXPECT_EQ(LookupData(1, 42, "NAME", "?").toString(), "?");

    // By another column: codes and barcodes in any case.
    EXPECT_EQ(LookupDataEx(3, "code", "bg0001", "COMMODITYID").toInt(), 7);
    EXPECT_EQ(LookupDataEx(3, "BARCODE", "6901234500011", "CODE").toString(), "BG0001");
    EXPECT_EQ(LookupDataEx(1, "CODE", "05", "BUILDINGID").toInt(), 5);
    EXPECT_TRUE(LookupDataEx(3, "CODE", "NOPE", "COMMODITYID").isNull());
    EXPECT_TRUE(LookupDataEx(3, "NOSUCH", "BG0001", "COMMODITYID").isNull());

    SetStartupDB(nullptr);
    EXPECT_TRUE(LookupData(1, 1, "NAME").isNull());
}

TEST_F(LookupTest, NewRowsFoundChangedRowsNeedRefreshAndNamedSources)
{
    EXPECT_EQ(LookupData(7, 1, "NAME").toString(), "个");

    // A row added after loading is found by key and by code.
    sql("insert into unitlth (UNITSID, CODE, NAME) values (9, '09', '台')");
    EXPECT_EQ(LookupData(7, 9, "NAME").toString(), "台");
    sql("insert into unitlth (UNITSID, CODE, NAME) values (10, '10', '米')");
    EXPECT_EQ(LookupDataEx(7, "CODE", "10", "UNITSID").toInt(), 10);

    // A changed row keeps its cached value until the set is refreshed.
    sql("update unitlth set NAME = '只' where UNITSID = 1");
    EXPECT_EQ(LookupData(7, 1, "NAME").toString(), "个");
    EXPECT_TRUE(RefreshLookupDataSet("qryUnit"));
    EXPECT_EQ(LookupData(7, 1, "NAME").toString(), "只");

    sql("update storelth set NAME = '一号仓' where BUILDINGID = 1");
    EXPECT_TRUE(RefreshLookupData(pub::RecordStore));
    EXPECT_EQ(LookupData(1, 1, "NAME").toString(), "一号仓");

    // A new connection starts with empty caches.
    testsupport::TempFolder other;
    auto books = testsupport::freshBooks(other.file("other.db"), false);
    SetStartupDB(books.get());
    EXPECT_TRUE(LookupData(7, 1, "NAME").isNull());
    SetStartupDB(m_db.get());
    EXPECT_EQ(LookupData(7, 1, "NAME").toString(), "只");

    // Named lookup sources.
    EXPECT_TRUE(OpenLookupDataSet("dspartner"));
    EXPECT_FALSE(OpenLookupDataSet("qryNoSuchThing"));
    EXPECT_EQ(FindLookupDataSource("dsNoSuchThing"), nullptr);
    EXPECT_FALSE(RefreshLookupDataSet("dsNoSuchThing"));

    // Both names of a set reach the same table.
    pub::LookupTable *stores = FindLookupDataSource("dsStore");
    EXPECT_EQ(FindLookupDataSource("QRYSTORE"), stores);
    ASSERT_EQ(stores->rowCount(), 2);
    EXPECT_EQ(stores->rowOfKey(5), 1);
    EXPECT_EQ(stores->rowOfKey(6), -1);
    EXPECT_EQ(stores->rowOf("code", "05"), 1);

    pub::LookupTable *invoices = FindLookupDataSource("dsNoteType");
    ASSERT_EQ(invoices->rowCount(), 2); // only kind 5 of kindamth
    EXPECT_EQ(invoices->value(1, "NAME").toString(), "增值税专用发票");

    // A refresh re-reads the rows in place and tells the combos.
    QSignalSpy spy(stores, &pub::LookupTable::refreshed);
    sql("insert into storelth (BUILDINGID, CODE, NAME) values (3, '03', '成品仓库')");
    EXPECT_TRUE(RefreshLookupDataSet("dsStore"));
    EXPECT_EQ(spy.count(), 1);
    ASSERT_EQ(stores->rowCount(), 3);
    EXPECT_EQ(stores->value(1, "CODE").toString(), "03"); // key order

    // Extra sets can be defined by the host.
    pub::registerLookup({40, "Color", "select 1 as ID, '红' as NAME union select 2, '蓝'", "ID"});
    EXPECT_EQ(LookupData(40, 2, "NAME").toString(), "蓝");
}

TEST_F(LookupTest, ComboUtilityCommands)
{
    QWidget form;
    auto *combo = new QComboBox(&form);
    combo->setProperty("lookupSource", "dsStore");
    pub::LookupTable *stores = FindLookupDataSource("dsStore");

    // "刷新" re-reads the combo's source.
    sql("insert into storelth (BUILDINGID, CODE, NAME) values (3, '03', '成品仓库')");
    EXPECT_TRUE(ComboBoxUtilitys(combo, "刷新", 2004));
    EXPECT_EQ(stores->rowCount(), 3);

    // Without a maintenance window "新增"/"编辑" do nothing.
    EXPECT_FALSE(ComboBoxUtilitys(combo, "新增#", 2004));
    EXPECT_TRUE(m_modal.records().isEmpty());

    QVariant editedKey = "unset";
    QWidget *seenOwner = nullptr;
    RegisterLookupEditor("qryStore", [&](QWidget *owner, const QVariant &key) -> QWidget * {
        editedKey = key;
        seenOwner = owner;
        auto *d = new QDialog(owner);
        d->setObjectName("StoreEditor");
        return d;
    });
    int shown = 0;
    m_modal.setHandler([this, &shown](QWidget *) {
        if (++shown == 1) // the user adds a store in the window
            sql("insert into storelth (BUILDINGID, CODE, NAME) values (4, '04', '食品冷藏库')");
        return 1;
    });
    EXPECT_TRUE(ComboBoxUtilitys(combo, "新增#", 2004));
    EXPECT_TRUE(editedKey.isNull());
    EXPECT_EQ(seenOwner, &form);
    EXPECT_EQ(m_modal.records().value(0).objectName, "StoreEditor");
    EXPECT_EQ(stores->rowCount(), 4); // refreshed after the window closed
    EXPECT_TRUE(form.findChildren<QDialog *>().isEmpty()); // and the window freed

    EXPECT_TRUE(ComboBoxUtilitys(combo, "编辑", 5));
    EXPECT_EQ(editedKey.toInt(), 5);

    EXPECT_FALSE(ComboBoxUtilitys(combo, "查找", 0));
    EXPECT_FALSE(ComboBoxUtilitys(nullptr, "刷新", 0));
}
