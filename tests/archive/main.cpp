#include <clocale>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // What the program does at start: the library writes names through the
    // C locale, which must be UTF-8 even when the process starts under C.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_CTYPE, "C.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
