#include "app/ProgramStart.h"

#include "app/TResponsivenessProbe.h"
#include "extract/TfrmMain.h"
#include "launcher/TfrmConfig.h"

int main(int argc, char** argv)
{
    app::StartupWindows windows;
    windows.createExtractionWindow = [] {
        auto window = std::make_unique<TfrmMain>();
        TResponsivenessProbe::AttachIfAsked(*window);
        return window;
    };
    windows.createLauncherWindow = [] { return std::make_unique<TfrmConfig>(); };
    return app::RunProgram(argc, argv, windows);
}
