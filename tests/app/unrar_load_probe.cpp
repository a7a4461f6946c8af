// Loads the UnRAR library as two archive components would, one after the
// other, and says whether it loaded; what the loading wrote to stderr is the
// test's to read.
#include "archive/library/untUnRar.h"

#include <cstdio>

int main()
{
    for (int i = 0; i < 2; ++i) {
        untUnRar::LoadUnRarLibrary();
        std::printf("%s\n", untUnRar::UnRarLoaded ? "loaded" : "not loaded");
        untUnRar::FreeUnRarLibrary();
    }
    return 0;
}
