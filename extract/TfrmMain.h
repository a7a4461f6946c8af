#pragma once

#include <QMainWindow>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/VoskUnRar.h"

class QTimer;
class TArchiveListModel;
class TQtUnRarPrompts;

namespace Ui {
class TfrmMain;
}

// What the window is doing. It changes only in TfrmMain::Change, whose table
// lists every change there is.
enum class TRunState {
    Idle,        // nothing under way: the start-up road or an action may begin
    Choosing,    // an action's dialog is open; the action's run may follow
    Listing,     // a listing run
    Extracting,  // an extraction run
    Stopping,    // asked to close during a run: the run is stopped, and the window closes after it
    Closing,     // that run is over; the window closes as its road or action ends
    Closed,      // the window has closed: nothing begins any more
};

// What moves the run state on.
enum class TRunEvent {
    ActionBegins,  // an action opens its dialog
    ListingBegins,
    ExtractionBegins,
    RunEnds,
    ActionEnds,
    CloseAsked,
};

// Told as each run of the window begins and ends (a benchmark's probe
// watches this way). The window does not own it.
class IRunObserver {
public:
    virtual ~IRunObserver() = default;
    // `run` is TRunState::Listing or TRunState::Extracting.
    virtual void RunBegan(TRunState run) = 0;
    virtual void RunEnded(TRunState run) = 0;
};

// The window that unpacks one archive: one second after it appears it lists
// the archive it was made for, extracts it, shows where it went and closes. A hidden browsing interface (list view,
// actions) stays reachable through the actions' keyboard shortcuts.
class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    // `archive` is the path that start-up decided on, absolute; the window
    // keeps it and never looks at the command line itself. Empty for none.
    explicit TfrmMain(std::string archive, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Lets tests answer the engine's password and next-volume questions;
    // null brings back the dialogs.
    void SetPrompts(IUnRarPrompts* prompts);
    // Null for none.
    void SetRunObserver(IRunObserver* observer) { FRunObserver = observer; }
    // Lets tests say when time passes for the window's pacing of messages
    // and paints; an empty clock brings back the real one.
    void SetClock(std::function<std::chrono::steady_clock::time_point()> now);

public slots:
    void Timer1Timer();
    void appevtMainIdle();
    void lstvwMainColumnClick(int column);

    void acFileOpenExecute();
    void acFileCloseExecute();
    void acCloseExecute();
    void acExtractExecute();
    void acArchiveInfoExecute();
    void acDllInfoExecute();
    void acStatusInfoExecute();
    void acStopExecute();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    friend class TfrmMainAccess;  // lets tests read the window's state

    void FormCreate();
    void FormActivate();
    void BindActions();
    void BindComponent();

    void ListArchive(const std::string& path);
    void ExtractArchive(const std::string& directory);
    // Moves the run state on by `event`; false, and no change, where the
    // table has no row for it.
    bool Change(TRunEvent event);
    // The one guard of the road and the actions: they begin only when idle.
    bool CanBegin() const { return FRunState == TRunState::Idle; }
    // Ends an action; a close asked during its run is carried out now.
    void EndAction();
    void RunComponent();
    void AddError(const std::string& message, bool failsRun = true);
    void ShowStatusLog();
    // Lets pending messages be handled, at most every 16 ms.
    void Pump();
    // The same at once: for the component's keep-alive, which keeps its own pace.
    void PumpNow();
    // Paints the bar now and lets it be painted again as usual.
    void PaintBar();

    void voskUnRarComment(const std::string& Comment);
    void voskUnRarError(const std::string& Message, int32_t MessageID);
    void voskUnRarFileProcessing(const TVoskRARHeaderData& hdrData);
    void voskUnRarOverride(const std::string& FileName, bool& CanOverride);
    void voskUnRarProgress(uint32_t FilesProcessed);
    void voskUnRarRarStatus(const std::string& Message, TRarStatus status);

    std::unique_ptr<Ui::TfrmMain> ui;
    const std::string FArchive;  // the start-up road's archive
    std::unique_ptr<TQtUnRarPrompts> FQtPrompts;
    std::unique_ptr<TVoskUnRar> voskUnRar;
    QTimer* Timer1 = nullptr;

    TRunState FRunState = TRunState::Idle;
    bool FExtracting = false;  // which run is under way, for the handlers; kept by Change
    bool FArchiveLoaded = false;
    int32_t FEntryCount = 0;
    uint64_t FPackedTotal = 0;
    uint64_t FUnpackedTotal = 0;
    std::string FArchiveComment;
    QStringList FStatusLog;
    uint32_t FFailures = 0;         // errors so far that fail a run, to tell whether one did
    std::string FOpenDialogFolder;  // where the open dialog and the folder chooser start

    TArchiveListModel* FList = nullptr;  // the rows of lstvwMain
    IRunObserver* FRunObserver = nullptr;
    std::function<std::chrono::steady_clock::time_point()> FNow;
    std::chrono::steady_clock::time_point FLastPump;
    std::chrono::steady_clock::time_point FLastBarPaint;
};
