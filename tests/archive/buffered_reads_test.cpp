#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

#include "archive/library/BufferedReads.h"
#include "archive/library/untUnRar.h"
#include "test_support.h"

namespace bufferedCalls = untUnRar::buffered;

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// Reads and seeks of every kind in random order, small and large, past the
// end and before the start, through the buffer and straight from the
// system side by side: every answer, every byte and every error must agree.
TEST(BufferedReads, AnswerAsTheSystemDoes)
{
    TempFolder folder;
    std::mt19937 random(7);
    std::string bytes(300 * 1024, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    const std::string path = folder.File("archive.rar");
    WriteFile(path, bytes);

    const int plain = open(path.c_str(), O_RDONLY);
    const int fd = bufferedCalls::Open(path.c_str(), O_RDONLY);
    ASSERT_GE(plain, 0);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(bufferedCalls::Buffered(fd));
    const auto size = static_cast<off_t>(bytes.size());
    std::string got(100 * 1024, '\0'), expected(100 * 1024, '\0');
    for (int step = 0; step < 20000; ++step) {
        const int what = static_cast<int>(random() % 8);
        if (what < 4) {
            // Mostly header-sized, now and then larger than the buffer's half.
            const size_t n = what == 3 ? random() % got.size() : random() % 64;
            errno = 0;
            const ssize_t a = bufferedCalls::Read(fd, got.data(), n);
            const ssize_t b = read(plain, expected.data(), n);
            ASSERT_EQ(a, b) << step;
            ASSERT_EQ(got.compare(0, size_t(std::max<ssize_t>(a, 0)), expected, 0, size_t(std::max<ssize_t>(b, 0))), 0)
                << step;
        } else {
            const int whence = what == 4 ? SEEK_SET : what == 5 ? SEEK_END : SEEK_CUR;
            // Back a header, on past the end, or before the start.
            const off_t offset = static_cast<off_t>(random() % (2 * size)) - size / 2;
            errno = 0;
            const off_t a = bufferedCalls::Seek(fd, offset, whence);
            const int errorA = errno;
            errno = 0;
            const off_t b = lseek(plain, offset, whence);
            ASSERT_EQ(a, b) << step;
            ASSERT_EQ(errorA, errno) << step;
        }
    }

    // A duplicate goes on where the library stood, as the system's would.
    ASSERT_EQ(bufferedCalls::Seek(fd, 12345, SEEK_SET), 12345);
    char first[8];
    ASSERT_EQ(bufferedCalls::Read(fd, first, sizeof first), 8);
    const int copy = bufferedCalls::Duplicate(fd);
    ASSERT_GE(copy, 0);
    EXPECT_FALSE(bufferedCalls::Buffered(fd));
    char next[8];
    ASSERT_EQ(bufferedCalls::Read(copy, next, sizeof next), 8);
    EXPECT_EQ(std::string(next, 8), bytes.substr(12345 + 8, 8));
    ASSERT_EQ(bufferedCalls::Read(fd, next, sizeof next), 8);
    EXPECT_EQ(std::string(next, 8), bytes.substr(12345 + 16, 8));

    EXPECT_EQ(bufferedCalls::Close(copy), 0);
    EXPECT_EQ(bufferedCalls::Close(fd), 0);
    EXPECT_FALSE(bufferedCalls::Buffered(fd));
    close(plain);
}

// Only what the library reads is buffered: a file opened for writing, or a
// folder, is the system's, and a closed number buffers nothing.
TEST(BufferedReads, TakeOnlyPlainFilesOpenedForReading)
{
    TempFolder folder;
    const std::string path = folder.File("out");
    const int written = bufferedCalls::Open(path.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(written, 0);
    EXPECT_FALSE(bufferedCalls::Buffered(written));
    ASSERT_EQ(write(written, "abc", 3), 3);
    EXPECT_EQ(bufferedCalls::Seek(written, 0, SEEK_CUR), 3);
    bufferedCalls::Close(written);

    const int folderFd = bufferedCalls::OpenChecked(folder.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folderFd, 0);
    EXPECT_FALSE(bufferedCalls::Buffered(folderFd));
    bufferedCalls::Close(folderFd);

    EXPECT_EQ(bufferedCalls::Open(folder.File("missing").c_str(), O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
}

// Loading the UnRAR library gives its reads a buffer: if its calls could not
// be found, every archive would be read again a few bytes at a time.
TEST(BufferedReads, TheLoadedLibraryReadsThroughThem)
{
    untUnRar::LoadUnRarLibrary();
    ASSERT_TRUE(untUnRar::UnRarLoaded);
    EXPECT_TRUE(untUnRar::UnRarReadsBuffered);
    untUnRar::FreeUnRarLibrary();
}

}  // namespace
