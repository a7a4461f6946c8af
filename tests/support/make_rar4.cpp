// Writes the RAR4 test archives of tests/data from tests/data/source.
//
//   make_rar4 SOURCE_DIR OUT_DIR

#include <cstdio>
#include <string>
#include <vector>

#include "rar4_writer.h"
#include "test_support.h"

using rar4::Entry;
using rar4::HostOs;

namespace {

const uint32_t Stamp = rar4::DosTime(2024, 5, 17, 12, 34, 56);

// Windows attribute bits.
constexpr uint32_t AttrReadOnly = 0x01, AttrHidden = 0x02, AttrDirectory = 0x10, AttrArchive = 0x20;

Entry File(const std::string& source, const std::string& name, HostOs host, uint32_t attributes)
{
    Entry e;
    e.name = name;
    e.data = ReadFileBytes(source + "/" + name);
    e.host = host;
    e.attributes = attributes;
    e.dosTime = Stamp;
    return e;
}

Entry Folder(const std::string& name, HostOs host, uint32_t attributes)
{
    Entry e;
    e.name = name;
    e.directory = true;
    e.host = host;
    e.attributes = attributes;
    e.dosTime = Stamp;
    e.version = 20;
    return e;
}

Entry Text(const std::string& name, const std::string& text, HostOs host)
{
    Entry e;
    e.name = name;
    e.data = text;
    e.host = host;
    e.attributes = host == HostOs::Unix ? 0100644 : AttrArchive;
    e.dosTime = Stamp;
    return e;
}

std::vector<Entry> Tree(const std::string& source, HostOs host)
{
    const bool unix = host == HostOs::Unix;
    const uint32_t file = unix ? 0100644 : AttrArchive;
    std::vector<Entry> entries = {
        File(source, "readme.txt", host, file),
        File(source, "Grüße.txt", host, file),
        File(source, "日本語.txt", host, file),
        File(source, "readonly.txt", host, unix ? 0100444 : AttrArchive | AttrReadOnly),
        Folder("docs", host, unix ? 040755 : AttrDirectory),
        File(source, "docs/notes.txt", host, unix ? 0100644 : AttrArchive | AttrHidden),
    };
    if (unix)
        for (Entry& e : entries)
            e.nameForm = rar4::NameForm::Utf8;
    return entries;
}

bool Write(const std::string& path, const std::string& bytes)
{
    if (rar4::WriteFile(path, bytes))
        return true;
    std::fprintf(stderr, "make_rar4: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_rar4 SOURCE_DIR OUT_DIR\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string out = std::string(argv[2]) + "/";
    const std::string tree = source + "/rar4_tree";
    bool ok = true;
    try {
        ok &= Write(out + "rar4_windows.rar", rar4::WriteArchive(Tree(tree, HostOs::Windows)));
        ok &= Write(out + "rar4_unix.rar", rar4::WriteArchive(Tree(tree, HostOs::Unix)));

        // Names that rar itself never writes.
        ok &= Write(out + "rar4_traversal.rar", rar4::WriteArchive({
                                                    Text("safe.txt", "Stays inside.\n", HostOs::Unix),
                                                    Text("../x", "Climbs one folder up.\n", HostOs::Unix),
                                                    Text("a/../../b", "Climbs through a folder.\n", HostOs::Unix),
                                                    Text("/abs/path", "Absolute name.\n", HostOs::Unix),
                                                }));

        // Links that once led the library out of the destination: a link the
        // library replaced by a folder, and a link through the user's own
        // link docs -> ../outside followed by a file of the link's name.
        auto link = [](const std::string& name, const std::string& target) {
            Entry e = Text(name, target, HostOs::Unix);
            e.attributes = 0120777;
            return e;
        };
        ok &= Write(out + "rar4_escape.rar", rar4::WriteArchive({
                                                 link("a", "b/c/d"),
                                                 Text("a/f", "Through the link a.\n", HostOs::Unix),
                                                 link("a/k", ".."),
                                                 link("a/z/m", "../k/../v"),
                                                 Text("a/z/m", "Beside the destination.\n", HostOs::Unix),
                                                 link("l", "docs/victim.txt"),
                                                 Text("l", "Through the user's link.\n", HostOs::Unix),
                                             }));

        // One host code per entry: DOS, OS/2, Windows, Unix, BeOS.
        std::vector<Entry> hosts;
        for (HostOs h : {HostOs::MsDos, HostOs::Os2, HostOs::Windows, HostOs::Unix, HostOs::BeOs}) {
            Entry e = Text("host" + std::to_string(int(h)) + ".txt", "Host code " + std::to_string(int(h)) + ".\n", h);
            e.version = h == HostOs::MsDos ? 20 : 29;
            hosts.push_back(e);
        }
        ok &= Write(out + "rar4_hosts.rar", rar4::WriteArchive(hosts));

        // A 5 GiB entry for listing: the header claims the size, 16 bytes follow.
        Entry large = Text("large.bin", "sixteen bytes!!\n", HostOs::Windows);
        large.declaredSize = 5ull << 30;
        ok &= Write(out + "rar4_large.rar",
                    rar4::WriteArchive({large, Text("after.txt", "Listed after the large entry.\n", HostOs::Windows)}));

        Entry big = File(source + "/volumes", "small.bin", HostOs::Windows, AttrArchive);
        const auto volumes = rar4::WriteVolumes({big}, 16384);
        for (size_t i = 0; i < volumes.size(); ++i)
            ok &= Write(rar4::OldStyleVolumeName(out + "rar4_volumes.rar", i), volumes[i]);

        // The same set with new numbering, named name_N.rar like the other sets:
        // the library counts up the last digits of either form.
        rar4::ArchiveOptions newNumbering;
        newNumbering.newNumbering = true;
        const auto numbered = rar4::WriteVolumes({big}, 16384, newNumbering);
        for (size_t i = 0; i < numbered.size(); ++i)
            ok &= Write(out + "rar4_numbered_" + std::to_string(i + 1) + ".rar", numbered[i]);

        // Headers encrypted as rar -hp did, password "PASSWORD", the writer's fixed salt.
        const rar4::ArchiveOptions sealed = {.headerPassword = "PASSWORD"};
        ok &= Write(out + "rar4_hp.rar", rar4::WriteArchive(Tree(tree, HostOs::Windows), sealed));
        const auto sealedVolumes = rar4::WriteVolumes({big}, 16384,
                                                      {.headerPassword = "PASSWORD", .newNumbering = true});
        for (size_t i = 0; i < sealedVolumes.size(); ++i)
            ok &= Write(out + "rar4_hp_volumes_" + std::to_string(i + 1) + ".rar", sealedVolumes[i]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_rar4: %s\n", e.what());
        return 1;
    }
    return ok ? 0 : 1;
}
