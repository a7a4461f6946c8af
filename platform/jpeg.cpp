#include "platform/jpeg.h"

#include <QFile>
#include <QtDebug>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace platform {

namespace {

// libjpeg's own error handler prints and calls exit(); ours keeps the message
// and jumps back to the decoder so the caller gets a null picture instead.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void JumpBackOnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings print nothing. Most leave a usable picture; running out of data
// leaves a grey band, so that one fails the picture after decoding.
void NoteWarning(j_common_ptr info, int level) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF && !manager->truncated) {
    manager->truncated = true;
    (*info->err->format_message)(info, manager->message);
  }
}

void SetError(QString* error, const QString& message) {
  if (error != nullptr) *error = message;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data, QString* error) {
  if (data.isEmpty()) {
    SetError(error, QStringLiteral("The picture is empty"));
    return {};
  }

  jpeg_decompress_struct info{};
  ErrorManager manager{};
  info.err = jpeg_std_error(&manager.base);
  manager.base.error_exit = JumpBackOnError;
  manager.base.emit_message = NoteWarning;

  // Everything that must survive a longjmp lives outside this frame's
  // registers: the image is built only after the header is read.
  QImage* volatile result = nullptr;
  if (setjmp(manager.jump) != 0) {
    delete result;
    jpeg_destroy_decompress(&info);
    SetError(error, QString::fromLocal8Bit(manager.message));
    return {};
  }

  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);

  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  result = new QImage(width, height, QImage::Format_RGB888);
  if (result->isNull()) {
    delete result;
    jpeg_destroy_decompress(&info);
    SetError(error, QStringLiteral("The picture is too large"));
    return {};
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result->scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (manager.truncated) {
    delete result;
    SetError(error, QString::fromLocal8Bit(manager.message));
    return {};
  }

  QImage image = std::move(*result);
  delete result;
  return image;
}

QImage LoadJpegPicture(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    qWarning().noquote() << "Cannot read the picture" << path << ":" << file.errorString();
    return {};
  }
  QString error;
  QImage image = DecodeJpeg(file.readAll(), &error);
  if (image.isNull()) qWarning().noquote() << "Cannot decode the picture" << path << ":" << error;
  return image;
}

}  // namespace platform
