#pragma once
// A fresh database per test with a small master/detail/goods schema, and a data
// set whose events append their names to a log.

#include "TestSupport.h"

#include "data/ClientDataSet.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        database = testsupport::bareDatabase(folder.file("books.db"));
        database->exec(QStringLiteral(
            "create table t_master (NOTEID integer primary key, NOTECODE varchar(20) not null unique, NOTEDATE date, "
            "UPDATETIME datetime, PARTNERID integer, AMOUNT numeric(19,6), CLOSED bit, REMARK varchar(200))"));
        database->exec(QStringLiteral(
            "create table t_detail (NOTEID integer not null, ITEMSNO integer not null, GOODSID integer, "
            "QTY numeric(19,6), PRICE numeric(19,6), primary key (NOTEID, ITEMSNO))"));
        database->exec("create table t_goods (GOODSID integer primary key, GOODSNAME varchar(40))");
        database->exec(QStringLiteral(
            "insert into t_master values (1, 'PB-0001', '2024-03-01', '2024-03-01 08:30:00', 7, 120.5, 0, 'first'), "
            "(2, 'PB-0002', '2024-03-05', null, 8, 0, 1, null), (3, 'pb-0003', '2024-04-01', null, 7, 99.125, 0, 'Third')"));
        database->exec("insert into t_goods values (100, 'Apple'), (101, 'Banana'), (102, 'apricot')");
        database->exec(QStringLiteral(
            "insert into t_detail values (1, 1, 100, 2, 10.5), (1, 2, 101, 3, 4), (2, 1, 102, 1, 99)"));
    }

    // A data set over `sql` on `books` (the test's own unless given), opened.
    std::unique_ptr<data::ClientDataSet> open(const QString &sql, db::Database *books = nullptr)
    {
        auto ds = std::make_unique<data::ClientDataSet>(books ? books : database.get());
        ds->SetCommandText(sql);
        ds->Open();
        return ds;
    }
    std::unique_ptr<data::ClientDataSet> openMaster() { return open("select m.* from t_master m order by m.NOTEID"); }

    void logEvents(data::ClientDataSet &ds)
    {
        using D = data::ClientDataSet;
        const std::pair<const char *, D::Event D::*> hooks[] = {
            {"BeforeScroll", &D::BeforeScroll}, {"AfterScroll", &D::AfterScroll}, {"BeforeInsert", &D::BeforeInsert},
            {"OnNewRecord", &D::OnNewRecord},   {"AfterInsert", &D::AfterInsert}, {"BeforeEdit", &D::BeforeEdit},
            {"AfterEdit", &D::AfterEdit},       {"BeforePost", &D::BeforePost},   {"AfterPost", &D::AfterPost},
            {"BeforeCancel", &D::BeforeCancel}, {"AfterCancel", &D::AfterCancel}, {"BeforeDelete", &D::BeforeDelete},
            {"AfterDelete", &D::AfterDelete}};
        for (const auto &[name, hook] : hooks)
            ds.*hook = [this, name = name](D &) { events << QLatin1String(name); };
    }

    // The rows of `sql`, cells joined by '|' and rows by ','.
    QString rows(const QString &sql) { return testsupport::rowsText(*database, sql); }

    using Values = std::initializer_list<std::pair<const char *, QVariant>>;
    // Edits the current record (or appends one) with `values` and posts it.
    static void edit(data::ClientDataSet &ds, Values values, bool append = false)
    {
        append ? ds.Append() : ds.Edit();
        for (const auto &[name, value] : values)
            ds.FieldByName(QLatin1String(name))->SetValue(value);
        ds.Post();
    }
    static void append(data::ClientDataSet &ds, Values values) { edit(ds, values, true); }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> database;
    QStringList events;
};
