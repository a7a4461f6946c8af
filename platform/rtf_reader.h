#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace platform {

// True when the data begins the way every RTF document does: "{\rtf".
bool IsRtf(const QByteArray& data);

// Replaces the document's content by the RTF data: paragraphs, line breaks,
// tabs, bold, italic, underline, font size, colours, and characters in the
// document's code page or as Unicode. Destinations that carry no visible text
// (font and style tables, document information, pictures, ...) are skipped.
// Broken input never fails: whatever could be read is shown.
void ReadRtf(const QByteArray& data, QTextDocument& document);

// RTF data through ReadRtf; anything else as plain text (UTF-8, or
// Windows-1252 when the bytes are not valid UTF-8).
void LoadRichOrPlainText(const QByteArray& data, QTextDocument& document);

// 8-bit text in a Windows code page (1252 built in; others as far as the Qt
// build knows them, else read as 1252).
QString DecodeCodePage(const QByteArray& bytes, int codePage);

}  // namespace platform
