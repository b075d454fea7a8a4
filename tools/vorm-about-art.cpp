// Paints the About dialog's pictures and the program's icon with the mosaic engine itself, so
// that they can be rebuilt whenever the brand changes:
//   vorm-about-art src/ui/res
// writes ABOUT_ICN60.png (60 × 60), APP_ICON256.png (256 × 256), ABOUT_SKINW.png and
// ABOUT_SKINB.png (512 × 256), and the same icon as the SVG writer's document, APP_ICON.svg,
// which desktops scale to any size.
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "tilings.h"
#include "treatments.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>

namespace {

// The mark: hexagon tiles of a blue gradient, light at the top left and deep at the bottom
// right, inside a circle, turning white around a highlight. Tiles are kept or dropped whole, so
// the outline stays crisp at 60 pixels. The tiles left out have no pixels.
TItemXs MarkTiles(int N) {
    QImage ground(N, N, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter p(&ground);
        QLinearGradient blue(0.1 * N, 0.05 * N, 0.9 * N, 0.95 * N);
        blue.setColorAt(0, QColor(0x6A, 0xC8, 0xFF));
        blue.setColorAt(0.5, QColor(0x1E, 0x7C, 0xE0));
        blue.setColorAt(1, QColor(0x0B, 0x3B, 0x8F));
        p.fillRect(ground.rect(), blue);
    }
    // With cells of N / 14 a tile sits at (N / 2, 8 × row height), which keeps the mark
    // symmetric about that tile.
    const double w = N / 14.0;
    const QPointF centre(0.5, 8 * w * std::sqrt(3.0) / 2 / N);
    TItemXs items;
    InitHexagon(ground, float(w), items);
    SampleItemXs(ground, items, nullptr);
    std::uint32_t seed = 0x9E3779B9u;
    for (TItemX& t : items) {
        // A fixed pseudo-random shade per tile, so that neighbours of the gradient differ.
        seed = seed * 1664525u + 1013904223u;
        const double shade = 0.86 + 0.28 * ((seed >> 8) & 0xFFFF) / 65535.0;
        t.R = std::min(t.R * shade, 255.0 * t.Count);
        t.G = std::min(t.G * shade, 255.0 * t.Count);
        t.B = std::min(t.B * shade, 255.0 * t.Count);
        QPointF c;
        for (const TPointF& p : t.Points)
            c += QPointF(p.X, p.Y);
        c /= double(t.Points.size()) * N;
        if (std::hypot(c.x() - centre.x(), c.y() - centre.y()) > 0.47) {
            t.Count = 0; // not painted
        } else {
            // Whiter towards a highlight at the top left, like light on a cut stone.
            const double k =
                std::clamp(1.3 - std::hypot(c.x() - 0.36, c.y() - 0.34) / 0.24, 0.0, 0.95);
            t.R += (255.0 * t.Count - t.R) * k;
            t.G += (255.0 * t.Count - t.G) * k;
            t.B += (255.0 * t.Count - t.B) * k;
        }
    }
    return items;
}

QImage Mark(int N) {
    QImage out;
    RenderItemXs(MarkTiles(N), N, N, out, ConvColor, 1.0f);
    return out;
}

// The mark as the SVG writer writes a mosaic: one path per tile.
bool SaveSvgMark(int N, const QDir& ADir, const char* AName) {
    const std::string text = ItemXsSvgText(MarkTiles(N), N, N, ConvColor, 1.0f, true);
    const QString path = ADir.filePath(QString::fromLatin1(AName) + ".svg");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.flush()) {
        std::fprintf(stderr, "vorm-about-art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The mosaic mark as a watermark: its lightness mapped into [ALow, AHigh] grey.
QImage Watermark(int N, int ALow, int AHigh) {
    QImage mark = Mark(N).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < mark.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(mark.scanLine(y));
        for (int x = 0; x < mark.width(); ++x) {
            const QColor c = QColor::fromRgba(line[x]);
            const int g = ALow + (AHigh - ALow) * c.lightness() / 255;
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return mark;
}

QImage Skin(QColor AGround, int ALow, int AHigh, QColor AName) {
    QImage img(512, 256, QImage::Format_ARGB32_Premultiplied);
    img.fill(AGround);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const int markSize = 150;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(52);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(font);
    const QString name = QStringLiteral("ORVANTE");
    const int nameWidth = p.fontMetrics().horizontalAdvance(name);
    const int gap = 14;
    const int left = (512 - (markSize + gap + nameWidth)) / 2;
    p.drawImage(left, (256 - markSize) / 2, Watermark(markSize, ALow, AHigh));
    p.setPen(AName);
    p.drawText(QRect(left + markSize + gap, 0, nameWidth + 8, 256),
               Qt::AlignLeft | Qt::AlignVCenter, name);
    return img;
}

bool Save(const QImage& AImage, const QDir& ADir, const char* AName) {
    const QString path = ADir.filePath(QString::fromLatin1(AName) + ".png");
    if (AImage.isNull() || !AImage.save(path, "PNG")) {
        std::fprintf(stderr, "vorm-about-art: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    // Fonts need a GUI application, though nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: vorm-about-art OUTPUT_DIR\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists()) {
        std::fprintf(stderr, "vorm-about-art: no folder %s\n", argv[1]);
        return 1;
    }
    try {
        const bool ok =
            Save(Mark(60), dir, "ABOUT_ICN60") && Save(Mark(256), dir, "APP_ICON256") &&
            SaveSvgMark(256, dir, "APP_ICON") &&
            Save(Skin(Qt::white, 0xE8, 0xF6, QColor(0xEB, 0xEB, 0xEB)), dir, "ABOUT_SKINW") &&
            Save(Skin(QColor(0x17, 0x17, 0x17), 0x00, 0x0C, Qt::black), dir, "ABOUT_SKINB");
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorm-about-art: %s\n", e.what());
        return 1;
    }
}
