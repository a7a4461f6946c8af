// Feeds mutated archives through the engine, listing and then extracting
// into a scratch folder, as the window drives it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "archive/VoskUnRar.h"
#include "platform/program_folder.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
    Scratch()
    {
        // Under TMPDIR, which scripts/fuzz removes: the process may end in
        // a crash or a kill that runs no clean-up of ours.
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/brambold-fuzz-XXXXXX";
        root = mkdtemp(pattern.data());
        // No silent.txt or password.txt of the user's may take part.
        fs::create_directories(root / "program");
        platform::SetProgramFolder((root / "program").string());
    }
    fs::path root;
};

Scratch& Folder()
{
    static Scratch scratch;
    return scratch;
}

// Answers every question the way a user who gives up would.
struct GiveUp : IUnRarPrompts {
    std::string AskPassword(const std::string&, const TPasswordRequest&) override { return "x"; }
    bool AskNextVolume(const std::string&, std::string& name) override
    {
        name.clear();
        return false;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static GiveUp prompts;
    static TVoskUnRar component(&prompts);
    const fs::path archive = Folder().root / "input.rar";
    const fs::path out = Folder().root / "out";
    {
        std::ofstream file(archive, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    fs::remove_all(out);
    fs::create_directories(out);

    TVoskUnRar& c = component;
    size_t events = 0;
    c.OnError = [&](TVoskUnRar&, const std::string& m, int32_t) { events += m.size(); };
    c.OnFileProcessing = [&](TVoskUnRar&, const TVoskRARHeaderData& h, int32_t) { events += h.FileName.size(); };
    c.OnOverride = [](TVoskUnRar&, const std::string&, bool& can) { can = true; };
    c.PromptForPass = true;
    c.PromptForVolumn = true;
    c.FileName = archive.string();
    c.Directory = out.string();
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    for (TVoskRarMode mode : {TVoskRarMode::VOSKRAR_LIST, TVoskRarMode::VOSKRAR_EXTRACT}) {
        c.SetMode(mode);
        c.CanProgress = mode == TVoskRarMode::VOSKRAR_EXTRACT;
        c.ProcessArchive();
    }
    fs::remove_all(out);
    return 0;
}
