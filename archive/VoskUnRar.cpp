#include "archive/VoskUnRar.h"

#include <cstring>
#include <sys/stat.h>

#include "archive/endcheck/ArchiveEnd.h"
#include "archive/VoskConvert.h"
#include "archive/VoskErrors.h"
#include "archive/endcheck/SolidArchive.h"
#include "platform/ascii.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

TVoskUnRar* CurrentUnRar = nullptr;

namespace {

// The library opens whatever it is given and waits on a pipe or a device
// for good: only a regular file is handed to it.
bool RegularFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

}  // namespace

// ---- TFileList ------------------------------------------------------------

void TFileList::Add(const std::string& line)
{
    FLines.push_back(line);
    FFolded.insert(platform::FoldAscii(line));
}

void TFileList::Clear()
{
    FLines.clear();
    FFolded.clear();
}

bool TFileList::ContainsIgnoringCase(const std::string& path) const
{
    return FFolded.find(platform::FoldAscii(path)) != FFolded.end();
}

// ---- construction ---------------------------------------------------------

TVoskUnRar::TVoskUnRar(IUnRarPrompts* prompts) : FPrompts(prompts), FWriter(*this)
{
    untUnRar::LoadUnRarLibrary();
    FDllLoaded = untUnRar::UnRarLoaded;
    try {
        if (auto line = platform::ReadFirstLine(platform::ProgramFolder() + "silent.txt"))
            Password = *line;
    } catch (...) {
        // No destructor runs for a half-built component: release here.
        if (FDllLoaded)
            untUnRar::FreeUnRarLibrary();
        throw;
    }
    if (FDllLoaded)
        FDllVersion = untUnRar::Library.RARGetDllVersion();
    FRedirName.assign(RedirNameCapacity, L'\0');
    FHeader.RedirName = FRedirName.data();
    FHeader.RedirNameSize = RedirNameCapacity;
    SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    // The writer's thread makes the second handle's walk in its spare time:
    // without the thread there is no walk.
    FWriter.SetIdleWork([this] { return FLibrary.StepAhead(); });
    FLibrary.WhileWaiting(
        [this] {
            WhileWaiting();
            return !StopProcessing;
        },
        std::chrono::milliseconds(4));
}

TVoskUnRar::~TVoskUnRar()
{
    // The walks use the library: they end before the library goes.
    FPrepared.reset();
    FLibrary.EndAhead();
    if (FDllLoaded)
        untUnRar::FreeUnRarLibrary();
    if (CurrentUnRar == this)
        CurrentUnRar = nullptr;
}

void TVoskUnRar::SetMode(TVoskRarMode mode)
{
    FMode = mode;
    FOperation = mode == TVoskRarMode::VOSKRAR_LIST ? RAR_TEST : RAR_EXTRACT;
}

void TVoskUnRar::DoError(const std::string& Message, int32_t MessageID)
{
    if (!SettleToTell())
        return;
    if (MessageID == ERAR_BAD_PASSWORD)
        FRejectedArchive = FileName;
    if (OnError)
        OnError(*this, Message, MessageID);
}

void TVoskUnRar::DoStatus(const std::string& Message, TRarStatus status)
{
    if (!SettleToTell())
        return;
    if (OnRarStatus)
        OnRarStatus(*this, Message, status);
}

// ---- the run --------------------------------------------------------------

// Walks the archive just opened unless a stop is already requested; every way
// out, a handler's exception included, passes through CloseArchive.
template <typename Walk>
void TVoskUnRar::WalkOpenArchive(Walk walk)
{
    try {
        if (!StopProcessing) {
            StartPass();
            walk();
        }
    } catch (...) {
        CloseArchive();
        throw;
    }
    CloseArchive();
}

void TVoskUnRar::PrepareListing(const std::string& fileName)
{
    FPrepared.reset();
    // A run leaves its last header behind, which the walk would not see.
    if (!FDllLoaded || fileName.empty() || FHasRun || !RegularFile(fileName))
        return;
    // Only a head start: without it the run walks the archive itself.
    try {
        FPrepared = std::make_unique<TListingRecorder>(fileName, Password);
    } catch (...) {
        FPrepared.reset();
    }
}

