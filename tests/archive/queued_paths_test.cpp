#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>

#include "archive/writer/QueuedPaths.h"
#include "platform/ascii.h"

namespace {

// The exact rule: `queued` is `path`, or a folder above it, ASCII case folded.
bool Holds(const std::string& queued, const std::string& path)
{
    if (queued.size() > path.size() || (queued.size() < path.size() && path[queued.size()] != '/'))
        return false;
    return platform::FoldAscii(queued) == platform::FoldAscii(path.substr(0, queued.size()));
}

std::string RandomPath(std::mt19937& random)
{
    static const char* const parts[] = {"a", "A", "b", "dir", "DIR", "f1.txt", "F1.TXT", "x y", "ü"};
    std::uniform_int_distribution<int> depth(1, 4), part(0, std::size(parts) - 1);
    std::string path = "/dest";
    for (int i = depth(random); i > 0; --i)
        path += std::string("/") + parts[part(random)];
    return path;
}

}  // namespace

// Paths come and go as jobs do, up to a queue's depth. A path that a queued
// one holds must never be missed; the quick answer may only err the other
// way, and rarely.
TEST(QueuedPaths, NeverMissesAQueuedPathOrAFolderAboveOne)
{
    TQueuedPaths paths;
    std::deque<std::string> queue;
    std::mt19937 random(11);
    int held = 0, falseHits = 0, notHeld = 0;
    for (int step = 0; step < 100000; ++step) {
        if (queue.size() == 64 || (!queue.empty() && random() % 2)) {
            paths.Remove(TQueuedPaths::BucketOf(queue.front()));
            queue.pop_front();
        } else {
            queue.push_back(RandomPath(random));
            paths.Add(TQueuedPaths::BucketOf(queue.back()));
        }
        const std::string probe = RandomPath(random);
        bool exact = false;
        for (const std::string& queued : queue)
            exact = exact || Holds(queued, probe);
        if (exact) {
            ++held;
            ASSERT_TRUE(paths.MayHold(probe)) << probe;
        } else {
            ++notHeld;
            falseHits += paths.MayHold(probe);
        }
    }
    EXPECT_GT(held, 1000);
    EXPECT_LT(falseHits, notHeld / 10);
    while (!queue.empty()) {
        paths.Remove(TQueuedPaths::BucketOf(queue.front()));
        queue.pop_front();
    }
    EXPECT_FALSE(paths.MayHold("/dest/a/b"));
}
