// Hostile and broken input on the start-up road: each case ends with a clear
// message and the right caption, writes nothing beside the destination and
// changes nothing that existed without a question.
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rar4_writer.h"
#include "window_helpers.h"

namespace fs = std::filesystem;

namespace {

using extract_test::operator<<;

std::string Bytes(const std::string& name)
{
    return ReadFileBytes(TestDataPath(name));
}

void Write(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Puts `bytes` into the destination as "case.rar" and gives its path.
std::function<std::string(const fs::path&)> Archive(std::function<std::string()> bytes)
{
    return [bytes](const fs::path& dest) {
        Write(dest / "case.rar", bytes());
        return (dest / "case.rar").string();
    };
}

std::function<std::string(const fs::path&)> Committed(std::vector<std::string> names)
{
    return [names](const fs::path& dest) {
        for (const auto& n : names)
            fs::copy_file(TestDataPath(n), dest / n);
        return (dest / names.front()).string();
    };
}

std::string CutAt(const std::string& bytes, long keep)
{
    return bytes.substr(0, keep < 0 ? bytes.size() + keep : keep);
}

// Offset of the stored data of bin/random.bin inside plain.rar.
size_t RandomBinData()
{
    const std::string needle = ReadFileBytes(TestDataPath("source/tree/bin/random.bin")).substr(0, 64);
    return Bytes("plain.rar").find(needle);
}

std::string Rar4Tree(std::vector<rar4::Entry> entries)
{
    return rar4::WriteArchive(entries);
}

rar4::Entry File(std::string name, std::string data)
{
    return {.name = std::move(name), .data = std::move(data), .declaredSize = {}};
}

struct HostileCase {
    const char* name;
    std::function<std::string(const fs::path& dest)> make;  // gives the archive's path
    std::vector<std::string> passwords;                     // typed into the prompt in turn
    bool succeeds;                                          // "OK! --> " rather than "Fehler! --> "
    QString logLine;                                        // a line the status log must hold
    std::function<void(TfrmMain&)> during = {};             // what the user does during the run
    std::function<void(const fs::path& dest)> check = {};   // what must hold afterwards
    bool unprivileged = false;                              // run as a user without root's rights
    const char* answer = "btnNo";                           // the overwrite prompt's button pressed
    int questions = -1;                                     // overwrite questions expected; -1: any
};

// The destination of the row under way, for what the user does during a run.
fs::path CurrentDestination;

const QString UnexpectedEnd = "Fehler: Brambold: Unexpected end of archive!";
const QString AnyError = "Fehler: ";

// Acts once the bar shows three of ten entries done.
std::function<void(TfrmMain&)> AtThirtyPercent(std::function<void(TfrmMain&)> act)
{
    return [act](TfrmMain& window) {
        auto& bar = Child<QProgressBar>(window, "prgbrUnRar");
        QObject::connect(&bar, &QProgressBar::valueChanged, &window, [&window, act](int v) {
            if (v == 30)
                act(window);
        });
    };
}

void FewerThanTen(const fs::path& dest)
{
    EXPECT_FALSE(fs::exists(dest / "f10.txt"));
}

// A path of folders of 200 characters each, at least `length` long.
std::string Deep(size_t length)
{
    std::string path;
    while (path.size() < length)
        path += std::string(200, 'd') + "/";
    return path + "x.txt";
}

rar4::Entry Rar4Link(std::string name, std::string target)
{
    rar4::Entry e = File(std::move(name), std::move(target));
    e.host = rar4::HostOs::Unix;
    e.attributes = 0120777;
    return e;
}

rar4::Entry Rar4File(std::string name, std::string data)
{
    rar4::Entry e = File(std::move(name), std::move(data));
    e.host = rar4::HostOs::Unix;
    e.attributes = 0100644;
    return e;
}

// An archive made by `rar` with `options` from a tree that `fill` lays out,
// holding `names` in that order.
std::function<std::string(const fs::path&)> RarOf(std::string options, std::vector<std::string> names,
                                                  std::function<void(const fs::path& tree)> fill,
                                                  std::function<void(const fs::path& dest)> before = {})
{
    return [=](const fs::path& dest) {
        const fs::path tree = dest.parent_path() / "tree";
        fs::create_directories(tree);
        fill(tree);
        std::string command = "cd '" + tree.string() + "' && rar a -ma5 -idq -y " + options + " ../case.rar";
        for (const auto& n : names)
            command += " '" + n + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        fs::remove_all(tree);
        fs::rename(dest.parent_path() / "case.rar", dest / "case.rar");
        if (before)
            before(dest);
        return (dest / "case.rar").string();
    };
}

// The user's own link in the destination, docs -> ../outside, to a folder
// beside it that holds victim.txt.
void UserLinkToOutside(const fs::path& dest)
{
    fs::create_directories(dest.parent_path() / "outside");
    Write(dest.parent_path() / "outside/victim.txt", "outside\n");
    fs::create_symlink("../outside", dest / "docs");
}

mode_t ModeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

// clang-format off
const std::vector<HostileCase> Cases = {
    // Cut archives: the library ends them as if whole; the end check does not.
    {"Rar5CutInsideTheMainHeader", Archive([] { return CutAt(Bytes("plain.rar"), 14); }), {}, false, UnexpectedEnd},
    {"Rar5CutInsideTheSecondFileHeader", Archive([] { return CutAt(Bytes("plain.rar"), 120); }), {}, false,
     UnexpectedEnd},
    {"Rar5CutInsideTheData", Committed({"truncated.rar"}), {}, false, "Fehler: Brambold: Corrupted data!"},
    {"Rar5CutBeforeTheEndBlock", Archive([] { return CutAt(Bytes("plain.rar"), -8); }), {}, false, UnexpectedEnd},
    {"Rar5OneByteShort", Archive([] { return CutAt(Bytes("plain.rar"), -1); }), {}, false, UnexpectedEnd},
    {"Rar4CutInsideTheMainHeader", Archive([] { return CutAt(Bytes("rar4_unix.rar"), 12); }), {}, false, AnyError},
    {"Rar4CutInsideAFileHeader", Archive([] { return CutAt(Bytes("rar4_unix.rar"), 30); }), {}, false, AnyError},
    {"Rar4CutInsideTheData", Archive([] { return CutAt(Bytes("rar4_unix.rar"), 80); }), {}, false, AnyError},
    {"Rar4CutInsideTheEndBlock", Archive([] { return CutAt(Bytes("rar4_unix.rar"), -3); }), {}, false, AnyError},
    {"Rar4OneByteShort", Archive([] { return CutAt(Bytes("rar4_unix.rar"), -1); }), {}, false, AnyError},
    // Not archives at all.
    {"ZeroBytes", Archive([] { return std::string(); }), {}, false, "Fehler: Brambold: Cannot open archive!"},
    {"RandomBytes", Archive([] {
         std::string b;
         for (uint32_t x = 1, i = 0; i < 4096; ++i) {
             x ^= x << 13, x ^= x >> 17, x ^= x << 5;
             b += static_cast<char>(x);
         }
         return b;
     }),
     {}, false, "Fehler: Brambold: Cannot open archive!"},
    {"TextFileNamedRar", Archive([] { return std::string("Just a text file.\n"); }), {}, false,
     "Fehler: Brambold: Cannot open archive!"},
    {"OneFlippedDataByte", Archive([] {
         std::string b = Bytes("plain.rar");
         b[RandomBinData() + 5000] ^= 0x01;
         return b;
     }),
     {}, false, "Fehler: Brambold: Corrupted data!"},
    // Names and links that point elsewhere.
    {"TraversalNamesLandInside", Committed({"rar4_traversal.rar"}), {}, true, "", {},
     [](const fs::path& dest) {
         for (const char* name : {"safe.txt", "x", "b", "abs/path"})
             EXPECT_TRUE(fs::is_regular_file(dest / name)) << name;
     }},
    {"SymbolicLinksLeadingOut", Committed({"links.rar"}), {}, false,
     "Fehler: Brambold: Link leads out of the destination, skipped: l2", {},
     [](const fs::path& dest) {
         for (const char* name : {"l2", "up", "abs", "slashes"})
             EXPECT_FALSE(fs::exists(fs::symlink_status(dest / name))) << name;
         EXPECT_EQ(ReadFileBytes((dest / "inside.txt").string()), "inside\n");
     }},
    {"HardLinkToAFileBeside", Committed({"hardlink_outside.rar"}), {}, false,
     "Fehler: Brambold: Link leads out of the destination, skipped: hard.txt"},
    {"FileCopyOfAFileBeside", Committed({"filecopy_outside.rar"}), {}, false,
     "Fehler: Brambold: Link leads out of the destination, skipped: copy.txt"},
    {"SetIdModesAreDropped", Committed({"setid.rar"}), {}, true, "", {},
     [](const fs::path& dest) {
         for (const char* name : {"m4755", "m2755", "m6755"})
             EXPECT_EQ(fs::status(dest / name).permissions(), fs::perms(0755)) << name;
     }},
    // Names the file system cannot take.
    {"NameOf300Bytes", Archive([] { return Rar4Tree({File(std::string(300, 'n'), "long\n")}); }), {}, false,
     "Fehler: Brambold: Name too long, skipped: nnnn"},
    // Longer than the library's name buffer: it would write a cut name.
    {"PathDeeperThanPathMax", Archive([] { return Rar4Tree({File(Deep(PATH_MAX + 100), "deep\n")}); }), {}, false,
     "Fehler: Brambold: Name too long, skipped: dddd"},
    // The destination refuses.
    {"ReadOnlyDestination", [](const fs::path& dest) {
         fs::copy_file(TestDataPath("plain.rar"), dest / "plain.rar");
         fs::permissions(dest, fs::perms(0555));
         return (dest / "plain.rar").string();
     },
     {}, false, "Fehler: Brambold: Error on creating file!", {}, {}, true},
    // Writes that cannot go astray: the engine decides every path.
    {"LinkReplacedByAFolderLeadsNowhere",
     Archive([] {
         return Rar4Tree({Rar4Link("a", "b/c/d"), Rar4File("a/f", "f\n"), Rar4Link("a/k", ".."),
                          Rar4Link("a/z/m", "../k/../v"), Rar4File("a/z/m", "m\n")});
     }),
     {}, false, "Fehler: Brambold: Link in the path, skipped: a/f", {},
     [](const fs::path& dest) {
         EXPECT_EQ(fs::read_symlink(dest / "a"), "b/c/d");
         EXPECT_FALSE(fs::exists(dest / "b"));
     }},
    {"UserLinkOnTheWayIsNeverWrittenThrough", [](const fs::path& dest) {
         UserLinkToOutside(dest);
         Write(dest / "case.rar", Rar4Tree({Rar4Link("l", "docs/victim.txt"), Rar4File("l", "new\n"),
                                            Rar4File("docs/victim.txt", "new\n")}));
         return (dest / "case.rar").string();
     },
     {}, false, "Fehler: Brambold: Link leads out of the destination, skipped: l", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "l").string()), "new\n");
         EXPECT_EQ(fs::read_symlink(dest / "docs"), "../outside");
     },
     false, "btnAlways", 0},
    {"HardLinkThroughAUserLinkIsRefused",
     RarOf("-oh", {"docs/victim.txt", "h"},
           [](const fs::path& t) {
               fs::create_directories(t / "docs");
               Write(t / "docs/victim.txt", "archived\n");
               fs::create_hard_link(t / "docs/victim.txt", t / "h");
           },
           UserLinkToOutside),
     {}, false, "Fehler: Brambold: Link in the path, skipped: docs/victim.txt", {},
     [](const fs::path& dest) { EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "h"))); }},
    {"FileCopyThroughAUserLinkIsRefused",
     RarOf("-oi:1", {"docs/victim.txt", "c"},
           [](const fs::path& t) {
               fs::create_directories(t / "docs");
               Write(t / "docs/victim.txt", "archived\n");
               Write(t / "c", "archived\n");
           },
           UserLinkToOutside),
     {}, false, "Fehler: Brambold: Link leads out of the destination, skipped: c", {},
     [](const fs::path& dest) { EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "c"))); }},
    {"HardLinkToAFileTheUserKeptIsRefused",
     RarOf("-oh", {"victim.txt", "h"},
           [](const fs::path& t) {
               Write(t / "victim.txt", "archived\n");
               fs::create_hard_link(t / "victim.txt", t / "h");
           },
           [](const fs::path& dest) { Write(dest / "victim.txt", "mine\n"); }),
     {}, false, "Fehler: Brambold: Link leads out of the destination, skipped: h", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "victim.txt").string()), "mine\n");
         EXPECT_EQ(fs::hard_link_count(dest / "victim.txt"), 1u);
         EXPECT_FALSE(fs::exists(dest / "h"));
     },
     false, "btnNo", 1},
    {"NamesTheLibraryWouldCleanOtherwise", [](const fs::path& dest) {
         Write(dest / "x.txt", "mine\n");
         Write(dest / "y.txt", "mine\n");
         Write(dest / "case.rar", Rar4Tree({Rar4File("//host/share/x.txt", "x\n"), Rar4File(".../y.txt", "y\n")}));
         return (dest / "case.rar").string();
     },
     {}, true, "", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "x.txt").string()), "mine\n");
         EXPECT_EQ(ReadFileBytes((dest / "y.txt").string()), "mine\n");
         EXPECT_EQ(ReadFileBytes((dest / "host/share/x.txt").string()), "x\n");
         EXPECT_EQ(ReadFileBytes((dest / ".../y.txt").string()), "y\n");
     },
     false, "btnNo", 0},
    {"NameThatIsNoUtf8LeavesTheUsersFileAlone",
     RarOf("", {"\xff.txt"}, [](const fs::path& t) { Write(t / "\xff.txt", "archived\n"); },
           [](const fs::path& dest) { Write(dest / "\xff.txt", "mine\n"); }),
     {}, true, "", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "\xff.txt").string()), "mine\n");
         size_t written = 0;
         for (const auto& e : fs::directory_iterator(dest))
             written += ReadFileBytes(e.path().string()) == "archived\n";
         EXPECT_EQ(written, 1u);
     },
     false, "btnNo", 0},
    {"FolderEntryOverAUsersFileAsksAndNoKeepsIt", [](const fs::path& dest) {
         Write(dest / "empty", "mine\n");
         fs::copy_file(TestDataPath("plain.rar"), dest / "plain.rar");
         return (dest / "plain.rar").string();
     },
     {}, true, "", {},
     [](const fs::path& dest) { EXPECT_EQ(ReadFileBytes((dest / "empty").string()), "mine\n"); }, false, "btnNo",
     1},
    {"FolderEntryOverAUsersFileAsksAndYesMakesTheFolder", [](const fs::path& dest) {
         Write(dest / "empty", "mine\n");
         fs::copy_file(TestDataPath("plain.rar"), dest / "plain.rar");
         return (dest / "plain.rar").string();
     },
     {}, true, "", {}, [](const fs::path& dest) { EXPECT_TRUE(fs::is_directory(dest / "empty")); }, false, "btnYes",
     1},
    {"FileThatAppearsDuringTheRunIsAskedAbout", Committed({"ten.rar"}), {}, true, "",
     AtThirtyPercent([](TfrmMain& w) {
         (void)w;
         Write(CurrentDestination / "f03.txt", "theirs\n");
     }),
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "f03.txt").string()), "theirs\n");
         EXPECT_TRUE(fs::exists(dest / "f10.txt"));
     },
     false, "btnNo", 1},
    {"FailedOverwriteKeepsTheUsersFile", [](const fs::path& dest) {
         fs::create_directories(dest / "bin");
         Write(dest / "bin/random.bin", "mine\n");
         Write(dest / "readme.txt", "mine\n");
         fs::copy_file(TestDataPath("damaged.rar"), dest / "damaged.rar");
         return (dest / "damaged.rar").string();
     },
     {}, false, "Fehler: Brambold: Corrupted data!", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "bin/random.bin").string()), "mine\n");
         EXPECT_NE(ReadFileBytes((dest / "readme.txt").string()), "mine\n");  // the whole one was replaced
     },
     false, "btnAlways", 1},
    {"SetIdBitsDropOnHardLinksAndThroughALink",
     RarOf("-oh", {"m4755", "h"},
           [](const fs::path& t) {
               Write(t / "m4755", "program\n");
               fs::permissions(t / "m4755", fs::perms(04755));
               fs::create_hard_link(t / "m4755", t / "h");
           },
           [](const fs::path& dest) {
               fs::create_directories(dest.parent_path() / "outside");
               Write(dest.parent_path() / "outside/victim.txt", "outside\n");
               fs::create_symlink("../outside/victim.txt", dest / "m4755");
           }),
     {}, true, "", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ModeOf(dest / "m4755") & 0177777, 0100755u);
         EXPECT_EQ(ModeOf(dest / "h") & 0177777, 0100755u);
         EXPECT_EQ(fs::hard_link_count(dest / "h"), 2u);
     },
     false, "btnYes", 1},
    {"Rar4LinksInsideAreMade", Archive([] {
         return Rar4Tree({Rar4File("x.txt", "x\n"), Rar4File("sub/y.txt", "y\n"), Rar4Link("d", "sub"),
                          Rar4Link("sub/same", "y.txt")});
     }),
     {}, true, "", {},
     [](const fs::path& dest) {
         EXPECT_EQ(fs::read_symlink(dest / "d"), "sub");
         EXPECT_EQ(ReadFileBytes((dest / "sub/same").string()), "y\n");
     }},
    // An old-format link's target is in its data, which the library makes
    // the link from only through its folder's descriptor: from there it
    // refuses any climb out of the folder, safe or not.
    {"Rar4LinkClimbingOutOfItsFolderIsSkipped", Archive([] {
         return Rar4Tree({Rar4File("x.txt", "x\n"), Rar4Link("sub/up", "../x.txt")});
     }),
     {}, false, "Fehler: Brambold: Link leads out of the destination, skipped: sub/up", {},
     [](const fs::path& dest) {
         EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "sub/up")));
     }},
    {"NameOf1023CharactersIsWhole",
     Archive([] {
         std::string name = std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(200, 'f') + "/" +
                            std::string(200, 'g') + "/";
         name += std::string(1023 - name.size(), 'n');
         return Rar4Tree({Rar4File(name, "whole\n")});
     }),
     {}, true, ""},
    {"UsersFileWhereAFolderGoesIsKept", [](const fs::path& dest) {
         Write(dest / "docs", "mine\n");
         fs::copy_file(TestDataPath("plain.rar"), dest / "plain.rar");
         return (dest / "plain.rar").string();
     },
     {}, false, "Fehler: Brambold: Error on creating file!", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "docs").string()), "mine\n");
         EXPECT_TRUE(fs::exists(dest / "bin/random.bin"));  // the run went on past it
     },
     false, "btnNo", 1},
    {"QuestionNamesTheFileThatIsReplaced", [](const fs::path& dest) {
         Write(dest / "b", "mine\n");
         fs::create_symlink("b", dest / "a");
         Write(dest / "case.rar", Rar4Tree({Rar4File("a", "new\n")}));
         return (dest / "case.rar").string();
     },
     {}, true, "", {},
     [](const fs::path& dest) {
         EXPECT_EQ(ReadFileBytes((dest / "b").string()), "mine\n");
         EXPECT_FALSE(fs::is_symlink(dest / "a"));
         EXPECT_EQ(ReadFileBytes((dest / "a").string()), "new\n");
     },
     false, "btnYes", 1},
    // Passwords and volumes.
    {"WrongPassword", Committed({"password.rar"}), {"wrong"}, false, "Fehler: Brambold: Wrong password!"},
    {"PasswordCancelled", Committed({"password.rar"}), {""}, false, AnyError},
    {"WrongHeaderPassword", Committed({"headers_password.rar"}), {"wrong"}, false,
     "Fehler: Brambold: Wrong password!"},
    {"HeaderPasswordCancelled", Committed({"headers_password.rar"}), {""}, false, AnyError},
    // Encrypted headers are walked with the password typed in, so a cut shows.
    {"EncryptedHeadersWhole", Committed({"hp5.rar"}), {"PASSWORD"}, true, ""},
    {"EncryptedHeadersCutBeforeTheEndBlock", Archive([] { return CutAt(Bytes("hp5.rar"), -40); }), {"PASSWORD"},
     false, UnexpectedEnd},
    {"MissingLastVolume", Committed({"volumes_1.rar", "volumes_2.rar"}), {}, false, AnyError},
    {"ForeignVolume", [](const fs::path& dest) {
         fs::copy_file(TestDataPath("volumes_1.rar"), dest / "volumes_1.rar");
         fs::copy_file(TestDataPath("volumes_2.rar"), dest / "volumes_2.rar");
         fs::copy_file(TestDataPath("rar4_volumes.r01"), dest / "volumes_3.rar");
         return (dest / "volumes_1.rar").string();
     },
     {}, false, AnyError},
    // A comment too large for the library's buffer leaves the files whole.
    {"CommentOf100KiB", Committed({"big_comment.rar"}), {}, true, "Fehler: Brambold: Buffer to small!", {},
     [](const fs::path& dest) { EXPECT_EQ(ReadFileBytes((dest / "small.txt").string()), "small\n"); }},
    // The user ends the run.
    {"StopAction", Committed({"ten.rar"}), {}, false, "Fehler: Brambold: Stopped!",
     AtThirtyPercent([](TfrmMain& w) { w.acStopExecute(); }), FewerThanTen},
    {"CloseRequestDuringTheRun", Committed({"ten.rar"}), {}, false, "Fehler: Brambold: Stopped!",
     AtThirtyPercent([](TfrmMain& w) { w.close(); }), FewerThanTen},
    {"EscapeDuringTheRunIsTheCloseRequest", Committed({"ten.rar"}), {}, false, "Fehler: Brambold: Stopped!",
     AtThirtyPercent([](TfrmMain& w) {
         QApplication::setActiveWindow(&w);
         QTest::keyClick(&w, Qt::Key_Escape);
     }), FewerThanTen},
    // Closed while listing: the user wants no extraction at all.
    {"CloseRequestWhileListing", Committed({"ten.rar"}), {}, false, "Fehler: Brambold: Stopped!",
     [](TfrmMain& w) { QTimer::singleShot(0, &w, [&w] { w.close(); }); },
     [](const fs::path& dest) { EXPECT_FALSE(fs::exists(dest / "f01.txt")); }},
};
// clang-format on

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

