// The program's own pictures, compiled into it: the application icon (several sizes) and the
// splash picture.
#pragma once

#include <QIcon>
#include <QString>

namespace rw {

inline constexpr const char* kSplashResource = ":/reelwright/splash.bmp";
inline constexpr int kIconSizes[] = {16, 32, 48, 128};

// Resource path of the icon image of the given size ("…/icon-32.png").
QString IconResource(int size);
// The application icon with all its sizes.
QIcon LoadApplicationIcon();

}  // namespace rw
