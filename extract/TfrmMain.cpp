#include "extract/TfrmMain.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "archive/QtUnRarPrompts.h"
#include "extract/TArchiveListModel.h"
#include "extract/TfrmOverWrite.h"
#include "extract/TfrmStatus.h"
#include "extract/untVoskFileLib.h"
#include "platform/program_folder.h"
#include "platform/sharp_picture.h"
#include "platform/sleep.h"
#include "platform/text_file.h"
#include "platform/window_placement.h"
#include "ui_TfrmMain.h"

namespace {

// The window's own texts; the controls' texts live in TfrmMain.ui.
namespace text {
constexpr const char* CaptionArchive = "Brambold Free Unrar - ";
constexpr const char* CaptionArrow = " --> ";
constexpr const char* CaptionDone = "OK! --> ";
constexpr const char* CaptionFailed = "Fehler! --> ";
constexpr const char* ErrorLine = "Fehler: ";
constexpr const char* DestinationNotFound = "Brambold: Destination folder not found: ";
constexpr const char* CannotReadFolderTxt = "Brambold: Cannot read folder.txt!";
constexpr const char* Stopped = "Brambold: Stopped!";
constexpr const char* StatusSeparator = ": ";
constexpr const char* StatusOnOpen = "Archiv geöffnet";
constexpr const char* StatusBeforeOpen = "Archiv wird geöffnet";
constexpr const char* StatusAfterClose = "Nach Schließen";
constexpr const char* StatusPassword = "Passwortabfrage";
constexpr const char* InfoTitle = "Archiv-Info";
constexpr const char* InfoFiles = "Dateien: ";
constexpr const char* InfoPacked = "Gepackte Größe: ";
constexpr const char* InfoUnpacked = "Ungepackte Größe: ";
constexpr const char* InfoComment = "Kommentar: ";
constexpr const char* InfoJoin = "\n\r";
constexpr const char* DllInfoTitle = "UnRar-Dll-Info";
constexpr const char* DllInfoVersion = "Version: ";
constexpr const char* ChooserRoot = "Extract to...";
constexpr const char* OpenTitle = "Wählen Sie ein Rar-Archiv aus ...";
constexpr const char* OpenFilter = "Rar-Archiv (*.rar);;Alle Dateien (*)";
constexpr const char* FolderTxt = "folder.txt";
constexpr const char* Picture = ":/pictures/program.jpg";
}  // namespace text

constexpr int ColumnWidths[16] = {100, 150, 60, 60, 40, 30, 35, 35, 50, 55, 40, 50, 40, 40, 50, 50};

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QString Q(const char* s)
{
    return QString::fromUtf8(s);
}

// What fails a run: every error about the entries, the opening and the end
// of the archive, volumes, passwords and the destination. A comment too large
// for its buffer (the only report with code 20) leaves the files whole.
bool FailsRun(int32_t MessageID)
{
    return MessageID != ERAR_SMALL_BUF;
}

// Runs `done` when the scope ends, also when an exception passes.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F done) : FDone(std::move(done)) {}
    ~ScopeExit() { FDone(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F FDone;
};

// Pending messages are handled this often during a run: often enough for a
// smooth window, rarely enough to cost nothing on archives of tiny entries.
constexpr auto PumpInterval = std::chrono::milliseconds(16);
// The bar is painted at most ten times a second; each paint is synchronous.
constexpr auto BarPaintInterval = std::chrono::milliseconds(100);

// Every change of the window's run state. A close asked during a run stops
// it and closes the window once it is over, so no prompt appears out of
// nowhere; a closed window begins nothing more.
struct TRunChange {
    TRunState from;
    TRunEvent event;
    TRunState to;
};
constexpr TRunChange RunChanges[] = {
    {TRunState::Idle, TRunEvent::ActionBegins, TRunState::Choosing},
    {TRunState::Idle, TRunEvent::ListingBegins, TRunState::Listing},
    {TRunState::Idle, TRunEvent::ExtractionBegins, TRunState::Extracting},
    {TRunState::Choosing, TRunEvent::ListingBegins, TRunState::Listing},
    {TRunState::Choosing, TRunEvent::ExtractionBegins, TRunState::Extracting},
    {TRunState::Choosing, TRunEvent::ActionEnds, TRunState::Idle},
    {TRunState::Listing, TRunEvent::RunEnds, TRunState::Idle},
    {TRunState::Extracting, TRunEvent::RunEnds, TRunState::Idle},
    {TRunState::Stopping, TRunEvent::RunEnds, TRunState::Closing},
    {TRunState::Listing, TRunEvent::CloseAsked, TRunState::Stopping},
    {TRunState::Extracting, TRunEvent::CloseAsked, TRunState::Stopping},
    {TRunState::Stopping, TRunEvent::CloseAsked, TRunState::Stopping},
    {TRunState::Idle, TRunEvent::CloseAsked, TRunState::Closed},
    {TRunState::Choosing, TRunEvent::CloseAsked, TRunState::Closed},
    {TRunState::Closing, TRunEvent::CloseAsked, TRunState::Closed},
    {TRunState::Closed, TRunEvent::CloseAsked, TRunState::Closed},
};

}  // namespace

TfrmMain::TfrmMain(std::string archive, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(std::make_unique<Ui::TfrmMain>()), FArchive(std::move(archive))
{
    // Counted from the window's creation, so building the controls and
    // loading the picture and the library take nothing from the second's
    // wait; a coarse timer would miss it by 5%.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);
    Timer1->start();

    ui->setupUi(this);
    FormCreate();

    // The 2x drawing on a screen of a higher pixel ratio, not the small one stretched.
    const QPixmap picture = platform::SharpPicture(Q(text::Picture), devicePixelRatioF());
    if (!picture.isNull())
        ui->Image1->setPixmap(picture);

    FList = new TArchiveListModel(this);
    ui->lstvwMain->setModel(FList);
    QHeaderView* header = ui->lstvwMain->header();
    header->setSectionsClickable(true);
    for (int i = 0; i < 16; ++i)
        header->resizeSection(i, ColumnWidths[i]);
    connect(header, &QHeaderView::sectionClicked, this, &TfrmMain::lstvwMainColumnClick);

    FQtPrompts = std::make_unique<TQtUnRarPrompts>(this);
    voskUnRar = std::make_unique<TVoskUnRar>(FQtPrompts.get());
    BindComponent();
    BindActions();
    // Escape is a close request, as the window manager's close is: during a
    // run that is the stop.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    // The listing run waits for Timer1; its header walk need not.
    voskUnRar->PrepareListing(FArchive);

    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TfrmMain::appevtMainIdle);

    show();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::SetPrompts(IUnRarPrompts* prompts)
{
    voskUnRar->SetPrompts(prompts ? prompts : FQtPrompts.get());
}

void TfrmMain::SetClock(std::function<std::chrono::steady_clock::time_point()> now)
{
    FNow = std::move(now);
}

bool TfrmMain::Change(TRunEvent event)
{
    const auto* change = std::find_if(std::begin(RunChanges), std::end(RunChanges),
                                      [&](const TRunChange& c) { return c.from == FRunState && c.event == event; });
    if (change == std::end(RunChanges))
        return false;
    const TRunState run = FExtracting ? TRunState::Extracting : TRunState::Listing;
    FRunState = change->to;
    switch (event) {
    case TRunEvent::ListingBegins:
    case TRunEvent::ExtractionBegins:
        FExtracting = event == TRunEvent::ExtractionBegins;
        if (FRunObserver)
            FRunObserver->RunBegan(FExtracting ? TRunState::Extracting : TRunState::Listing);
        break;
    case TRunEvent::RunEnds:
        FExtracting = false;
        if (FRunObserver)
            FRunObserver->RunEnded(run);
        break;
    default:
        break;
    }
    return true;
}

void TfrmMain::FormCreate()
{
    FArchiveLoaded = false;
    FStatusLog.clear();
}

void TfrmMain::FormActivate()
{
    setFixedSize(ui->Panel1->width(), ui->prgbrUnRar->height() + ui->Panel1->height());
}

void TfrmMain::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QMainWindow::changeEvent(event);
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    Change(TRunEvent::CloseAsked);
    if (FRunState == TRunState::Stopping) {
        event->ignore();
        acStopExecute();
        return;
    }
    // Closed for good: the road will not come, nor the listing whose walk
    // was made ahead.
    Timer1->stop();
    voskUnRar->PrepareListing({});
    platform::LeavePlace();
    QMainWindow::closeEvent(event);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    // Sized before the first paint, so the window never shows its designed
    // height for a moment.
    FormActivate();
    // Beside the window of another copy started at the same time, not on it.
    if (!event->spontaneous())
        platform::PlaceBesideOtherCopies(this);
    QMainWindow::showEvent(event);
}

void TfrmMain::BindActions()
{
    // Six small pictures for the tool bar and the menu, by image index.
    QStyle* s = style();
    const QIcon imglstMain[6] = {
        s->standardIcon(QStyle::SP_DialogOpenButton),
        s->standardIcon(QStyle::SP_MessageBoxInformation),
        s->standardIcon(QStyle::SP_ArrowDown),
        s->standardIcon(QStyle::SP_DialogCloseButton),
        s->standardIcon(QStyle::SP_FileDialogDetailedView),
        s->standardIcon(QStyle::SP_BrowserStop),
    };
    const struct {
        QAction* action;
        int image;
        void (TfrmMain::*handler)();
    } actions[] = {
        {ui->acFileOpen, 0, &TfrmMain::acFileOpenExecute},
        {ui->acFileClose, 3, &TfrmMain::acFileCloseExecute},
        {ui->acClose, -1, &TfrmMain::acCloseExecute},
        {ui->acExtract, 2, &TfrmMain::acExtractExecute},
        {ui->acArchiveInfo, 1, &TfrmMain::acArchiveInfoExecute},
        {ui->acDllInfo, -1, &TfrmMain::acDllInfoExecute},
        {ui->acStatusInfo, 4, &TfrmMain::acStatusInfoExecute},
        {ui->acStop, 5, &TfrmMain::acStopExecute},
    };
    for (const auto& a : actions) {
        if (a.image >= 0)
            a.action->setIcon(imglstMain[a.image]);
        connect(a.action, &QAction::triggered, this, a.handler);
        // The tool bar and the menu are hidden: the window itself must carry
        // the actions for their shortcuts to work.
        addAction(a.action);
    }
    ui->miFile->menuAction()->setVisible(false);
    ui->miOperations->menuAction()->setVisible(false);
}

void TfrmMain::BindComponent()
{
    TVoskUnRar& c = *voskUnRar;
    c.CanProgress = true;
    c.SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.PromptForPass = true;
    c.PromptForVolumn = true;
    c.StopProcessing = false;
    c.OnComment = [this](TVoskUnRar&, const std::string& comment) { voskUnRarComment(comment); };
    c.OnError = [this](TVoskUnRar&, const std::string& message, int32_t id) { voskUnRarError(message, id); };
    c.OnFileProcessing = [this](TVoskUnRar&, const TVoskRARHeaderData& hdrData, int32_t) {
        voskUnRarFileProcessing(hdrData);
    };
    c.OnOverride = [this](TVoskUnRar&, const std::string& fileName, bool& canOverride) {
        voskUnRarOverride(fileName, canOverride);
    };
    c.OnProgress = [this](TVoskUnRar&, uint32_t filesProcessed, uint32_t, uint32_t, uint64_t) {
        voskUnRarProgress(filesProcessed);
    };
    c.OnRarStatus = [this](TVoskUnRar&, const std::string& message, TRarStatus status) {
        voskUnRarRarStatus(message, status);
    };
    // Repaints and lets the stop action through while one large entry
    // unpacks. The component paces it; a second gate here would let only
    // every other chunk of a large entry through.
    c.KeepAlive = [this] { PumpNow(); };
}

void TfrmMain::ListArchive(const std::string& path)
{
    if (!Change(TRunEvent::ListingBegins))
        return;
    const ScopeExit ended([this] { Change(TRunEvent::RunEnds); });
    FPackedTotal = 0;
    FEntryCount = 0;
    FUnpackedTotal = 0;
    FList->Clear();
    ui->stbrMain->showMessage(QStringLiteral("  ") + Q(path));
    FArchiveLoaded = true;
    ui->prgbrUnRar->setValue(0);

    FLastPump = {};
    const ScopeExit publish([this] { FList->Publish(); });
    voskUnRar->FileName = path;
    voskUnRar->SetMode(TVoskRarMode::VOSKRAR_LIST);
    voskUnRar->CanProgress = false;
    voskUnRar->OverrideEvent = TOverrideOptions::OR_EVENT;
    voskUnRar->StopProcessing = false;
    RunComponent();
}

void TfrmMain::ExtractArchive(const std::string& directory)
{
    if (!Change(TRunEvent::ExtractionBegins))
        return;
    // The last step is painted before the window goes on, since the pause
    // that follows handles no messages.
    const ScopeExit ended([this] {
        Change(TRunEvent::RunEnds);
        PaintBar();
    });
    FLastPump = {};
    FLastBarPaint = {};
    voskUnRar->OverrideEvent = TOverrideOptions::OR_EVENT;
    voskUnRar->Directory = directory;
    voskUnRar->SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    RunComponent();
}

// A run cut short by the user is no success, and the log says why it ended.
void TfrmMain::RunComponent()
{
    voskUnRar->ProcessArchive();
    if (voskUnRar->StopProcessing)
        AddError(text::Stopped);
}

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
    // A shortcut's run or dialog is still under way: start once it is over.
    if (!CanBegin()) {
        if (FRunState != TRunState::Closed)
            Timer1->start();
        return;
    }

