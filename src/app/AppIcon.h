#pragma once
// The application icon: a remote control drawn at run time.

#include <QIcon>

namespace qv {

QIcon MakeAppIcon();

}  // namespace qv
