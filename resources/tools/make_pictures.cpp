// Draws every picture the program shows and writes them as JPEGs.
//
// Usage: make_pictures <instructions.json> <output folder>
//
// Each picture is written twice: name.jpg as the windows lay it out, and
// name@2x.jpg drawn at twice the pixels for screens with a device pixel ratio
// above 1, so they are not stretched.
//
// The instruction pictures need the Noto fonts of each script (Debian:
// fonts-noto-core, fonts-noto-cjk); see resources/pictures/README.md.
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int JpegQuality = 92;

bool Save(const QImage& image, const QString& path)
{
    if (!image.save(path, "JPEG", JpegQuality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Pixels per layout pixel of the pictures being drawn: 1, or 2 for @2x.
int Scale = 1;

// A canvas of the given layout size; a painter on it draws in layout pixels.
QImage Canvas(int width, int height, QColor fill = Qt::white)
{
    QImage image(width * Scale, height * Scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(Scale);
    image.fill(fill);
    return image;
}

QRectF Area(const QImage& image)
{
    return QRectF(QPointF(0, 0), image.deviceIndependentSize());
}

void Antialiased(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

QFont Font(const QString& family, qreal pixelSize, int weight = QFont::Normal)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("Noto Sans")});
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// ---------------------------------------------------------------------------
// Instruction pictures

struct Instruction {
    QString language;
    QString holder;
    QString script;
    bool rightToLeft = false;
    QStringList lines;
};

QString FamilyFor(const QString& script)
{
    if (script == u"arabic")
        return QStringLiteral("Noto Sans Arabic");
    if (script == u"hebrew")
        return QStringLiteral("Noto Sans Hebrew");
    if (script == u"thai")
        return QStringLiteral("Noto Looped Thai");
    if (script == u"korean")
        return QStringLiteral("Noto Sans CJK KR");
    if (script == u"japanese")
        return QStringLiteral("Noto Sans CJK JP");
    if (script == u"chinese-simplified")
        return QStringLiteral("Noto Sans CJK SC");
    if (script == u"chinese-traditional")
        return QStringLiteral("Noto Sans CJK TC");
    return QStringLiteral("Noto Sans");
}

bool LoadInstructions(const QString& path, QList<Instruction>* out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (document.isNull()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(parseError.errorString()));
        return false;
    }
    for (const QJsonValue& value : document.object().value(u"languages").toArray()) {
        const QJsonObject row = value.toObject();
        Instruction instruction;
        instruction.language = row.value(u"language").toString();
        instruction.holder = row.value(u"holder").toString();
        instruction.script = row.value(u"script").toString();
        instruction.rightToLeft = row.value(u"rtl").toBool();
        for (const QJsonValue& line : row.value(u"lines").toArray())
            instruction.lines << line.toString();
        if (instruction.holder.isEmpty() || instruction.lines.size() != 4) {
            std::fprintf(stderr, "%s: the row of %s needs a holder and four lines\n", qPrintable(path),
                         qPrintable(instruction.language));
            return false;
        }
        out->append(instruction);
    }
    return true;
}

// In a right-to-left line the "!" of a Latin "Brambold!" would otherwise be
// pulled to the wrong side of the word by the surrounding text.
QString ForDisplay(const Instruction& instruction, QString line)
{
    if (instruction.rightToLeft)
        line.replace(QStringLiteral("Brambold!"), QStringLiteral("Brambold!\u200E"));
    return line;
}

QTextOption LineOption(const Instruction& instruction)
{
    QTextOption option(Qt::AlignHCenter);
    option.setTextDirection(instruction.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setWrapMode(QTextOption::NoWrap);
    return option;
}

qreal NaturalWidth(const QString& text, const QFont& font, const QTextOption& option)
{
    QTextLayout layout(text, font);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(100000);
    layout.endLayout();
    return line.naturalTextWidth();
}

constexpr int InstructionWidth = 484;
constexpr int InstructionHeight = 63;
constexpr qreal InstructionMargin = 4;  // keeps the longest line off the edges
// The launcher's holder is 60 pixels high, so the lines keep to rows 1 to 59
// of the 63.
constexpr qreal InstructionTop = 1.5;
constexpr qreal InstructionTextHeight = 58;
constexpr int LargestInstructionSize = 12;

// In layout pixels: the first row with ink, and the last.
struct InkRows {
    qreal first = 0;
    qreal last = 0;
};

InkRows FindInkRows(const QImage& image)
{
    int first = image.height();
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 200) {
                first = std::min(first, y);
                last = y;
                break;
            }
        }
    }
    // The last layout row that the last ink row belongs to.
    return {qreal(first / Scale), qreal(last / Scale)};
}

