#include "app/ProgramStart.h"

#include "app/TResponsivenessProbe.h"
#include "extract/TfrmMain.h"
#include "launcher/TfrmConfig.h"

int main(int argc, char** argv)
{
    app::StartupWindows windows;
    windows.createExtractionWindow = [](const std::string& archive) {
        auto window = std::make_unique<TfrmMain>(archive);
        TResponsivenessProbe::AttachIfAsked(*window);
        return window;
    };
    windows.createLauncherWindow = [] { return std::make_unique<TfrmConfig>(); };
    windows.endAtOnceAfterExtraction = true;
    return app::RunProgram(argc, argv, windows);
}
