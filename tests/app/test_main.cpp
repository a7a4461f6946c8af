#include "app/TBramboldApplication.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Listing the tests at build time runs this too, without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TBramboldApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
