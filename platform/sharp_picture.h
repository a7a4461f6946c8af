#pragma once

#include <QPixmap>
#include <QString>

namespace platform {

// The picture `resource` (a ":/....jpg") for a screen of the given device
// pixel ratio: above 1, its twice-as-large drawing "<name>@2x.jpg", brought to
// the screen's exact pixels, so it is not a stretched small one. Without that
// drawing, the small one.
QPixmap SharpPicture(const QString& resource, qreal devicePixelRatio);

}  // namespace platform
