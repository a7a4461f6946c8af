#pragma once

#include <QString>

// Starts the program with `argument` as its one argument, in the program's own
// folder, and waits for it to end, however long that takes. True when the
// process started.
bool RunAndWait(const QString& programPath, const QString& argument);
