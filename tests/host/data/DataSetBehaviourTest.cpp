// Fields, states, events, cursor, filter, locate and bookmarks of the client data set.

#include "DataSetFixture.h"

#include <cmath>
#include <limits>

using namespace data;
using testsupport::errorOf;

TEST_F(DataSetTest, FieldsTakeTypesFromTheTableDatesComeBackAsQDateAndBadNumbersAreRefused)
{
    auto ds = open("select m.*, g.GOODSNAME, d.QTY * d.PRICE as LINEAMT, 'x' as TAG from t_master m join t_detail d "
                   "on d.NOTEID = m.NOTEID left join t_goods g on g.GOODSID = d.GOODSID where m.NOTEID = 1 order by d.ITEMSNO");
    EXPECT_EQ(ds->BaseTable(), "t_master");
    // from the table, the joined table and the values
    for (const auto &[name, type] : {std::pair{"noteid", FieldType::Integer}, {"NOTECODE", FieldType::String},
                                     {"NOTEDATE", FieldType::Date}, {"UPDATETIME", FieldType::DateTime},
                                     {"AMOUNT", FieldType::Float}, {"CLOSED", FieldType::Boolean},
                                     {"GOODSNAME", FieldType::String}, {"LINEAMT", FieldType::Float},
                                     {"TAG", FieldType::String}})
        EXPECT_EQ(ds->FieldByName(name)->DataType(), type) << name;
    EXPECT_EQ(ds->FieldByName("NOTECODE")->Size(), 20);
    EXPECT_EQ(ds->FindField("NOSUCH"), nullptr);
    EXPECT_EQ(errorOf([&] { ds->FieldByName("NOSUCH"); }), "数据集中没有字段 'NOSUCH'");

    // Values keep their type (QVariant compares types strictly).
    Field *date = ds->FieldByName("notedate");
    EXPECT_EQ(date->Value(), QVariant(QDate(2024, 3, 1)));
    EXPECT_EQ(ds->FieldByName("UPDATETIME")->AsDateTime(), QDateTime(QDate(2024, 3, 1), QTime(8, 30)));
    EXPECT_EQ(ds->FieldByName("CLOSED")->Value(), QVariant(false));
    EXPECT_EQ(ds->FieldByName("LINEAMT")->Value(), QVariant(21.0));
    EXPECT_EQ(ds->FieldByName("GOODSNAME")->Value(), QVariant("Apple"));

    // a date written as text or QDateTime is stored as a QDate and reaches the table as text
    ds->Edit();
    date->SetValue("2024-05-06");
    EXPECT_EQ(date->Value(), QVariant(QDate(2024, 5, 6)));
    date->SetValue(QDateTime(QDate(2024, 5, 7), QTime(10, 0)));
    EXPECT_EQ(date->Value(), QVariant(QDate(2024, 5, 7)));
    EXPECT_EQ(errorOf([&] { date->SetValue("not a date"); }), "'not a date' 不是字段 'NOTEDATE' 有效的日期值");
    EXPECT_EQ(errorOf([&] { ds->FieldByName("PARTNERID")->SetValue("12x"); }), "'12x' 不是字段 'PARTNERID' 有效的整数值");
    EXPECT_THROW(ds->FieldByName("PARTNERID")->SetValue(std::numeric_limits<double>::infinity()), DataSetError);

    // Numbers must be finite and within the range the books keep to the cent.
    Field *amount = ds->FieldByName("AMOUNT");
    auto refusal = [&](const QVariant &v) { return errorOf([&] { amount->SetValue(v); }); };
    EXPECT_EQ(refusal("abc"), "'abc' 不是字段 'AMOUNT' 有效的浮点数值");
    for (const char *typed : {"inf", "-inf", "nan", "Infinity", "+INF"})
        EXPECT_EQ(refusal(typed), QString("'%1' 不是字段 'AMOUNT' 有效的浮点数值").arg(typed));
    EXPECT_NE(refusal(std::numeric_limits<double>::infinity()), "(ran)");
    EXPECT_NE(refusal(std::nan("")), "(ran)");
    EXPECT_EQ(refusal("1e13"), "'1e13' 超出字段 'AMOUNT' 允许的范围，数值的绝对值不能大于 1,000,000,000,000。");
    EXPECT_NE(refusal(-1.5e12), "(ran)");
    EXPECT_EQ(amount->AsFloat(), 120.5); // nothing refused was stored
    EXPECT_EQ(refusal("999999999999.99"), "(ran)");
    ds->Post();
    ds->ApplyUpdates(0, true);
    EXPECT_EQ(rows("select NOTEDATE from t_master where NOTEID=1"), "2024-05-07");

    // A text longer than its column is refused before anything is written
    // (neither engine would refuse it by itself); a character outside the
    // basic plane counts once.
    ds->Edit();
    date->SetValue("2024-06-01");
    ds->FieldByName("NOTECODE")->SetValue(QString(21, u'号'));
    ds->Post();
    EXPECT_EQ(errorOf([&] { ds->ApplyUpdates(0, true); }), "字段 'NOTECODE' 的内容过长：最多 20 个字符，现有 21 个。");
    EXPECT_EQ(rows("select NOTEDATE from t_master where NOTEID=1"), "2024-05-07");
    const QString longest = QString(19, u'号') + QString::fromUcs4(U"\U0001F600");
    ds->Edit();
    ds->FieldByName("NOTECODE")->SetValue(longest);
    ds->Post();
    ds->ApplyUpdates(0, true);
    EXPECT_EQ(rows("select NOTECODE from t_master where NOTEID=1"), longest);
}

