#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::string TestDataDir()
{
    return BRAMBOLD_TEST_DATA_DIR;
}

std::string TestDataPath(const std::string& name)
{
    return TestDataDir() + "/" + name;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

TempFolder::TempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "brambold-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // Extracted read-only folders would stop the removal of their contents.
    for (auto it = fs::recursive_directory_iterator(FPath, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

std::string TempFolder::File(const std::string& name) const
{
    return FPath + "/" + name;
}

namespace {

enum class Kind { File, Folder, Link, Other };

const char* KindText(Kind k)
{
    switch (k) {
    case Kind::File:
        return "file";
    case Kind::Folder:
        return "folder";
    case Kind::Link:
        return "link";
    case Kind::Other:
        return "special file";
    }
    return "?";
}

std::map<std::string, Kind> Walk(const std::string& root, bool skipEmptyFolders)
{
    std::map<std::string, Kind> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::file_status st = it->symlink_status();
        Kind k = Kind::Other;
        if (fs::is_symlink(st))
            k = Kind::Link;
        else if (fs::is_directory(st))
            k = Kind::Folder;
        else if (fs::is_regular_file(st))
            k = Kind::File;
        if (k == Kind::Folder && skipEmptyFolders && fs::is_empty(it->path()))
            continue;
        out[fs::relative(it->path(), root).generic_string()] = k;
    }
    return out;
}

std::string DescribeContentDifference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    std::ostringstream s;
    s << "content differs at byte " << at << " (sizes " << expected.size() << " and " << actual.size() << ")";
    return s.str();
}

}  // namespace

std::string CompareTrees(const std::string& expectedRoot, const std::string& actualRoot, TreeCompareOptions options)
{
    if (!fs::is_directory(expectedRoot))
        return "no folder " + expectedRoot + "\n";
    if (!fs::is_directory(actualRoot))
        return "no folder " + actualRoot + "\n";
    const auto expected = Walk(expectedRoot, options.ignoreEmptyFolders);
    const auto actual = Walk(actualRoot, options.ignoreEmptyFolders);
    std::string report;
    for (const auto& [path, kind] : expected) {
        auto it = actual.find(path);
        if (it == actual.end()) {
            report += "missing " + std::string(KindText(kind)) + ": " + path + "\n";
        } else if (it->second != kind) {
            report += path + ": expected a " + KindText(kind) + ", found a " + KindText(it->second) + "\n";
        } else if (kind == Kind::File) {
            const std::string a = ReadFileBytes(expectedRoot + "/" + path);
            const std::string b = ReadFileBytes(actualRoot + "/" + path);
            if (a != b)
                report += path + ": " + DescribeContentDifference(a, b) + "\n";
        } else if (kind == Kind::Link) {
            if (fs::read_symlink(expectedRoot + "/" + path) != fs::read_symlink(actualRoot + "/" + path))
                report += path + ": link targets differ\n";
        }
    }
    for (const auto& [path, kind] : actual)
        if (!expected.count(path))
            report += "unexpected " + std::string(KindText(kind)) + ": " + path + "\n";
    return report;
}

::testing::AssertionResult TreesEqual(const std::string& expectedRoot, const std::string& actualRoot,
                                      TreeCompareOptions options)
{
    const std::string report = CompareTrees(expectedRoot, actualRoot, options);
    if (report.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "trees " << expectedRoot << " and " << actualRoot << " differ:\n" << report;
}
