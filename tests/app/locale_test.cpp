#include "platform/locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <langinfo.h>
#include <optional>
#include <string>

namespace {

struct LocaleCase {
    const char* name;
    const char* lang;
    const char* lcAll;
};

void PrintTo(const LocaleCase& row, std::ostream* out)
{
    *out << row.name;
}

class ProcessLocale : public ::testing::TestWithParam<LocaleCase> {
protected:
    void SetUp() override
    {
        for (const char* variable : {"LANG", "LC_ALL", "LC_CTYPE"}) {
            const char* value = std::getenv(variable);
            saved.emplace_back(variable, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(variable);
        }
    }
    void TearDown() override
    {
        for (const auto& [variable, value] : saved) {
            if (value)
                setenv(variable.c_str(), value->c_str(), 1);
            else
                unsetenv(variable.c_str());
        }
        platform::SetUpProcessLocale();
    }
    static void Set(const char* variable, const char* value)
    {
        if (value)
            setenv(variable, value, 1);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_P(ProcessLocale, CharacterHandlingEndsUpUtf8)
{
    Set("LANG", GetParam().lang);
    Set("LC_ALL", GetParam().lcAll);
    std::setlocale(LC_ALL, "C");

    platform::SetUpProcessLocale();

    EXPECT_STREQ(nl_langinfo(CODESET), "UTF-8");
    // What the UnRAR library does with each wide file name before creating it.
    char converted[32];
    EXPECT_EQ(std::wcstombs(converted, L"M\u00fcller \u65e5\u672c", sizeof converted), 14u);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProcessLocale,
                         ::testing::Values(LocaleCase{"plain_c_language", "C", nullptr},
                                           LocaleCase{"c_forced_for_every_category", nullptr, "C"},
                                           LocaleCase{"a_locale_that_is_not_installed", "xx_YY.UTF-8", nullptr},
                                           LocaleCase{"nothing_set_at_all", nullptr, nullptr},
                                           LocaleCase{"already_utf8", "C.UTF-8", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
