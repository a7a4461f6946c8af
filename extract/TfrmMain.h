#pragma once

#include <QCoreApplication>
#include <QMainWindow>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/VoskUnRar.h"

class QTimer;
class TArchiveListModel;
class TQtUnRarPrompts;
class TResponsivenessProbe;

namespace Ui {
class TfrmMain;
}

// The window that unpacks one archive: one second after it appears it lists
// the archive named on the command line, extracts it, shows where it went and
// closes. A hidden browsing interface (list view, actions) stays reachable
// through the actions' keyboard shortcuts.
class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    // `arguments[0]` is the program's path; the rest name the archive.
    explicit TfrmMain(const QStringList& arguments = QCoreApplication::arguments(), QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Lets tests answer the engine's password and next-volume questions;
    // null brings back the dialogs.
    void SetPrompts(IUnRarPrompts* prompts);

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

    std::string ComposeArchivePath() const;
    void ListArchive(const std::string& path);
    void ExtractArchive(const std::string& directory);
    bool RunUnderWay() const { return FExtracting || FListing; }
    void RunComponent();
    void CloseIfAsked();
    void AddError(const std::string& message, bool failsRun = true);
    void ShowStatusLog();
    // Lets pending messages be handled, at most every 16 ms.
    void Pump();
    // Paints the bar now and lets it be painted again as usual.
    void PaintBar();

    void voskUnRarComment(const std::string& Comment);
    void voskUnRarError(const std::string& Message, int32_t MessageID);
    void voskUnRarFileProcessing(const TVoskRARHeaderData& hdrData);
    void voskUnRarOverride(const std::string& FileName, bool& CanOverride);
    void voskUnRarProgress(uint32_t FilesProcessed);
    void voskUnRarRarStatus(const std::string& Message, TRarStatus status);

    std::unique_ptr<Ui::TfrmMain> ui;
    QStringList FArguments;
    std::unique_ptr<TQtUnRarPrompts> FQtPrompts;
    std::unique_ptr<TVoskUnRar> voskUnRar;
    QTimer* Timer1 = nullptr;

    bool FExtracting = false;
    bool FListing = false;
    bool FInAction = false;  // an action's dialog or run is under way
    bool FArchiveLoaded = false;
    int32_t FEntryCount = 0;
    uint64_t FPackedTotal = 0;
    uint64_t FUnpackedTotal = 0;
    std::string FArchiveComment;
    QStringList FStatusLog;
    uint32_t FFailures = 0;  // errors so far that fail a run, to tell whether one did
    bool FCloseRequested = false;  // the window was asked to close during a run
    std::string FOpenDialogFolder;  // where the open dialog and the folder chooser start

    TArchiveListModel* FList = nullptr;  // the rows of lstvwMain
    TResponsivenessProbe* FProbe = nullptr;  // only when a benchmark asks for it
    std::chrono::steady_clock::time_point FLastPump;
    std::chrono::steady_clock::time_point FLastBarPaint;
};
