#pragma once
// The application icon of the tray and the window: the PNG sizes rendered at
// build time from data/icons/quorvane.svg (app/AppIconImages.h), the same
// image the package installs into the icon theme.

#include <QIcon>

namespace qv {

QIcon MakeAppIcon();

}  // namespace qv
