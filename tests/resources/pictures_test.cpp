#include "platform/jpeg.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

namespace {

struct Picture {
    const char* path;
    int width;
    int height;
};

class ContractPicture : public testing::TestWithParam<Picture> {};

TEST_P(ContractPicture, IsLinkedInAndDecodesToItsSize)
{
    const Picture picture = GetParam();
    const QString path = QString::fromLatin1(picture.path);
    ASSERT_TRUE(QFile::exists(path)) << picture.path;
    const QImage image = platform::LoadJpegPicture(path);
    ASSERT_FALSE(image.isNull()) << picture.path;
    EXPECT_EQ(image.width(), picture.width) << picture.path;
    EXPECT_EQ(image.height(), picture.height) << picture.path;
}

constexpr Picture Pictures[] = {
    {":/pictures/program.jpg", 486, 243},
    {":/pictures/about.jpg", 139, 164},
    {":/pictures/gift_ebook.jpg", 140, 130},
    {":/pictures/gift_screensaver.jpg", 140, 130},
    {":/pictures/gift_project.jpg", 140, 130},
    {":/pictures/gratitude.jpg", 476, 262},
    {":/pictures/appreciation.jpg", 476, 262},
    {":/pictures/language/LanguageImage.jpg", 484, 63},
    {":/pictures/language/LanguageImageRussian.jpg", 484, 63},
    {":/pictures/language/LanguageImageSlovenian.jpg", 484, 63},
    {":/pictures/language/LanguageImageBosnianCroatianSerbian.jpg", 484, 63},
    {":/pictures/language/LanguageImageSerbian.jpg", 484, 63},
    {":/pictures/language/LanguageImageCzech.jpg", 484, 63},
    {":/pictures/language/LanguageImageTurkish.jpg", 484, 63},
    {":/pictures/language/LanguageImageGreek.jpg", 484, 63},
    {":/pictures/language/LanguageImageSlovak.jpg", 484, 63},
    {":/pictures/language/LanguageImageKorean.jpg", 484, 63},
    {":/pictures/language/LanguageImageHebrew.jpg", 484, 63},
    {":/pictures/language/LanguageImageChineseSimp.jpg", 484, 63},
    {":/pictures/language/LanguageImageChineseTrad.jpg", 484, 63},
    {":/pictures/language/LanguageImageJapanese.jpg", 484, 63},
    {":/pictures/language/LanguageImageFarsi.jpg", 484, 63},
    {":/pictures/language/LanguageImageUkrainian.jpg", 484, 63},
    {":/pictures/language/LanguageImageBulgarian.jpg", 484, 63},
    {":/pictures/language/LanguageImageMongolian.jpg", 484, 63},
    {":/pictures/language/LanguageImageThai.jpg", 484, 63},
    {":/pictures/language/LanguageImageBelarusian.jpg", 484, 63},
    {":/pictures/language/LanguageImageKurdish.jpg", 484, 63},
    {":/pictures/language/LanguageImageLatvian.jpg", 484, 63},
    {":/pictures/language/LanguageImageLithuanian.jpg", 484, 63},
};

std::string PictureName(const testing::TestParamInfo<Picture>& info)
{
    std::string name = info.param.path;
    name = name.substr(name.rfind('/') + 1);
    return name.substr(0, name.find('.'));
}

INSTANTIATE_TEST_SUITE_P(EveryPicture, ContractPicture, testing::ValuesIn(Pictures), PictureName);

// The instruction pictures: dark text on white, four lines, nothing in the
// three bottom rows the launcher's 60-pixel holder cuts off, nothing on the
// side edges.
class InstructionPicture : public testing::TestWithParam<Picture> {};

bool Dark(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

TEST_P(InstructionPicture, ShowsFourLinesInsideTheVisibleRows)
{
    const QImage image = platform::LoadJpegPicture(QString::fromLatin1(GetParam().path));
    ASSERT_EQ(image.size(), QSize(484, 63));
    int inkedBands = 0;
    for (int band = 0; band < 4; ++band) {
        bool inked = false;
        for (int y = 1 + band * 58 / 4; y < 1 + (band + 1) * 58 / 4 && !inked; ++y)
            for (int x = 0; x < image.width() && !inked; ++x)
                inked = Dark(image, x, y);
        inkedBands += inked ? 1 : 0;
    }
    EXPECT_EQ(inkedBands, 4);
    for (int y = 60; y < 63; ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_FALSE(Dark(image, x, y)) << "row " << y;
    for (int y = 0; y < image.height(); ++y)
        for (int x : {0, 1, 482, 483})
            ASSERT_FALSE(Dark(image, x, y)) << "column " << x;
    EXPECT_GT(qGray(image.pixel(0, 0)), 245);  // white ground
}

std::vector<Picture> InstructionPictures()
{
    std::vector<Picture> pictures;
    for (const Picture& picture : Pictures)
        if (QString::fromLatin1(picture.path).startsWith(u":/pictures/language/"))
            pictures.push_back(picture);
    return pictures;
}

INSTANTIATE_TEST_SUITE_P(EveryLanguage, InstructionPicture, testing::ValuesIn(InstructionPictures()), PictureName);

// The translations the pictures are drawn from: one row per holder, and in
// every row the program's name and the menu entry in Latin letters.
TEST(InstructionTexts, CoverEveryHolderOnceWithTheMarkersAndTheName)
{
    QFile file(QStringLiteral(INSTRUCTIONS_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray rows = QJsonDocument::fromJson(file.readAll()).object().value(u"languages").toArray();

    QSet<QString> expected;
    for (const Picture& picture : InstructionPictures()) {
        QString name = QString::fromLatin1(picture.path).section(u'/', -1);
        expected.insert(name.chopped(4));
    }
    QSet<QString> seen;
    QStringList rightToLeft;
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        const QString holder = row.value(u"holder").toString();
        EXPECT_FALSE(seen.contains(holder)) << holder.toStdString();
        seen.insert(holder);
        if (row.value(u"rtl").toBool())
            rightToLeft << row.value(u"language").toString();
        const QJsonArray lines = row.value(u"lines").toArray();
        ASSERT_EQ(lines.size(), 4) << holder.toStdString();
        EXPECT_FALSE(lines[0].toString().startsWith(u"-->")) << holder.toStdString();
        for (int i = 1; i < 4; ++i)
            EXPECT_TRUE(lines[i].toString().startsWith(u"--> ")) << holder.toStdString();
        EXPECT_TRUE(lines[1].toString().contains(u"Brambold")) << holder.toStdString();
        EXPECT_TRUE(lines[2].toString().contains(u"\"Brambold!\"")) << holder.toStdString();
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(rightToLeft, QStringList({"Arabic", "Hebrew", "Farsi", "Kurdish (Sorani)"}));
}

}  // namespace
