// Writes a stored RAR 4 archive of many tiny entries for the linearity run of
// scripts/bench: packing a million files from disk with `rar` takes far
// longer than writing the archive straight away.
// Usage: many_entries OUT.rar ENTRIES FOLDERS
// Prints "FILES BYTES", what the archive unpacks to.

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "rar4_writer.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: many_entries OUT.rar ENTRIES FOLDERS\n");
        return 2;
    }
    const long entries = std::atol(argv[2]);
    const long folders = std::atol(argv[3]);
    if (entries <= 0 || folders <= 0 || entries % folders != 0) {
        std::fprintf(stderr, "many_entries: ENTRIES must be a positive multiple of FOLDERS\n");
        return 2;
    }
    const uint32_t stamp = rar4::DosTime(2026, 12, 8, 13, 0, 0);
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyz      \n";
    // Seeded by the count, so a given archive is always the same one.
    std::mt19937 rng{uint32_t(entries)};
    std::vector<rar4::Entry> list;
    list.reserve(size_t(entries + folders));
    long bytes = 0;
    for (long d = 0; d < folders; ++d) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "d%04ld", d);
        rar4::Entry dir;
        dir.name = folder;
        dir.directory = true;
        dir.host = rar4::HostOs::Unix;
        dir.attributes = 040755;
        dir.dosTime = stamp;
        dir.version = 20;
        list.push_back(std::move(dir));
        for (long f = 0; f < entries / folders; ++f) {
            rar4::Entry file;
            char name[48];
            std::snprintf(name, sizeof name, "%s/f%06ld.txt", folder, f);
            file.name = name;
            // As archive D: half empty, half 1 to 64 bytes.
            const unsigned size = rng() % 2 ? 1 + rng() % 64 : 0;
            for (unsigned i = 0; i < size; ++i)
                file.data.push_back(Letters[rng() % (sizeof Letters - 1)]);
            bytes += long(size);
            file.host = rar4::HostOs::Unix;
            file.attributes = 0100644;
            file.dosTime = stamp;
            list.push_back(std::move(file));
        }
    }
    if (!rar4::WriteFile(argv[1], rar4::WriteArchive(list))) {
        std::fprintf(stderr, "many_entries: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%ld %ld\n", entries, bytes);
    return 0;
}