// The four lines in equal bands, each centred on Latin letter height so all
// scripts keep evenly spaced baselines.
QImage DrawLines(const QStringList& lines, const QFont& font, const QTextOption& option, qreal offset,
                 int height = InstructionHeight)
{
    QImage image = Canvas(InstructionWidth, height);
    QPainter painter(&image);
    Antialiased(painter);
    painter.setPen(Qt::black);
    const qreal band = InstructionTextHeight / lines.size();
    const QFontMetricsF metrics(font);
    for (int i = 0; i < lines.size(); ++i) {
        QTextLayout layout(lines[i], font);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(InstructionWidth);
        layout.endLayout();
        const qreal baseline = offset + i * band + (band + metrics.capHeight()) / 2;
        layout.draw(&painter, QPointF(0, baseline - line.ascent()));
    }
    return image;
}

QImage RenderInstruction(const Instruction& instruction, int* chosenSize, int* chosenStretch)
{
    const QTextOption option = LineOption(instruction);
    const QString family = FamilyFor(instruction.script);
    QStringList lines;
    for (const QString& line : instruction.lines)
        lines << ForDisplay(instruction, line);

    // The largest size at which every line fits, narrowing the letters a little
    // before going smaller.
    QFont font;
    bool fits = false;
    for (int size = LargestInstructionSize; size >= 7 && !fits; --size) {
        for (int stretch : {100, 94, 88}) {
            font = Font(family, size);
            font.setStretch(stretch);
            fits = true;
            for (const QString& line : lines)
                fits = fits && NaturalWidth(line, font, option) <= InstructionWidth - 2 * InstructionMargin;
            *chosenSize = size;
            *chosenStretch = stretch;
            if (fits)
                break;
        }
    }

    // Draw once on a taller canvas to see where the ink falls (marks above and
    // below differ by script), going a size smaller while the four lines are
    // too tall together; then draw with the ink centred in the visible rows.
    constexpr int Room = 20;
    auto measure = [&] { return FindInkRows(DrawLines(lines, font, option, Room, InstructionHeight + 2 * Room)); };
    InkRows ink = measure();
    while (ink.last + 1 - ink.first > InstructionTextHeight && *chosenSize > 7) {
        font.setPixelSize(--*chosenSize);
        ink = measure();
    }
    const qreal offset = Room + InstructionTop + (InstructionTextHeight - (ink.last + 1 - ink.first)) / 2 - ink.first;
    return DrawLines(lines, font, option, offset);
}

// ---------------------------------------------------------------------------
// Shared drawing pieces

const QColor Navy(0x1d, 0x3f, 0x6e);
const QColor Orange(0xf0, 0x8a, 0x24);
const QColor Kraft(0xd8, 0x9c, 0x5c);
const QColor KraftDark(0xb0, 0x72, 0x38);
const QColor KraftInside(0x8a, 0x55, 0x26);

void VerticalGradient(QPainter& painter, const QRectF& rect, QColor top, QColor bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.fillRect(rect, gradient);
}

void SoftGlow(QPainter& painter, QPointF centre, qreal radius, QColor colour)
{
    QRadialGradient glow(centre, radius);
    QColor clear = colour;
    clear.setAlpha(0);
    glow.setColorAt(0, colour);
    glow.setColorAt(1, clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
}

// A sheet of paper with a folded corner and a few lines of "text".
void Sheet(QPainter& painter, QPointF centre, qreal angle, qreal width, QColor accent)
{
    const qreal height = width * 1.3;
    const qreal fold = width * 0.28;
    painter.save();
    painter.translate(centre);
    painter.rotate(angle);
    QPainterPath outline;
    outline.moveTo(-width / 2, -height / 2);
    outline.lineTo(width / 2 - fold, -height / 2);
    outline.lineTo(width / 2, -height / 2 + fold);
    outline.lineTo(width / 2, height / 2);
    outline.lineTo(-width / 2, height / 2);
    outline.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 40));
    painter.drawPath(outline.translated(width * 0.04, width * 0.06));
    painter.setPen(QPen(QColor(0x9a, 0xa8, 0xb8), width * 0.025));
    painter.setBrush(Qt::white);
    painter.drawPath(outline);
    QPainterPath corner;
    corner.moveTo(width / 2 - fold, -height / 2);
    corner.lineTo(width / 2 - fold, -height / 2 + fold);
    corner.lineTo(width / 2, -height / 2 + fold);
    corner.closeSubpath();
    painter.setBrush(QColor(0xdd, 0xe4, 0xec));
    painter.drawPath(corner);
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawRoundedRect(QRectF(-width * 0.32, -height * 0.3, width * 0.4, width * 0.1), 2, 2);
    painter.setBrush(QColor(0xc5, 0xcf, 0xda));
    for (int row = 0; row < 4; ++row) {
        const qreal length = (row % 2 == 0 ? 0.62 : 0.5) * width;
        painter.drawRoundedRect(QRectF(-width * 0.32, -height * 0.08 + row * width * 0.17, length, width * 0.07), 1, 1);
    }
    painter.restore();
}

