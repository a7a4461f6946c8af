#include "platform/ascii.h"

#include <gtest/gtest.h>

namespace {

// The neighbours of the letter ranges ('@' '[' '`' '{') catch a range that is
// one off; the UTF-8 bytes of "Äß" and a UTF-16 'ä' must not be touched.
TEST(Ascii, OnlyTheAsciiLettersChangeCase)
{
    EXPECT_EQ(platform::FoldAscii("@AZ[`az{ Name.RAR"), "@az[`az{ name.rar");
    EXPECT_EQ(platform::FoldAscii("\xC3\x84\xC3\x9F.TXT"), "\xC3\x84\xC3\x9F.txt");
    EXPECT_EQ(platform::UpperAscii('`'), '`');
    EXPECT_EQ(platform::UpperAscii('a'), 'A');
    EXPECT_EQ(platform::UpperAscii('z'), 'Z');
    EXPECT_EQ(platform::UpperAscii('{'), '{');
    EXPECT_EQ(platform::UpperAscii(u'\u00E4'), u'\u00E4');
    EXPECT_EQ(platform::LowerAscii(u'\u00C4'), u'\u00C4');
    EXPECT_EQ(platform::LowerAscii(u'Q'), u'q');
}

}  // namespace
