#include "archive/writer/EntryWriter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "archive/VoskConvert.h"
#include "platform/ascii.h"

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

}  // namespace

TEntryWriter::TEntryWriter(IWriterRun& run) : FRun(run)
{
    FThreadOn = TWriterThread::Worthwhile();
    FThread.WhileWaiting([this] { FRun.WhileWaiting(); }, std::chrono::milliseconds(4));
}

void TEntryWriter::BeginRun(const std::string& directory, bool alwaysReplace, bool withoutCopies)
{
    FAlwaysReplace = alwaysReplace;
    FRememberWritten = !withoutCopies;
    FQueuedBytes = 0;
    FExistingFiles.Reset();
    FLinkJudge.Clear();
    FDestination.Open(directory);  // one that cannot be opened ends the run at its first entry
}

void TEntryWriter::EndRun()
{
    FReceiving = false;
    FFile.Discard();
    if (std::exchange(FNameDue, false))
        FThread.Release();
    FThread.Abandon();  // a job that did not get its name goes with it
    FQueuedPaths.Clear();
    FQueuedBytes = 0;
    FDestination.Close();
    FExistingFiles.Reset();
}

void TEntryWriter::Catch(TUntil until)
{
    if (FSettling)
        return;
    // What is told here (a question, a failure) must not let anything held
    // back through before it.
    struct TSettling {
        bool& on;
        ~TSettling() { on = false; }
    } settling{FSettling = true};
    for (;;) {
        const uint32_t told = FThread.Waited();
        // Only a stream whose entry the library is still testing is not complete.
        const uint32_t complete = FThread.Posted() - (FReceiving && FFileStreamed ? 1 : 0);
        // The engine runs ahead of the names, not away from them: half the
        // slots ahead at most, enough that the worker may lose its processor
        // for a few hundred microseconds without holding the engine up.
        const bool wait = until == TUntil::AllTold || FThread.Posted() - told > TWriterThread::Slots / 2 ||
                          (until == TUntil::Room && (FThread.Full() || FQueuedBytes > QueuedBytesLimit));
        // Every outcome before the next entry is told, and with them its
        // header: it may have its name, unless the run stopped meanwhile.
        if (FThread.Released() == told && complete != told) {
            if (!FNameDue && FRun.Stopped()) {
                while (FThread.Released() != complete)
                    FThread.Withdraw();
                FRun.StopTaken();
            } else {
                // Due now, whoever names it and whenever: a stop that comes
                // before its file is made no longer keeps it out.
                FNameDue = true;
                const TWriterThread::THere here = FThread.NameHere(wait);
                if (here == TWriterThread::THere::Later)
                    return;
                if (here == TWriterThread::THere::Worker)
                    FThread.Release();
                FNameDue = false;
            }
        }
        if (FThread.Released() == told)
            return;
        if (!wait && !FThread.Ready())
            return;
        TFileJob job;
        const TFinished first = FThread.Wait(job);
        FQueuedPaths.Remove(TQueuedPaths::BucketOf(job.target));
        FQueuedBytes -= job.data.size();
        FinishPlacement(job, first);
        FSpare = std::move(job.data);
        FRun.Told();
    }
}

bool TEntryWriter::InTheWay(const std::string& target) const
{
    // Asked of every entry against each one on its way: the cheap tests come
    // first, and names are compared from their ends, where names in one
    // folder differ. ASCII letters of another case count as the same: on a
    // file system that folds them, they name the same file.
    if (!FQueuedPaths.MayHold(target))
        return false;
    const auto same = [](char a, char b) { return platform::LowerAscii(a) == platform::LowerAscii(b); };
    for (uint32_t i = FThread.Waited(); i != FThread.Posted(); ++i) {
        const std::string& queued = FThread.Job(i).target;
        const size_t size = queued.size();
        if (size <= target.size() && (size == target.size() || target[size] == '/') &&
            std::equal(queued.rbegin(), queued.rend(), target.rbegin() + static_cast<ptrdiff_t>(target.size() - size),
                       same))
            return true;
    }
    return false;
}

