#pragma once

#include <array>
#include <span>

// What the launcher does with the language identifier found in the settings.
enum class TLanguageRowKind {
    Text,         // four lines replace the English instruction
    Picture,      // the instruction as a picture, from a hidden holder
    OwnPicture,   // LanguageImage's own picture (Arabic), at its own place
    German,       // German text, help, captions and links
    KeepEnglish,  // the English text stays
};

using TInstructionLines = std::array<const char*, 4>;  // UTF-8

struct TLanguageRow {
    int Id;
    TLanguageRowKind Kind;
    const char* Language;
    const TInstructionLines* Lines;  // Text and German rows
    const char* PictureHolder;       // Picture and OwnPicture rows
};

// All identifiers the program knows, ascending.
std::span<const TLanguageRow> LanguageRows();

// The row of an identifier, or nullptr when it has none (the English text stays).
const TLanguageRow* FindLanguageRow(int languageId);

// A control (by object name) and its German caption.
struct TCaptionRow {
    const char* Control;
    const char* Caption;
};

std::span<const TCaptionRow> GermanCaptions();