void TVoskUnRar::ProcessArchive()
{
    StopProcessing = false;
    // The run's calls go to the library, unless a walk made ahead can answer
    // them: it stands for this run only if the run makes the very calls the
    // walk made, a plain listing with nothing selected and the engine's
    // state still as fresh as the walk's.
    const std::unique_ptr<TListingRecorder> prepared = std::move(FPrepared);
    const bool fits = prepared && FMode == TVoskRarMode::VOSKRAR_LIST && !CanProgress && FileList.Empty() &&
                      Directory.empty();
    std::unique_ptr<IUnRarCalls> replay;
    if (fits)
        replay = prepared->Take(FileName, Password, KeepAliveInterval, [this] {
            if (KeepAlive)
                KeepAlive();
            return !StopProcessing;
        });
    else if (prepared)
        prepared->Stop();
    if (replay && prepared->KnownEnd())
        FKnownEnd = prepared->KnownEnd();
    FCalls = replay ? replay.get() : &FLibrary;
    FReplayed = replay != nullptr;
    struct TRunEnd {
        TVoskUnRar& c;
        ~TRunEnd()
        {
            c.FHeldCount = 0;
            c.FStopTaken = false;
            c.FWriter.EndRun();
            c.FCalls = &c.FLibrary;
        }
    } runEnd{*this};

    FHasRun = true;
    if (!FDllLoaded) {
        DoError(VoskText(TVoskText::NotLoaded), 0);
        return;
    }
    FFilesProcessed = 0;
    FSizeProcessed = 0;
    FPendingException = nullptr;
    FLastKeepAlive = {};
    FLastData = {};
    CurrentUnRar = this;
    // Taken before the archive is opened: a change made while it is read
    // shows at the next run.
    const std::optional<TFileState> archiveState = TFileState::Of(FileName);
    FMetCopy = false;
    if (FOperation == RAR_EXTRACT)
        FWriter.BeginRun(Directory, OverrideEvent == TOverrideOptions::OR_ALWAYS,
                         archiveState && archiveState == FWithoutCopies);
    else
        FWithoutCopies.reset();

    // An archive the counting pass could not open fails the same way again:
    // one report is enough.
    if (CanProgress && !CountEntries())
        return;

    if (StopProcessing)
        return;
    if (!OpenArchive(FMode == TVoskRarMode::VOSKRAR_LIST ? RAR_OM_LIST : RAR_OM_EXTRACT))
        return;

    WalkOpenArchive([this, &archiveState] {
        const THeadersResult end = ReadHeaders([this] { return ReadHeader(); },
                                               [this](int r) {
                                                   if (r == ERAR_SUCCESS &&
                                                       (FHeader.RedirType == TLinkJudge::HardLink ||
                                                        FHeader.RedirType == TLinkJudge::FileCopy))
                                                       FMetCopy = true;
                                                   ReportHeader(r);
                                                   if (StopProcessing)
                                                       return false;
                                                   const int pr = r == ERAR_SUCCESS ? ProcessEntry() : 0;
                                                   // A stop says so itself, once; what the
                                                   // library makes of it adds nothing.
                                                   if (pr != 0 && !StopProcessing)
                                                       DoError(VoskText(TVoskText::Result, pr), pr);
                                                   return !StopProcessing && pr == 0;
                                               });
        Settle();
        if (FOperation != RAR_EXTRACT && end.end == THeadersEnd::ArchiveEnd && !StopProcessing && !FMetCopy)
            FWithoutCopies = archiveState;
        if (end.end == THeadersEnd::ArchiveEnd)
            CheckEnd();
        else if (end.end == THeadersEnd::SameFailure && end.result != ERAR_BAD_DATA)
            DoError(VoskText(TVoskText::Result, end.result), end.result);
    });
}

bool TVoskUnRar::CountEntries()
{
    FFileCount = 0;
    FSizeCount = 0;
    if (StopProcessing)
        return true;
    // Skipping in a solid archive opened for extraction unpacks every entry,
    // so the run would unpack it twice; listing counts the same entries.
    if (!OpenArchive(IsSolidArchive(FileName) ? RAR_OM_LIST : RAR_OM_EXTRACT))
        return false;

    WalkOpenArchive([this] {
        ReadHeaders([this] { return ReadHeader(); },
                    [this](int r) {
                        if (StopProcessing)
                            return false;
                        if (r != ERAR_SUCCESS)
                            return true;
                        const int pr = Process(RAR_SKIP);
                        if (pr == 0 && !(FHeader.Flags & RHDF_SPLITBEFORE)) {
                            ++FFileCount;
                            FSizeCount += (static_cast<uint64_t>(FHeader.UnpSizeHigh) << 32) | FHeader.UnpSize;
                        }
                        return !StopProcessing && pr == 0;
                    });
    });
    return true;
}