TEST_F(DataSetTest, EventsComeInClientDataSetOrder)
{
    auto ds = openMaster();
    logEvents(*ds);
    ds->FieldByName("REMARK")->OnValidate = [this](Field &f) { events << "OnValidate:" + f.AsString(); };
    ds->FieldByName("REMARK")->OnChange = [this](Field &f) { events << "OnChange:" + f.AsString(); };

    append(*ds, {{"NOTEID", 10}, {"NOTECODE", "PB-0010"}, {"REMARK", "new"}});
    EXPECT_EQ(events, QStringList({"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll",
                                   "OnValidate:new", "OnChange:new", "BeforePost", "AfterPost"}));

    events.clear();
    ds->First();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue("changed");
    ds->Cancel();
    EXPECT_EQ(events, QStringList({"BeforeScroll", "AfterScroll", "BeforeEdit", "AfterEdit", "OnValidate:changed",
                                   "OnChange:changed", "BeforeCancel", "AfterCancel"}));
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "first");

    // scrolling away from a modified record posts it first; an unmodified edit is cancelled
    events.clear();
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue("posted by scrolling");
    ds->Next();
    ds->Edit();
    ds->Next();
    EXPECT_EQ(events, QStringList({"BeforeEdit", "AfterEdit", "OnValidate:posted by scrolling",
                                   "OnChange:posted by scrolling", "BeforePost", "AfterPost", "BeforeScroll", "AfterScroll",
                                   "BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}));

    // an OnValidate that throws refuses the value; nothing is written and OnChange stays quiet
    events.clear();
    ds->FieldByName("REMARK")->OnValidate = [](Field &f) {
        if (f.AsString() == QLatin1String("bad"))
            throw DataSetError("备注不能是 bad");
    };
    ds->Edit();
    EXPECT_EQ(errorOf([&] { ds->FieldByName("REMARK")->SetValue("bad"); }), "备注不能是 bad");
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "Third");
    EXPECT_FALSE(ds->Modified());
    ds->Cancel();

    // delete: before/after delete wrapped around a scroll
    events.clear();
    ds->Delete();
    EXPECT_EQ(events, QStringList({"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
}

TEST_F(DataSetTest, WritesNeedEditStateRequiredFieldsAndSilentWrites)
{
    auto ds = openMaster();
    Field *remark = ds->FieldByName("REMARK");
    EXPECT_EQ(errorOf([&] { remark->SetValue("x"); }), "数据集不在编辑或插入状态，不能修改字段 'REMARK'");
    remark->SetDisplayLabel("备注");
    EXPECT_EQ(errorOf([&] { remark->SetValueSilent("x"); }), "数据集不在编辑或插入状态，不能修改字段 '备注'");
    EXPECT_EQ(remark->AsString(), "first");

    int changes = 0;
    remark->OnChange = [&](Field &) { ++changes; };
    ds->Edit();
    remark->SetValueSilent("quiet");
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(ds->Modified());
    ds->SetSilent(true);
    remark->SetValue("quiet too");
    ds->SetSilent(false);
    EXPECT_EQ(changes, 0);
    remark->SetValue("loud");
    EXPECT_EQ(changes, 1);
    remark->SetReadOnly(true);
    EXPECT_EQ(errorOf([&] { remark->SetValue("x"); }), "字段 '备注' 是只读的，不能修改");
    remark->SetReadOnly(false);
    ds->Post();

    // required: BeforePost may still fill the field; an empty string counts as missing
    Field *code = ds->FieldByName("NOTECODE");
    code->SetRequired(true);
    code->SetDisplayLabel("单据号码");
    ds->Append();
    ds->FieldByName("NOTEID")->SetValue(20);
    code->SetValue(QString());
    EXPECT_EQ(errorOf([&] { ds->Post(); }), "字段 '单据号码' 必须有值");
    EXPECT_EQ(ds->State(), DataSetState::Insert);
    ds->BeforePost = [](ClientDataSet &d) { d.FieldByName("NOTECODE")->SetValue("AUTO"); };
    ds->Post();
    EXPECT_EQ(code->AsString(), "AUTO");

    // an inserted record left without changes vanishes when the cursor moves on
    ds->BeforePost = nullptr;
    const int before = ds->RecordCount();
    ds->Append();
    EXPECT_EQ(ds->RecordCount(), before + 1);
    ds->First();
    EXPECT_EQ(ds->RecordCount(), before);
    EXPECT_EQ(ds->State(), DataSetState::Browse);
}

TEST_F(DataSetTest, CalculatedFieldsFollowEveryChange)
{
    auto ds = std::make_unique<ClientDataSet>(database.get());
    ds->SetCommandText("select d.* from t_detail d order by d.NOTEID, d.ITEMSNO");
    Field *amt = ds->AddCalcField("LINEAMT", FieldType::Float);
    int calls = 0;
    ds->OnCalcFields = [&](ClientDataSet &d) {
        ++calls;
        d.FieldByName("LINEAMT")->SetValue(d.FieldByName("QTY")->AsFloat() * d.FieldByName("PRICE")->AsFloat());
    };
    ds->Open();
    EXPECT_EQ(calls, 3);
    EXPECT_DOUBLE_EQ(amt->AsFloat(), 21.0);
    ds->Edit();
    ds->FieldByName("QTY")->SetValue(4);
    EXPECT_DOUBLE_EQ(amt->AsFloat(), 42.0);
    ds->Post();
    ds->Next();
    EXPECT_DOUBLE_EQ(amt->AsFloat(), 12.0);
    // the calculated column is never written to the table
    ds->ApplyUpdates(0, true);
    EXPECT_EQ(rows("select QTY from t_detail where NOTEID=1 and ITEMSNO=1"), "4");
}

TEST_F(DataSetTest, CursorMovesAndReportsBofEof)
{
    auto ds = openMaster();
    EXPECT_TRUE(ds->Bof());
    QStringList seen;
    while (!ds->Eof()) {
        seen << ds->FieldByName("NOTECODE")->AsString();
        ds->Next();
    }
    EXPECT_EQ(seen, QStringList({"PB-0001", "PB-0002", "pb-0003"}));
    ds->Prior();
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(ds->MoveBy(-5), -1);
    EXPECT_TRUE(ds->Bof());
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 3);
    ds->SetRecNo(2);
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 2);

    // deleting while walking: after the last record goes, Eof ends the loop
    ds->First();
    while (!ds->Eof())
        ds->Delete();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_TRUE(ds->FieldByName("NOTEID")->IsNull());
    EXPECT_EQ(errorOf([&] { ds->Delete(); }), "数据集是空的，不能删除记录");
    EXPECT_EQ(ds->ChangeCount(), 3);

    ds->Close();
    EXPECT_EQ(errorOf([&] { ds->First(); }), "数据集没有打开");
}

TEST_F(DataSetTest, FilterByExpressionAndPredicate)
{
    auto ds = openMaster();
    ds->SetFilter("PARTNERID = 7 and AMOUNT > 100");
    EXPECT_EQ(ds->RecordCount(), 3); // not filtered yet
    ds->SetFiltered(true);
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 1);

    ds->SetFilter("NOTECODE like 'PB%' or (REMARK is null and not CLOSED = false)");
    QStringList codes;
    for (ds->First(); !ds->Eof(); ds->Next())
        codes << ds->FieldByName("NOTECODE")->AsString();
    EXPECT_EQ(codes, QStringList({"PB-0001", "PB-0002"}));
    ds->SetFilterCaseInsensitive(true);
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->SetFilter("NOTEDATE >= '2024-03-05' and NOTEID in (2, 3)");
    EXPECT_EQ(ds->RecordCount(), 2);
    ds->SetFilter("NOTECODE = 'pb-000*'");
    EXPECT_EQ(ds->RecordCount(), 3);

    EXPECT_EQ(errorOf([&] { ds->SetFilter("NOPE = 1"); }), "过滤条件中的字段 'NOPE' 不存在");
    EXPECT_NE(errorOf([&] { ds->SetFilter("NOTEID = "); }), "(ran)");

    // a posted record that stops matching leaves the view
    ds->SetFilter(QString());
    ds->SetFilterFunction([](ClientDataSet &d) { return d.FieldByName("AMOUNT")->AsFloat() > 50; });
    EXPECT_EQ(ds->RecordCount(), 2);
    edit(*ds, {{"AMOUNT", 1}});
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 3);
    ds->SetFiltered(false);
    EXPECT_EQ(ds->RecordCount(), 3);
}