void TEntryWriter::PostFile()
{
    FQueuedPaths.Add(TQueuedPaths::BucketOf(FFile.target));
    FThread.Post(std::move(FFile));
}

int TEntryWriter::Skip(TVoskText why)
{
    FRun.Report(VoskText(why), 0, *FShown);
    return FRun.Process(RAR_SKIP);
}

// Our own failure to write an entry is reported and the run goes on with the
// next entry; only the library's results end a run.
int TEntryWriter::WriteFailed(int pr)
{
    if (pr == 0)
        FRun.Report(VoskText(TVoskText::Result, ERAR_ECREATE), ERAR_ECREATE, {});
    return pr;
}

int TEntryWriter::Extract(const RARHeaderDataEx& header, const std::string& name, const std::string& target,
                          const std::string& shown)
{
    FHeader = &header;
    FShown = &shown;
    // A name that fills the header's buffer has been cut by the library: the
    // file written would not be the entry's.
    if (wcsnlen(FHeader->FileNameW, std::size(FHeader->FileNameW)) >= std::size(FHeader->FileNameW) ||
        LongestPart(name) > NAME_MAX)
        return Skip(TVoskText::NameTooLong);
    if (name.empty())
        return Skip(TVoskText::BadName);
    // A destination that cannot be opened fails every entry alike: once is enough.
    if (FDestination.Root() < 0) {
        const int pr = FRun.Process(RAR_SKIP);
        return pr != 0 ? pr : ERAR_ECREATE;
    }
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    const std::string_view folder = std::string_view(name).substr(0, slash == std::string::npos ? 0 : slash);
    // Decided against the disk as it will be once the entries on their way
    // have their names. A link may depend on any of them; any other entry
    // only on one at its own path or at a folder above it, which a folder
    // made now would take, and waits for that one alone.
    if (Busy() && (FHeader->RedirType != TLinkJudge::None || InTheWay(target)))
        FRun.Settle();
    switch (FDestination.Folder(folder)) {
    case TDestination::TFolder::Ready:
        if (FDestination.FolderMade())
            FExistingFiles.FolderMade(std::string_view(target).substr(0, target.rfind('/')));
        break;
    case TDestination::TFolder::LinkInPath:
        return Skip(TVoskText::LinkInPath);
    case TDestination::TFolder::Failed:
        return WriteFailed(FRun.Process(RAR_SKIP));
    }
    if (FHeader->Flags & RHDF_DIRECTORY)
        return ExtractFolder(base, target);

    // Asked before the data is unpacked; a file that appears meanwhile is
    // asked about once the data is ready.
    bool agreed = FAlwaysReplace;
    if (!agreed && FExistingFiles.FileExists(target)) {
        if (!FRun.MayReplace(target))
            return FRun.Process(RAR_SKIP);
        agreed = true;
    }
    switch (FHeader->RedirType) {
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

void TEntryWriter::SetLibraryDestination(const std::string& path, const std::string& name)
{
    FDestPathBuffer.assign(path.begin(), path.end());
    FDestPathBuffer.push_back('\0');
    FDestNameBuffer.assign(name.begin(), name.end());
    FDestNameBuffer.push_back('\0');
}

int TEntryWriter::ExtractData(const std::string& base, const std::string& target, bool agreed)
{
    // The job holds its share of the folder: the run may close its folders
    // while the job is still on its way.
    FFile = TFileJob();
    FFile.folderShare = FDestination.FolderShare();
    FFile.folder = FDestination.FolderFd();
    FFile.base = base;
    FFile.target = target;
    FFile.agreed = agreed;
    FFile.identify = FRememberWritten;
    FFile.mode = EntryMode();
    FFile.mtime = EntryTime();
    const uint64_t size = (static_cast<uint64_t>(FHeader->UnpSizeHigh) << 32) | FHeader->UnpSize;
    // Small entries go whole to the writer's thread; large ones stream to
    // it, a few chunks ahead, while the library unpacks the rest. Either way
    // the file has no name until the entry is told.
    FFileQueued = FThreadOn && size <= QueuedEntryLimit;
    FFileStreamed = FThreadOn && !FFileQueued;
    if (FFileQueued) {
        FFile.data = std::move(FSpare);
        FFile.data.clear();
    } else if (FFileStreamed) {
        // A stream goes to the thread alone.
        FRun.Settle();
        FFile.streamed = true;
        PostFile();
    } else {
        FFile.Make();
    }
    // The library only tests: it hands the data to Receive and never
    // writes to the disk itself.
    FReceiving = true;
    const int pr = FRun.Process(RAR_TEST);
    FReceiving = false;
    if (pr != 0) {
        if (FFileStreamed) {
            FThread.Withdraw();
            return pr;
        }
        FSpare = std::move(FFile.data);
        FFile.Discard();
        return pr;
    }
    if (FFileQueued) {
        Catch(TUntil::Room);
        FQueuedBytes += FFile.data.size();
        PostFile();
    }
    if (FFileQueued || FFileStreamed) {
        // A later entry of the same name finds this one, queued or not; a
        // file that gets no name is forgotten again when it is told.
        FExistingFiles.Created(target);
        // Its file is made meanwhile, without a name, which it gets once
        // every outcome before it and its header are told.
        Catch(TUntil::NothingReady);
        return 0;
    }
    FRun.Settle();
    FExistingFiles.Created(target);
    const TFinished first = NameFile(FFile);
    return FinishPlacement(FFile, first);
}

void TEntryWriter::Receive(const char* bytes, size_t size)
{
    if (FFileQueued) {
        if (FFile.data.size() + size <= QueuedEntryLimit) {
            FFile.data.insert(FFile.data.end(), bytes, bytes + size);
            return;
        }
        // More than the header said: streamed from now on, alone.
        FRun.Settle();
        FFileQueued = false;
        FFileStreamed = true;
        std::vector<char> received = std::move(FFile.data);
        FFile.streamed = true;
        PostFile();
        FThread.Stream(received.data(), received.size());
        FSpare = std::move(received);
    }
    if (FFileStreamed)
        FThread.Stream(bytes, size);
    else
        FFile.Write(bytes, size);
}

int TEntryWriter::ExtractSymlink(const std::string& name, const std::string& base, const std::string& target,
                                 bool agreed)
{
    const int folder = FDestination.FolderFd();
    const std::string temporary = FDestination.TemporaryName(base);
    if (FHeader->RedirName[0] != L'\0') {
        // The header names the target: the link is made here, and the library
        // only moves past the entry.
        const int pr = FRun.Process(RAR_SKIP);
        if (pr != 0)
            return pr;
        const std::string linkTarget = LinkTargetHere(WideToUtf8(FHeader->RedirName, FHeader->RedirNameSize),
                                                      FHeader->RedirType);
        if (linkTarget.empty()) {
            FRun.Report(VoskText(TVoskText::UnsafeLink), 0, *FShown);
            return 0;
        }
        if (symlinkat(linkTarget.c_str(), folder, temporary.c_str()) != 0)
            return WriteFailed(0);
    } else {
        // An old-format link keeps its target in its data, which only the
        // library reads. It judges a link by its depth below the destination
        // path it is given, so it gets the plain path of the folder, which
        // holds only folders just opened without a link.
        SetLibraryDestination(FDestination.FolderPath(), FDestination.FolderPath() + temporary);
        const int pr = FRun.Process(RAR_EXTRACT, FDestPathBuffer.data(), FDestNameBuffer.data());
        if (pr != 0) {
            FDestination.Discard(temporary);
            return pr;
        }
    }
    // Judged by the link that stands there now, read back from the disk.
    std::string made;
    if (!ReadSymlinkAt(folder, temporary, made) || !FLinkJudge.Allow(FDestination.Root(), name, made)) {
        FDestination.Discard(temporary);
        FRun.Report(VoskText(TVoskText::UnsafeLink), 0, *FShown);
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
int TEntryWriter::ExtractCopy(const std::string& base, const std::string& target, bool agreed)
{
    const int pr = FRun.Process(RAR_SKIP);
    if (pr != 0)
        return pr;
    const bool hard = FHeader->RedirType == TLinkJudge::HardLink;
    const std::string named = WideToUtf8(FHeader->RedirName, FHeader->RedirNameSize);
    const std::string source = CleanEntryName(named);
    const int from = FDestination.OpenWritten(source, !hard);
    if (from < 0) {
        // A link to an entry that comes later is no attack: say which it is.
        const bool missing = !source.empty() && source == named && !FDestination.Exists(source);
        FRun.Report(VoskText(missing ? TVoskText::LinkTargetMissing : TVoskText::UnsafeLink), 0, *FShown);
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

int TEntryWriter::ExtractFolder(const std::string& base, const std::string& target)
{
    const int folder = FDestination.FolderFd();
    struct stat st {};
    bool there = fstatat(folder, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (there && S_ISLNK(st.st_mode))
        return Skip(TVoskText::LinkInPath);
    const bool file = there && !S_ISDIR(st.st_mode);
    // A file where the folder goes is the user's: it goes only after a Yes.
    if (file && !FRun.MayReplace(target))
        return FRun.Process(RAR_SKIP);
    const int pr = FRun.Process(RAR_SKIP);
    if (pr != 0)
        return pr;
    if (file) {
        if (unlinkat(folder, base.c_str(), 0) != 0)
            return WriteFailed(0);
        FExistingFiles.Removed(target);
        there = false;
    }
    const bool unixMode = FHeader->HostOS == HostUnix;
    if (!there) {
        if (mkdirat(folder, base.c_str(), unixMode ? (FHeader->FileAttr & 0777) | 0700 : 0777) == 0)
            FExistingFiles.FolderMade(target);
        else if (errno != EEXIST)
            return WriteFailed(0);
    }
    const int fd = openat(folder, base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? Skip(TVoskText::LinkInPath) : WriteFailed(0);
    if (unixMode)
        fchmod(fd, FHeader->FileAttr & 07777 & ~SetIdBits);
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
int TEntryWriter::PlaceEntry(const std::string& temporary, const std::string& base, const std::string& target,
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
            if (!agreed && FRun.MayReplace(target)) {
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
int TEntryWriter::FinishPlacement(TFileJob& job, TFinished first)
{
    for (TFinished outcome = first;;) {
        switch (outcome) {
        case TFinished::Placed:
            if (job.identify)
                FDestination.Remember(job.st);
            job.Discard();
            return 0;
        case TFinished::Exists:
            if (!job.agreed && FRun.MayReplace(job.target)) {
                job.agreed = true;
                outcome = LinkFile(job);
                continue;
            }
            job.Discard();
            return 0;
        case TFinished::Withdrawn:
            job.Discard();
            return 0;
        case TFinished::IsFolder:
        case TFinished::Failed: {
            const int code = job.error ? job.error : ERAR_ECREATE;
            job.Discard();
            FExistingFiles.Removed(job.target);
            FRun.Report(VoskText(TVoskText::Result, code), code, {});
            return 0;
        }
        }
    }
}

// The mode a file of this entry gets: a Unix entry's own, less what only
// the owner of the archive should decide; a Windows entry's from its
// read-only flag and the creation mask.
mode_t TEntryWriter::EntryMode() const
{
    if (FHeader->HostOS == HostUnix)
        return FHeader->FileAttr & 07777 & ~SetIdBits;
    mode_t mode = 0666 & ~CreationMask();
    if (FHeader->FileAttr & 0x01)
        mode &= ~0222;
    return mode;
}

// The entry's modification time from the header, UTIME_OMIT when it has none.
timespec TEntryWriter::EntryTime() const
{
    // Windows file time: 100 ns steps since 1601.
    constexpr uint64_t UnixEpoch = 116444736000000000ull;
    const uint64_t stamp = (static_cast<uint64_t>(FHeader->MtimeHigh) << 32) | FHeader->MtimeLow;
    if (stamp < UnixEpoch)
        return {0, UTIME_OMIT};
    const uint64_t since = stamp - UnixEpoch;
    return {static_cast<time_t>(since / 10000000), static_cast<long>(since % 10000000) * 100};
}