bool TVoskUnRar::OpenArchive(unsigned openMode)
{
    FCommentBuffer.assign(CommentBufferSize, '\0');
    // An extraction run works from inside the target folders, so the library
    // must find the next volumes by a name that does not depend on the
    // working folder.
    const std::string arcName = FWriter.Destination().FromStartFolder(FileName);
    FArcNameBuffer.assign(arcName.begin(), arcName.end());
    FArcNameBuffer.push_back('\0');
    FOpenData = RAROpenArchiveData{};
    FOpenData.ArcName = FArcNameBuffer.data();
    FOpenData.OpenMode = openMode;
    FOpenData.OpenResult = 0;
    FOpenData.CmtBuf = FCommentBuffer.data();
    FOpenData.CmtBufSize = CommentBufferSize;
    FOpenData.CmtSize = FCommentSize;
    FOpenData.CmtState = 0;
    FCurrentVolume = FileName;
    FLastVolume = FileName;

    DoStatus("", TRarStatus::RAR_ONBEFOREOPEN);
    const bool regular = RegularFile(FileName);
    if (!regular)
        FOpenData.OpenResult = ERAR_EOPEN;
    if (!regular || !FCalls->Open(FOpenData)) {
        // Reported, with the status lines kept paired.
        DoStatus("", TRarStatus::RAR_ONOPEN);
        DoError(VoskText(TVoskText::CannotOpen), static_cast<int32_t>(FOpenData.OpenResult));
        DoStatus("", TRarStatus::RAR_AFTERCLOSE);
        return false;
    }

    try {
        DoStatus("", TRarStatus::RAR_ONOPEN);
        switch (FOpenData.CmtState) {
        case 0:
            FArchivComment.clear();
            FCommentSize = 0;
            break;
        case 1:
            FArchivComment.assign(FCommentBuffer.data(), strnlen(FCommentBuffer.data(), CommentBufferSize));
            FCommentSize = static_cast<uint32_t>(FArchivComment.size());
            if (OnComment)
                OnComment(*this, FArchivComment);
            break;
        case ERAR_NO_MEMORY:
        case ERAR_BAD_DATA:
        case ERAR_UNKNOWN_FORMAT:
        case ERAR_SMALL_BUF:
            DoError(VoskText(TVoskText::Result, static_cast<int>(FOpenData.CmtState)),
                    static_cast<int32_t>(FOpenData.CmtState));
            break;
        default:
            break;
        }
    } catch (...) {
        CloseArchive();
        throw;
    }
    return true;
}

void TVoskUnRar::CloseArchive()
{
    // The walk is over, however it ended: its close is told again.
    FStopTaken = false;
    const int r = FCalls->Close();
    if (r == ERAR_ECLOSE)
        DoError(VoskText(TVoskText::CloseError), ERAR_ECLOSE);
    DoStatus("", TRarStatus::RAR_AFTERCLOSE);
}

void TVoskUnRar::StartPass()
{
    FCalls->SetCallback(&TVoskUnRar::UnRarCallback, reinterpret_cast<LPARAM>(this));
    FRunPassword = Password;
    if (!Password.empty()) {
        FPasswordBuffer.assign(Password.begin(), Password.end());
        FPasswordBuffer.push_back('\0');
        FCalls->SetPassword(FPasswordBuffer.data());
    }
}

int TVoskUnRar::ReadHeader()
{
    const int r = FCalls->ReadHeader(FHeader);
    FEntryNameReady = false;
    RethrowPending();
    // Only the library's own word makes a password wrong, and only until
    // it says anything else: the prompt then says so when it comes again.
    if (r == ERAR_BAD_PASSWORD)
        FRejectedArchive = FileName;
    else if (!FRejectedArchive.empty())
        FRejectedArchive.clear();
    if (r == ERAR_SUCCESS && FHeader.ArcName[0] != '\0')
        FCurrentVolume.assign(FHeader.ArcName, strnlen(FHeader.ArcName, sizeof FHeader.ArcName));
    return r;
}

const std::string& TVoskUnRar::EntryName()
{
    if (!FEntryNameReady) {
        FEntryName = WideToUtf8(FHeader.FileNameW, std::size(FHeader.FileNameW));
        FEntryNameReady = true;
    }
    return FEntryName;
}

