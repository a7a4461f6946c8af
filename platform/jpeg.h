#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace platform {

// Decodes a JPEG held in memory with libjpeg. A broken or truncated picture
// gives a null image and, when asked for, the reason in *error; it never ends
// the process.
QImage DecodeJpeg(const QByteArray& data, QString* error = nullptr);

// Reads a picture from a file or a ":/..." resource and decodes it. On failure
// the result is a null image and the reason goes to the warning log.
QImage LoadJpegPicture(const QString& path);

}  // namespace platform
