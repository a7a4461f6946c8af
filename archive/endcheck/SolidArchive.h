#pragma once

#include <string>

// True when the loaded UnRAR library reads `fileName` as a solid archive.
// False when it is not solid or cannot be opened without more (a password
// for its headers, say): the caller then keeps to its usual way.
bool IsSolidArchive(const std::string& fileName);
