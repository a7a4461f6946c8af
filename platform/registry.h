#pragma once

#include <QString>

namespace platform {

// The program's settings key: "Software\Tessmark\Brambold Free Unrar" in the
// Windows registry, an INI file under the XDG configuration folders on Linux.
enum class RegistryRoot {
    LocalMachine,  // machine-wide
    CurrentUser,
};

struct RegistryValue {
    enum class Kind {
        Missing,  // no such value (or the key cannot be read)
        Text,     // a single text, in `text`
        NotText,  // a list, binary data or another typed value
    };
    Kind kind = Kind::Missing;
    QString text;
};

RegistryValue ReadRegistryValue(RegistryRoot root, const QString& name);

// Stores `text` under `name`. False when the key cannot be written, e.g. no
// write access to the machine-wide file.
bool WriteRegistryText(RegistryRoot root, const QString& name, const QString& text);

}  // namespace platform