// Names, sizes and contents under `folder`, to tell what a run changed.
std::map<std::string, std::string> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files[e.path().lexically_relative(folder).string()] = e.is_symlink()        ? "link"
                                                              : e.is_regular_file() ? ReadFileBytes(e.path().string())
                                                                                    : "folder";
    return files;
}

TEST_P(HostileInput, EndsWithAClearMessageAndTheRightCaption)
{
    const HostileCase& row = GetParam();
    Environment env;
    const fs::path work = env.work.Path();
    const fs::path dest = work / "dest";
    fs::create_directories(dest);
    CurrentDestination = dest;
    Write(work / "beside.txt", "the user's own file\n");
    Write(work / "s1", "secret one");
    Write(work / "s2", "secret two");
    const std::string archive = row.make(dest);
    const auto besideBefore = Snapshot(work);

    QStringList captions;
    QStringList statusWindow;
    bool closedItself = false;
    int questions = 0;
    {
        auto window = env.Window(archive);
        ScriptedPrompts prompts(row.passwords.empty() ? std::vector<std::string>{""} : row.passwords);
        window->SetPrompts(&prompts);
        QObject::connect(window.get(), &QWidget::windowTitleChanged, [&](const QString& t) { captions << t; });
        ModalScript script([&](QWidget& w) {
            if (auto* status = w.findChild<QPlainTextEdit*>("mmStatus")) {
                statusWindow = status->toPlainText().split('\n');
                Child<QPushButton>(w, "Button1").click();
            } else if (w.findChild<QPushButton*>("btnYes")) {
                ++questions;
                Child<QPushButton>(w, row.answer).click();
            }
        });
        if (row.during)
            row.during(*window);
        // Root writes into read-only folders; for file access this thread
        // then acts as "nobody", which also drops root's override of modes.
        const bool dropRoot = row.unprivileged && geteuid() == 0;
        if (dropRoot) {
            for (const fs::path& p : {fs::path(env.program.Path()), work})
                fs::permissions(p, fs::perms(0755));
            setfsuid(65534);
        }
        window->Timer1Timer();
        if (dropRoot)
            setfsuid(0);
        closedItself = !window->isVisible();
        if (!statusWindow.isEmpty())
            EXPECT_EQ(statusWindow, TfrmMainAccess::StatusLog(*window));
        else
            statusWindow = TfrmMainAccess::StatusLog(*window);
    }
    fs::permissions(dest, fs::perms(0755));

    ASSERT_FALSE(captions.isEmpty());
    EXPECT_TRUE(captions.back().startsWith((row.succeeds ? "OK! --> " : "Fehler! --> ") +
                                           QString::fromStdString(dest.string())))
        << captions.back().toStdString() << ": " << statusWindow.join(" | ").toStdString();
    if (!row.logLine.isEmpty()) {
        const bool found = std::any_of(statusWindow.begin(), statusWindow.end(),
                                       [&](const QString& l) { return l.startsWith(row.logLine); });
        EXPECT_TRUE(found) << statusWindow.join(" | ").toStdString();
    }
    EXPECT_TRUE(closedItself);

    // Nothing beside the destination was written or changed.
    auto besideAfter = Snapshot(work);
    std::erase_if(besideAfter, [](const auto& kv) { return kv.first.rfind("dest/", 0) == 0; });
    std::erase_if(const_cast<std::map<std::string, std::string>&>(besideBefore),
                  [](const auto& kv) { return kv.first.rfind("dest/", 0) == 0; });
    EXPECT_EQ(besideAfter, besideBefore);
    if (row.questions >= 0) {
        EXPECT_EQ(questions, row.questions);
    }
    // Nothing is left under a temporary name.
    for (const auto& e : fs::recursive_directory_iterator(dest))
        EXPECT_NE(e.path().filename().string().rfind(".brambold-", 0), 0u) << e.path();
    if (row.check)
        row.check(dest);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInput, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A full disk, as a file size limit: the write fails, the user hears of it.
TEST(HostileInputLimits, FullDestinationEndsOnTheErrorRoad)
{
    Environment env;
    const std::string archive = env.CopyArchive("plain.rar", env.work.Path());
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;  // bin/random.bin has 20,000 bytes
    setrlimit(RLIMIT_FSIZE, &small);

    QStringList captions;
    QStringList log;
    {
        auto window = env.Window(archive);
        QObject::connect(window.get(), &QWidget::windowTitleChanged, [&](const QString& t) { captions << t; });
        ModalScript script([](QWidget& w) { Child<QPushButton>(w, "Button1").click(); });
        window->Timer1Timer();
        log = TfrmMainAccess::StatusLog(*window);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_FALSE(captions.isEmpty());
    EXPECT_TRUE(captions.back().startsWith("Fehler! --> "));
    EXPECT_TRUE(log.contains("Fehler: Brambold: Write error!")) << log.join(" | ").toStdString();
}

// Ten thousand entries, one of which exists: the user is asked once, says
// no, and keeps the file.
TEST(HostileInputLimits, TenThousandEntriesOneOfWhichExists)
{
    Environment env;
    std::vector<rar4::Entry> entries;
    for (int i = 0; i < 10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%05d.txt", i);
        entries.push_back(File(name, "new\n"));
    }
    const fs::path work = env.work.Path();
    Write(work / "many.rar", rar4::WriteArchive(entries));
    Write(work / "f05000.txt", "mine\n");

    QStringList captions;
    int questions = 0;
    {
        auto window = env.Window((work / "many.rar").string());
        QObject::connect(window.get(), &QWidget::windowTitleChanged, [&](const QString& t) { captions << t; });
        ModalScript script([&](QWidget& w) {
            ++questions;
            Child<QPushButton>(w, w.findChild<QPushButton*>("btnNo") ? "btnNo" : "Button1").click();
        });
        window->Timer1Timer();
    }
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(captions.back(), "OK! --> " + QString::fromStdString(work.string()));
    EXPECT_EQ(ReadFileBytes((work / "f05000.txt").string()), "mine\n");
    EXPECT_EQ(ReadFileBytes((work / "f09999.txt").string()), "new\n");
}

}  // namespace
