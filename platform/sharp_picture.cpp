#include "platform/sharp_picture.h"

#include "platform/jpeg.h"

#include <QFile>
#include <QImage>

#include <cmath>

namespace platform {

QPixmap SharpPicture(const QString& resource, qreal devicePixelRatio)
{
    QString large = resource;
    large.insert(large.lastIndexOf(u'.'), QLatin1String("@2x"));
    if (devicePixelRatio <= 1 || !QFile::exists(large))
        return QPixmap::fromImage(LoadJpegPicture(resource));
    QImage image = LoadJpegPicture(large);
    if (image.isNull())
        return QPixmap::fromImage(LoadJpegPicture(resource));
    if (devicePixelRatio != 2) {
        const QSize pixels(qRound(image.width() / 2.0 * devicePixelRatio),
                           qRound(image.height() / 2.0 * devicePixelRatio));
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return QPixmap::fromImage(image);
}

}  // namespace platform
