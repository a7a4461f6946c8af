#include "app/ProgramStart.h"

#include "extract/TfrmMain.h"
#include "launcher/TfrmConfig.h"

int main(int argc, char** argv)
{
    app::StartupWindows windows;
    windows.createExtractionWindow = [] { return std::make_unique<TfrmMain>(); };
    windows.createLauncherWindow = [] { return std::make_unique<TfrmConfig>(); };
    return app::RunProgram(argc, argv, windows);
}
