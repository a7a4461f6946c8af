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

void PrintTo(const MatchCase& row, std::ostream* out)
{
    *out << row.name;
}

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
        MatchCase{"letter_case_does_not_matter", "brambold", {{20, "/opt/x/BRAMBOLD"}, {21, "Brambold"}}, {20, 21}},
        MatchCase{"another_executable_name_survives",
                  "brambold",
                  {{30, "/usr/bin/brambold-helper"}, {31, "/brambold/other"}, {32, "xbrambold"}},
                  {}},
        MatchCase{"a_full_path_matches_only_that_path",
                  "/opt/a/brambold",
                  {{40, "/opt/a/brambold"}, {41, "/opt/b/brambold"}, {42, "brambold"}},
                  {40}},
        MatchCase{"a_full_path_matches_in_any_letter_case", "/opt/a/brambold", {{50, "/OPT/A/Brambold"}}, {50}}),
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

// Copies of `sleep` under names of our own, so nothing else on the machine
// is touched; the walk must end both copies and spare the other program.
TEST(RealProcesses, TwoRunningCopiesAreEndedAndAnotherProgramSurvives)
{
    QTemporaryDir folder;
    const std::string name = "bramboldtest" + std::to_string(getpid());
    std::vector<pid_t> children;
    auto start = [&](const std::string& file) {
        const std::string path = folder.filePath(QString::fromStdString(file)).toStdString();
        QFile::copy("/bin/sleep", QString::fromStdString(path));
        QFile(QString::fromStdString(path)).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const pid_t pid = fork();
        if (pid == 0) {
            execl(path.c_str(), file.c_str(), "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
        return pid;
    };
    const pid_t first = start(name), second = start(name), other = start("survivor");

    // The children show up under their new program once they have run it.
    auto listed = [&] {
        int seen = 0;
        for (const ProcessEntry& process : platform::RunningProcesses()) {
            EXPECT_NE(process.pid, getpid()) << "the walk lists our own process";
            seen += std::count(children.begin(), children.end(), process.pid) &&
                    QString::fromStdString(process.executable).startsWith(folder.path());
        }
        return seen;
    };
    for (int i = 0; i < 500 && listed() < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(listed(), 3);

    EXPECT_TRUE(app::EndProcessesByName(name));

    int status = 0;
    for (const pid_t pid : {first, second}) {
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    EXPECT_EQ(waitpid(other, &status, WNOHANG), 0) << "the other program was ended too";
    kill(other, SIGKILL);
    waitpid(other, &status, 0);
}

}  // namespace
