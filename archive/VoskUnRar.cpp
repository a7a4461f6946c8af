#include "archive/VoskUnRar.h"

#include <cstring>
#include <cwchar>
#include <sys/stat.h>

#include "archive/ArchiveEnd.h"
#include "archive/VoskConvert.h"
#include "archive/VoskErrors.h"
#include "archive/SolidArchive.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

TVoskUnRar* CurrentUnRar = nullptr;

namespace {

constexpr size_t CommentBufferSize = 65536;
constexpr size_t RedirNameCapacity = 4096;
constexpr unsigned HostUnix = 3;
constexpr unsigned SetIdBits = S_ISUID | S_ISGID;

std::string FoldAscii(const std::string& text)
{
    std::string folded = text;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

}  // namespace

// ---- TFileList ------------------------------------------------------------

void TFileList::Add(const std::string& line)
{
    FLines.push_back(line);
    FFolded.insert(FoldAscii(line));
}

void TFileList::Clear()
{
    FLines.clear();
    FFolded.clear();
}

bool TFileList::ContainsIgnoringCase(const std::string& path) const
{
    return FFolded.find(FoldAscii(path)) != FFolded.end();
}

// ---- construction ---------------------------------------------------------

TVoskUnRar::TVoskUnRar(IUnRarPrompts* prompts) : FPrompts(prompts)
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
        FDllVersion = untUnRar::RARGetDllVersion();
    FRedirName.assign(RedirNameCapacity, L'\0');
    FHeader.RedirName = FRedirName.data();
    FHeader.RedirNameSize = RedirNameCapacity;
    SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
}

TVoskUnRar::~TVoskUnRar()
{
    // The walk uses the library: it ends before the library goes.
    FPrepared.reset();
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
    if (OnError)
        OnError(*this, Message, MessageID);
}

void TVoskUnRar::DoStatus(const std::string& Message, TRarStatus status)
{
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
    if (!FDllLoaded || fileName.empty() || FHasRun)
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
    // A walk made ahead stands for this run only if the run makes the very
    // calls the walk made: a plain listing with nothing selected, and the
    // engine's state still as fresh as the walk's.
    const std::unique_ptr<TListingRecorder> prepared = std::move(FPrepared);
    const bool fits = prepared && FMode == TVoskRarMode::VOSKRAR_LIST && !CanProgress && FileList.Empty() &&
                      Directory.empty();
    if (prepared && !fits)
        prepared->Stop();
    const TReplayScope replay(fits ? prepared.get() : nullptr, FileName, Password);
    FReplayed = replay.Serving();
    FHasRun = true;
    if (!FDllLoaded) {
        DoError(VoskText(TVoskText::NotLoaded), 0);
        return;
    }
    FFilesProcessed = 0;
    FSizeProcessed = 0;
    FPendingException = nullptr;
    FLastKeepAlive = {};
    const auto existingFilesOfThisRun = FExistingFiles.ForRun();
    CurrentUnRar = this;

    // An archive the counting pass could not open fails the same way again:
    // one report is enough.
    if (CanProgress && !CountEntries())
        return;

    if (StopProcessing)
        return;
    if (!OpenArchive(FMode == TVoskRarMode::VOSKRAR_LIST ? RAR_OM_LIST : RAR_OM_EXTRACT))
        return;

    FLinkJudge.Clear();
    WalkOpenArchive([this] {
        int lastFailure = 0;
        for (;;) {
            const int r = ReadHeader();
            if (r == ERAR_END_ARCHIVE) {
                CheckEnd();
                break;
            }
            // A library that keeps failing on the same header would keep us
            // here for good: give up on the repeat and say why.
            if (r != ERAR_SUCCESS && r == lastFailure) {
                if (r != ERAR_BAD_DATA)
                    DoError(VoskText(TVoskText::Result, r), r);
                break;
            }
            lastFailure = r;

            ReportHeader(r);
            if (StopProcessing)
                break;
            const int pr = r == ERAR_SUCCESS ? ProcessEntry() : 0;
            if (pr != 0)
                DoError(VoskText(TVoskText::Result, pr), pr);
            if (StopProcessing || pr != 0)
                break;
        }
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
        int lastFailure = 0;
        for (;;) {
            const int r = ReadHeader();
            if (r == ERAR_END_ARCHIVE || StopProcessing)
                break;
            if (r != ERAR_SUCCESS) {
                if (r == lastFailure)
                    break;  // the same failure again: the library is stuck
                lastFailure = r;
                continue;
            }
            lastFailure = 0;
            const int pr = Process(RAR_SKIP);
            if (pr == 0 && !(FHeader.Flags & RHDF_SPLITBEFORE)) {
                ++FFileCount;
                FSizeCount += (static_cast<uint64_t>(FHeader.UnpSizeHigh) << 32) | FHeader.UnpSize;
            }
            if (StopProcessing || pr != 0)
                break;
        }
    });
    return true;
}

