#include "platform/rtf_reader.h"

#include <QColor>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
// clang-format off
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};
// clang-format on

QString DecodeCp1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += (b >= 0x80 && b <= 0x9F) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// Destinations whose content is not part of the visible text.
// clang-format off
constexpr std::string_view SkippedDestinations[] = {
    "author", "bkmkend", "bkmkstart", "buptim", "colorschememapping", "comment", "creatim",
    "datastore", "doccomm", "docvar", "falt", "fldinst", "filetbl", "fonttbl", "footer",
    "footerf", "footerl", "footerr", "footnote", "ftncn", "ftnsep", "ftnsepc", "generator",
    "header", "headerf", "headerl", "headerr", "info", "keywords", "latentstyles", "listoverridetable",
    "listtable", "nonshppict", "object", "operator", "pict", "pn", "printim", "private", "revtbl",
    "revtim", "rsidtbl", "stylesheet", "subject", "themedata", "title", "xmlnstbl",
};
// clang-format on

bool IsSkippedDestination(std::string_view word)
{
    for (const auto d : SkippedDestinations)
        if (d == word)
            return true;
    return false;
}

// Deeper nesting than this is counted but not tracked; no real document comes near it.
constexpr size_t MaxDepth = 4096;

class RtfReader {
public:
    RtfReader(const QByteArray& data, QTextDocument& document) : FIn(data), FCursor(&document)
    {
        document.clear();
        FCursor = QTextCursor(&document);
    }

    void Run()
    {
        while (FPos < FIn.size()) {
            const char c = FIn[FPos++];
            switch (c) {
            case '{':
                OpenGroup();
                break;
            case '}':
                CloseGroup();
                break;
            case '\\':
                ControlSequence();
                break;
            case '\r':
            case '\n':
                break;
            default:
                TextByte(c);
                break;
            }
        }
        FlushText();
    }

private:
    struct State {
        bool bold = false;
        bool italic = false;
        bool underline = false;
        double pointSize = 0;  // 0: the view's own size
        int color = 0;         // 0: the view's own colour
        int unicodeSkip = 1;
        bool skip = false;
        bool colorTable = false;
    };

    void OpenGroup()
    {
        FlushText();
        FSkipChars = 0;
        if (FStack.size() >= MaxDepth) {
            ++FOverflowDepth;
            return;
        }
        FStack.push_back(FState);
        FGroupStart = true;
    }

    void CloseGroup()
    {
        FlushText();
        FSkipChars = 0;
        if (FOverflowDepth > 0) {
            --FOverflowDepth;
            return;
        }
        if (FStack.empty())
            return;  // a stray closing brace
        FState = FStack.back();
        FStack.pop_back();
    }

    void TextByte(char c)
    {
        FGroupStart = false;
        if (FState.skip)
            return;
        if (FState.colorTable) {
            if (c == ';') {
                FColors.push_back(FColorSet ? std::optional<QColor>(QColor(FRed, FGreen, FBlue)) : std::nullopt);
                FRed = FGreen = FBlue = 0;
                FColorSet = false;
            }
            return;
        }
        if (FSkipChars > 0) {
            --FSkipChars;
            return;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            FPendingBytes += c;
            return;
        }
        FlushBytes();
        FPendingText += QChar(static_cast<char16_t>(c));
    }

    void ControlSequence()
    {
        if (FPos >= FIn.size())
            return;
        const char c = FIn[FPos];
        if (IsLetter(c)) {
            ControlWord();
            return;
        }
        ++FPos;
        const bool atGroupStart = FGroupStart;
        FGroupStart = false;
        switch (c) {
        case '\'':
            HexByte();
            break;
        case '\\':
        case '{':
        case '}':
            TextByte(c);
            break;
        case '*':
            if (atGroupStart)
                FState.skip = true;
            break;
        case '~':
            Insert(QChar(0x00A0));
            break;
        case '_':
            Insert(QChar(0x2011));
            break;
        case '\r':
        case '\n':
            Paragraph();
            break;
        default:
            break;  // \- (optional hyphen) and unknown symbols
        }
    }

