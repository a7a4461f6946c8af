#include "archive/VoskUnRar.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/ArchiveEnd.h"
#include "archive/VoskConvert.h"
#include "archive/VoskErrors.h"
#include "archive/SolidArchive.h"
#include "platform/ascii.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

TVoskUnRar* CurrentUnRar = nullptr;

namespace {

// The longest part of a cleaned name, in bytes.
size_t LongestPart(const std::string& name)
{
    size_t longest = 0, start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const size_t end = slash == std::string::npos ? name.size() : slash;
        longest = std::max(longest, end - start);
        if (slash == std::string::npos)
            return longest;
        start = slash + 1;
    }
}

// A copy of the file `from` at `name` in `folder`, with its mode less the
// set-ID bits and its modification time.
bool CopyFile(int from, int folder, const std::string& name)
{
    struct stat st {};
    if (fstat(from, &st) != 0)
        return false;
    const int to = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (to < 0)
        return false;
    bool ok = true;
    off_t left = st.st_size;
    while (ok && left > 0) {
        ssize_t n = copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(left), 0);
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            char buffer[65536];
            n = read(from, buffer, sizeof buffer);
            if (n > 0 && write(to, buffer, static_cast<size_t>(n)) != n)
                n = -1;
        }
        if (n <= 0)
            ok = n == 0 && left == 0;
        else
            left -= n;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && fchmod(to, st.st_mode & 0777) == 0 && futimens(to, times) == 0;
    return close(to) == 0 && ok;
}

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
        FDllVersion = untUnRar::Library.RARGetDllVersion();
    FRedirName.assign(RedirNameCapacity, L'\0');
    FHeader.RedirName = FRedirName.data();
    FHeader.RedirNameSize = RedirNameCapacity;
    SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    FWriterOn = TEntryWriter::Worthwhile();
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
    Settle();
    if (MessageID == ERAR_BAD_PASSWORD)
        FRejectedArchive = FileName;
    if (OnError)
        OnError(*this, Message, MessageID);
}