int TVoskUnRar::Process(int operation, char* destPath, char* destName)
{
    // Skipping and testing write nothing; they keep the destination the
    // library has always been given.
    if (!destName)
        destPath = Directory.data();
    const int r = FCalls->ProcessFile(operation, destPath, destName);
    RethrowPending();
    return r;
}

void TVoskUnRar::RethrowPending()
{
    if (FPendingException) {
        std::exception_ptr pending = FPendingException;
        FPendingException = nullptr;
        std::rethrow_exception(pending);
    }
}

void TVoskUnRar::ReportHeader(int r)
{
    if (r == ERAR_BAD_DATA) {
        DoError(VoskText(TVoskText::HeaderCorrupt), ERAR_BAD_DATA);
        return;
    }
    if (!OnFileProcessing && !OnProgress)
        return;
    // While entries before are on their way, their outcomes come first:
    // this header is told once they are known.
    if (r == ERAR_SUCCESS && FWriter.Busy() && FHeldCount < HeldLimit) {
        if (FHeld.size() < HeldLimit)
            FHeld.resize(HeldLimit);
        THeldHeader& held = FHeld[(FHeldFirst + FHeldCount) % HeldLimit];
        held.after = FWriter.Posted();
        ConvertHeader(FHeader, EntryName(), held.data);
        ++FHeldCount;
        return;
    }
    if (!SettleToTell())
        return;
    ConvertHeader(FHeader, EntryName(), FHeaderData);
    TellHeader(FHeaderData, r);
}

void TVoskUnRar::TellHeader(const TVoskRARHeaderData& header, int r)
{
    if (OnFileProcessing)
        OnFileProcessing(*this, header, r);
    if (OnProgress) {
        ++FFilesProcessed;
        ++FSizeProcessed;
        OnProgress(*this, FFilesProcessed, FFileCount, FSizeProcessed, FSizeCount);
    }
}

int TVoskUnRar::ProcessEntry()
{
    const bool selecting = OverrideEvent != TOverrideOptions::OR_ALWAYS && !FileList.Empty();
    // A listing with nothing selected needs no path at all.
    if (!selecting && FOperation != RAR_EXTRACT)
        return Process(FOperation);
    // Cleaned once per entry: the selection, the question and the write share it.
    const std::string name = CleanEntryName(EntryName());
    const std::string target = JoinTarget(Directory, name);
    if (selecting && !FileList.ContainsIgnoringCase(target))
        return Process(RAR_SKIP);
    if (FOperation != RAR_EXTRACT)
        return Process(FOperation);
    return FWriter.Extract(FHeader, name, target, EntryName());
}

void TVoskUnRar::Settle()
{
    if (FWriter.Settling())
        return;
    FWriter.Settle();
    Told();
}

bool TVoskUnRar::SettleToTell()
{
    Settle();
    return !FStopTaken;
}

void TVoskUnRar::Told()
{
    while (FHeldCount > 0 && static_cast<int32_t>(FHeld[FHeldFirst].after - FWriter.Told()) <= 0) {
        // A header is never told once a stop was asked: the walk would have
        // ended before reading it.
        if (StopProcessing) {
            StopTaken();
            return;
        }
        const THeldHeader& held = FHeld[FHeldFirst];
        FHeldFirst = (FHeldFirst + 1) % HeldLimit;
        --FHeldCount;
        TellHeader(held.data, ERAR_SUCCESS);
    }
}

void TVoskUnRar::StopTaken()
{
    FHeldCount = 0;
    FStopTaken = true;
}

void TVoskUnRar::Report(const std::string& text, int code, const std::string& entry)
{
    DoError(entry.empty() ? text : text + entry, code);
}

// Whether the entry may replace what stands at `target`: under OR_EVENT the
// handler answers, OR_NEVER never allows it, OR_ALWAYS always does.
bool TVoskUnRar::MayReplace(const std::string& target)
{
    if (!SettleToTell())
        return false;
    if (OverrideEvent == TOverrideOptions::OR_ALWAYS)
        return true;
    if (OverrideEvent == TOverrideOptions::OR_NEVER)
        return false;
    bool canOverride = false;
    if (OnOverride)
        OnOverride(*this, target, canOverride);
    return canOverride;
}

// The library ends a cut-off archive as if it were whole; the headers tell.
void TVoskUnRar::CheckEnd()
{
    // Encrypted headers are walked with the password the library was given.
    if (!StopProcessing && CheckArchiveEnd(FLastVolume, FRunPassword, FKnownEnd) == TArchiveEnd::Cut)
        DoError(VoskText(TVoskText::UnexpectedEnd), 0);
}
