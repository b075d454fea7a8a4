// Makes the desktop icons of VORM from one square picture: a rounded tile at each size that
// desktops ask for, smoothly scaled down.
//   vorm-icon PICTURE.png OUTDIR     writes OUTDIR/vorm-16.png ... OUTDIR/vorm-256.png
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: vorm-icon PICTURE.png OUTDIR\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "vorm-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    // Drawn once large, so that every size is a plain reduction of the same picture.
    const int big = 512;
    QImage master(big, big, QImage::Format_ARGB32_Premultiplied);
    master.fill(Qt::transparent);
    {
        QPainter p(&master);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath tile;
        const QRectF r(big * 0.04, big * 0.04, big * 0.92, big * 0.92);
        tile.addRoundedRect(r, big * 0.18, big * 0.18);
        p.setClipPath(tile);
        const QImage square =
            source.scaled(big, big, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        p.drawImage(QPointF((big - square.width()) / 2.0, (big - square.height()) / 2.0), square);
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString name = out.filePath(QStringLiteral("vorm-%1.png").arg(size));
        if (!master.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                 .save(name)) {
            std::fprintf(stderr, "vorm-icon: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