// A four-pointed sparkle.
void Sparkle(QPainter& painter, QPointF centre, qreal size, QColor colour)
{
    QPainterPath star;
    star.moveTo(centre.x(), centre.y() - size);
    star.quadTo(centre, QPointF(centre.x() + size, centre.y()));
    star.quadTo(centre, QPointF(centre.x(), centre.y() + size));
    star.quadTo(centre, QPointF(centre.x() - size, centre.y()));
    star.quadTo(centre, QPointF(centre.x(), centre.y() - size));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(star);
}

// An open cardboard box with papers springing out of it, drawn in a 200 x 200
// design space that the caller maps onto its picture.
void OpenBox(QPainter& painter, const QRectF& target, bool papers)
{
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / 200.0, target.height() / 200.0);

    // Shadow on the floor.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x30, 0x50, 45));
    painter.drawEllipse(QRectF(22, 172, 160, 20));

    const QPointF frontTopLeft(34, 104), frontTopRight(126, 104);
    const QPointF frontBottomLeft(38, 182), frontBottomRight(122, 182);
    const QPointF backTopLeft(72, 84), backTopRight(168, 84), sideBottom(162, 160);

    // Inside of the box, seen through the opening.
    QPainterPath inside;
    inside.moveTo(frontTopLeft);
    inside.lineTo(backTopLeft);
    inside.lineTo(backTopRight);
    inside.lineTo(frontTopRight);
    inside.closeSubpath();
    painter.setBrush(KraftInside);
    painter.drawPath(inside);

    // Back flaps, opened outwards.
    auto flap = [&](QPointF a, QPointF b, QPointF c, QPointF d, QColor colour) {
        QPainterPath path;
        path.moveTo(a);
        path.lineTo(b);
        path.lineTo(c);
        path.lineTo(d);
        path.closeSubpath();
        painter.setBrush(colour);
        painter.setPen(QPen(KraftDark.darker(115), 1.2));
        painter.drawPath(path);
    };
    flap(backTopLeft, backTopRight, QPointF(176, 46), QPointF(84, 44), Kraft.lighter(108));

    if (papers) {
        Sheet(painter, QPointF(80, 58), -22, 38, QColor(0x3a, 0x8f, 0xd8));
        Sheet(painter, QPointF(118, 40), 8, 42, Orange);
        Sheet(painter, QPointF(150, 66), 28, 34, QColor(0x4c, 0xb0, 0x6e));
    }

    // Front and side walls.
    QPainterPath front;
    front.moveTo(frontTopLeft);
    front.lineTo(frontTopRight);
    front.lineTo(frontBottomRight);
    front.lineTo(frontBottomLeft);
    front.closeSubpath();
    QLinearGradient frontShade(QPointF(0, 104), QPointF(0, 182));
    frontShade.setColorAt(0, Kraft.lighter(104));
    frontShade.setColorAt(1, Kraft.darker(108));
    painter.setBrush(frontShade);
    painter.setPen(QPen(KraftDark.darker(115), 1.2));
    painter.drawPath(front);

    QPainterPath side;
    side.moveTo(frontTopRight);
    side.lineTo(backTopRight);
    side.lineTo(sideBottom);
    side.lineTo(frontBottomRight);
    side.closeSubpath();
    painter.setBrush(KraftDark);
    painter.drawPath(side);

    // Front and side flaps hanging open.
    flap(frontTopLeft, frontTopRight, QPointF(118, 124), QPointF(26, 124), Kraft.darker(104));
    flap(frontTopLeft, backTopLeft, QPointF(44, 64), QPointF(8, 92), Kraft.lighter(104));
    flap(frontTopRight, backTopRight, QPointF(192, 98), QPointF(150, 122), KraftDark.lighter(108));

    // Tape strip and a "RAR"-like stack label on the front.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf3, 0xd9, 0xa4, 200));
    painter.drawRect(QRectF(72, 124, 16, 57));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRoundedRect(QRectF(48, 140, 62, 26), 4, 4);
    painter.setBrush(Navy);
    for (int bar = 0; bar < 3; ++bar)
        painter.drawRoundedRect(QRectF(54, 145 + bar * 6, 50 - bar * 10, 3), 1, 1);

    painter.restore();
}