TEST_F(DataSetTest, LocateLookupAndBookmarks)
{
    auto ds = openMaster();
    EXPECT_FALSE(ds->Locate("NOTECODE", "PB-0003"));
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_TRUE(ds->Locate("NOTECODE", "PB-0003", LocateCaseInsensitive));
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 3);
    EXPECT_TRUE(ds->Locate("notecode", "PB-000", LocatePartialKey));
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_TRUE(ds->Locate("PARTNERID;REMARK", QVariantList{7, "third"}, LocateCaseInsensitive));
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_TRUE(ds->Locate("NOTEDATE", "2024-03-05"));
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_TRUE(ds->Locate("REMARK", QVariant()));
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_FALSE(ds->Locate("PARTNERID", "x"));

    EXPECT_EQ(ds->Lookup("NOTEID", {3}, "NOTECODE"), QVariant("pb-0003"));
    EXPECT_EQ(ds->Lookup("NOTEID", {1}, "NOTECODE;PARTNERID"), QVariant(QVariantList{"PB-0001", qint64(7)}));
    EXPECT_TRUE(ds->Lookup("NOTEID", {99}, "NOTECODE").isNull());
    EXPECT_EQ(ds->RecNo(), 2); // lookup does not move

    // a bookmark survives inserts before it and deletes of other records
    const Bookmark mark = ds->GetBookmark();
    ds->First();
    ds->Insert();
    ds->FieldByName("NOTEID")->SetValue(50);
    ds->FieldByName("NOTECODE")->SetValue("PB-0050");
    ds->Post();
    ds->Last();
    ds->Delete();
    EXPECT_TRUE(ds->BookmarkValid(mark));
    ds->First();
    ds->GotoBookmark(mark);
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 2);
    EXPECT_EQ(ds->RecNo(), 3);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(mark));
    EXPECT_EQ(errorOf([&] { ds->GotoBookmark(mark); }), "书签指向的记录不存在");
    EXPECT_FALSE(ds->BookmarkValid(Bookmark()));
}

