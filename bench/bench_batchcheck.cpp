// The audit centre auditing 1,000 entered notes (independent stock-ins and
// lendings, one line each, postings on), against the same notes audited by
// bare state updates through the layer (the postings run there too, as the
// triggers queue them). Between runs the notes go back to entered by bare
// updates. Budget: at least 1,000 notes/s.

#include "BatchCheckForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QRadioButton>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kNotes = 1000;

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        // Half stock-ins, half lendings of what came in, dated the first of the period.
        const QString day = d.scalar(QStringLiteral("select min(NOTEDATE) from OtherInith")).toString();
        for (int i = 0; i < kNotes; ++i) {
            const bool in = i % 2 == 0;
            const QString master = in ? QStringLiteral("OtherInith") : QStringLiteral("BrowOut");
            const qint64 id = d.newKey(master);
            d.exec(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, APRICE, AMOUNT) "
                                  "values (:id, 1, (select COMMODITYID from Commoditylth where CODE='BG0003'), 1, 1.5, 1.5, 1.5)")
                       .arg(master),
                   {{QStringLiteral("id"), id}});
            d.exec(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, EMPID, OPERATEID%2) "
                                  "values (:id, 1, 0, :code, :day, 1, 5, 2%3)")
                       .arg(master, in ? QString() : QStringLiteral(", PARTNERID"), in ? QString() : QStringLiteral(", 7")),
                   {{QStringLiteral("id"), id}, {QStringLiteral("code"), QStringLiteral("BENCH-%1").arg(i)},
                    {QStringLiteral("day"), day}});
        }
    });
    return b;
}

// Every bench note back to entered (or audited), the bare way.
void setAll(int state)
{
    db::Database &d = *books().db;
    for (const char *table : {"OtherInith", "BrowOut"}) {
        const db::ResultSet ids = d.select(QStringLiteral("select NOTEID from %1 where NOTECODE like 'BENCH-%%' and NOTESTATE=%2")
                                               .arg(QLatin1String(table)).arg(1 - state));
        for (const QVector<QVariant> &row : ids.rows)
            d.exec(QStringLiteral("update %1 set NOTESTATE=%2, CHKORID=%3 where NOTEID=%4")
                       .arg(QLatin1String(table)).arg(state).arg(state ? QStringLiteral("1") : QStringLiteral("null"))
                       .arg(row[0].toLongLong()));
    }
}

void BM_AuditCentre(benchmark::State &state)
{
    books();
    TBatchCheckForm center;
    center.show();
    // Every type, the bench's maker (the clerk), any date.
    center.cmbOperator->setCurrentIndex(center.cmbOperator->findData(2));
    center.edStartDate->setDate(QDate(2000, 1, 1));
    center.edEndDate->setDate(QDate(2100, 1, 1));
    double bare = 0;
    int runs = 0, audited = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setAll(0);
        center.rbUnchecked->setChecked(true);
        center.btnQueryClick();
        center.btnSelectClick();
        state.ResumeTiming();

        audited = center.BatchCheck();

        state.PauseTiming();
        setAll(0);
        QElapsedTimer t;
        t.start();
        setAll(1);
        bare += double(t.nsecsElapsed());
        ++runs;
        state.ResumeTiming();
    }
    if (audited != kNotes || !books().messages.texts().isEmpty())
        state.SkipWithError(("audited " + std::to_string(audited) + ": " + books().messages.texts().join(u'|').toStdString()).c_str());
    state.counters["notes"] = audited;
    state.counters["bare_ms"] = bare / runs / 1e6;
}
BENCHMARK(BM_AuditCentre)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const auto bare = r.counters.find("bare_ms");
            if (bare == r.counters.end() || bare->second.value <= 0)
                continue;
            const double ms = r.GetAdjustedRealTime();
            const double rate = kNotes / (ms / 1000);
            std::printf("  audit centre: %.0f notes/s (%.1f ms for %d); bare state updates %.1f ms (ratio %.2f)%s\n", rate, ms,
                        kNotes, bare->second.value, ms / bare->second.value, rate >= 1000 ? "" : "  under the budget");
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    SetStartupDB(nullptr);
    return 0;
}