// Curved motion lines above the box.
void MotionArcs(QPainter& painter, QPointF centre, qreal radius)
{
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        QPen pen(QColor(0x3a, 0x8f, 0xd8, 150 - i * 40), 2.2, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const qreal r = radius + i * 9;
        painter.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 40 * 16, 100 * 16);
    }
}

// ---------------------------------------------------------------------------
// The program picture and the About picture

QImage ProgramPicture()
{
    QImage image = Canvas(486, 243);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xe3, 0xf0, 0xfb), QColor(0xfd, 0xfe, 0xff));
    SoftGlow(painter, QPointF(120, 120), 130, QColor(255, 255, 255, 230));
    SoftGlow(painter, QPointF(118, 70), 70, QColor(0xff, 0xe6, 0xb0, 150));

    // A faint floor line so the box stands somewhere.
    painter.setPen(QPen(QColor(0xc8, 0xd8, 0xe8), 1));
    painter.drawLine(QPointF(20, 225), QPointF(230, 225));

    MotionArcs(painter, QPointF(120, 112), 86);
    OpenBox(painter, QRectF(22, 28, 200, 200), true);
    Sparkle(painter, QPointF(40, 46), 7, Orange);
    Sparkle(painter, QPointF(206, 40), 9, QColor(0x3a, 0x8f, 0xd8));
    Sparkle(painter, QPointF(214, 96), 5, Orange);

    // The name, right of the box.
    const QFont nameFont = Font(QStringLiteral("Noto Sans"), 50, QFont::Bold);
    const QFont subFont = Font(QStringLiteral("Noto Sans"), 30, QFont::DemiBold);
    const QRectF nameBox(236, 58, 236, 62);
    painter.setFont(nameFont);
    painter.setPen(QColor(0, 0, 0, 30));
    painter.drawText(nameBox.translated(2, 2), Qt::AlignCenter, QStringLiteral("Brambold"));
    painter.setPen(Navy);
    painter.drawText(nameBox, Qt::AlignCenter, QStringLiteral("Brambold"));
    painter.setFont(subFont);
    painter.setPen(Orange.darker(110));
    painter.drawText(QRectF(236, 118, 236, 40), Qt::AlignCenter, QStringLiteral("Free Unrar"));

    // Underline swoosh.
    QPainterPath swoosh;
    swoosh.moveTo(262, 168);
    swoosh.quadTo(354, 182, 446, 164);
    painter.setPen(QPen(QColor(0x3a, 0x8f, 0xd8), 3, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(swoosh);
    return image;
}

QImage AboutPicture()
{
    QImage image = Canvas(139, 164);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xe3, 0xf0, 0xfb), Qt::white);
    SoftGlow(painter, QPointF(70, 58), 60, QColor(0xff, 0xe6, 0xb0, 160));
    OpenBox(painter, QRectF(12, 2, 115, 115), true);
    Sparkle(painter, QPointF(18, 18), 5, Orange);
    Sparkle(painter, QPointF(124, 24), 6, QColor(0x3a, 0x8f, 0xd8));
    painter.setFont(Font(QStringLiteral("Noto Sans"), 21, QFont::Bold));
    painter.setPen(Navy);
    painter.drawText(QRectF(0, 112, 139, 28), Qt::AlignCenter, QStringLiteral("Brambold"));
    painter.setFont(Font(QStringLiteral("Noto Sans"), 12, QFont::DemiBold));
    painter.setPen(Orange.darker(115));
    painter.drawText(QRectF(0, 138, 139, 20), Qt::AlignCenter, QStringLiteral("Free Unrar 2.54"));
    return image;
}