TEST_F(DataSetTest, InMemoryDataSetAndRefresh)
{
    ClientDataSet mem;
    mem.AddFieldDefs({{"CODE", FieldType::String, 10, true}, {"QTY", FieldType::Float}});
    mem.CreateDataSet();
    EXPECT_TRUE(mem.Active());
    EXPECT_TRUE(mem.IsEmpty());
    append(mem, {{"code", "A"}, {"QTY", "2.5"}});
    EXPECT_DOUBLE_EQ(mem.FieldByName("QTY")->AsFloat(), 2.5);
    EXPECT_EQ(mem.RecordCount(), 1);
    EXPECT_THROW(mem.ApplyUpdates(), DataSetError); // no database

    auto ds = openMaster();
    ds->Locate("NOTEID", 2);
    database->exec("insert into t_master (NOTEID, NOTECODE) values (0, 'PB-0000')");
    database->exec("update t_master set REMARK='outside' where NOTEID=2");
    ds->Refresh();
    EXPECT_EQ(ds->RecordCount(), 4);
    EXPECT_EQ(ds->FieldByName("NOTEID")->AsInteger(), 2);
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "outside");
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue("pending");
    EXPECT_EQ(errorOf([&] { ds->Refresh(); }), "数据集有未提交的修改，不能刷新");
}

