// Draws every picture the program shows and writes them as JPEGs.
// Usage: make_pictures <output folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

bool Save(const QImage& image, const QString& path) {
  if (!image.save(path, "JPEG", 92)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QImage Plain(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pictures <output folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  out.mkpath(QStringLiteral("language"));
  bool ok = true;
  ok &= Save(Plain(486, 243, QColor(0xdd, 0xe8, 0xf0)), out.filePath("program.jpg"));
  ok &= Save(Plain(139, 164, QColor(0xdd, 0xe8, 0xf0)), out.filePath("about.jpg"));
  for (const char* name : {"gift_ebook", "gift_screensaver", "gift_project"})
    ok &= Save(Plain(140, 130, QColor(0xdd, 0xe8, 0xf0)), out.filePath(QString::fromLatin1(name) + ".jpg"));
  for (const char* name : {"gratitude", "appreciation"})
    ok &= Save(Plain(476, 262, QColor(0xdd, 0xe8, 0xf0)), out.filePath(QString::fromLatin1(name) + ".jpg"));
  for (const char* holder :
       {"LanguageImage", "LanguageImageRussian", "LanguageImageSlovenian", "LanguageImageBosnianCroatianSerbian",
        "LanguageImageSerbian", "LanguageImageCzech", "LanguageImageTurkish", "LanguageImageGreek",
        "LanguageImageSlovak", "LanguageImageKorean", "LanguageImageHebrew", "LanguageImageChineseSimp",
        "LanguageImageChineseTrad", "LanguageImageJapanese", "LanguageImageFarsi", "LanguageImageUkrainian",
        "LanguageImageBulgarian", "LanguageImageMongolian", "LanguageImageThai", "LanguageImageBelarusian",
        "LanguageImageKurdish", "LanguageImageLatvian", "LanguageImageLithuanian"})
    ok &= Save(Plain(484, 63, Qt::white), out.filePath(QStringLiteral("language/%1.jpg").arg(QLatin1String(holder))));
  return ok ? 0 : 1;
}