// ---------------------------------------------------------------------------
// Promotional pictures

// Night sky with stars and a moon, used by the screensaver.
void NightSky(QPainter& painter, const QRectF& rect, quint32 seed)
{
    VerticalGradient(painter, rect, QColor(0x0e, 0x16, 0x3a), QColor(0x4a, 0x2c, 0x6e));
    QRandomGenerator random(seed);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < int(rect.width() * rect.height() / 90); ++i) {
        const QPointF at(rect.left() + random.bounded(rect.width()), rect.top() + random.bounded(rect.height() * 0.7));
        const qreal size = 0.4 + random.bounded(1.1);
        painter.setBrush(QColor(255, 255, 255, 120 + random.bounded(135)));
        painter.drawEllipse(at, size, size);
    }
}

void Hills(QPainter& painter, const QRectF& rect, qreal level, qreal amplitude, qreal phase, QColor colour)
{
    QPainterPath path;
    path.moveTo(rect.left(), rect.bottom());
    const int steps = 40;
    for (int i = 0; i <= steps; ++i) {
        const qreal x = rect.left() + rect.width() * i / steps;
        const qreal t = double(i) / steps * 6.28318 + phase;
        path.lineTo(x, rect.top() + rect.height() * level - amplitude * (std::sin(t) * 0.6 + std::sin(t * 2.3) * 0.4));
    }
    path.lineTo(rect.right(), rect.bottom());
    path.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(path);
}

QImage GiftEbook()
{
    QImage image = Canvas(140, 130);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xfb, 0xf3, 0xe4), Qt::white);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 40));
    painter.drawEllipse(QRectF(30, 112, 86, 10));

    painter.translate(70, 64);
    painter.rotate(-6);
    // Pages seen at the side, then the cover.
    painter.setBrush(QColor(0xf4, 0xef, 0xe2));
    painter.setPen(QPen(QColor(0xc0, 0xb4, 0x9c), 1));
    painter.drawRoundedRect(QRectF(-34, -46, 72, 96), 3, 3);
    QLinearGradient cover(QPointF(-38, -50), QPointF(34, 48));
    cover.setColorAt(0, QColor(0x2e, 0x6b, 0xb8));
    cover.setColorAt(1, QColor(0x1d, 0x3f, 0x6e));
    painter.setBrush(cover);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(-38, -50, 70, 96), 4, 4);
    painter.setBrush(QColor(0, 0, 0, 50));
    painter.drawRect(QRectF(-38, -50, 7, 96));
    // Cover art: a little sun over waves.
    painter.setBrush(Orange);
    painter.drawEllipse(QPointF(0, -14), 13, 13);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        QPainterPath wave;
        wave.moveTo(-24, 6 + i * 7);
        wave.cubicTo(-14, 1 + i * 7, -6, 11 + i * 7, 4, 6 + i * 7);
        wave.cubicTo(12, 1 + i * 7, 18, 11 + i * 7, 24, 6 + i * 7);
        painter.drawPath(wave);
    }
    painter.setPen(Qt::white);
    painter.setFont(Font(QStringLiteral("Noto Sans"), 12, QFont::Bold));
    painter.drawText(QRectF(-31, 22, 63, 18), Qt::AlignCenter, QStringLiteral("eBook"));
    return image;
}

QImage GiftScreensaver()
{
    QImage image = Canvas(140, 130);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xea, 0xee, 0xf6), Qt::white);
    // Monitor.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5a, 0x62, 0x70));
    painter.drawRect(QRectF(62, 96, 16, 14));
    painter.drawRoundedRect(QRectF(40, 108, 60, 8), 3, 3);
    painter.setBrush(QColor(0x2b, 0x30, 0x3a));
    painter.drawRoundedRect(QRectF(10, 14, 120, 86), 7, 7);
    const QRectF screen(16, 20, 108, 72);
    painter.save();
    painter.setClipRect(screen);
    NightSky(painter, screen, 7);
    SoftGlow(painter, QPointF(96, 38), 22, QColor(0xff, 0xf1, 0xc0, 110));
    painter.setBrush(QColor(0xfb, 0xf1, 0xc8));
    painter.drawEllipse(QPointF(96, 38), 8, 8);
    Hills(painter, screen, 0.72, 6, 0.5, QColor(0x2c, 0x1f, 0x4a));
    Hills(painter, screen, 0.86, 5, 2.0, QColor(0x16, 0x12, 0x2c));
    painter.restore();
    // Glass highlight.
    QLinearGradient shine(screen.topLeft(), screen.bottomRight());
    shine.setColorAt(0, QColor(255, 255, 255, 50));
    shine.setColorAt(0.45, QColor(255, 255, 255, 0));
    painter.fillRect(screen, shine);
    return image;
}

