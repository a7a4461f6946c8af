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
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

QString DecodeCp1252(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += (b >= 0x80 && b <= 0x9F) ? QChar(kCp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// Destinations whose content is not part of the visible text.
constexpr std::string_view kSkippedDestinations[] = {
    "author", "bkmkend", "bkmkstart", "buptim", "colorschememapping", "comment", "creatim",
    "datastore", "doccomm", "docvar", "falt", "fldinst", "filetbl", "fonttbl", "footer",
    "footerf", "footerl", "footerr", "footnote", "ftncn", "ftnsep", "ftnsepc", "generator",
    "header", "headerf", "headerl", "headerr", "info", "keywords", "latentstyles", "listoverridetable",
    "listtable", "nonshppict", "object", "operator", "pict", "pn", "printim", "private", "revtbl",
    "revtim", "rsidtbl", "stylesheet", "subject", "themedata", "title", "xmlnstbl",
};

bool IsSkippedDestination(std::string_view word)
{
    for (const auto d : kSkippedDestinations)
        if (d == word)
            return true;
    return false;
}

// Deeper nesting than this is counted but not tracked; no real document comes near it.
constexpr size_t kMaxDepth = 4096;

class RtfReader {
public:
    RtfReader(const QByteArray& data, QTextDocument& document) : in_(data), cursor_(&document)
    {
        document.clear();
        cursor_ = QTextCursor(&document);
    }

    void Run()
    {
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
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
        skipChars_ = 0;
        if (stack_.size() >= kMaxDepth) {
            ++overflowDepth_;
            return;
        }
        stack_.push_back(state_);
        groupStart_ = true;
    }

    void CloseGroup()
    {
        FlushText();
        skipChars_ = 0;
        if (overflowDepth_ > 0) {
            --overflowDepth_;
            return;
        }
        if (stack_.empty())
            return;  // a stray closing brace
        state_ = stack_.back();
        stack_.pop_back();
    }

    void TextByte(char c)
    {
        groupStart_ = false;
        if (state_.skip)
            return;
        if (state_.colorTable) {
            if (c == ';') {
                colors_.push_back(colorSet_ ? std::optional<QColor>(QColor(red_, green_, blue_)) : std::nullopt);
                red_ = green_ = blue_ = 0;
                colorSet_ = false;
            }
            return;
        }
        if (skipChars_ > 0) {
            --skipChars_;
            return;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            pendingBytes_ += c;
            return;
        }
        FlushBytes();
        pendingText_ += QChar(static_cast<char16_t>(c));
    }

    void ControlSequence()
    {
        if (pos_ >= in_.size())
            return;
        const char c = in_[pos_];
        if (IsLetter(c)) {
            ControlWord();
            return;
        }
        ++pos_;
        const bool atGroupStart = groupStart_;
        groupStart_ = false;
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
                state_.skip = true;
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
        if (pos_ + 2 > in_.size()) {
            pos_ = in_.size();
            return;
        }
        const int high = HexValue(in_[pos_]);
        const int low = HexValue(in_[pos_ + 1]);
        pos_ += 2;
        if (high < 0 || low < 0)
            return;
        if (state_.skip || state_.colorTable)
            return;
        if (skipChars_ > 0) {
            --skipChars_;
            return;
        }
        pendingBytes_ += static_cast<char>(high * 16 + low);
    }

    void ControlWord()
    {
        const qsizetype start = pos_;
        while (pos_ < in_.size() && IsLetter(in_[pos_]) && pos_ - start < 32)
            ++pos_;
        const std::string_view word(in_.constData() + start, static_cast<size_t>(pos_ - start));

        bool hasParam = false;
        bool negative = false;
        long long param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int digits = 0;
        while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
            if (digits < 10)
                param = param * 10 + (in_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        hasParam = digits > 0;
        if (negative)
            param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_;

        groupStart_ = false;
        Apply(word, hasParam, static_cast<int>(std::clamp<long long>(param, INT32_MIN, INT32_MAX)));
    }

    void Apply(std::string_view word, bool hasParam, int param)
    {
        if (word == "bin") {
            // Binary data: skip it byte for byte, it may hold braces.
            const qsizetype n = hasParam && param > 0 ? param : 0;
            pos_ = std::min(in_.size(), pos_ + n);
            return;
        }
        if (state_.skip)
            return;
        if (IsSkippedDestination(word)) {
            state_.skip = true;
            return;
        }
        if (word == "colortbl") {
            state_.colorTable = true;
            return;
        }
        if (state_.colorTable) {
            const int value = std::clamp(param, 0, 255);
            if (word == "red")
                red_ = value, colorSet_ = true;
            else if (word == "green")
                green_ = value, colorSet_ = true;
            else if (word == "blue")
                blue_ = value, colorSet_ = true;
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
                pendingText_ += QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param));
                skipChars_ = state_.unicodeSkip;
            }
        } else if (word == "uc") {
            state_.unicodeSkip = std::clamp(param, 0, 16);
        } else if (word == "b") {
            SetFormat(state_.bold, on);
        } else if (word == "i") {
            SetFormat(state_.italic, on);
        } else if (word == "ul") {
            SetFormat(state_.underline, on);
        } else if (word == "ulnone") {
            SetFormat(state_.underline, false);
        } else if (word == "fs") {
            FlushText();
            state_.pointSize = hasParam && param > 0 ? std::min(param, 3276) / 2.0 : 0;
        } else if (word == "cf") {
            FlushText();
            state_.color = hasParam ? param : 0;
        } else if (word == "plain") {
            FlushText();
            state_.bold = state_.italic = state_.underline = false;
            state_.pointSize = 0;
            state_.color = 0;
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
                codePage_ = param;
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
        QTextBlockFormat format = cursor_.blockFormat();
        format.setAlignment(alignment);
        cursor_.setBlockFormat(format);
    }

    // Indents come in twips; 15 twips make a pixel at 96 dots per inch.
    void SetIndents(std::optional<int> left, std::optional<int> firstLine)
    {
        FlushText();
        QTextBlockFormat format = cursor_.blockFormat();
        if (left)
            format.setLeftMargin(std::clamp(*left, 0, 30000) / 15.0);
        if (firstLine)
            format.setTextIndent(std::clamp(*firstLine, -30000, 30000) / 15.0);
        cursor_.setBlockFormat(format);
    }

    void Insert(QChar c)
    {
        if (state_.skip || state_.colorTable)
            return;
        FlushBytes();
        pendingText_ += c;
    }

    void Paragraph()
    {
        if (state_.skip || state_.colorTable)
            return;
        FlushText();
        cursor_.insertBlock();
    }

    void FlushBytes()
    {
        if (pendingBytes_.isEmpty())
            return;
        pendingText_ += DecodeCodePage(pendingBytes_, codePage_);
        pendingBytes_.clear();
    }

    void FlushText()
    {
        FlushBytes();
        if (pendingText_.isEmpty())
            return;
        cursor_.insertText(pendingText_, CharFormat());
        pendingText_.clear();
    }

    QTextCharFormat CharFormat() const
    {
        QTextCharFormat format;
        if (state_.bold)
            format.setFontWeight(QFont::Bold);
        if (state_.italic)
            format.setFontItalic(true);
        if (state_.underline)
            format.setFontUnderline(true);
        if (state_.pointSize > 0)
            format.setFontPointSize(state_.pointSize);
        if (state_.color > 0 && static_cast<size_t>(state_.color) < colors_.size() && colors_[state_.color])
            format.setForeground(*colors_[state_.color]);
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

    const QByteArray& in_;
    qsizetype pos_ = 0;
    QTextCursor cursor_;
    State state_;
    std::vector<State> stack_;
    size_t overflowDepth_ = 0;
    bool groupStart_ = false;
    int skipChars_ = 0;
    int codePage_ = 1252;
    QString pendingText_;
    QByteArray pendingBytes_;
    std::vector<std::optional<QColor>> colors_;
    int red_ = 0;
    int green_ = 0;
    int blue_ = 0;
    bool colorSet_ = false;
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
