#pragma once

// Helpers shared by every test area: where the test archives are, temporary
// folders, and comparing an extracted tree with the tree it was made from.

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The files of tests/data/source/tree that the tree archives hold, less
// bin/random.bin, which the cut and damaged copies hold only in part.
inline const std::vector<std::string> TreeFiles = {
    "readme.txt",
    "Müller.txt",
    "日本語.txt",
    "readonly.txt",
    "docs/guide.txt",
    "docs/deep/table.csv",
    "docs/deep/nested/notes.txt",
    "bin/pattern.bin",
};

// Absolute path of tests/data/, with no trailing slash.
std::string TestDataDir();

// Absolute path of a file or folder under tests/data/, e.g. "plain.rar" or "source/tree".
std::string TestDataPath(const std::string& name);

// All bytes of a file; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// A fresh folder under the system's temporary folder, removed with all its
// contents (read-only ones too) when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return FPath; }
    // Path of `name` inside the folder.
    std::string File(const std::string& name) const;

private:
    std::string FPath;
};

struct TreeCompareOptions {
    // Folders holding nothing at all may be missing on either side (git keeps
    // no empty folders, so a source tree lacks the empty folder of its archive).
    bool ignoreEmptyFolders = false;
};

// Compares two trees entry by entry, file contents byte for byte. Returns an
// empty text when they match, else one line per difference.
std::string CompareTrees(const std::string& expectedRoot, const std::string& actualRoot,
                         TreeCompareOptions options = {});

// CompareTrees for EXPECT_TRUE / ASSERT_TRUE, with the differences as message.
::testing::AssertionResult TreesEqual(const std::string& expectedRoot, const std::string& actualRoot,
                                      TreeCompareOptions options = {});
