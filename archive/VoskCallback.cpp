// The library's callback: volumes, passwords and stop requests during a pass.
#include <cstring>
#include <utility>

#include "archive/VoskConvert.h"
#include "archive/VoskErrors.h"
#include "archive/VoskUnRar.h"
#include "platform/program_folder.h"
#include "platform/text_file.h"

int TVoskUnRar::UnRarCallback(UINT msg, LPARAM UserData, LPARAM P1, LPARAM P2)
{
    // Each pass hands the library its own component, so two components may
    // live at once.
    TVoskUnRar* component = UserData ? reinterpret_cast<TVoskUnRar*>(UserData) : CurrentUnRar;
    if (!component)
        return -1;
    // After a failure inside the callback the library is only let go.
    if (component->FPendingException)
        return -1;
    // Nothing may unwind through the library's frames: keep the exception
    // until the library call has returned.
    try {
        return component->Callback(msg, P1, P2);
    } catch (...) {
        component->FPendingException = std::current_exception();
        return -1;
    }
}

bool TVoskUnRar::KeepAliveDue(std::chrono::steady_clock::time_point now, bool anyway)
{
    if (!anyway && FLastKeepAlive != std::chrono::steady_clock::time_point{} &&
        now - FLastKeepAlive < KeepAliveInterval)
        return false;
    FLastKeepAlive = now;
    return true;
}

bool TVoskUnRar::KeepAliveDueAtData()
{
    // Chunks that come every few milliseconds belong to small entries: the
    // interval alone paces them. Chunks of a large entry come 10 to 30 ms
    // apart, and an interval of that order would let every other one pass,
    // doubling what the window waits.
    const auto now = std::chrono::steady_clock::now();
    const auto previous = std::exchange(FLastData, now);
    return KeepAliveDue(now, previous != std::chrono::steady_clock::time_point{} && now - previous >= SparseDataGap);
}

void TVoskUnRar::WhileWaiting()
{
    // Only what the window handles meanwhile: the writer's outcome is told
    // once the wait is over.
    if (KeepAlive && KeepAliveDue(std::chrono::steady_clock::now()))
        KeepAlive();
}

int TVoskUnRar::Callback(UINT msg, LPARAM P1, LPARAM P2)
{
    int answer = 0;
    switch (msg) {
    case UCM_CHANGEVOLUME:
        if (P2 == RAR_VOL_ASK) {
            answer = SettleToTell() ? AskForVolume(reinterpret_cast<char*>(P1)) : -1;
        } else if (P2 == RAR_VOL_NOTIFY)
            FLastVolume = reinterpret_cast<const char*>(P1);
        break;
    case UCM_PROCESSDATA:
        if (FWriter.Receiving() && P2 > 0)
            FWriter.Receive(reinterpret_cast<const char*>(P1), static_cast<size_t>(P2));
        if (KeepAlive && KeepAliveDueAtData()) {
            Settle();
            KeepAlive();
        }
        answer = StopProcessing ? -1 : 0;
        break;
    case UCM_NEEDPASSWORD:
        AnswerPassword(reinterpret_cast<char*>(P1), P2);
        break;
    default:
        // The wide-text requests stay unanswered, so the library follows
        // with the 8-bit ones handled above.
        break;
    }
    if (StopProcessing)
        answer = -1;
    return answer;
}

int TVoskUnRar::AskForVolume(char* buffer)
{
    int answer = 0;
    if (OnVolChange) {
        OnVolChange(*this, buffer, 0);
    } else if (PromptForVolumn && FPrompts) {
        const std::string current = FCurrentVolume;
        const bool ok = PromptNextVolume(current, buffer, VolumeNameCapacity);
        answer = ok && current != buffer ? 0 : -1;
    } else {
        // Nobody can name another volume: trying the same name again would
        // never end.
        answer = -1;
    }
    if (buffer[0] == '\0')
        answer = -1;
    // A name typed relative means the folder the run started in, not the
    // target folder the library is working in.
    if (answer == 0) {
        const std::string name = FWriter.Destination().FromStartFolder(buffer);
        if (name.size() < VolumeNameCapacity)
            std::memcpy(buffer, name.c_str(), name.size() + 1);
    }
    return answer;
}

void TVoskUnRar::AnswerPassword(char* buffer, LPARAM capacity)
{
    if (!SettleToTell()) {
        if (capacity > 0)
            buffer[0] = '\0';
        return;
    }
    std::string pw = Password;
    if (OnPassword)
        OnPassword(*this, pw);
    else if (PromptForPass && FPrompts)
        PromptPassword(pw);
    else
        DoError(VoskText(TVoskText::NoPassword), 0);

    pw = capacity > 0 ? CutUtf8(pw, static_cast<size_t>(capacity) - 1) : std::string();
    if (capacity > 0)
        std::memcpy(buffer, pw.c_str(), pw.size() + 1);
    FRunPassword = pw;
    DoStatus(VoskText(TVoskText::UsedPassword) + pw, TRarStatus::RAR_ONPASSWORD);
}

void TVoskUnRar::PromptPassword(std::string& password)
{
    const std::string prefill =
        platform::ReadFirstLine(platform::ProgramFolder() + "password.txt").value_or(std::string());
    // The library asks anew at the next open after a wrong answer, with the
    // same empty box: the prompt says why it is back.
    const TPasswordRequest request{FileName, FRejectedArchive == FileName};
    password = FPrompts->AskPassword(prefill, request);
}

bool TVoskUnRar::PromptNextVolume(const std::string& currentVolume, char* buffer, size_t capacity)
{
    std::string name;
    const bool ok = FPrompts->AskNextVolume(currentVolume, name);
    name = CutUtf8(name, capacity - 1);
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return ok;
}
