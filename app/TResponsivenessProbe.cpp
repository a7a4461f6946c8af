#include "app/TResponsivenessProbe.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

void TResponsivenessProbe::AttachIfAsked(TfrmMain& window)
{
    const char* setting = std::getenv("BRAMBOLD_PROBE");
    if (!setting || !*setting)
        return;
    int stopAfterMs = -1;
    if (std::strncmp(setting, "stop:", 5) == 0)
        stopAfterMs = std::atoi(setting + 5);
    TfrmMain* w = &window;
    window.SetRunObserver(new TResponsivenessProbe(w, stopAfterMs, [w] { w->acStopExecute(); }));
}

TResponsivenessProbe::TResponsivenessProbe(QObject* parent, int stopAfterMs, std::function<void()> stop)
    : QObject(parent), FStopAfterMs(stopAfterMs), FStop(std::move(stop))
{
    FTicker.setTimerType(Qt::PreciseTimer);
    FTicker.setInterval(10);
    connect(&FTicker, &QTimer::timeout, this, &TResponsivenessProbe::Tick);
}

void TResponsivenessProbe::RunBegan(TRunState run)
{
    if (run != TRunState::Extracting)
        return;
    FRunning = true;
    FStopped = false;
    FLargestGap = {};
    FStart = FLast = FLargestGapEnd = Clock::now();
    FTicker.start();
}

void TResponsivenessProbe::Tick()
{
    if (!FRunning)
        return;
    Note(Clock::now());
    const auto now = FLast;
    if (FStopAfterMs >= 0 && !FStopped && now - FStart >= std::chrono::milliseconds(FStopAfterMs)) {
        FStopped = true;
        FStopAt = Clock::now();
        FStop();
    }
}

void TResponsivenessProbe::Note(Clock::time_point now)
{
    if (now - FLast > FLargestGap) {
        FLargestGap = now - FLast;
        FLargestGapEnd = now;
    }
    FLast = now;
}

void TResponsivenessProbe::RunEnded(TRunState run)
{
    if (run != TRunState::Extracting)
        return;
    const auto now = Clock::now();
    FTicker.stop();
    FRunning = false;
    Note(now);
    // Where the gap ended tells what held the window: a stop, the run's end.
    std::fprintf(stderr, "probe: run %.1f ms, largest event gap %.1f ms, ending %.1f ms into the run\n",
                 Ms(now - FStart), Ms(FLargestGap), Ms(FLargestGapEnd - FStart));
    if (FStopped) {
        std::fprintf(stderr, "probe: stop to end of run %.1f ms\n", Ms(now - FStopAt));
        std::fflush(stderr);
        std::_Exit(0);
    }
    std::fflush(stderr);
}
