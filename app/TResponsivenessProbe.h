#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

#include "extract/TfrmMain.h"

// A measuring aid for the benchmark, off unless BRAMBOLD_PROBE is set: a
// 10 ms timer that records the largest gap between two of its ticks during
// an extraction run ("BRAMBOLD_PROBE=gaps"), and optionally stops the run
// a given number of milliseconds after it started and records how long the
// run took to end ("BRAMBOLD_PROBE=stop:500"). It prints its figures to
// standard error when the run ends; after a stop it also ends the program,
// which would otherwise wait on the status log.
class TResponsivenessProbe : public QObject, public IRunObserver {
public:
    // Watches `window` when BRAMBOLD_PROBE asks for it; owned by the window.
    static void AttachIfAsked(TfrmMain& window);

    void RunBegan(TRunState run) override;
    void RunEnded(TRunState run) override;

private:
    TResponsivenessProbe(QObject* parent, int stopAfterMs, std::function<void()> stop);
    using Clock = std::chrono::steady_clock;
    void Tick();
    void Note(Clock::time_point now);  // a tick, or the run's end

    QTimer FTicker;
    int FStopAfterMs;
    std::function<void()> FStop;
    bool FRunning = false;
    bool FStopped = false;
    Clock::time_point FStart, FLast, FStopAt, FLargestGapEnd;
    Clock::duration FLargestGap{};
};