bool TVoskUnRar::OpenArchive(unsigned openMode)
{
    FCommentBuffer.assign(CommentBufferSize, '\0');
    FArcNameBuffer.assign(FileName.begin(), FileName.end());
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
    FHandle = untUnRar::RAROpenArchive(&FOpenData);
    const bool opened = FHandle != nullptr && FOpenData.OpenResult == ERAR_SUCCESS;
    if (!opened) {
        // A failed open hands back nothing usable: report it, keep the
        // status lines paired, and give the handle to no other call.
        FHandle = nullptr;
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
    const int r = untUnRar::RARCloseArchive(FHandle);
    FHandle = nullptr;
    if (r == ERAR_ECLOSE)
        DoError(VoskText(TVoskText::CloseError), ERAR_ECLOSE);
    DoStatus("", TRarStatus::RAR_AFTERCLOSE);
}

void TVoskUnRar::StartPass()
{
    untUnRar::RARSetCallback(FHandle, &TVoskUnRar::UnRarCallback, 0);
    if (!Password.empty()) {
        FPasswordBuffer.assign(Password.begin(), Password.end());
        FPasswordBuffer.push_back('\0');
        untUnRar::RARSetPassword(FHandle, FPasswordBuffer.data());
    }
}

int TVoskUnRar::ReadHeader()
{
    const int r = untUnRar::RARReadHeaderEx(FHandle, &FHeader);
    FEntryNameReady = false;
    RethrowPending();
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

int TVoskUnRar::Process(int operation)
{
    const int r = untUnRar::RARProcessFile(FHandle, operation, Directory.data(), nullptr);
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
    ConvertHeader();
    if (OnFileProcessing)
        OnFileProcessing(*this, FHeaderData, r);
    if (OnProgress) {
        ++FFilesProcessed;
        ++FSizeProcessed;
        OnProgress(*this, FFilesProcessed, FFileCount, FSizeProcessed, FSizeCount);
    }
}

int TVoskUnRar::ProcessEntry()
{
    const int operation = ChooseOperation();
    const int r = Process(operation);
    if (r == ERAR_SUCCESS && operation == RAR_EXTRACT)
        DropSetIdBits();
    return r;
}

int TVoskUnRar::ChooseOperation()
{
    // Cleaned once per entry: the target path and the link judge share it.
    const std::string name = CleanEntryName(EntryName());
    if (OverrideEvent == TOverrideOptions::OR_ALWAYS)
        return SafeToWrite(name) ? FOperation : RAR_SKIP;

    const std::string target = JoinTarget(Directory, name);
    if (!FileList.Empty() && !FileList.ContainsIgnoringCase(target))
        return RAR_SKIP;
    if (!SafeToWrite(name))
        return RAR_SKIP;
    if (FHeader.Flags & RHDF_DIRECTORY)
        return FOperation;
    if (FOperation == RAR_EXTRACT && FExistingFiles.FileExists(target)) {
        if (OverrideEvent == TOverrideOptions::OR_NEVER)
            return RAR_SKIP;
        bool canOverride = false;
        if (OnOverride)
            OnOverride(*this, target, canOverride);
        return canOverride ? FOperation : RAR_SKIP;
    }
    // Written by this run from here on, for the existence test of later entries.
    if (FOperation == RAR_EXTRACT)
        FExistingFiles.Created(target);
    return FOperation;
}

// Links are judged here, whatever the library's own checks: one that would
// lead out of the destination is skipped and reported. A name that fills the
// header's buffer may have been cut, and the existence test would then look
// at another file than the one written: such an entry is skipped too.
bool TVoskUnRar::SafeToWrite(const std::string& name)
{
    if (FOperation != RAR_EXTRACT)
        return true;
    if (wcsnlen(FHeader.FileNameW, std::size(FHeader.FileNameW)) >= std::size(FHeader.FileNameW) - 1) {
        DoError(VoskText(TVoskText::NameTooLong) + EntryName(), 0);
        return false;
    }
    if (FHeader.Flags & RHDF_DIRECTORY)
        return true;
    if (FHeader.RedirType == TLinkJudge::None) {
        FLinkJudge.AddFile(name);
        return true;
    }
    const std::string target = WideToUtf8(FRedirName.data(), FRedirName.size());
    if (FLinkJudge.Allow(name, FHeader.RedirType, target))
        return true;
    DoError(VoskText(TVoskText::UnsafeLink) + EntryName(), 0);
    return false;
}

// An archive must not hand out set-user-ID or set-group-ID programs.
void TVoskUnRar::DropSetIdBits()
{
    if (FHeader.HostOS != HostUnix || !(FHeader.FileAttr & SetIdBits) || FHeader.RedirType != TLinkJudge::None ||
        (FHeader.Flags & RHDF_DIRECTORY))
        return;
    const std::string path = TargetPath(Directory, EntryName());
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & SetIdBits))
        chmod(path.c_str(), st.st_mode & 07777 & ~SetIdBits);
}

// The library ends a cut-off archive as if it were whole; the headers tell.
void TVoskUnRar::CheckEnd()
{
    if (!StopProcessing && CheckArchiveEnd(FLastVolume) == TArchiveEnd::Cut)
        DoError(VoskText(TVoskText::UnexpectedEnd), 0);
}
