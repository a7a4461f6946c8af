#pragma once

#include <string>

// The two questions the archive engine may have to ask while the library
// works. The engine holds no widgets: the desktop program answers through
// Qt dialogs, the tests through scripted answers.
// What the engine knows of a password request.
struct TPasswordRequest {
    std::string archive;  // the archive's name, as the run was given it
    // The same archive asks again because the last answer was wrong.
    bool repeat = false;
};

class IUnRarPrompts {
public:
    virtual ~IUnRarPrompts() = default;

    // Password prompt. `prefill` is what the field starts with (the first
    // line of "password.txt", or empty). Returns the field's content however
    // the prompt was closed: Cancel hands the typed text on like OK.
    virtual std::string AskPassword(const std::string& prefill, const TPasswordRequest& request) = 0;

    // Next-volume prompt, pre-filled with `currentVolume`. `name` receives the
    // field's content however the prompt was closed; the result is true only
    // for OK.
    virtual bool AskNextVolume(const std::string& currentVolume, std::string& name) = 0;
};
