// A second copy's window stands beside the first's, not on it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/window_placement.h"
#include "window_helpers.h"

namespace {

using extract_test::operator<<;

const QRect Screen(0, 0, 1920, 1080);
const QSize Window(484, 265);

QPoint Centred()
{
    QRect r(QPoint(), Window);
    r.moveCenter(Screen.center());
    return r.topLeft();
}

struct PlaceCase {
    const char* name;
    QRect screen;
    std::vector<QRect> taken;
    // What the place must satisfy, besides lying on the screen.
    std::function<bool(QPoint)> expected;
};

class FreePlaceTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(FreePlaceTest, KeepsClearOfTheOthersOnTheScreen)
{
    const PlaceCase& row = GetParam();
    const QPoint at = platform::FreePlace(Window, row.screen, row.taken);
    EXPECT_TRUE(row.screen.contains(QRect(at, Window))) << at.x() << "," << at.y();
    EXPECT_TRUE(row.expected(at)) << at.x() << "," << at.y();
}

const QRect CentreTaken(Centred(), Window);

INSTANTIATE_TEST_SUITE_P(
    Screens, FreePlaceTest,
    ::testing::Values(PlaceCase{"AloneItIsCentred", Screen, {}, [](QPoint p) { return p == Centred(); }},
                      PlaceCase{"AnotherElsewhereLeavesItCentred",
                                Screen,
                                {QRect(0, 0, 300, 200)},
                                [](QPoint p) { return p == Centred(); }},
                      PlaceCase{"BesideTheFirstWhenTheCentreIsTaken",
                                Screen,
                                {CentreTaken},
                                [](QPoint p) { return p.y() == Centred().y() && p.x() > CentreTaken.right(); }},
                      PlaceCase{"BelowWhenTheScreenIsTooNarrowForTwo",
                                QRect(0, 0, 800, 1080),
                                {QRect(158, 407, 484, 265)},
                                [](QPoint p) { return p.x() == 158 && p.y() > 407 + 265; }},
                      PlaceCase{"ASmallScreenCoversAsLittleOfTheFirstAsItCan",
                                QRect(0, 0, 1280, 800),
                                {QRect(398, 267, 484, 265)},
                                [](QPoint p) {
                                    const QRect both = QRect(p, Window) & QRect(398, 267, 484, 265);
                                    return both.width() * both.height() < 484 * 265 / 8;
                                }},
                      PlaceCase{"AThirdFindsTheRoomTheSecondLeft",
                                Screen,
                                {CentreTaken, CentreTaken.translated(CentreTaken.width() + 16, 0)},
                                [](QPoint p) {
                                    const QRect r(p, Window);
                                    return !r.intersects(CentreTaken) &&
                                           !r.intersects(CentreTaken.translated(CentreTaken.width() + 16, 0));
                                }},
                      PlaceCase{"AFullScreenStillLeavesTheFirstsTitleBarInSight",
                                QRect(0, 0, 500, 340),
                                {QRect(8, 36, 484, 265)},
                                [](QPoint p) { return p != QPoint(8, 36); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The copies meet through the file: another live process's window is
// avoided, an ended one's is not, and this process's own line is replaced.
TEST(WindowPlaces, AnotherLiveCopysWindowIsAvoidedAndAnEndedOnesIsNot)
{
    TempFolder folder;
    const std::string file = folder.File("places");

    // A copy that has ended.
    const pid_t ended = fork();
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    std::ofstream(file) << ended << ' ' << Centred().x() << ' ' << Centred().y() << " 484 265\n";
    platform::TWindowPlaces places(file);
    EXPECT_EQ(places.Take(Window, Screen), Centred());
    // Shown again by the same process: its own window is no obstacle.
    EXPECT_EQ(places.Take(Window, Screen), Centred());

    // A copy that runs, in another process, holding the centre.
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    places.Leave();
    const pid_t other = fork();
    if (other == 0) {
        platform::TWindowPlaces(file).Take(Window, Screen);
        char c = 0;
        (void)!write(ready[1], &c, 1);
        (void)!read(done[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    const QPoint second = places.Take(Window, Screen);
    EXPECT_FALSE(QRect(second, Window).intersects(QRect(Centred(), Window))) << second.x() << "," << second.y();
    (void)!write(done[1], &c, 1);
    waitpid(other, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        close(fd);

    // With the other copy gone and this one's place given up, the centre is free again.
    places.Leave();
    EXPECT_EQ(platform::TWindowPlaces(file).Take(Window, Screen), Centred());
}

}  // namespace
