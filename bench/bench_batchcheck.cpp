// The audit centre over 10,000 entered stock notes of 10 lines each: stock-ins
// into store 1, stock-outs and transfers (store 1 to 2) out of it, and losses
// out of store 4 drawing on a batch of the demo's opening stock. Measured in
// one run, the centre shown with its progress bar and the postings on:
//  - the list of the 10,000 waiting notes under "<全部单据>" (the query, the
//    data set and the grid), against a bare SELECT of the same statement;
//  - all ticked and audited, against bare prepared INSERTs of the flow rows
//    the audit wrote (noteflowaath), in one transaction;
//  - the same un-audited.
// Budgets: the list under 300 ms and at most 2x the bare SELECT; at least
// 1,000 notes/s each way.

#include "BatchCheckForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

namespace {

// BENCH_NOTES runs fewer notes, for a profiler.
const int kNotes = qEnvironmentVariableIntValue("BENCH_NOTES") > 0 ? qEnvironmentVariableIntValue("BENCH_NOTES") : 10000;
constexpr int kLines = 10;
constexpr qint64 kBatch = 11; // the demo's opening batch of 纯净水 in store 4

// The four kinds in turn: table, store, in store (transfers), the goods of a line.
struct Kind {
    const char *master;
    int store, inStore;
};
constexpr Kind kKinds[] = {{"OtherInith", 1, 0}, {"OtherOutith", 1, 0}, {"Badsthith", 1, 2}, {"Attaintith", 4, 0}};

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        // Stock enough for every issue: store 1 of goods 1-10, the batch in store 4.
        d.beginTran();
        for (int goods = 1; goods <= 10; ++goods) {
            d.exec(QStringLiteral("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY, USEDQTY, STATUS) "
                                  "select 1, %1, 0, 0, 0, 0, 0, 1 where not exists (select 1 from onhandaath where BUILDINGID=1 "
                                  "and COMMODITYID=%1)").arg(goods));
            d.exec(QStringLiteral("update onhandaath set QUANTITY=QUANTITY+1000000, AMOUNT=AMOUNT+5000000, PRICE=round((AMOUNT+5000000)/"
                                  "(QUANTITY+1000000),6), REALQTY=REALQTY+1000000 where BUILDINGID=1 and COMMODITYID=%1").arg(goods));
        }
        d.exec(QStringLiteral("update noteflowaath set QUANTITY=QUANTITY+1000000 where ID=%1").arg(kBatch));
        d.exec(QStringLiteral("update onhandaath set QUANTITY=QUANTITY+1000000, AMOUNT=AMOUNT+PRICE*1000000, REALQTY=REALQTY+1000000 "
                              "where BUILDINGID=4 and COMMODITYID=11"));
        const QString day = d.scalar(QStringLiteral("select min(NOTEDATE) from OtherInith")).toString();
        for (int i = 0; i < kNotes; ++i) {
            const Kind &k = kKinds[i % 4];
            const QString master = QLatin1String(k.master);
            const qint64 id = d.newKey(master);
            for (int line = 1; line <= kLines; ++line) {
                const bool batch = k.store == 4;
                d.exec(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT, "
                                      "BTURNNOTEID, BCODE) values (:id, :line, :goods, :q, 5, 5, :amount, :batch, :bcode)")
                           .arg(master),
                       {{QStringLiteral("id"), id}, {QStringLiteral("line"), line},
                        {QStringLiteral("goods"), batch ? 11 : line}, {QStringLiteral("q"), i % 4 == 0 ? 2 : 1},
                        {QStringLiteral("amount"), i % 4 == 0 ? 10 : 5},
                        {QStringLiteral("batch"), batch ? QVariant(kBatch) : QVariant()},
                        {QStringLiteral("bcode"), batch ? QVariant(QStringLiteral("SP0001-260716")) : QVariant()}});
            }
            d.exec(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID%2) "
                                  "values (:id, 1, 0, :code, :day, :store, 5, 2%3)")
                       .arg(master, k.inStore ? QStringLiteral(", INBUILDINGID") : QString(),
                            k.inStore ? QStringLiteral(", %1").arg(k.inStore) : QString()),
                   {{QStringLiteral("id"), id}, {QStringLiteral("code"), QStringLiteral("BENCH-%1").arg(i, 5, 10, QLatin1Char('0'))},
                    {QStringLiteral("day"), day}, {QStringLiteral("store"), k.store}});
        }
        d.commitTran();
    });
    return b;
}

double ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

// The thread's CPU time in ms: the figure that holds when other work shares the machine.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The statement's rows read the bare way: every value of every row.
double bareSelect(QString sql, const QDate &from, const QDate &to)
{
    sql.replace(QStringLiteral(":StartDate"), QStringLiteral("'%1'").arg(from.toString(Qt::ISODate)));
    sql.replace(QStringLiteral(":EndDate"), QStringLiteral("'%1'").arg(to.toString(Qt::ISODate)));
    QElapsedTimer t;
    t.start();
    QSqlQuery q(books().db->connection());
    q.setForwardOnly(true);
    int rows = 0;
    if (q.exec(sql)) {
        const int columns = q.record().count();
        while (q.next()) {
            for (int c = 0; c < columns; ++c)
                benchmark::DoNotOptimize(q.value(c));
            ++rows;
        }
    }
    return rows == kNotes ? ms(t) : -1;
}

