#include "app/AppIcon.h"

#include <QPixmap>

#include <string>

#include "app/AppIconImages.h"
#include "common/DebugLog.h"

namespace qv {

QIcon MakeAppIcon() {
    QIcon icon;
    for (const AppIconImage& image : AppIconImages()) {
        QPixmap pixmap;
        if (pixmap.loadFromData(image.png.data(), static_cast<uint>(image.png.size()), "PNG")) {
            icon.addPixmap(pixmap);
        } else {
            DebugLog("the " + std::to_string(image.size) + " pixel icon does not load");
        }
    }
    return icon;
}

}  // namespace qv
