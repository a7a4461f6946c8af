#include "archive/writer/NameTable.h"

#include <algorithm>
#include <cstring>
#include <functional>

// A place is (block << 16 | offset) + 1, so 0 means none; an entry is two
// bytes of length, one of value, then the name.

char* TNameArena::At(uint32_t place) const
{
    --place;
    return FBlocks[place >> 16].get() + (place & 0xFFFF);
}

uint32_t TNameArena::Add(std::string_view name, uint8_t value)
{
    if (name.size() > MaxName)
        return 0;
    if (FUsed + 3 + name.size() > BlockSize) {
        if (FBlocks.size() >= 0xFFFF)
            return 0;
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
        FUsed = 0;
    }
    char* p = FBlocks.back().get() + FUsed;
    p[0] = static_cast<char>(name.size() & 0xFF);
    p[1] = static_cast<char>(name.size() >> 8);
    p[2] = static_cast<char>(value);
    std::memcpy(p + 3, name.data(), name.size());
    const auto place = static_cast<uint32_t>((FBlocks.size() - 1) << 16 | FUsed) + 1;
    FUsed += 3 + name.size();
    return place;
}

std::string_view TNameArena::Name(uint32_t place) const
{
    const char* p = At(place);
    return {p + 3, static_cast<unsigned char>(p[0]) | size_t(static_cast<unsigned char>(p[1])) << 8};
}

uint8_t& TNameArena::Value(uint32_t place)
{
    return reinterpret_cast<uint8_t&>(At(place)[2]);
}

uint8_t TNameArena::Value(uint32_t place) const
{
    return static_cast<uint8_t>(At(place)[2]);
}

// The slot holding `name`, or else the free slot where it would go.
size_t TNameTable::Find(std::string_view name) const
{
    const size_t mask = FPlaces.size() - 1;
    size_t erased = SIZE_MAX;
    for (size_t i = std::hash<std::string_view>{}(name)&mask;; i = (i + 1) & mask) {
        const uint32_t place = FPlaces[i];
        if (place == Free)
            return erased != SIZE_MAX ? erased : i;
        if (place == Erased) {
            if (erased == SIZE_MAX)
                erased = i;
        } else if (FArena->Name(place) == name) {
            return i;
        }
    }
}

void TNameTable::Grow()
{
    std::vector<uint32_t> old = std::move(FPlaces);
    size_t names = 0;
    for (const uint32_t place : old)
        names += place != Free && place != Erased;
    // Erased slots are dropped; the table doubles only when names fill it.
    size_t size = std::max<size_t>(8, old.size());
    while ((names + 1) * 2 > size)
        size *= 2;
    FPlaces.assign(size, Free);
    FUsedSlots = names;
    for (const uint32_t place : old)
        if (place != Free && place != Erased)
            FPlaces[Find(FArena->Name(place))] = place;
}

bool TNameTable::Set(std::string_view name, uint8_t value)
{
    if ((FUsedSlots + 1) * 2 > FPlaces.size())
        Grow();
    const size_t slot = Find(name);
    uint32_t& place = FPlaces[slot];
    if (place != Free && place != Erased) {
        FArena->Value(place) = value;
        return true;
    }
    const uint32_t added = FArena->Add(name, value);
    if (added == 0)
        return false;
    if (place == Free)
        ++FUsedSlots;
    place = added;
    return true;
}

std::optional<uint8_t> TNameTable::Get(std::string_view name) const
{
    if (FPlaces.empty())
        return std::nullopt;
    const uint32_t place = FPlaces[Find(name)];
    if (place == Free || place == Erased)
        return std::nullopt;
    return FArena->Value(place);
}

void TNameTable::Erase(std::string_view name)
{
    if (FPlaces.empty())
        return;
    uint32_t& place = FPlaces[Find(name)];
    if (place != Free && place != Erased)
        place = Erased;
}
