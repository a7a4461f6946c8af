#include "archive/writer/QueuedPaths.h"

#include "platform/ascii.h"

namespace {

constexpr uint64_t FnvOffset = 14695981039346656037ull;
constexpr uint64_t FnvPrime = 1099511628211ull;

uint64_t Step(uint64_t hash, char c)
{
    return (hash ^ static_cast<unsigned char>(platform::LowerAscii(c))) * FnvPrime;
}

TQueuedPaths::TBucket Fold(uint64_t hash)
{
    // FNV's low bits alone mix the last bytes poorly.
    return static_cast<TQueuedPaths::TBucket>((hash ^ (hash >> 29)) % TQueuedPaths::BucketCount);
}

}  // namespace

TQueuedPaths::TBucket TQueuedPaths::BucketOf(std::string_view path)
{
    uint64_t hash = FnvOffset;
    for (const char c : path)
        hash = Step(hash, c);
    return Fold(hash);
}

bool TQueuedPaths::MayHold(std::string_view path) const
{
    uint64_t hash = FnvOffset;
    for (const char c : path) {
        if (c == '/' && FCounts[Fold(hash)] != 0)
            return true;
        hash = Step(hash, c);
    }
    return FCounts[Fold(hash)] != 0;
}
