#include "app/EndProcessesByName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::ProcessEntry;

struct MatchCase {
    const char* name;
    std::string wanted;
    std::vector<ProcessEntry> processes;
    std::vector<int> ended;
};

void PrintTo(const MatchCase& row, std::ostream* out) { *out << row.name; }

class EndProcessesMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(EndProcessesMatching, EndsExactlyTheMatchingProcesses)
{
    std::vector<int> ended;
    const bool result = app::EndProcessesByName(GetParam().wanted, GetParam().processes, [&](int pid) {
        ended.push_back(pid);
        return true;
    });
    EXPECT_EQ(ended, GetParam().ended);
    EXPECT_EQ(result, !GetParam().ended.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EndProcessesMatching,
    ::testing::Values(
        MatchCase{"nothing_running_ends_nothing", "brambold", {}, {}},
        MatchCase{"a_bare_name_matches_full_paths_and_bare_names",
                  "brambold",
                  {{10, "/usr/lib/brambold/brambold"}, {11, "brambold"}, {12, "/usr/bin/sleep"}},
                  {10, 11}},
        MatchCase{"letter_case_does_not_matter", "brambold",
                  {{20, "/opt/x/BRAMBOLD"}, {21, "Brambold"}}, {20, 21}},
        MatchCase{"another_executable_name_survives", "brambold",
                  {{30, "/usr/bin/brambold-helper"}, {31, "/brambold/other"}, {32, "xbrambold"}}, {}},
        MatchCase{"a_full_path_matches_only_that_path", "/opt/a/brambold",
                  {{40, "/opt/a/brambold"}, {41, "/opt/b/brambold"}, {42, "brambold"}}, {40}},
        MatchCase{"a_full_path_matches_in_any_letter_case", "/opt/a/brambold",
                  {{50, "/OPT/A/Brambold"}}, {50}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EndProcessesByName, AProcessThatCannotBeEndedDoesNotStopTheWalk)
{
    const std::vector<ProcessEntry> processes = {{1, "brambold"}, {2, "brambold"}, {3, "brambold"}};
    std::vector<int> asked;
    const std::map<int, bool> allowed = {{1, true}, {2, false}, {3, true}};
    auto terminate = [&](int pid) {
        asked.push_back(pid);
        return allowed.at(pid);
    };
    // The result is that of the last request made.
    EXPECT_TRUE(app::EndProcessesByName("brambold", processes, terminate));
    EXPECT_EQ(asked, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(app::EndProcessesByName("brambold", {{1, "brambold"}, {2, "brambold"}}, terminate));
}

// Child processes started from a copy of `sleep` under names of our own, so
// no other program on the machine is touched.
class RealProcesses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        uniqueName = "bramboldtest" + std::to_string(getpid());
        for (const QString& name : {QString::fromStdString(uniqueName), QStringLiteral("survivor")}) {
            ASSERT_TRUE(QFile::copy("/bin/sleep", folder.filePath(name)));
            QFile(folder.filePath(name)).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        }
    }
    void TearDown() override
    {
        for (pid_t pid : children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    pid_t Start(const std::string& name)
    {
        const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(path.c_str(), name.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
        return pid;
    }

    // Waits until the child runs its new program, so /proc names it.
    void WaitUntilRunning(pid_t pid, const std::string& name)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            for (const ProcessEntry& process : platform::RunningProcesses())
                if (process.pid == pid && process.executable.ends_with("/" + name))
                    return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        FAIL() << "process " << pid << " never showed up as " << name;
    }

    // The signal that ended the child, or 0 while it still runs.
    int EndedBy(pid_t pid)
    {
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                children.erase(std::find(children.begin(), children.end(), pid));
                return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return 0;
    }

    QTemporaryDir folder;
    std::string uniqueName;
    std::vector<pid_t> children;
};

TEST_F(RealProcesses, TheWalkListsOthersWithTheirExecutableButNotOurselves)
{
    const pid_t child = Start("survivor");
    WaitUntilRunning(child, "survivor");
    const auto processes = platform::RunningProcesses();
    EXPECT_TRUE(std::none_of(processes.begin(), processes.end(),
                             [](const ProcessEntry& p) { return p.pid == getpid(); }));
}

TEST_F(RealProcesses, TwoRunningCopiesAreEndedAndAnotherProgramSurvives)
{
    const pid_t first = Start(uniqueName);
    const pid_t second = Start(uniqueName);
    const pid_t other = Start("survivor");
    WaitUntilRunning(first, uniqueName);
    WaitUntilRunning(second, uniqueName);
    WaitUntilRunning(other, "survivor");

    EXPECT_TRUE(app::EndProcessesByName(uniqueName));

    EXPECT_EQ(EndedBy(first), SIGKILL);
    EXPECT_EQ(EndedBy(second), SIGKILL);
    int status = 0;
    EXPECT_EQ(waitpid(other, &status, WNOHANG), 0) << "the other program was ended too";
}

}  // namespace
