#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "archive/writer/NameTable.h"

// Sets, erases and questions in random order over a small pool of names, so
// erased slots are reused and the table grows over them; every answer must
// be what a plain map gives.
TEST(NameTable, AnswersAsAMapThroughSetsErasesAndGrowth)
{
    TNameArena arena;
    TNameTable table(arena);
    TNameTable other(arena);  // shares the arena, keeps apart
    std::map<std::string, uint8_t> model;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, 499), op(0, 9);
    for (int step = 0; step < 200000; ++step) {
        const std::string name = "folder/" + std::to_string(pick(random)) + (step % 3 ? ".txt" : "");
        const int what = op(random);
        if (what < 4) {
            const auto value = static_cast<uint8_t>(step & 0xFF);
            ASSERT_TRUE(table.Set(name, value));
            model[name] = value;
        } else if (what < 7) {
            table.Erase(name);
            model.erase(name);
        } else {
            const auto it = model.find(name);
            ASSERT_EQ(table.Get(name), it == model.end() ? std::nullopt : std::optional<uint8_t>(it->second))
                << name << " at step " << step;
        }
        if (step == 1000)
            other.Set(name, 1);
    }
    for (const auto& [name, value] : model)
        EXPECT_EQ(table.Get(name), value) << name;
    EXPECT_EQ(other.Get("folder/x"), std::nullopt);
}

TEST(NameTable, KeepsManyNamesAcrossBlocksAndRefusesWhatCannotFit)
{
    TNameArena arena;
    TNameTable table(arena);
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(table.Set("d" + std::to_string(i % 100) + "/file" + std::to_string(i), 0));
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(table.Get("d" + std::to_string(i % 100) + "/file" + std::to_string(i))) << i;
    EXPECT_FALSE(table.Get("d1/file2"));
    EXPECT_FALSE(table.Get(""));
    EXPECT_TRUE(table.Set("", 3));
    EXPECT_EQ(table.Get(""), 3);

    const std::string huge(TNameArena::MaxName + 1, 'x');
    EXPECT_FALSE(table.Set(huge, 1));
    EXPECT_FALSE(table.Get(huge));
    const std::string largest(TNameArena::MaxName, 'y');
    EXPECT_TRUE(table.Set(largest, 2));
    EXPECT_EQ(table.Get(largest), 2);
}