    void HexByte()
    {
        if (FPos + 2 > FIn.size()) {
            FPos = FIn.size();
            return;
        }
        const int high = HexValue(FIn[FPos]);
        const int low = HexValue(FIn[FPos + 1]);
        FPos += 2;
        if (high < 0 || low < 0)
            return;
        if (FState.skip || FState.colorTable)
            return;
        if (FSkipChars > 0) {
            --FSkipChars;
            return;
        }
        FPendingBytes += static_cast<char>(high * 16 + low);
    }

    void ControlWord()
    {
        const qsizetype start = FPos;
        while (FPos < FIn.size() && IsLetter(FIn[FPos]) && FPos - start < 32)
            ++FPos;
        const std::string_view word(FIn.constData() + start, static_cast<size_t>(FPos - start));

        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (FPos < FIn.size() && FIn[FPos] == '-') {
            negative = true;
            ++FPos;
        }
        int digits = 0;
        while (FPos < FIn.size() && FIn[FPos] >= '0' && FIn[FPos] <= '9') {
            if (digits < 10)
                param = param * 10 + (FIn[FPos] - '0');
            ++digits;
            ++FPos;
        }
        hasParam = digits > 0;
        if (negative)
            param = -param;
        if (FPos < FIn.size() && FIn[FPos] == ' ')
            ++FPos;

        FGroupStart = false;
        Apply(word, hasParam, static_cast<int>(std::clamp<long long>(param, INT32_MIN, INT32_MAX)));
    }

