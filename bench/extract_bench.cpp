// Times extraction through TVoskUnRar against RARLAB's own command-line
// programs on the same archives. Every measured run is a fresh child process
// extracting into a fresh folder, so wall time, CPU time and peak RSS come
// from the same place (wait4) for every tool.
//
//   extract_bench [--cache DIR] [--runs N] [--quick]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <langinfo.h>
#include <optional>
#include <string>
#include <vector>

#include "archive/VoskUnRar.h"

namespace fs = std::filesystem;
extern char** environ;

namespace {

// ---------------------------------------------------------------- the data

struct Rng {
    uint64_t s;
    uint64_t Next()
    {  // xorshift64*
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 2685821657736338717ull;
    }
    size_t Below(size_t n) { return size_t(Next() % n); }
};

const char* const Words[] = {"archive", "brambold", "folder", "volume",   "entry",   "header", "library",
                             "window",  "progress", "unpack", "password", "comment", "solid",  "stored",
                             "the",     "a",        "of",     "and",      "to",      "in",     "is"};

std::string CompressibleBytes(Rng& rng, size_t size)
{
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += Words[rng.Below(std::size(Words))];
        out += rng.Below(12) == 0 ? '\n' : ' ';
    }
    out.resize(size);
    return out;
}

std::string RandomBytes(Rng& rng, size_t size)
{
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = rng.Next();
        std::memcpy(&out[i], &v, std::min<size_t>(8, size - i));
    }
    return out;
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

struct TreeStats {
    size_t files = 0;
    uint64_t bytes = 0;
};

// A few thousand files in nested folders, half text-like, half random, most
// small, a fifth of them a few hundred KiB.
TreeStats MakeMixedTree(const fs::path& root, size_t files, uint64_t seed)
{
    Rng rng{seed};
    TreeStats st;
    for (size_t i = 0; i < files; ++i) {
        const size_t size = i % 5 == 4 ? 100 * 1024 + rng.Below(600 * 1024) : 4 * 1024 + rng.Below(56 * 1024);
        const fs::path p = root / ("d" + std::to_string(i % 30)) / ("s" + std::to_string(i % 7)) /
                           ("file" + std::to_string(i) + (i % 2 ? ".bin" : ".txt"));
        const std::string bytes = i % 2 ? RandomBytes(rng, size) : CompressibleBytes(rng, size);
        WriteBytes(p, bytes);
        ++st.files;
        st.bytes += size;
    }
    return st;
}

// Many small text files: the per-entry cost dominates.
TreeStats MakeManyTree(const fs::path& root, size_t files, uint64_t seed)
{
    Rng rng{seed};
    TreeStats st;
    for (size_t i = 0; i < files; ++i) {
        const size_t size = 100 + rng.Below(900);
        WriteBytes(root / ("d" + std::to_string(i % 100)) / ("n" + std::to_string(i) + ".txt"),
                   CompressibleBytes(rng, size));
        ++st.files;
        st.bytes += size;
    }
    return st;
}

TreeStats Measure(const fs::path& root)
{
    TreeStats st;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) {
            ++st.files;
            st.bytes += e.file_size();
        }
    return st;
}

// ------------------------------------------------------- child processes

struct RunResult {
    double wall = 0, cpu = 0;
    long peakRssKiB = 0;
    int status = 0;
};