    const std::string& archive = FArchive;
    const std::string folder = platform::FolderPart(archive);
    setWindowTitle(Q(text::CaptionArchive) + Q(platform::FileNamePart(archive)));
    FOpenDialogFolder = folder;

    bool failed = false;
    try {
        ListArchive(archive);
    } catch (const std::exception& e) {
        AddError(e.what());
        failed = true;
    }

    // Asked to close while listing: the user wants no extraction.
    if (FRunState == TRunState::Closing)
        failed = true;

    std::string destination = folder;
    if (!failed) {
        try {
            if (const auto line = platform::ReadFirstLine(platform::ProgramFolder() + text::FolderTxt))
                destination = *line;
        } catch (const platform::FileReadError&) {
            AddError(text::CannotReadFolderTxt);
            failed = true;
        }
    }
    StripTrailingBackslash(destination);

    if (!failed && (destination.empty() || !platform::DirectoryExists(destination))) {
        AddError(text::DestinationNotFound + destination);
        failed = true;
    }
    if (!failed) {
        setWindowTitle(Q(platform::FileNamePart(archive)) + Q(text::CaptionArrow) + Q(destination));
        voskUnRar->FileList.Clear();
        // Only the extraction's own errors count: a listing that failed on a
        // password mistyped for encrypted headers says nothing about the
        // extraction that followed with the right one.
        const uint32_t failuresBefore = FFailures;
        try {
            ExtractArchive(destination);
        } catch (const std::exception& e) {
            AddError(e.what());
        }
        failed = FFailures != failuresBefore;
    }

