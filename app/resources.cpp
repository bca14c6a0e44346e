#include "app/resources.h"

namespace rw {

QString IconResource(int size) {
    return QStringLiteral(":/reelwright/icon-%1.png").arg(size);
}

QIcon LoadApplicationIcon() {
    QIcon icon;
    for (int size : kIconSizes) icon.addFile(IconResource(size), QSize(size, size));
    return icon;
}

}  // namespace rw
