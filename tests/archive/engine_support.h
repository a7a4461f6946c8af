#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "archive/VoskUnRar.h"
#include "fake_unrar/fake_unrar_control.h"
#include "platform/program_folder.h"

namespace fs = std::filesystem;

class TVoskUnRarAccess {
public:
    // Lets the walk made ahead end before the test goes on.
    static void WaitForPrepared(TVoskUnRar& c)
    {
        if (c.FPrepared)
            c.FPrepared->Wait();
    }
    // Whether small entries are written and named on the writer's thread.
    static void SetWriterThread(TVoskUnRar& c, bool on) { c.FWriter.SetThreadOn(on); }
};

inline std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteAll(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Files left under the engine's temporary names anywhere below `folder`.
inline size_t TemporaryNames(const fs::path& folder)
{
    size_t count = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().rfind(".brambold-", 0) == 0)
            ++count;
    return count;
}

inline std::string DataDir()
{
    return TEST_DATA_DIR;
}

// Every event of a run as one line, in order.
struct TEventLog {
    std::vector<std::string> lines;
    std::vector<std::string> errors;

    void Attach(TVoskUnRar& c)
    {
        c.OnError = [this](TVoskUnRar&, const std::string& m, int32_t id) {
            lines.push_back("error " + m + " " + std::to_string(id));
            errors.push_back(m + " " + std::to_string(id));
        };
        c.OnRarStatus = [this](TVoskUnRar&, const std::string& m, TRarStatus s) {
            lines.push_back("status " + std::to_string(static_cast<int>(s)) + (m.empty() ? "" : " " + m));
        };
        c.OnComment = [this](TVoskUnRar&, const std::string& text) { lines.push_back("comment " + text); };
        c.OnFileProcessing = [this](TVoskUnRar&, const TVoskRARHeaderData& h, int32_t status) {
            lines.push_back("file " + h.FileName + " " + std::to_string(status));
        };
    }
    // Only the status lines, as their numbers.
    std::vector<int> Statuses() const
    {
        std::vector<int> out;
        for (const auto& l : lines)
            if (l.rfind("status ", 0) == 0)
                out.push_back(std::stoi(l.substr(7, 1)));
        return out;
    }
    size_t Count(const std::string& prefix) const
    {
        size_t n = 0;
        for (const auto& l : lines)
            n += l.rfind(prefix, 0) == 0;
        return n;
    }
};

// Answers the engine's prompts from a script and remembers the questions.
struct TScriptedPrompts : IUnRarPrompts {
    std::string password;
    std::vector<std::string> passwordPrefills;
    std::vector<TPasswordRequest> passwordRequests;
    bool volumeOk = true;
    std::string volumeName;
    bool volumeKeepsName = false;
    std::vector<std::string> volumeQuestions;

    std::string AskPassword(const std::string& prefill, const TPasswordRequest& request) override
    {
        passwordPrefills.push_back(prefill);
        passwordRequests.push_back(request);
        return password;
    }
    bool AskNextVolume(const std::string& current, std::string& name) override
    {
        volumeQuestions.push_back(current);
        name = volumeKeepsName ? current : volumeName;
        return volumeOk;
    }
};

// A fresh temporary folder per test, used as destination and program folder.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& ch : name)
            if (ch == '/')
                ch = '_';
        root = fs::temp_directory_path() / ("brambold_engine_" + std::to_string(getpid())) / name;
        fs::remove_all(root);
        fs::create_directories(root / "out");
        fs::create_directories(root / "program");
        platform::SetProgramFolder((root / "program").string());
        unsetenv("BRAMBOLD_UNRAR_LIBRARY");
        // A run with no Directory extracts into the current folder: the
        // test's own, not wherever the suite was started.
        startFolder = fs::current_path();
        fs::current_path(root);
    }
    void TearDown() override
    {
        fs::current_path(startFolder);
        platform::SetProgramFolder("");
        unsetenv("BRAMBOLD_UNRAR_LIBRARY");
        fs::remove_all(root);
        // The process's own folder goes with its last test; ctest starts a
        // process per test, and each would leave one behind in /tmp.
        std::error_code notEmpty;
        fs::remove(root.parent_path(), notEmpty);
    }
    std::string Out() const { return (root / "out").string(); }

    fs::path root;
    fs::path startFolder;
};

// Same, on the scripted fake library.
class FakeEngineTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setenv("BRAMBOLD_UNRAR_LIBRARY", FAKE_UNRAR_PATH, 1);
        // Our own reference keeps the fake loaded, and its script, across
        // the component's load and free.
        handle = dlopen(FAKE_UNRAR_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        script = reinterpret_cast<FakeUnRarScriptFn>(dlsym(handle, "FakeUnRarScript"));
        log = reinterpret_cast<FakeUnRarLogFn>(dlsym(handle, "FakeUnRarLog"));
        ASSERT_TRUE(script && log);
    }
    void TearDown() override
    {
        if (handle)
            dlclose(handle);
        EngineTest::TearDown();
    }
    // The fake's call log, one line per call.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> out;
        std::istringstream in(log());
        // The folder's descriptor number differs from run to run.
        static const std::string fd = "/proc/self/fd/";
        for (std::string line; std::getline(in, line);) {
            for (size_t at = line.find(fd); at != std::string::npos; at = line.find(fd, at + 1)) {
                size_t end = at + fd.size();
                while (end < line.size() && isdigit(static_cast<unsigned char>(line[end])))
                    ++end;
                line.replace(at + fd.size(), end - at - fd.size(), "N");
            }
            out.push_back(line);
        }
        return out;
    }
    bool Called(const std::string& line) const
    {
        for (const auto& l : Calls())
            if (l == line)
                return true;
        return false;
    }

    void* handle = nullptr;
    FakeUnRarScriptFn script = nullptr;
    FakeUnRarLogFn log = nullptr;
};
