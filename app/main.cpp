#include "app/ProgramStart.h"

#ifdef BRAMBOLD_HAVE_WINDOWS
#include "extract/TfrmMain.h"
#include "launcher/TfrmConfig.h"
#endif

int main(int argc, char** argv)
{
    app::StartupWindows windows;
#ifdef BRAMBOLD_HAVE_WINDOWS
    windows.createExtractionWindow = [] { return std::make_unique<TfrmMain>(); };
    windows.createLauncherWindow = [] { return std::make_unique<TfrmConfig>(); };
#else
    // Stand-ins until the extraction and launcher windows are built.
    windows.createExtractionWindow = [] { return std::make_unique<QWidget>(); };
    windows.createLauncherWindow = [] { return std::make_unique<QWidget>(); };
#endif
    return app::RunProgram(argc, argv, windows);
}
