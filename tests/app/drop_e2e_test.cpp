// Archives dropped on the launcher are unpacked by real copies of the
// program, one after another. The copies inherit the offscreen platform, so
// no display is needed; each takes its fixed 3.1 s of waiting.
#include "launcher/RunAndWait.h"
#include "launcher/TfrmConfig.h"
#include "test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Copy {
    QString archive;
    qint64 started;
    qint64 ended;
    bool launcherVisible;
};

}  // namespace

TEST(DropEndToEnd, DroppedArchivesAreUnpackedByRealCopiesOneAfterAnother)
{
    TempFolder work;
    // A blank in a folder name must reach the copy inside its one argument.
    const fs::path first = fs::path(work.Path()) / "first folder";
    const fs::path second = fs::path(work.Path()) / "second";
    fs::create_directories(first);
    fs::create_directories(second);
    fs::copy_file(TestDataPath("ten.rar"), first / "ten.rar");
    fs::copy_file(TestDataPath("comment.rar"), second / "comment.rar");
    fs::create_directories(fs::path(work.Path()) / "not-an-archive.rar");

    TfrmConfig launcher;
    launcher.show();
    QElapsedTimer clock;
    clock.start();
    std::vector<Copy> copies;
    launcher.SetProcessStarter([&](const QString&, const QString& archive) {
        Copy copy{archive, clock.elapsed(), 0, launcher.isVisible()};
        // Our own executable is the test; start the real program instead.
        const bool started = RunAndWait(QStringLiteral(BRAMBOLD_BINARY), archive);
        copy.ended = clock.elapsed();
        copies.push_back(copy);
        return started;
    });

    launcher.WMDropFiles({QString::fromStdString((first / "ten.rar").string()),
                          QString::fromStdString((fs::path(work.Path()) / "not-an-archive.rar").string()),
                          QString::fromStdString((second / "comment.rar").string())});

    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].archive.toStdString(), (first / "ten.rar").string());
    EXPECT_EQ(copies[1].archive.toStdString(), (second / "comment.rar").string());
    EXPECT_GE(copies[1].started, copies[0].ended) << "the second copy started before the first ended";
    EXPECT_FALSE(copies[0].launcherVisible);
    EXPECT_FALSE(copies[1].launcherVisible);
    EXPECT_TRUE(launcher.isVisible());

    fs::remove(first / "ten.rar");
    fs::remove(second / "comment.rar");
    EXPECT_TRUE(TreesEqual(TestDataPath("source/ten"), first.string()));
    EXPECT_TRUE(TreesEqual(TestDataPath("source/comment"), second.string()));
}
