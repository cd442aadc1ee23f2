#pragma once
// Wall and CPU time of a window benchmark's timed parts, and the counters
// that set them beside the bare baseline of the same run.

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace benchclock {

// Wall and CPU time of the timed parts, accumulated.
struct Clock {
    double wall = 0, cpu = 0; // seconds
    static double cpuNow()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    template <class F>
    auto time(F &&f)
    {
        QElapsedTimer w;
        const double c0 = cpuNow();
        w.start();
        struct Add {
            Clock &clock;
            QElapsedTimer &w;
            double c0;
            ~Add()
            {
                clock.wall += double(w.nsecsElapsed()) / 1e9;
                clock.cpu += cpuNow() - c0;
            }
        } add{*this, w, c0};
        return f();
    }
};

// Figures of the window and its baseline as counters of the window's row.
inline void report(benchmark::State &state, const Clock &ours, const Clock &bare, const Clock &paint)
{
    const double n = double(state.iterations());
    if (n == 0 || bare.wall == 0)
        return;
    state.counters["repaint_ms"] = paint.wall / n * 1e3;
    state.counters["bare_ms"] = bare.wall / n * 1e3;
    state.counters["bare_cpu_ms"] = bare.cpu / n * 1e3;
    state.counters["ratio"] = ours.wall / bare.wall;
    state.counters["cpu_ratio"] = ours.cpu / bare.cpu;
}

} // namespace benchclock
