// Draws the program's own pictures and start-up sound: the splash picture (320 x 201, 256
// colours), the application icon in four sizes and a short chime. The results are checked in
// in app/assets; run tools/make-assets to make them again.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVector>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A film reel seen from the front, with a strip of film running off it, drawn at `size` pixels.
QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);

    // The film strip.
    QPainterPath strip;
    strip.moveTo(64, 110);
    strip.cubicTo(90, 124, 112, 120, 124, 100);
    p.setPen(QPen(QColor(40, 40, 46), 18, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(strip);
    p.setPen(QPen(QColor(230, 180, 60), 4, Qt::DotLine, Qt::FlatCap));
    p.drawPath(strip);

    // The reel.
    QRadialGradient metal(50, 46, 70);
    metal.setColorAt(0, QColor(235, 238, 245));
    metal.setColorAt(1, QColor(110, 120, 140));
    p.setPen(QPen(QColor(30, 34, 44), 4));
    p.setBrush(metal);
    p.drawEllipse(QPointF(62, 60), 54, 54);
    p.setBrush(QColor(30, 34, 44));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const double a = kPi / 2 + i * 2 * kPi / 5;
        p.drawEllipse(QPointF(62 + 30 * std::cos(a), 60 - 30 * std::sin(a)), 13, 13);
    }
    p.setBrush(QColor(200, 60, 40));
    p.drawEllipse(QPointF(62, 60), 8, 8);
    return image;
}

// A frame made of small blocks, each one colour of a short codebook, the way a vector-quantised
// video looks when its blocks are large; with the program's title on it.
QImage DrawSplash() {
    const int width = 320, height = 201;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);

    // Sky, sun and hills, drawn in 4 x 2 blocks.
    for (int by = 0; by < height; by += 2) {
        for (int bx = 0; bx < width; bx += 4) {
            const double x = bx + 2, y = by + 1;
            const double hill1 = 140 + 14 * std::sin(x / 37.0) + 8 * std::sin(x / 13.0);
            const double hill2 = 165 + 10 * std::sin(x / 23.0 + 1.7);
            QColor c;
            if (y > hill2) {
                c = QColor(30, 60 + static_cast<int>(y - hill2) % 3 * 8, 40);
            } else if (y > hill1) {
                c = QColor(60, 96, 58);
            } else {
                const double d = std::hypot(x - 236, y - 120);
                if (d < 30) {
                    c = QColor(250, 200 - static_cast<int>(d), 90);
                } else {
                    const int t = static_cast<int>(y * 255 / 150);
                    c = QColor(40 + t * 3 / 4 > 255 ? 255 : 40 + t * 3 / 4, 30 + t / 3, 90 + t / 5);
                }
            }
            // Quantise to a 32-step codebook per channel.
            c = QColor(c.red() & 0xF8, c.green() & 0xF8, c.blue() & 0xF8);
            p.fillRect(bx, by, 4, 2, c);
        }
    }
    // Film perforations at the top and bottom edges.
    p.fillRect(0, 0, width, 12, QColor(16, 16, 20));
    p.fillRect(0, height - 12, width, 12, QColor(16, 16, 20));
    for (int x = 6; x < width; x += 16) {
        p.fillRect(x, 3, 8, 6, QColor(220, 220, 210));
        p.fillRect(x, height - 9, 8, 6, QColor(220, 220, 210));
    }

    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont title(QStringLiteral("DejaVu Sans"), 30, QFont::Bold);
    title.setPixelSize(40);
    p.setFont(title);
    const QRect titleRect(0, 34, width, 52);
    p.setPen(QColor(0, 0, 0, 160));
    p.drawText(titleRect.translated(2, 2), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Reelwright"));
    p.setPen(QColor(255, 246, 220));
    p.drawText(titleRect, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Reelwright"));
    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(14);
    p.setFont(sub);
    p.drawText(QRect(0, 84, width, 20), Qt::AlignHCenter, QStringLiteral("VQA to AVI converter"));
    // The version line below (y 104 to 119) is written by the splash screen itself.
    p.end();

    // 256 colours: a 6 x 6 x 6 cube and 40 greys.
    QVector<QRgb> table;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) table.push_back(qRgb(r * 51, g * 51, b * 51));
    for (int i = 0; i < 40; ++i) table.push_back(qRgb(i * 255 / 39, i * 255 / 39, i * 255 / 39));
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::DiffuseDither);
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// Three rising notes with a soft decay, 22050 Hz, 16-bit mono.
std::vector<uint8_t> MakeChime() {
    const int rate = 22050;
    const int samples = rate * 3 / 2;
    const double notes[] = {523.25, 659.25, 783.99};
    std::vector<uint8_t> wav;
    const auto dataBytes = static_cast<uint32_t>(samples * 2);
    for (char c : {'R', 'I', 'F', 'F'}) wav.push_back(static_cast<uint8_t>(c));
    Put32(wav, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) wav.push_back(static_cast<uint8_t>(c));
    Put32(wav, 16);
    Put16(wav, 1);
    Put16(wav, 1);
    Put32(wav, rate);
    Put32(wav, rate * 2);
    Put16(wav, 2);
    Put16(wav, 16);
    for (char c : {'d', 'a', 't', 'a'}) wav.push_back(static_cast<uint8_t>(c));
    Put32(wav, dataBytes);
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0;
        for (int n = 0; n < 3; ++n) {
            const double start = n * 0.16;
            if (t < start) continue;
            const double u = t - start;
            const double envelope = std::exp(-u * 3.2) * std::min(1.0, u * 200);
            v += envelope *
                 (std::sin(2 * kPi * notes[n] * u) + 0.3 * std::sin(4 * kPi * notes[n] * u));
        }
        const double fade = std::min(1.0, (samples - i) / 2000.0);
        const auto s = static_cast<int16_t>(std::lround(v * fade * 7000));
        Put16(wav, static_cast<uint16_t>(s));
    }
    return wav;
}

bool WriteBytes(const QString& path, const std::vector<uint8_t>& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (int size : {16, 32, 48, 128}) {
        ok = DrawIcon(size).save(out.filePath(QStringLiteral("icon-%1.png").arg(size))) && ok;
    }
    ok = DrawSplash().save(out.filePath(QStringLiteral("splash.bmp")), "BMP") && ok;
    ok = WriteBytes(out.filePath(QStringLiteral("intro.wav")), MakeChime()) && ok;
    if (!ok) std::fprintf(stderr, "%s: could not write every file into %s\n", argv[0], argv[1]);
    return ok ? 0 : 1;
}