QImage GiftProject()
{
    QImage image = Canvas(140, 130);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xe8, 0xf6, 0xee), Qt::white);
    const QRectF window(12, 16, 116, 98);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 35));
    painter.drawRoundedRect(window.translated(2, 3), 7, 7);
    painter.setBrush(Qt::white);
    painter.setPen(QPen(QColor(0xb8, 0xc4, 0xd0), 1));
    painter.drawRoundedRect(window, 7, 7);
    // Title bar with three dots and an address field.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xdd, 0xe6, 0xee));
    QPainterPath bar;
    bar.addRoundedRect(QRectF(window.left(), window.top(), window.width(), 20), 7, 7);
    bar.addRect(QRectF(window.left(), window.top() + 10, window.width(), 10));
    painter.drawPath(bar.simplified());
    const QColor dots[] = {QColor(0xee, 0x6a, 0x5f), QColor(0xf5, 0xbf, 0x4f), QColor(0x61, 0xc5, 0x54)};
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(dots[i]);
        painter.drawEllipse(QPointF(window.left() + 9 + i * 9, window.top() + 10), 3, 3);
    }
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(window.left() + 38, window.top() + 5, 70, 10), 5, 5);
    // A globe.
    const QPointF globe(46, 68);
    const qreal r = 24;
    QRadialGradient sea(globe - QPointF(8, 8), r * 1.6);
    sea.setColorAt(0, QColor(0x6c, 0xc0, 0xf0));
    sea.setColorAt(1, QColor(0x1f, 0x78, 0xc0));
    painter.setBrush(sea);
    painter.drawEllipse(globe, r, r);
    painter.setPen(QPen(QColor(255, 255, 255, 170), 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(globe, r * 0.45, r);
    painter.drawLine(globe - QPointF(0, r), globe + QPointF(0, r));
    painter.drawLine(globe - QPointF(r, 0), globe + QPointF(r, 0));
    painter.drawArc(QRectF(globe.x() - r, globe.y() - r * 1.5, 2 * r, 2 * r), 225 * 16, 90 * 16);
    painter.drawArc(QRectF(globe.x() - r, globe.y() - r * 0.5, 2 * r, 2 * r), 45 * 16, 90 * 16);
    // Content blocks beside the globe.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x4c, 0xb0, 0x6e));
    painter.drawRoundedRect(QRectF(78, 48, 40, 8), 2, 2);
    painter.setBrush(QColor(0xc5, 0xcf, 0xda));
    for (int row = 0; row < 4; ++row)
        painter.drawRoundedRect(QRectF(78, 62 + row * 9, row % 2 ? 30 : 40, 5), 2, 2);
    return image;
}

// A landscape at dusk: the wallpaper the Gratitude page offers.
void Landscape(QPainter& painter, const QRectF& rect)
{
    QLinearGradient sky(rect.topLeft(), rect.bottomLeft());
    sky.setColorAt(0, QColor(0x2a, 0x3d, 0x7c));
    sky.setColorAt(0.45, QColor(0xd8, 0x6f, 0x7a));
    sky.setColorAt(0.7, QColor(0xf7, 0xb2, 0x6a));
    sky.setColorAt(1, QColor(0xf7, 0xb2, 0x6a));
    painter.fillRect(rect, sky);
    QRandomGenerator random(11);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 60; ++i) {
        const QPointF at(rect.left() + random.bounded(rect.width()), rect.top() + random.bounded(rect.height() * 0.3));
        painter.setBrush(QColor(255, 255, 255, 90 + random.bounded(120)));
        const qreal size = 0.4 + random.bounded(0.9);
        painter.drawEllipse(at, size, size);
    }
    const QPointF sun(rect.left() + rect.width() * 0.62, rect.top() + rect.height() * 0.6);
    SoftGlow(painter, sun, rect.height() * 0.4, QColor(0xff, 0xe0, 0xa0, 170));
    painter.setBrush(QColor(0xff, 0xe9, 0xb8));
    painter.drawEllipse(sun, rect.height() * 0.09, rect.height() * 0.09);
    Hills(painter, rect, 0.58, rect.height() * 0.1, 0.3, QColor(0x8a, 0x4e, 0x78));
    Hills(painter, rect, 0.68, rect.height() * 0.08, 1.9, QColor(0x5a, 0x34, 0x66));
    // Lake with the sun's reflection.
    const QRectF lake(rect.left(), rect.top() + rect.height() * 0.76, rect.width(), rect.height() * 0.24);
    QLinearGradient water(lake.topLeft(), lake.bottomLeft());
    water.setColorAt(0, QColor(0xe0, 0x95, 0x80));
    water.setColorAt(1, QColor(0x3a, 0x30, 0x62));
    painter.fillRect(lake, water);
    painter.setBrush(QColor(0xff, 0xe9, 0xb8, 150));
    for (int i = 0; i < 6; ++i) {
        const qreal w = rect.width() * (0.12 - i * 0.015);
        painter.drawRoundedRect(QRectF(sun.x() - w / 2, lake.top() + 4 + i * 7, w, 2.2), 1, 1);
    }
    // Pines on the near shore.
    painter.setBrush(QColor(0x24, 0x18, 0x38));
    QRandomGenerator trees(5);
    for (int i = 0; i < 9; ++i) {
        const qreal x = rect.left() + 10 + i * 16 + trees.bounded(8.0);
        const qreal h = 30 + trees.bounded(26.0);
        QPainterPath pine;
        pine.moveTo(x, lake.top() + 2 - h);
        pine.lineTo(x + h * 0.28, lake.top() + 2);
        pine.lineTo(x - h * 0.28, lake.top() + 2);
        pine.closeSubpath();
        painter.drawPath(pine);
    }
}