// The flow rows the bench notes wrote, inserted again under other ids by one
// prepared statement in one transaction (and removed, untimed).
double bareFlowInserts(int &rowCount)
{
    QSqlDatabase conn = books().db->connection();
    QSqlQuery read(conn);
    read.setForwardOnly(true);
    read.exec(QStringLiteral("select * from noteflowaath where NOTECODE like 'BENCH-%'"));
    QVector<QVariantList> rows;
    QStringList names, marks;
    for (int c = 0; c < read.record().count(); ++c) {
        names << read.record().fieldName(c);
        marks << QStringLiteral("?");
    }
    while (read.next()) {
        QVariantList row;
        for (int c = 0; c < names.size(); ++c)
            row << read.value(c);
        row[0] = row[0].toLongLong() + 1000000000;
        rows << row;
    }
    rowCount = int(rows.size());
    QElapsedTimer t;
    t.start();
    benchbooks::beginBare(*books().db);
    QSqlQuery insert(conn);
    insert.prepare(QStringLiteral("insert into noteflowaath (%1) values (%2)").arg(names.join(u','), marks.join(u',')));
    for (const QVariantList &row : std::as_const(rows)) {
        for (int c = 0; c < row.size(); ++c)
            insert.bindValue(c, row[c]);
        insert.exec();
    }
    QSqlQuery(conn).exec(QStringLiteral("COMMIT"));
    const double elapsed = ms(t);
    QSqlQuery(conn).exec(QStringLiteral("delete from noteflowaath where ID > 1000000000"));
    return elapsed;
}

void BM_AuditCentre(benchmark::State &state)
{
    books();
    TBatchCheckForm center;
    center.show();
    // Every type, any date, the bench's maker (the clerk; the demo's notes are the administrator's).
    center.cmbOperator->setCurrentIndex(center.cmbOperator->findData(2));
    center.edStartDate->setDate(QDate(2000, 1, 1));
    center.edEndDate->setDate(QDate(2100, 1, 1));
    for (auto _ : state) {
        center.rbUnchecked->setChecked(true);
        // The list and its bare SELECT, best of three each (the machine is shared).
        QElapsedTimer t;
        double list = 1e9, bare = 1e9;
        for (int run = 0; run < 3; ++run) {
            t.restart();
            center.btnQueryClick();
            QCoreApplication::processEvents();
            list = std::min(list, ms(t));
            bare = std::min(bare, bareSelect(center.ListSql(), center.edStartDate->date(), center.edEndDate->date()));
        }
        if (center.cdsNotes->RecordCount() != kNotes || bare <= 0) {
            state.SkipWithError(("listed " + std::to_string(center.cdsNotes->RecordCount())).c_str());
            return;
        }
        center.btnSelectClick();
        t.start();
        double cpu = cpuMs();
        const int audited = center.BatchCheck();
        const double audit = ms(t), auditCpu = cpuMs() - cpu;
        int flowRows = 0;
        const double inserts = bareFlowInserts(flowRows);

        center.rbChecked->setChecked(true);
        center.btnQueryClick();
        center.btnSelectClick();
        t.restart();
        cpu = cpuMs();
        const int unaudited = center.BatchCheck();
        const double unaudit = ms(t), unauditCpu = cpuMs() - cpu;
        if (audited != kNotes || unaudited != kNotes || !books().messages.texts().isEmpty()) {
            state.SkipWithError(("audited " + std::to_string(audited) + ", un-audited " + std::to_string(unaudited) + ": "
                                 + books().messages.texts().join(u'|').toStdString())
                                    .c_str());
            return;
        }
        state.counters["list_ms"] = list;
        state.counters["bare_select_ms"] = bare;
        state.counters["audit_notes_s"] = kNotes / (audit / 1000);
        state.counters["unaudit_notes_s"] = kNotes / (unaudit / 1000);
        state.counters["flow_rows"] = flowRows;
        state.counters["bare_inserts_ms"] = inserts;
        std::printf("  list of %d waiting notes: %.1f ms, bare SELECT %.1f ms (ratio %.2f)%s\n", kNotes, list, bare,
                    list / bare, list < 300 && list <= 2 * bare ? "" : "  over the budget");
        std::printf("  audit: %.0f notes/s (%.0f ms, %.0f notes per CPU second); bare INSERTs of its %d flow rows %.1f ms "
                    "(ratio %.1f)%s\n",
                    kNotes / (audit / 1000), audit, kNotes / (auditCpu / 1000), flowRows, inserts, audit / inserts,
                    kNotes / (audit / 1000) >= 1000 ? "" : "  under the budget");
        std::printf("  un-audit: %.0f notes/s (%.0f ms, %.0f notes per CPU second; ratio %.1f to the bare INSERTs)%s\n",
                    kNotes / (unaudit / 1000), unaudit, kNotes / (unauditCpu / 1000), unaudit / inserts,
                    kNotes / (unaudit / 1000) >= 1000 ? "" : "  under the budget");
        std::fflush(stdout);
    }
}
BENCHMARK(BM_AuditCentre)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