    if (failed) {
        setWindowTitle(Q(text::CaptionFailed) + Q(destination));
        ShowStatusLog();
    } else {
        setWindowTitle(Q(text::CaptionDone) + Q(destination));
        platform::SleepMs(2100);
    }
    close();
}

void TfrmMain::acExtractExecute()
{
    if (!CanBegin())
        return;
    Change(TRunEvent::ActionBegins);
    const ScopeExit end([this] { EndAction(); });

    std::string chosen;
    ChooseFolder(this, text::ChooserRoot, FOpenDialogFolder, chosen);
    if (chosen.empty())
        return;

    voskUnRar->FileList.Clear();
    std::vector<int> selected;
    for (const QModelIndex& index : ui->lstvwMain->selectionModel()->selectedRows())
        selected.push_back(index.row());
    std::sort(selected.begin(), selected.end());
    for (const int row : selected)
        voskUnRar->FileList.Add(TargetPath(chosen, FList->EntryPath(row)));
    ExtractArchive(chosen);
}

void TfrmMain::EndAction()
{
    Change(TRunEvent::ActionEnds);
    if (FRunState == TRunState::Closing)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TfrmMain::appevtMainIdle()
{
    for (QAction* action : {ui->acFileClose, ui->acArchiveInfo, ui->acExtract, ui->acStatusInfo, ui->acStop})
        action->setEnabled(FArchiveLoaded);
}

void TfrmMain::lstvwMainColumnClick(int column)
{
    FList->SortByColumn(column);
}

void TfrmMain::acFileOpenExecute()
{
    if (!CanBegin())
        return;
    Change(TRunEvent::ActionBegins);
    const ScopeExit end([this] { EndAction(); });

    const QString chosen = QFileDialog::getOpenFileName(this, Q(text::OpenTitle), Q(FOpenDialogFolder),
                                                        Q(text::OpenFilter));
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    FOpenDialogFolder = platform::FolderPart(path);
    ListArchive(path);
}

void TfrmMain::acFileCloseExecute()
{
    if (!CanBegin())
        return;
    voskUnRar->FileName.clear();
    ui->stbrMain->clearMessage();
    FList->Clear();
    ui->prgbrUnRar->setValue(0);
    FArchiveLoaded = false;
}

void TfrmMain::acCloseExecute()
{
    close();
}

void TfrmMain::acArchiveInfoExecute()
{
    const QString info = Q(text::InfoFiles) + QString::number(FEntryCount) + Q(text::InfoJoin) + Q(text::InfoPacked) +
                         QString::number(FPackedTotal) + Q(text::InfoJoin) + Q(text::InfoUnpacked) +
                         QString::number(FUnpackedTotal) + Q(text::InfoJoin) + Q(text::InfoComment) +
                         Q(FArchiveComment);
    QMessageBox box(QMessageBox::Information, Q(text::InfoTitle), info, QMessageBox::Ok, this);
    // A comment is the archive maker's text, never markup of ours.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TfrmMain::acDllInfoExecute()
{
    QMessageBox box(QMessageBox::Information, Q(text::DllInfoTitle),
                    Q(text::DllInfoVersion) + QString::number(voskUnRar->DllVersion()), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TfrmMain::acStatusInfoExecute()
{
    ShowStatusLog();
}

void TfrmMain::acStopExecute()
{
    voskUnRar->StopProcessing = true;
}

void TfrmMain::ShowStatusLog()
{
    TfrmStatus frmStatus;
    frmStatus.SetLines(FStatusLog);
    frmStatus.exec();
}

void TfrmMain::AddError(const std::string& message, bool failsRun)
{
    if (failsRun)
        ++FFailures;
    FStatusLog.append(Q(text::ErrorLine) + Q(message));
}

void TfrmMain::PaintBar()
{
    ui->prgbrUnRar->setUpdatesEnabled(true);
    if (ui->prgbrUnRar->isVisible())
        ui->prgbrUnRar->repaint();
}

void TfrmMain::Pump()
{
    const auto now = FNow ? FNow() : std::chrono::steady_clock::now();
    if (now - FLastPump < PumpInterval)
        return;
    PumpNow();
}

void TfrmMain::PumpNow()
{
    FLastPump = FNow ? FNow() : std::chrono::steady_clock::now();
    FList->Publish();
    QCoreApplication::processEvents();
}

void TfrmMain::voskUnRarComment(const std::string& Comment)
{
    FArchiveComment = Comment;
}

void TfrmMain::voskUnRarError(const std::string& Message, int32_t MessageID)
{
    AddError(Message, FailsRun(MessageID));
}

void TfrmMain::voskUnRarFileProcessing(const TVoskRARHeaderData& hdrData)
{
    if (!FExtracting) {
        ++FEntryCount;
        FUnpackedTotal += hdrData.UnpSize;
        FPackedTotal += hdrData.PackSize;
        if (voskUnRar->FileList.Count() < 3)
            voskUnRar->FileList.Add(TargetPath(voskUnRar->Directory, hdrData.FileName));

        FList->Append(hdrData);
    }
    Pump();
}

void TfrmMain::voskUnRarProgress(uint32_t FilesProcessed)
{
    if (FEntryCount > 0 && FExtracting) {
        const uint32_t position = (FilesProcessed * 100u) / static_cast<uint32_t>(FEntryCount);
        // The bar ignores values beyond its range; more entries than listed
        // show a full bar. It moves at every step but is painted only now
        // and then (and once more when the run ends).
        QProgressBar* bar = ui->prgbrUnRar;
        bar->setUpdatesEnabled(false);
        bar->setValue(static_cast<int>(std::min<uint32_t>(position, 100)));
        const auto now = FNow ? FNow() : std::chrono::steady_clock::now();
        if (now - FLastBarPaint >= BarPaintInterval && bar->isVisible()) {
            FLastBarPaint = now;
            bar->setUpdatesEnabled(true);
            bar->repaint();
        }
    }
}

void TfrmMain::voskUnRarRarStatus(const std::string& Message, TRarStatus status)
{
    const char* statusText = "";
    switch (status) {
    case TRarStatus::RAR_ONOPEN:
        statusText = text::StatusOnOpen;
        break;
    case TRarStatus::RAR_ONBEFOREOPEN:
        statusText = text::StatusBeforeOpen;
        break;
    case TRarStatus::RAR_AFTERCLOSE:
        statusText = text::StatusAfterClose;
        break;
    case TRarStatus::RAR_ONPASSWORD:
        statusText = text::StatusPassword;
        break;
    }
    FStatusLog.append(Q(Message) + Q(text::StatusSeparator) + Q(statusText));
}

void TfrmMain::voskUnRarOverride(const std::string& FileName, bool& CanOverride)
{
    // The question may stay open a while: show how far the run has come.
    PaintBar();
    TfrmOverWrite frmOverWrite;
    frmOverWrite.SetFileName(Q(FileName));
    switch (frmOverWrite.exec()) {
    case TfrmOverWrite::ResultYes:
        CanOverride = true;
        break;
    case TfrmOverWrite::ResultNo:
        CanOverride = false;
        break;
    case TfrmOverWrite::ResultNoToAll:
        CanOverride = false;
        voskUnRar->OverrideEvent = TOverrideOptions::OR_NEVER;
        break;
    case TfrmOverWrite::ResultYesToAll:
        CanOverride = true;
        voskUnRar->OverrideEvent = TOverrideOptions::OR_ALWAYS;
        break;
    default:
        break;
    }
}