void Badge(QPainter& painter, const QRectF& rect, const QString& title, const QString& detail)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRoundedRect(rect, 10, 10);
    painter.setPen(Navy);
    painter.setFont(Font(QStringLiteral("Noto Sans"), 22, QFont::Bold));
    painter.drawText(QRectF(rect.left(), rect.top() + 6, rect.width(), 30), Qt::AlignCenter, title);
    painter.setPen(Orange.darker(120));
    painter.setFont(Font(QStringLiteral("Noto Sans"), 14, QFont::DemiBold));
    painter.drawText(QRectF(rect.left(), rect.top() + 36, rect.width(), 20), Qt::AlignCenter, detail);
}

QImage GratitudePicture()
{
    QImage image = Canvas(476, 262);
    QPainter painter(&image);
    Antialiased(painter);
    Landscape(painter, Area(image));
    Badge(painter, QRectF(18, 18, 190, 62), QStringLiteral("Free Wallpaper"), QStringLiteral("1600 \u00D7 1200"));
    return image;
}

// An open book lying on a warm background: the free e-book.
QImage AppreciationPicture()
{
    QImage image = Canvas(476, 262);
    QPainter painter(&image);
    Antialiased(painter);
    VerticalGradient(painter, Area(image), QColor(0xfd, 0xef, 0xd8), QColor(0xf6, 0xd2, 0xa8));
    SoftGlow(painter, QPointF(170, 120), 170, QColor(255, 255, 255, 200));

    const QPointF spine(170, 150);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6a, 0x3c, 0x1c, 60));
    painter.drawEllipse(QRectF(40, 212, 260, 26));
    // Cover under the pages.
    painter.setBrush(QColor(0x1d, 0x3f, 0x6e));
    QPainterPath cover;
    cover.moveTo(spine.x(), spine.y() + 72);
    cover.cubicTo(130, 210, 80, 214, 36, 222);
    cover.lineTo(50, 86);
    cover.cubicTo(100, 76, 140, 80, spine.x(), spine.y() - 62);
    cover.cubicTo(200, 80, 240, 76, 290, 86);
    cover.lineTo(304, 222);
    cover.cubicTo(260, 214, 210, 210, spine.x(), spine.y() + 72);
    painter.drawPath(cover);
    auto page = [&](int side, int layer) {
        const qreal s = side;
        const qreal lift = layer * 3;
        QPainterPath path;
        path.moveTo(spine.x(), spine.y() + 64 - lift);
        path.cubicTo(spine.x() - s * 40, 204 - lift, spine.x() - s * 90, 206 - lift, spine.x() - s * 126, 212 - lift);
        path.lineTo(spine.x() - s * 114, 82 - lift);
        path.cubicTo(spine.x() - s * 76, 74 - lift, spine.x() - s * 30, 76 - lift, spine.x(), spine.y() - 66 - lift);
        path.closeSubpath();
        painter.setBrush(layer == 0 ? QColor(0xe8, 0xe0, 0xcc) : QColor(0xff, 0xfc, 0xf4));
        painter.setPen(QPen(QColor(0xc8, 0xbc, 0xa0), 0.8));
        painter.drawPath(path);
    };
    for (int layer = 0; layer < 3; ++layer) {
        page(1, layer);
        page(-1, layer);
    }
    // Lines of text on the pages, following the page's curve a little.
    painter.setPen(QPen(QColor(0xb4, 0xaa, 0x98), 2, Qt::SolidLine, Qt::RoundCap));
    for (int side : {1, -1}) {
        for (int row = 0; row < 9; ++row) {
            const qreal y = 96 + row * 12;
            const qreal inner = spine.x() - side * 16;
            const qreal outer = spine.x() - side * (row == 0 ? 70 : 100);
            QPainterPath line;
            line.moveTo(outer, y - 2);
            line.quadTo((inner + outer) / 2, y - 4, inner, y + 2);
            painter.drawPath(line);
        }
    }
    Sparkle(painter, QPointF(72, 56), 9, Orange);
    Sparkle(painter, QPointF(270, 50), 7, QColor(0x3a, 0x8f, 0xd8));
    Sparkle(painter, QPointF(292, 118), 5, Orange);

    painter.setPen(Navy);
    painter.setFont(Font(QStringLiteral("Noto Sans"), 34, QFont::Bold));
    painter.drawText(QRectF(300, 82, 170, 44), Qt::AlignCenter, QStringLiteral("Free"));
    painter.drawText(QRectF(300, 122, 170, 44), Qt::AlignCenter, QStringLiteral("eBook"));
    painter.setPen(Orange.darker(125));
    painter.setFont(Font(QStringLiteral("Noto Sans"), 15, QFont::DemiBold));
    painter.drawText(QRectF(300, 170, 170, 24), Qt::AlignCenter, QStringLiteral("read it now"));
    return image;
}

