#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/writer/Destination.h"

namespace fs = std::filesystem;

namespace {

bool MakeFile(int folder, const std::string& name, struct stat& st)
{
    const int fd = openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool ok = fd >= 0 && fstat(fd, &st) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

bool Opens(const TDestination& destination, const std::string& name)
{
    const int fd = destination.OpenWritten(name, false);
    if (fd >= 0)
        close(fd);
    return fd >= 0;
}

}  // namespace

// Hard links and copies may name only files of this run: the record of them
// must hold every one through its growth, and nothing else, and no longer
// than the run.
TEST(Destination, OpensOnlyTheFilesTheRunWrote)
{
    // Memory-backed where there is such a folder: thousands of files.
    const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "brambold-destination-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    {
        TDestination destination;
        ASSERT_TRUE(destination.Open(root.string()));
        constexpr int Files = 2500;  // past several growths of the record
        for (int i = 0; i < Files; ++i) {
            struct stat st {};
            ASSERT_TRUE(MakeFile(destination.Root(), "f" + std::to_string(i), st));
            if (i % 7 != 3)
                destination.Remember(st);
            if (i % 11 == 0)
                destination.Remember(st);  // twice is still once
        }
        for (int i = 0; i < Files; ++i)
            ASSERT_EQ(Opens(destination, "f" + std::to_string(i)), i % 7 != 3 || i % 11 == 0) << i;
        EXPECT_FALSE(Opens(destination, "missing"));

        // A new run knows none of the last run's files.
        ASSERT_TRUE(destination.Open(root.string()));
        EXPECT_FALSE(Opens(destination, "f0"));
        struct stat st {};
        ASSERT_TRUE(MakeFile(destination.Root(), "g", st));
        destination.Remember(st);
        EXPECT_TRUE(Opens(destination, "g"));
        EXPECT_FALSE(Opens(destination, "f1"));
    }
    fs::remove_all(root);
}
