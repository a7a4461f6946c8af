#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

// Names of a run's files, one per entry of a large archive. A name costs
// little more than its bytes: the bytes lie back to back in the blocks of an
// arena, which several tables may share, and a table holds only their places.

class TNameArena {
public:
    static constexpr size_t BlockSize = 64 * 1024;
    static constexpr size_t MaxName = BlockSize - 3;

    // Where a copy of `name`, with one byte of value, now lies; 0 when no
    // room is left (names are kept until the arena goes).
    uint32_t Add(std::string_view name, uint8_t value);
    std::string_view Name(uint32_t place) const;
    uint8_t& Value(uint32_t place);
    uint8_t Value(uint32_t place) const;

private:
    char* At(uint32_t place) const;

    std::vector<std::unique_ptr<char[]>> FBlocks;
    size_t FUsed = BlockSize;  // in the last block
};

// A set of names with one byte each, over an arena.
class TNameTable {
public:
    explicit TNameTable(TNameArena& arena) : FArena(&arena) {}

    // False when the name cannot be kept (too long, or the arena is full).
    bool Set(std::string_view name, uint8_t value);
    std::optional<uint8_t> Get(std::string_view name) const;
    void Erase(std::string_view name);

private:
    static constexpr uint32_t Free = 0;
    static constexpr uint32_t Erased = UINT32_MAX;
    size_t Find(std::string_view name) const;
    void Grow();

    TNameArena* FArena;
    std::vector<uint32_t> FPlaces;
    size_t FUsedSlots = 0;  // names and erased slots alike
};