RunResult Spawn(const std::vector<std::string>& args, bool quiet)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    RunResult r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        r.status = -1;
        return r;
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    r.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    r.peakRssKiB = ru.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// The child side of a measured Brambold run: the component driven the way
// the extraction window drives it on the start-up road, with light handlers
// of the same shape: a listing run (which tests only the first three
// entries), then the extraction run; the progress counts of both come from
// the listing, so CanProgress stays off.
int ExtractWithBrambold(const std::string& archive, const std::string& dest, const std::string& policy)
{
    if (!std::setlocale(LC_ALL, "") || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
    TVoskUnRar unrar;
    bool extracting = false;
    uint32_t entries = 0, errors = 0;
    uint64_t packed = 0, unpacked = 0;
    int position = 0;
    std::vector<std::string> log;
    std::string comment;
    unrar.OnFileProcessing = [&](TVoskUnRar& sender, const TVoskRARHeaderData& h, int32_t) {
        if (extracting)
            return;
        ++entries;
        packed += h.PackSize;
        unpacked += h.UnpSize;
        if (sender.FileList.Count() < 3)
            sender.FileList.Add(TargetPath(sender.Directory, h.FileName));
    };
    unrar.OnProgress = [&](TVoskUnRar&, uint32_t done, uint32_t, uint32_t, uint64_t) {
        if (extracting && entries > 0)
            position = int(uint64_t(done) * 100 / entries);
    };
    unrar.OnError = [&](TVoskUnRar&, const std::string& m, int32_t) {
        ++errors;
        log.push_back("Fehler: " + m);
        std::fprintf(stderr, "%s\n", m.c_str());
    };
    unrar.OnRarStatus = [&](TVoskUnRar&, const std::string& m, TRarStatus) { log.push_back(m + ": "); };
    unrar.OnComment = [&](TVoskUnRar&, const std::string& c) { comment = c; };
    unrar.OnOverride = [&](TVoskUnRar&, const std::string&, bool& can) { can = true; };
    unrar.KeepAlive = [] {};

    unrar.FileName = archive;
    unrar.CanProgress = false;
    unrar.OverrideEvent = TOverrideOptions::OR_EVENT;
    unrar.SetMode(TVoskRarMode::VOSKRAR_LIST);
    unrar.ProcessArchive();

    unrar.FileList.Clear();
    unrar.Directory = dest;
    unrar.OverrideEvent = policy == "always" ? TOverrideOptions::OR_ALWAYS : TOverrideOptions::OR_EVENT;
    unrar.SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    extracting = true;
    unrar.ProcessArchive();
    if (unrar.DllVersion() == 0)
        return 3;
    return errors || position != 100 || entries == 0 ? 1 : 0;
}

// ---------------------------------------------------------------- driver

struct Tool {
    std::string label;
    std::vector<std::string> command;  // archive and destination are appended
    bool slashAfterFolder = true;      // rar and unrar take a folder by its trailing slash
};

std::string SelfPath()
{
    return fs::read_symlink("/proc/self/exe").string();
}

bool HaveProgram(const std::string& name)
{
    return Spawn({"sh", "-c", "command -v " + name + " >/dev/null"}, true).status == 0;
}

// One measured run into a fresh folder; nullopt when the tool failed or the
// extracted tree is not the whole tree. The previous output is removed and
// flushed first, so no run pays for the deletion of another's files.
std::optional<RunResult> RunOnce(const Tool& tool, const fs::path& archive, const fs::path& scratch,
                                 const TreeStats& expected)
{
    const fs::path dest = scratch / "out";
    fs::remove_all(dest);
    fs::create_directories(dest);
    sync();
    std::vector<std::string> args = tool.command;
    args.push_back(archive.string());
    args.push_back(dest.string() + (tool.slashAfterFolder ? "/" : ""));
    const RunResult r = Spawn(args, true);
    const TreeStats got = Measure(dest);
    if (r.status != 0 || got.files != expected.files || got.bytes != expected.bytes) {
        std::fprintf(stderr, "%s failed on %s: exit %d, %zu files, %llu bytes\n", tool.label.c_str(), archive.c_str(),
                     r.status, got.files, (unsigned long long)got.bytes);
        return std::nullopt;
    }
    return r;
}

bool MakeArchive(const fs::path& tree, const fs::path& archive, bool solid)
{
    if (fs::exists(archive))
        return true;
    const fs::path partial = archive.string() + ".part.rar";
    fs::remove(partial);
    std::vector<std::string> cmd = {"sh", "-c",
                                    "cd '" + tree.string() + "' && rar a -ma5 -m3 -r -qo- -idq -y " +
                                        (solid ? "-s " : "") + "'" + partial.string() + "' . "};
    std::printf("  packing %s ...\n", archive.filename().c_str());
    std::fflush(stdout);
    if (Spawn(cmd, true).status != 0)
        return false;
    fs::rename(partial, archive);
    return true;
}

struct Case {
    std::string label;
    fs::path archive;
    TreeStats expected;
};

void PrintRow(const std::string& what, const RunResult& r)
{
    std::printf("  %-28s %9.3f %9.3f %10.1f\n", what.c_str(), r.wall, r.cpu, r.peakRssKiB / 1024.0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--extract-with-brambold")
        return ExtractWithBrambold(argv[3], argv[4], argv[2]);

    fs::path cache = fs::temp_directory_path() / "brambold-bench";
    int runs = 3;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--cache" && i + 1 < argc)
            cache = argv[++i];
        else if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--quick")
            quick = true;
        else {
            std::fprintf(stderr, "usage: extract_bench [--cache DIR] [--runs N] [--quick]\n");
            return 2;
        }
    }
    if (!HaveProgram("rar")) {
        std::fprintf(stderr, "extract_bench: rar is needed to make the archives\n");
        return 1;
    }
    cache /= quick ? "quick" : "full";
    const size_t mixedFiles = quick ? 300 : 3000;
    const std::vector<size_t> manyCounts = quick ? std::vector<size_t>{500, 2000} : std::vector<size_t>{5000, 20000};

    // Trees and archives are made once and kept in the cache folder.
    std::vector<Case> cases;
    const fs::path mixed = cache / "mixed";
    if (!fs::exists(cache / "mixed.done")) {
        std::printf("making the mixed tree (%zu files) in %s ...\n", mixedFiles, mixed.c_str());
        std::fflush(stdout);
        fs::remove_all(mixed);
        MakeMixedTree(mixed, mixedFiles, 42);
        std::ofstream(cache / "mixed.done") << "1\n";
    }
    const TreeStats mixedStats = Measure(mixed);
    if (!MakeArchive(mixed, cache / "mixed.rar", false) || !MakeArchive(mixed, cache / "mixed_solid.rar", true)) {
        std::fprintf(stderr, "extract_bench: rar failed\n");
        return 1;
    }
    cases.push_back({"mixed, non-solid", cache / "mixed.rar", mixedStats});
    cases.push_back({"mixed, solid", cache / "mixed_solid.rar", mixedStats});
    for (size_t n : manyCounts) {
        const std::string name = "many" + std::to_string(n);
        const fs::path tree = cache / name;
        if (!fs::exists(cache / (name + ".done"))) {
            std::printf("making %zu small files in %s ...\n", n, tree.c_str());
            std::fflush(stdout);
            fs::remove_all(tree);
            MakeManyTree(tree, n, 7);
            std::ofstream(cache / (name + ".done")) << "1\n";
        }
        if (!MakeArchive(tree, cache / (name + ".rar"), false))
            return 1;
        cases.push_back({std::to_string(n) + " small files", cache / (name + ".rar"), Measure(tree)});
    }

    const std::string self = SelfPath();
    std::vector<Tool> tools = {
        // The window hands the destination over without a trailing slash.
        {"brambold OR_ALWAYS", {self, "--extract-with-brambold", "always"}, false},
        {"brambold OR_EVENT", {self, "--extract-with-brambold", "event"}, false},
    };
    const bool haveUnrar = HaveProgram("unrar");
    if (haveUnrar)
        tools.push_back({"unrar x -o+ -idq", {"unrar", "x", "-o+", "-idq"}});
    tools.push_back({"rar x -o+ -idq", {"rar", "x", "-o+", "-idq"}});
    if (!haveUnrar)
        std::printf("(unrar not installed: no brambold/unrar ratio)\n");

    const fs::path scratch = cache / "scratch";
    std::printf("\nbest of %d runs; each run extracts into a fresh folder (warm page cache)\n", runs);
    std::printf("  %-28s %9s %9s %10s\n", "", "wall s", "cpu s", "peak MiB");
    for (const Case& c : cases) {
        std::printf("\n%s: %zu files, %.1f MiB unpacked, archive %.1f MiB\n", c.label.c_str(), c.expected.files,
                    c.expected.bytes / 1048576.0, fs::file_size(c.archive) / 1048576.0);
        // Rounds take every tool in turn, so a slow spell of the machine
        // hits all of them alike; the fastest run of each tool counts.
        std::vector<std::optional<RunResult>> results(tools.size());
        std::vector<bool> failed(tools.size(), false);
        for (int round = 0; round < runs; ++round)
            for (size_t t = 0; t < tools.size(); ++t) {
                if (failed[t])
                    continue;
                const std::optional<RunResult> r = RunOnce(tools[t], c.archive, scratch, c.expected);
                if (!r) {
                    failed[t] = true;
                    results[t].reset();
                } else if (!results[t] || r->wall < results[t]->wall) {
                    results[t] = r;
                }
            }
        for (size_t t = 0; t < tools.size(); ++t) {
            if (results[t])
                PrintRow(tools[t].label, *results[t]);
            else
                std::printf("  %-28s failed\n", tools[t].label.c_str());
        }
        if (haveUnrar && results[1] && results[2]) {
            const RunResult &b = *results[1], &u = *results[2];
            std::printf("  ratio brambold(OR_EVENT)/unrar: wall %.2f, cpu %.2f, peak RSS %.2f\n", b.wall / u.wall,
                        b.cpu / u.cpu, double(b.peakRssKiB) / double(u.peakRssKiB));
        }
        if (results[1] && c.label.find("small files") != std::string::npos)
            std::printf("  brambold OR_EVENT per entry: %.1f us wall, %.1f us cpu\n",
                        results[1]->wall * 1e6 / c.expected.files, results[1]->cpu * 1e6 / c.expected.files);
    }
    fs::remove_all(scratch);
    return 0;
}
