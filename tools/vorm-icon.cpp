// Makes the desktop icons of VORM from the program's own icon: one file for each size that
// desktops ask for, smoothly scaled down.
//   vorm-icon ICON.png OUTDIR     writes OUTDIR/vorm-16.png ... OUTDIR/vorm-256.png
#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: vorm-icon ICON.png OUTDIR\n", stderr);
        return 2;
    }
    const QImage source(QString::fromLocal8Bit(argv[1]));
    if (source.isNull()) {
        std::fprintf(stderr, "vorm-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString name = out.filePath(QStringLiteral("vorm-%1.png").arg(size));
        const QImage icon =
            source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (!icon.save(name)) {
            std::fprintf(stderr, "vorm-icon: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
