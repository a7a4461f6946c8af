#pragma once

#include "app/Startup.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

namespace app {

// How the two windows of the program are made; main() hands in the real
// ones, tests stand-ins. The extraction window gets the archive's absolute
// path, decided here once.
struct StartupWindows {
    std::function<std::unique_ptr<QWidget>(const std::string& archive)> createExtractionWindow;
    std::function<std::unique_ptr<QWidget>()> createLauncherWindow;
    // The process ends as soon as the extraction window has closed, its
    // run over and its files whole, without taking the windows and the
    // application apart first: the program's own copy, not a test's.
    bool endAtOnceAfterExtraction = false;
};

// The whole program: the shutdown road before any application object exists
// (it needs no display), the others with one. Returns the exit code, 0.
int RunProgram(int argc, char** argv, const StartupWindows& windows);

// The roads that need the application object, which must exist already:
// shows the error box, or creates the windows and runs the message loop
// until the main window closes. Returns the exit code, 0.
int RunStartupRoad(const StartupChoice& choice, const StartupWindows& windows);

// Names the local time zone in TZ unless the user has set TZ, before the
// UnRAR library is loaded.
void SetTimeZoneIfUnset();

// Sets the application's name, which titles the error box and the task bar.
void SetUpApplication();

// The box for an archive that names no file; tests catch it instead of
// showing it. An empty handler restores the real box.
void ShowFileNotFoundBox(const QString& text);
void SetFileNotFoundBoxHandler(std::function<void(const QString& title, const QString& text)> handler);

}  // namespace app
