// Feeds any bytes, as a file, to the readers that give a picture a band of rows at a time (JPEG
// and PNG rows for vorm-cli's streaming path). Each may refuse them but must not crash or leak.
// Pictures above 4 megapixels are opened but not read through, to keep each run short; the
// memory budget is kept small, as for the other readers.
#include "jpeg_rows.h"
#include "memory_budget.h"
#include "png_rows.h"
#include "vorm_error.h"

#include <QFile>
#include <QTemporaryDir>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    static const bool budget = (SetMemoryLimit(qint64(256) << 20), true);
    (void)budget;
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("in"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(AData), qint64(ASize));
    }
    const auto nothingHeld = [](int, int) { return qint64(0); };
    for (int kind = 0; kind < 2; ++kind) {
        try {
            const std::unique_ptr<TRowSource> rows =
                kind == 0 ? OpenJpegRows(path, nothingHeld) : OpenPngRows(path, nothingHeld);
            if (!rows)
                continue;
            const qint64 W = rows->width(), H = rows->height();
            if (W <= 0 || H <= 0 || W * H > (qint64(4) << 20))
                continue;
            constexpr int kBand = 7; // not a divisor of any block size
            std::vector<uchar> band(size_t(W) * 4 * kBand);
            for (int y = 0; y < H; y += kBand)
                rows->read(y, int(std::min<qint64>(H, y + kBand)), band.data(), W * 4);
        } catch (const EVormError&) {
            // refused
        }
    }
    return 0;
}
