#include "platform/jpeg.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

struct Picture {
  const char* path;
  int width;
  int height;
};

class ContractPicture : public testing::TestWithParam<Picture> {};

TEST_P(ContractPicture, IsLinkedInAndDecodesToItsSize) {
  const Picture picture = GetParam();
  const QString path = QString::fromLatin1(picture.path);
  ASSERT_TRUE(QFile::exists(path)) << picture.path;
  const QImage image = platform::LoadJpegPicture(path);
  ASSERT_FALSE(image.isNull()) << picture.path;
  EXPECT_EQ(image.width(), picture.width) << picture.path;
  EXPECT_EQ(image.height(), picture.height) << picture.path;
}

constexpr Picture kPictures[] = {
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

std::string PictureName(const testing::TestParamInfo<Picture>& info) {
  std::string name = info.param.path;
  name = name.substr(name.rfind('/') + 1);
  return name.substr(0, name.find('.'));
}

INSTANTIATE_TEST_SUITE_P(EveryPicture, ContractPicture, testing::ValuesIn(kPictures), PictureName);

}  // namespace
