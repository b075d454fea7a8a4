// Feeds any bytes to the PSD reader; it may refuse them but must not crash or leak. Every
// picture it accepts must be a valid premultiplied bitmap, and must survive the writer.
#include "psd.h"
#include "vorm_error.h"

#include <QByteArray>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    QImage bitmap;
    try {
        LoadPSDData(QByteArrayView(AData, qsizetype(ASize)), bitmap);
    } catch (const EVormError&) {
        return 0;
    }
    for (int y = 0; y < bitmap.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
        for (int x = 0; x < bitmap.width(); ++x)
            if (qRed(row[x]) > qAlpha(row[x]) || qGreen(row[x]) > qAlpha(row[x]) ||
                qBlue(row[x]) > qAlpha(row[x]))
                std::abort();
    }
    QByteArray written;
    WritePSD([&](const void* p, qint64 n) { written.append(static_cast<const char*>(p), n); },
             bitmap);
    QImage again;
    LoadPSDData(written, again); // throws, and so fails, when the writer's document is refused
    return 0;
}