    void Apply(std::string_view word, bool hasParam, int param)
    {
        if (word == "bin") {
            // Binary data: skip it byte for byte, it may hold braces.
            const qsizetype n = hasParam && param > 0 ? param : 0;
            FPos = std::min(FIn.size(), FPos + n);
            return;
        }
        if (FState.skip)
            return;
        if (IsSkippedDestination(word)) {
            FState.skip = true;
            return;
        }
        if (word == "colortbl") {
            FState.colorTable = true;
            return;
        }
        if (FState.colorTable) {
            const int value = std::clamp(param, 0, 255);
            if (word == "red")
                FRed = value, FColorSet = true;
            else if (word == "green")
                FGreen = value, FColorSet = true;
            else if (word == "blue")
                FBlue = value, FColorSet = true;
            return;
        }
        const bool on = !hasParam || param != 0;
        if (word == "par" || word == "page") {
            Paragraph();
        } else if (word == "line") {
            Insert(QChar(QChar::LineSeparator));
        } else if (word == "tab") {
            Insert(QChar('\t'));
        } else if (word == "u") {
            if (hasParam) {
                FlushBytes();
                FPendingText += QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param));
                FSkipChars = FState.unicodeSkip;
            }
        } else if (word == "uc") {
            FState.unicodeSkip = std::clamp(param, 0, 16);
        } else if (word == "b") {
            SetFormat(FState.bold, on);
        } else if (word == "i") {
            SetFormat(FState.italic, on);
        } else if (word == "ul") {
            SetFormat(FState.underline, on);
        } else if (word == "ulnone") {
            SetFormat(FState.underline, false);
        } else if (word == "fs") {
            FlushText();
            FState.pointSize = hasParam && param > 0 ? std::min(param, 3276) / 2.0 : 0;
        } else if (word == "cf") {
            FlushText();
            FState.color = hasParam ? param : 0;
        } else if (word == "plain") {
            FlushText();
            FState.bold = FState.italic = FState.underline = false;
            FState.pointSize = 0;
            FState.color = 0;
        } else if (word == "pard") {
            SetAlignment(Qt::AlignLeft);
            SetIndents(0, 0);
        } else if (word == "li") {
            SetIndents(param, std::nullopt);
        } else if (word == "fi") {
            SetIndents(std::nullopt, param);
        } else if (word == "ql") {
            SetAlignment(Qt::AlignLeft);
        } else if (word == "qc") {
            SetAlignment(Qt::AlignHCenter);
        } else if (word == "qr") {
            SetAlignment(Qt::AlignRight);
        } else if (word == "qj") {
            SetAlignment(Qt::AlignJustify);
        } else if (word == "ansicpg") {
            if (hasParam && param > 0)
                FCodePage = param;
        } else if (word == "emdash") {
            Insert(QChar(0x2014));
        } else if (word == "endash") {
            Insert(QChar(0x2013));
        } else if (word == "bullet") {
            Insert(QChar(0x2022));
        } else if (word == "lquote") {
            Insert(QChar(0x2018));
        } else if (word == "rquote") {
            Insert(QChar(0x2019));
        } else if (word == "ldblquote") {
            Insert(QChar(0x201C));
        } else if (word == "rdblquote") {
            Insert(QChar(0x201D));
        } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
            Insert(QChar(' '));
        }
        // Every other control word changes nothing we show.
    }

    void SetFormat(bool& flag, bool on)
    {
        FlushText();
        flag = on;
    }

    void SetAlignment(Qt::Alignment alignment)
    {
        FlushText();
        QTextBlockFormat format = FCursor.blockFormat();
        format.setAlignment(alignment);
        FCursor.setBlockFormat(format);
    }

    // Indents come in twips; 15 twips make a pixel at 96 dots per inch.
    void SetIndents(std::optional<int> left, std::optional<int> firstLine)
    {
        FlushText();
        QTextBlockFormat format = FCursor.blockFormat();
        if (left)
            format.setLeftMargin(std::clamp(*left, 0, 30000) / 15.0);
        if (firstLine)
            format.setTextIndent(std::clamp(*firstLine, -30000, 30000) / 15.0);
        FCursor.setBlockFormat(format);
    }

    void Insert(QChar c)
    {
        if (FState.skip || FState.colorTable)
            return;
        FlushBytes();
        FPendingText += c;
    }

    void Paragraph()
    {
        if (FState.skip || FState.colorTable)
            return;
        FlushText();
        FCursor.insertBlock();
    }

    void FlushBytes()
    {
        if (FPendingBytes.isEmpty())
            return;
        FPendingText += DecodeCodePage(FPendingBytes, FCodePage);
        FPendingBytes.clear();
    }

    void FlushText()
    {
        FlushBytes();
        if (FPendingText.isEmpty())
            return;
        FCursor.insertText(FPendingText, CharFormat());
        FPendingText.clear();
    }

    QTextCharFormat CharFormat() const
    {
        QTextCharFormat format;
        if (FState.bold)
            format.setFontWeight(QFont::Bold);
        if (FState.italic)
            format.setFontItalic(true);
        if (FState.underline)
            format.setFontUnderline(true);
        if (FState.pointSize > 0)
            format.setFontPointSize(FState.pointSize);
        if (FState.color > 0 && static_cast<size_t>(FState.color) < FColors.size() && FColors[FState.color])
            format.setForeground(*FColors[FState.color]);
        return format;
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    static int HexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    const QByteArray& FIn;
    qsizetype FPos = 0;
    QTextCursor FCursor;
    State FState;
    std::vector<State> FStack;
    size_t FOverflowDepth = 0;
    bool FGroupStart = false;
    int FSkipChars = 0;
    int FCodePage = 1252;
    QString FPendingText;
    QByteArray FPendingBytes;
    std::vector<std::optional<QColor>> FColors;
    int FRed = 0;
    int FGreen = 0;
    int FBlue = 0;
    bool FColorSet = false;
};

}  // namespace

bool IsRtf(const QByteArray& data)
{
    return data.startsWith("{\\rtf");
}

void ReadRtf(const QByteArray& data, QTextDocument& document)
{
    RtfReader(data, document).Run();
}

void LoadRichOrPlainText(const QByteArray& data, QTextDocument& document)
{
    if (IsRtf(data)) {
        ReadRtf(data, document);
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        text = DecodeCp1252(data);
    document.setPlainText(text);
}

QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    if (codePage == 1252)
        return DecodeCp1252(bytes);
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(QByteArray("windows-" + QByteArray::number(codePage)).constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QByteArray("cp" + QByteArray::number(codePage)).constData());
    if (!decoder.isValid())
        return DecodeCp1252(bytes);
    return decoder.decode(bytes);
}

}  // namespace platform
