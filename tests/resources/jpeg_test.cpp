#include "platform/jpeg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <jpeglib.h>

namespace {

// Pictures are made with libjpeg itself, so the tests depend on no image
// plugin and control the colour space and scan layout.
enum class Layout { Baseline, Progressive, Grayscale, Cmyk };

QByteArray EncodeQuarters(int width, int height, Layout layout)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    switch (layout) {
    case Layout::Grayscale:
        info.input_components = 1;
        info.in_color_space = JCS_GRAYSCALE;
        break;
    case Layout::Cmyk:
        info.input_components = 4;
        info.in_color_space = JCS_CMYK;
        break;
    default:
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        break;
    }
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    if (layout == Layout::Progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    // Top left red, top right green, bottom left blue, bottom right white.
    std::vector<unsigned char> row(width * info.input_components);
    while (info.next_scanline < info.image_height) {
        const bool bottom = info.next_scanline >= unsigned(height / 2);
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const QRgb colour = bottom ? (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255))
                                       : (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0));
            unsigned char* pixel = &row[x * info.input_components];
            if (layout == Layout::Grayscale) {
                pixel[0] = bottom ? 200 : 40;
            } else if (layout == Layout::Cmyk) {
                pixel[0] = pixel[1] = pixel[2] = pixel[3] = 128;
            } else {
                pixel[0] = qRed(colour);
                pixel[1] = qGreen(colour);
                pixel[2] = qBlue(colour);
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray data(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return data;
}

bool Near(QRgb actual, QRgb expected)
{
    constexpr int Tolerance = 24;
    return std::abs(qRed(actual) - qRed(expected)) <= Tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= Tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= Tolerance;
}

TEST(DecodeJpeg, GivesTheSizeAndColoursOfABaselinePicture)
{
    QString error;
    const QImage image = platform::DecodeJpeg(EncodeQuarters(64, 48, Layout::Baseline), &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_EQ(image.size(), QSize(64, 48));
    EXPECT_TRUE(Near(image.pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(image.pixel(54, 10), qRgb(0, 255, 0)));
    EXPECT_TRUE(Near(image.pixel(10, 38), qRgb(0, 0, 255)));
    EXPECT_TRUE(Near(image.pixel(54, 38), qRgb(255, 255, 255)));
    EXPECT_TRUE(error.isEmpty());
}

TEST(DecodeJpeg, DecodesProgressiveAndGrayscalePictures)
{
    const QImage progressive = platform::DecodeJpeg(EncodeQuarters(40, 30, Layout::Progressive));
    ASSERT_FALSE(progressive.isNull());
    EXPECT_TRUE(Near(progressive.pixel(30, 5), qRgb(0, 255, 0)));

    const QImage gray = platform::DecodeJpeg(EncodeQuarters(40, 30, Layout::Grayscale));
    ASSERT_FALSE(gray.isNull());
    EXPECT_TRUE(Near(gray.pixel(5, 5), qRgb(40, 40, 40)));
    EXPECT_TRUE(Near(gray.pixel(5, 25), qRgb(200, 200, 200)));
}

// Every broken picture: a null image and a reason, the process still here,
// and nothing printed by libjpeg.
struct BrokenPicture {
    const char* name;
    std::function<QByteArray()> data;
    const char* reasonPart;
};

class BrokenJpeg : public testing::TestWithParam<BrokenPicture> {};

TEST_P(BrokenJpeg, GivesANullImageAndAReason)
{
    const QByteArray data = GetParam().data();
    QString error;
    testing::internal::CaptureStderr();
    const QImage image = platform::DecodeJpeg(data, &error);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(image.isNull());
    EXPECT_TRUE(error.contains(QLatin1String(GetParam().reasonPart), Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_EQ(printed, "");
    // Without a place for the reason the call must still return.
    EXPECT_TRUE(platform::DecodeJpeg(data).isNull());
}

QByteArray WithSize(QByteArray data, quint16 width, quint16 height)
{
    // Patch the frame header (SOF0: FF C0, length, precision, height, width).
    const qsizetype frame = data.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        return {};
    data[frame + 5] = char(height >> 8);
    data[frame + 6] = char(height & 0xFF);
    data[frame + 7] = char(width >> 8);
    data[frame + 8] = char(width & 0xFF);
    return data;
}

const BrokenPicture BrokenPictures[] = {
    {"Empty", [] { return QByteArray(); }, "empty"},
    {"Garbage", [] { return QByteArray("this is no picture at all, just words"); }, "not a jpeg"},
    {"HeaderOnly", [] { return EncodeQuarters(64, 48, Layout::Baseline).left(20); }, "premature end"},
    {"TruncatedBaseline",
     [] {
         const QByteArray whole = EncodeQuarters(64, 48, Layout::Baseline);
         return whole.left(whole.size() / 2);
     },
     "premature end"},
    {"TruncatedProgressive",
     [] {
         const QByteArray whole = EncodeQuarters(64, 48, Layout::Progressive);
         return whole.left(whole.size() * 2 / 3);
     },
     "premature end"},
    {"HugeSizeInHeader", [] { return WithSize(EncodeQuarters(16, 16, Layout::Baseline), 60000, 60000); }, "too large"},
    {"CmykColours", [] { return EncodeQuarters(16, 16, Layout::Cmyk); }, "color conversion"},
};

INSTANTIATE_TEST_SUITE_P(EveryFault, BrokenJpeg, testing::ValuesIn(BrokenPictures),
                         [](const testing::TestParamInfo<BrokenPicture>& info) { return info.param.name; });

// Collects the warnings LoadJpegPicture writes.
class WarningLog {
public:
    WarningLog() { FPrevious = qInstallMessageHandler(&WarningLog::Handle); }
    ~WarningLog() { qInstallMessageHandler(FPrevious); }
    static QStringList& Lines()
    {
        static QStringList lines;
        return lines;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext&, const QString& message)
    {
        if (type == QtWarningMsg)
            Lines() << message;
    }
    QtMessageHandler FPrevious;
};

TEST(LoadJpegPicture, ReadsAFile)
{
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("quarters.jpg")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(EncodeQuarters(20, 10, Layout::Baseline));
    file.close();
    EXPECT_EQ(platform::LoadJpegPicture(file.fileName()).size(), QSize(20, 10));
}

TEST(LoadJpegPicture, WarnsAboutAMissingOrBrokenFile)
{
    QTemporaryDir folder;
    const QString broken = folder.filePath(QStringLiteral("broken.jpg"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no picture");
    file.close();

    WarningLog log;
    WarningLog::Lines().clear();
    EXPECT_TRUE(platform::LoadJpegPicture(folder.filePath(QStringLiteral("missing.jpg"))).isNull());
    EXPECT_TRUE(platform::LoadJpegPicture(broken).isNull());
    ASSERT_EQ(WarningLog::Lines().size(), 2);
    EXPECT_TRUE(WarningLog::Lines()[0].contains(QStringLiteral("missing.jpg")));
    EXPECT_TRUE(WarningLog::Lines()[1].contains(QStringLiteral("broken.jpg")));
    EXPECT_TRUE(WarningLog::Lines()[1].contains(QStringLiteral("Not a JPEG"), Qt::CaseInsensitive));
}

}  // namespace
