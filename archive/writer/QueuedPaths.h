#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// A quick first answer to "is any entry on its way named this, or as a
// folder above it?", asked of every entry while others are queued. Each
// queued name counts in a bucket of its hash, ASCII case folded as the
// exact test folds it; a name none of whose folder prefixes lands in a
// counted bucket cannot be on its way. A hit only says "look": the exact
// test decides.
class TQueuedPaths {
public:
    using TBucket = uint16_t;
    // Far more buckets than names queued at once, so a hit is rarely false.
    static constexpr uint32_t BucketCount = 4096;
    // The most names that may be queued at once: a bucket counts in a byte.
    static constexpr uint32_t MostQueued = UINT8_MAX;

    // The bucket of the whole `path`.
    static TBucket BucketOf(std::string_view path);
    void Add(TBucket bucket) { ++FCounts[bucket]; }
    void Remove(TBucket bucket) { --FCounts[bucket]; }
    void Clear() { FCounts.fill(0); }
    // False when no queued name is `path`, or any folder above it (a prefix
    // ending before a '/'), case folded; true when one may be.
    bool MayHold(std::string_view path) const;

private:
    std::array<uint8_t, BucketCount> FCounts{};
};