// Warn about a family that fontconfig would silently replace.
bool HaveFamilies(const QList<Instruction>& instructions)
{
    bool ok = true;
    QStringList families = {QStringLiteral("Noto Sans")};
    for (const Instruction& instruction : instructions)
        families << FamilyFor(instruction.script);
    families.removeDuplicates();
    for (const QString& family : families) {
        if (!QFontDatabase::hasFamily(family)) {
            std::fprintf(stderr, "font family %s is missing\n", qPrintable(family));
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_pictures <instructions.json> <output folder>\n");
        return 2;
    }
    QList<Instruction> instructions;
    if (!LoadInstructions(QString::fromLocal8Bit(argv[1]), &instructions))
        return 1;
    if (!HaveFamilies(instructions))
        return 1;

    const QDir out(QString::fromLocal8Bit(argv[2]));
    out.mkpath(QStringLiteral("language"));
    bool ok = true;
    for (const int scale : {1, 2}) {
        Scale = scale;
        const QString suffix = scale == 1 ? QStringLiteral(".jpg") : QStringLiteral("@%1x.jpg").arg(scale);
        const auto file = [&](const QString& name) { return out.filePath(name + suffix); };
        ok &= Save(ProgramPicture(), file(QStringLiteral("program")));
        ok &= Save(AboutPicture(), file(QStringLiteral("about")));
        ok &= Save(GiftEbook(), file(QStringLiteral("gift_ebook")));
        ok &= Save(GiftScreensaver(), file(QStringLiteral("gift_screensaver")));
        ok &= Save(GiftProject(), file(QStringLiteral("gift_project")));
        ok &= Save(GratitudePicture(), file(QStringLiteral("gratitude")));
        ok &= Save(AppreciationPicture(), file(QStringLiteral("appreciation")));
        for (const Instruction& instruction : instructions) {
            int size = 0;
            int stretch = 0;
            const QImage picture = RenderInstruction(instruction, &size, &stretch);
            ok &= Save(picture, file(QStringLiteral("language/%1").arg(instruction.holder)));
            if (scale == 1)
                std::printf("%-38s %2d px %3d%%  %s\n", qPrintable(instruction.holder), size, stretch,
                            qPrintable(instruction.language));
        }
    }
    return ok ? 0 : 1;
}
