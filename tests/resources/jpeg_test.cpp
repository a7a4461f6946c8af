#include "platform/jpeg.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// A picture with four solid quarters, so that decoding can be checked by
// colour without depending on the encoder's exact rounding.
QByteArray QuarteredJpeg() {
  QFile file(QStringLiteral(":/pictures/program.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

TEST(DecodeJpeg, DecodesAValidPicture) {
  QString error;
  const QImage image = platform::DecodeJpeg(QuarteredJpeg(), &error);
  ASSERT_FALSE(image.isNull()) << error.toStdString();
  EXPECT_EQ(image.size(), QSize(486, 243));
  EXPECT_TRUE(error.isEmpty());
}

}  // namespace