TEST_F(DataSetTest, ReopeningKeepsItsFieldsAndPlacesFieldsAddedBetween)
{
    auto ds = openMaster();
    data::Field *amount = ds->FieldByName("AMOUNT");
    amount->SetDisplayLabel("金额");

    // The next note: same columns, the same fields with their settings.
    ds->Close();
    ds->SetCommandText("select m.* from t_master m where m.NOTEID = 3");
    ds->Open();
    EXPECT_EQ(ds->FieldByName("AMOUNT"), amount);
    EXPECT_EQ(amount->DisplayLabel(), "金额");
    EXPECT_DOUBLE_EQ(amount->AsFloat(), 99.125);
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "Third");

    // A field defined between two opens is placed by the next one.
    ds->Close();
    data::Field *calc = ds->AddCalcField("TWICE", FieldType::Float);
    ds->OnCalcFields = [](ClientDataSet &d) { d.FieldByName("TWICE")->SetValue(d.FieldByName("AMOUNT")->AsFloat() * 2); };
    ds->Open();
    EXPECT_EQ(calc->Index(), ds->FieldCount() - 1);
    EXPECT_DOUBLE_EQ(calc->AsFloat(), 198.25);

    // Other columns make other fields.
    ds->Close();
    ds->OnCalcFields = nullptr;
    ds->SetCommandText("select NOTEID, REMARK from t_master where NOTEID = 1");
    ds->Open();
    EXPECT_EQ(ds->FindField("AMOUNT"), nullptr);
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "first");
}

TEST_F(DataSetTest, TotalFollowsEveryChangeAsTheRowsShowIt)
{
    auto ds = openMaster();
    const int amount = ds->FieldByName("AMOUNT")->Index();
    auto shown = [&] {
        double sum = 0;
        for (int row = 0; row < ds->RecordCount(); ++row)
            sum += ds->ValueAt(row, amount).toDouble();
        return sum;
    };
    auto same = [&](const char *step) { EXPECT_NEAR(ds->Total(amount), shown(), 1e-9) << step; };
    EXPECT_NEAR(ds->Total(amount), 219.625, 1e-9);
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetValue(20.5); // 120.5 -> 20.5, not posted yet
    EXPECT_NEAR(ds->Total(amount), 119.625, 1e-9);
    same("editing");
    ds->Post();
    same("posted");
    ds->Append();
    ds->FieldByName("NOTECODE")->SetValue("PB-0009");
    ds->FieldByName("AMOUNT")->SetValue(1000);
    same("inserting");
    ds->Cancel();
    same("insert cancelled");
    append(*ds, {{"NOTECODE", "PB-0009"}, {"AMOUNT", 1000}});
    same("inserted");
    ds->First();
    ds->Delete();
    same("deleted");
    ds->SetFilter("AMOUNT > 50");
    ds->SetFiltered(true);
    same("filtered");
    ds->Locate("NOTECODE", "pb-0003");
    edit(*ds, {{"AMOUNT", 1}}); // leaves the filter when posted
    same("posted out of the filter");
    ds->SetFiltered(false);
    ds->CancelUpdates();
    same("updates cancelled");
    EXPECT_NEAR(ds->Total(amount), 219.625, 1e-9);
    ds->Close();
    EXPECT_EQ(ds->Total(amount), 0);
}

TEST_F(DataSetTest, ManyRowsReadBackAsStored)
{
    // 300 lines read straight from the engine: a joined name repeating down
    // the column, a text unique on every line, nulls, long texts, whole
    // numbers in a numeric column.
    database->exec("create table t_line (ID integer primary key, GOODSID integer, QTY numeric(19,6), NOTE varchar(200), TAG varchar(200))");
    const QStringList names{"Apple", "Banana", "apricot"};
    // Line i as stored and as read back: the goods' name, QTY, NOTE and TAG.
    const auto line = [&](int i) {
        return QVariantList{names[i % 3], i % 2 ? double(i) : i + 0.5,
                            i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("行 %1").arg(i)),
                            i % 5 == 0 ? QString(70, QChar(u'长')) : QStringLiteral("tag%1").arg(i % 4)};
    };
    database->beginTran();
    for (int i = 1; i <= 300; ++i)
        database->exec("insert into t_line values (:id, :g, :q, :n, :t)",
                       {{"id", i}, {"g", 100 + i % 3}, {"q", line(i)[1]}, {"n", line(i)[2]}, {"t", line(i)[3]}});
    database->commitTran();
    auto ds = open("select l.*, g.GOODSNAME from t_line l left join t_goods g on g.GOODSID = l.GOODSID order by l.ID");
    ASSERT_EQ(ds->RecordCount(), 300);
    const auto typed = [](const QVariant &v) { return v.isNull() ? "NULL" : QLatin1String(v.typeName()) + u':' + v.toString(); };
    for (int row = 0; row < 300; ++row) {
        QStringList got, expected;
        for (const char *field : {"GOODSNAME", "QTY", "NOTE", "TAG"})
            got << typed(ds->ValueAt(row, ds->FieldByName(field)->Index()));
        for (const QVariant &v : line(row + 1))
            expected << typed(v);
        EXPECT_EQ(got.join(u'|'), expected.join(u'|')) << row;
    }
}
