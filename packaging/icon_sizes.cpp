// Makes the application icon in the sizes of the desktop's icon theme from the program's own icon
// pictures. A size that exists among the pictures is copied as drawn; any other is scaled down
// from the smallest larger picture, or up from the largest one.
//
// Usage: rw_icon_sizes OUTPUT-FOLDER SIZE[,SIZE...] PICTURE.png...
// Writes OUTPUT-FOLDER/<size>x<size>/apps/reelwright.png for each size.
#include <QDir>
#include <QImage>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <map>

namespace {

int Fail(const QString& message) {
    std::fprintf(stderr, "rw_icon_sizes: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Fail("usage: rw_icon_sizes OUTPUT-FOLDER SIZE[,SIZE...] PICTURE.png...");
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);

    std::map<int, QImage> pictures;  // by width; only square pictures are used
    for (int i = 3; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QImage image(path);
        if (image.isNull()) return Fail(path + ": cannot be read as a picture");
        if (image.width() != image.height()) {
            return Fail(path +
                        QString(": not square (%1 x %2)").arg(image.width()).arg(image.height()));
        }
        pictures[image.width()] = image.convertToFormat(QImage::Format_ARGB32);
    }

    for (const QString& item : QString::fromLocal8Bit(argv[2]).split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = item.toInt(&ok);
        if (!ok || size < 8 || size > 1024) return Fail("not an icon size: " + item);

        auto it = pictures.lower_bound(size);
        const QImage& source = it != pictures.end() ? it->second : pictures.rbegin()->second;
        const QImage icon =
            source.width() == size
                ? source
                : source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

        const QString dir = QString("%1/%2x%2/apps").arg(outDir).arg(size);
        if (!QDir().mkpath(dir)) return Fail(dir + ": cannot create the folder");
        const QString file = dir + "/reelwright.png";
        if (!icon.save(file, "PNG")) return Fail(file + ": cannot be written");
    }
    return 0;
}