void TVoskUnRar::DoStatus(const std::string& Message, TRarStatus status)
{
    Settle();
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
    FCalls = replay ? replay.get() : &FLibrary;
    FReplayed = replay != nullptr;
    struct TRunEnd {
        TVoskUnRar& c;
        ~TRunEnd()
        {
            c.AbandonPlacement();
            c.FDestination.Close();
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
    const auto existingFilesOfThisRun = FExistingFiles.ForRun();
    CurrentUnRar = this;
    if (FOperation == RAR_EXTRACT)
        FDestination.Open(Directory);  // one that cannot be opened ends the run at its first entry

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
        const THeadersResult end = ReadHeaders([this] { return ReadHeader(); },
                                               [this](int r) {
                                                   ReportHeader(r);
                                                   if (StopProcessing)
                                                       return false;
                                                   const int pr = r == ERAR_SUCCESS ? ProcessEntry() : 0;
                                                   // A stop says so itself, once; what the
                                                   // library makes of it adds nothing.
                                                   if (pr != 0 && !StopProcessing)
                                                       DoError(VoskText(TVoskText::Result, pr), pr);
                                                   // A header is never held past its entry.
                                                   if (FHeaderHeld)
                                                       Settle();
                                                   return !StopProcessing && pr == 0;
                                               });
        Settle();
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
    const std::string arcName = FDestination.FromStartFolder(FileName);
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
    // A header read means the password, if any, was right.
    if (r == ERAR_SUCCESS && !FRejectedArchive.empty())
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
    // While the entry before is moved into place, its outcome comes first:
    // this header is told once that is known.
    if (r == ERAR_SUCCESS && FWriter.Busy()) {
        FHeaderHeld = true;
        return;
    }
    Settle();
    TellHeader(r);
}

void TVoskUnRar::TellHeader(int r)
{
    ConvertHeader(FHeader, EntryName(), FHeaderData);
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
    return ExtractEntry(name, target);
}

void TVoskUnRar::Settle()
{
    if (FSettling)
        return;
    if (FWriter.Busy()) {
        TFileJob job;
        struct stat st {};
        const TFinished first = FWriter.Wait(job, st);
        // What settling tells (a question, a failure) must not let the
        // held header through before it.
        struct TSettling {
            bool& on;
            ~TSettling() { on = false; }
        } settling{FSettling = true};
        FinishPlacement(job, first, st);
        FSpare = std::move(job.data);
    }
    if (FHeaderHeld) {
        FHeaderHeld = false;
        TellHeader(ERAR_SUCCESS);
    }
}

void TVoskUnRar::AbandonPlacement()
{
    FHeaderHeld = false;
    FReceiving = false;
    FFile.Discard();
    if (!FWriter.Busy())
        return;
    TFileJob job;
    struct stat st {};
    FWriter.Wait(job, st);  // a job that did not get its name goes with it
}

// Whether the entry may replace what stands at `target`: under OR_EVENT the
// handler answers, OR_NEVER never allows it, OR_ALWAYS always does.
bool TVoskUnRar::MayReplace(const std::string& target)
{
    Settle();
    if (OverrideEvent == TOverrideOptions::OR_ALWAYS)
        return true;
    if (OverrideEvent == TOverrideOptions::OR_NEVER)
        return false;
    bool canOverride = false;
    if (OnOverride)
        OnOverride(*this, target, canOverride);
    return canOverride;
}

int TVoskUnRar::Skip(TVoskText why)
{
    DoError(VoskText(why) + EntryName(), 0);
    return Process(RAR_SKIP);
}

// Our own failure to write an entry is reported and the run goes on with the
// next entry; only the library's results end a run.
int TVoskUnRar::WriteFailed(int pr)
{
    if (pr == 0)
        DoError(VoskText(TVoskText::Result, ERAR_ECREATE), ERAR_ECREATE);
    return pr;
}

int TVoskUnRar::ExtractEntry(const std::string& name, const std::string& target)
{
    // A name that fills the header's buffer has been cut by the library: the
    // file written would not be the entry's.
    if (wcsnlen(FHeader.FileNameW, std::size(FHeader.FileNameW)) >= std::size(FHeader.FileNameW) ||
        LongestPart(name) > NAME_MAX)
        return Skip(TVoskText::NameTooLong);
    if (name.empty())
        return Skip(TVoskText::BadName);
    // A destination that cannot be opened fails every entry alike: once is enough.
    if (FDestination.Root() < 0) {
        const int pr = Process(RAR_SKIP);
        return pr != 0 ? pr : ERAR_ECREATE;
    }
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string_view folder = std::string_view(name).substr(0, slash == std::string::npos ? 0 : slash);
    // Decided against the disk as it will be once the entry in flight has
    // its name: a folder to be made or an entry that is no plain file may
    // depend on that name.
    if (FWriter.Busy() && (!FDestination.IsOpen(folder) || (FHeader.Flags & RHDF_DIRECTORY) ||
                           FHeader.RedirType != TLinkJudge::None || FWriter.Job().target == target))
        Settle();
    switch (FDestination.Folder(folder)) {
    case TDestination::TFolder::Ready:
        break;
    case TDestination::TFolder::LinkInPath:
        return Skip(TVoskText::LinkInPath);
    case TDestination::TFolder::Failed:
        return WriteFailed(Process(RAR_SKIP));
    }
    if (FHeader.Flags & RHDF_DIRECTORY)
        return ExtractFolder(base, target);

    // Asked before the data is unpacked; a file that appears meanwhile is
    // asked about once the data is ready.
    bool agreed = OverrideEvent == TOverrideOptions::OR_ALWAYS;
    if (!agreed && FExistingFiles.FileExists(target)) {
        if (!MayReplace(target))
            return Process(RAR_SKIP);
        agreed = true;
    }
    switch (FHeader.RedirType) {
    case TLinkJudge::None:
        return ExtractData(base, target, agreed);
    case TLinkJudge::UnixSymlink:
    case TLinkJudge::WindowsSymlink:
    case TLinkJudge::Junction:
        return ExtractSymlink(name, base, target, agreed);
    case TLinkJudge::HardLink:
    case TLinkJudge::FileCopy:
        return ExtractCopy(base, target, agreed);
    default:
        // A kind of link this program does not know cannot be judged.
        return Skip(TVoskText::UnsafeLink);
    }
}

void TVoskUnRar::SetDestination(const std::string& path, const std::string& name)
{
    FDestPathBuffer.assign(path.begin(), path.end());
    FDestPathBuffer.push_back('\0');
    FDestNameBuffer.assign(name.begin(), name.end());
    FDestNameBuffer.push_back('\0');
}

int TVoskUnRar::ExtractData(const std::string& base, const std::string& target, bool agreed)
{
    // The job keeps its own descriptor: the folders of the run may be
    // closed while it is still on its way.
    const int folder = fcntl(FDestination.FolderFd(), F_DUPFD_CLOEXEC, 0);
    if (folder < 0)
        return WriteFailed(Process(RAR_SKIP));
    FFile = TFileJob();
    FFile.folder = folder;
    FFile.base = base;
    FFile.target = target;
    FFile.agreed = agreed;
    FFile.mode = EntryMode();
    FFile.mtime = EntryTime();
    const uint64_t size = (static_cast<uint64_t>(FHeader.UnpSizeHigh) << 32) | FHeader.UnpSize;
    // Small entries go whole to the writer's thread; large ones are better
    // written here than copied.
    FFileQueued = FWriterOn && size <= QueuedEntryLimit;
    if (FFileQueued) {
        FFile.data = std::move(FSpare);
        FFile.data.clear();
    } else {
        FFile.Make();
    }
    // The library only tests: it hands the data to Receive and never
    // writes to the disk itself.
    FReceiving = true;
    const int pr = Process(RAR_TEST);
    FReceiving = false;
    if (pr != 0) {
        FSpare = std::move(FFile.data);
        FFile.Discard();
        return pr;
    }
    if (FFileQueued) {
        // The entry before is settled and this header told first; a stop
        // asked meanwhile keeps this entry out.
        Settle();
        if (StopProcessing) {
            FSpare = std::move(FFile.data);
            FFile.Discard();
            return 0;
        }
        // A later entry of the same name finds this one, queued or not.
        FExistingFiles.Created(target);
        FWriter.Post(std::move(FFile));
        return 0;
    }
    Settle();
    struct stat st {};
    const TFinished first = NameFile(FFile, st);
    return FinishPlacement(FFile, first, st);
}

void TVoskUnRar::Receive(const char* bytes, size_t size)
{
    if (FFileQueued) {
        if (FFile.data.size() + size <= QueuedEntryLimit) {
            FFile.data.insert(FFile.data.end(), bytes, bytes + size);
            return;
        }
        // More than the header said: written here from now on.
        FFileQueued = false;
        if (FFile.Make())
            FFile.Write(FFile.data.data(), FFile.data.size());
        FFile.data.clear();
    }
    FFile.Write(bytes, size);
}

int TVoskUnRar::ExtractSymlink(const std::string& name, const std::string& base, const std::string& target, bool agreed)
{
    const int folder = FDestination.FolderFd();
    const std::string temporary = FDestination.TemporaryName(base);
    if (FRedirName[0] != L'\0') {
        // The header names the target: the link is made here, and the library
        // only moves past the entry.
        const int pr = Process(RAR_SKIP);
        if (pr != 0)
            return pr;
        const std::string linkTarget = LinkTargetHere(WideToUtf8(FRedirName.data(), FRedirName.size()),
                                                      FHeader.RedirType);
        if (linkTarget.empty()) {
            DoError(VoskText(TVoskText::UnsafeLink) + EntryName(), 0);
            return 0;
        }
        if (symlinkat(linkTarget.c_str(), folder, temporary.c_str()) != 0)
            return WriteFailed(0);
    } else {
        // An old-format link keeps its target in its data, which only the
        // library reads. It judges a link by its depth below the destination
        // path it is given, so it gets the plain path of the folder, which
        // holds only folders just opened without a link.
        SetDestination(FDestination.FolderPath(), FDestination.FolderPath() + temporary);
        const int pr = Process(RAR_EXTRACT, FDestPathBuffer.data(), FDestNameBuffer.data());
        if (pr != 0) {
            FDestination.Discard(temporary);
            return pr;
        }
    }
    // Judged by the link that stands there now, read back from the disk.
    std::string made;
    if (!ReadSymlinkAt(folder, temporary, made) || !FLinkJudge.Allow(FDestination.Root(), name, made)) {
        FDestination.Discard(temporary);
        DoError(VoskText(TVoskText::UnsafeLink) + EntryName(), 0);
        return 0;
    }
    const timespec times[2] = {{0, UTIME_OMIT}, EntryTime()};
    if (times[1].tv_nsec != UTIME_OMIT)
        utimensat(folder, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return PlaceEntry(temporary, base, target, agreed, nullptr);
}

// A hard link or a copy may name only a file that this run wrote, reached
// inside the destination: it is made here from that file, never from a path
// the library would resolve.
int TVoskUnRar::ExtractCopy(const std::string& base, const std::string& target, bool agreed)
{
    const int pr = Process(RAR_SKIP);
    if (pr != 0)
        return pr;
    const bool hard = FHeader.RedirType == TLinkJudge::HardLink;
    const std::string named = WideToUtf8(FRedirName.data(), FRedirName.size());
    const std::string source = CleanEntryName(named);
    const int from = FDestination.OpenWritten(source, !hard);
    if (from < 0) {
        // A link to an entry that comes later is no attack: say which it is.
        const bool missing = !source.empty() && source == named && !FDestination.Exists(source);
        DoError(VoskText(missing ? TVoskText::LinkTargetMissing : TVoskText::UnsafeLink) + EntryName(), 0);
        return 0;
    }
    const int folder = FDestination.FolderFd();
    const std::string temporary = FDestination.TemporaryName(base);
    const bool made = hard ? linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(from)).c_str(), folder,
                                    temporary.c_str(), AT_SYMLINK_FOLLOW) == 0
                           : CopyFile(from, folder, temporary);
    close(from);
    struct stat st {};
    if (!made || fstatat(folder, temporary.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        FDestination.Discard(temporary);
        return WriteFailed(0);
    }
    return PlaceEntry(temporary, base, target, agreed, &st);
}

int TVoskUnRar::ExtractFolder(const std::string& base, const std::string& target)
{
    const int folder = FDestination.FolderFd();
    struct stat st {};
    bool there = fstatat(folder, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (there && S_ISLNK(st.st_mode))
        return Skip(TVoskText::LinkInPath);
    const bool file = there && !S_ISDIR(st.st_mode);
    // A file where the folder goes is the user's: it goes only after a Yes.
    if (file && !MayReplace(target))
        return Process(RAR_SKIP);
    const int pr = Process(RAR_SKIP);
    if (pr != 0)
        return pr;
    if (file) {
        if (unlinkat(folder, base.c_str(), 0) != 0)
            return WriteFailed(0);
        FExistingFiles.Removed(target);
        there = false;
    }
    const bool unixMode = FHeader.HostOS == HostUnix;
    if (!there && mkdirat(folder, base.c_str(), unixMode ? (FHeader.FileAttr & 0777) | 0700 : 0777) != 0 &&
        errno != EEXIST)
        return WriteFailed(0);
    const int fd = openat(folder, base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? Skip(TVoskText::LinkInPath) : WriteFailed(0);
    if (unixMode)
        fchmod(fd, FHeader.FileAttr & 07777 & ~SetIdBits);
    const timespec times[2] = {{0, UTIME_OMIT}, EntryTime()};
    if (times[1].tv_nsec != UTIME_OMIT)
        futimens(fd, times);
    close(fd);
    return 0;
}

// Moves a link or a copy made under a temporary name to its own name. A file
// that appeared since the question, or that the existence test could not see
// (a name that differs only in case on such a file system), is asked about
// now.
int TVoskUnRar::PlaceEntry(const std::string& temporary, const std::string& base, const std::string& target,
                           bool agreed, const struct stat* written)
{
    const int folder = FDestination.FolderFd();
    for (TDestination::TPlace place = TDestination::Place(folder, temporary, folder, base, agreed);;) {
        switch (place) {
        case TDestination::TPlace::Placed:
            FExistingFiles.Created(target);
            if (written)
                FDestination.Remember(*written);
            return 0;
        case TDestination::TPlace::Exists:
            if (!agreed && MayReplace(target)) {
                agreed = true;
                place = TDestination::Place(folder, temporary, folder, base, true);
                continue;
            }
            TDestination::Discard(folder, temporary);
            return 0;
        case TDestination::TPlace::IsFolder:
        case TDestination::TPlace::Failed:
            TDestination::Discard(folder, temporary);
            return WriteFailed(0);
        }
    }
}

// The outcome of naming a data entry, wherever it was tried; asks and names
// again when something stands at the name.
int TVoskUnRar::FinishPlacement(TFileJob& job, TFinished first, struct stat& written)
{
    for (TFinished outcome = first;;) {
        switch (outcome) {
        case TFinished::Placed:
            FExistingFiles.Created(job.target);
            FDestination.Remember(written);
            job.Discard();
            return 0;
        case TFinished::Exists:
            if (!job.agreed && MayReplace(job.target)) {
                job.agreed = true;
                outcome = NameFile(job, written);
                continue;
            }
            job.Discard();
            return 0;
        case TFinished::IsFolder:
        case TFinished::Failed: {
            const int code = job.error ? job.error : ERAR_ECREATE;
            job.Discard();
            FExistingFiles.Removed(job.target);
            DoError(VoskText(TVoskText::Result, code), code);
            return 0;
        }
        }
    }
}

// The mode a file of this entry gets: a Unix entry's own, less what only
// the owner of the archive should decide; a Windows entry's from its
// read-only flag and the creation mask.
mode_t TVoskUnRar::EntryMode() const
{
    if (FHeader.HostOS == HostUnix)
        return FHeader.FileAttr & 07777 & ~SetIdBits;
    mode_t mode = 0666 & ~CreationMask();
    if (FHeader.FileAttr & 0x01)
        mode &= ~0222;
    return mode;
}

// The entry's modification time from the header, UTIME_OMIT when it has none.
timespec TVoskUnRar::EntryTime() const
{
    // Windows file time: 100 ns steps since 1601.
    constexpr uint64_t UnixEpoch = 116444736000000000ull;
    const uint64_t stamp = (static_cast<uint64_t>(FHeader.MtimeHigh) << 32) | FHeader.MtimeLow;
    if (stamp < UnixEpoch)
        return {0, UTIME_OMIT};
    const uint64_t since = stamp - UnixEpoch;
    return {static_cast<time_t>(since / 10000000), static_cast<long>(since % 10000000) * 100};
}

// The library ends a cut-off archive as if it were whole; the headers tell.
void TVoskUnRar::CheckEnd()
{
    // Encrypted headers are walked with the password the library was given.
    if (!StopProcessing && CheckArchiveEnd(FLastVolume, FRunPassword) == TArchiveEnd::Cut)
        DoError(VoskText(TVoskText::UnexpectedEnd), 0);
}
