#include "platform/locale.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace platform {

namespace {

bool CharacterSetIsUtf8()
{
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

}  // namespace

void SetUpProcessLocale()
{
    const bool taken = std::setlocale(LC_ALL, "") != nullptr;
    if (!taken || !CharacterSetIsUtf8())
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace platform
