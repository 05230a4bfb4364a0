#include "app/AppIcon.h"

#include <QPixmap>

#include <string>

#include "app/AppIconImages.h"
#include "common/DebugLog.h"

namespace qv {

QIcon MakeAppIcon() {
    QIcon pixels;
    for (const AppIconImage& image : AppIconImages()) {
        QPixmap pixmap;
        if (pixmap.loadFromData(image.png.data(), static_cast<uint>(image.png.size()), "PNG")) {
            pixels.addPixmap(pixmap);
        } else {
            DebugLog("the " + std::to_string(image.size) + " pixel icon does not load");
        }
    }
    // The icon theme's "quorvane" where the package installed it (hicolor):
    // a tray host is then told the icon's name as well as its pixels, and
    // draws it as the theme has it. Elsewhere (a build tree) the pixels.
    return QIcon::fromTheme(QStringLiteral("quorvane"), pixels);
}

}  // namespace qv
