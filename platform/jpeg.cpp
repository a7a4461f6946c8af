#include "platform/jpeg.h"

#include <QFile>
#include <QtDebug>

#include <csetjmp>
#include <memory>

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

void JumpBackOnError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    // After running out of data the later complaint is only a consequence.
    if (!manager->truncated)
        (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings print nothing. Most leave a usable picture; running out of data
// leaves a grey band, so that one fails the picture after decoding.
void NoteWarning(j_common_ptr info, int level)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF && !manager->truncated) {
        manager->truncated = true;
        (*info->err->format_message)(info, manager->message);
    }
}

// Far beyond any picture the program carries, small enough to allocate.
constexpr JDIMENSION MaxSide = 8192;

void SetError(QString* error, const QString& message)
{
    if (error != nullptr)
        *error = message;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data, QString* error)
{
    if (data.isEmpty()) {
        SetError(error, QStringLiteral("The picture is empty"));
        return {};
    }

    jpeg_decompress_struct info{};
    ErrorManager manager{};
    info.err = jpeg_std_error(&manager.base);
    manager.base.error_exit = JumpBackOnError;
    manager.base.emit_message = NoteWarning;

    // A longjmp must not skip a destructor, so between here and the last
    // libjpeg call the picture is only reached through a plain pointer.
    QImage* volatile picture = nullptr;
    if (setjmp(manager.jump) != 0) {
        delete picture;
        jpeg_destroy_decompress(&info);
        SetError(error, QString::fromLocal8Bit(manager.message));
        return {};
    }

    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    // The header alone decides how much memory is taken: refuse sizes no
    // picture of ours comes near before allocating for them.
    if (info.image_width > MaxSide || info.image_height > MaxSide) {
        jpeg_destroy_decompress(&info);
        SetError(error,
                 QStringLiteral("The picture is too large (%1 x %2)").arg(info.image_width).arg(info.image_height));
        return {};
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);

    picture = new QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                         QImage::Format_RGB888);
    if (picture->isNull()) {
        delete picture;
        jpeg_destroy_decompress(&info);
        SetError(error, QStringLiteral("Not enough memory for the picture"));
        return {};
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);

    std::unique_ptr<QImage> decoded(picture);
    if (manager.truncated) {
        SetError(error, QString::fromLocal8Bit(manager.message));
        return {};
    }
    return std::move(*decoded);
}

QImage LoadJpegPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Cannot read the picture" << path << ":" << file.errorString();
        return {};
    }
    QString error;
    QImage image = DecodeJpeg(file.readAll(), &error);
    if (image.isNull())
        qWarning().noquote() << "Cannot decode the picture" << path << ":" << error;
    return image;
}

}  // namespace platform
