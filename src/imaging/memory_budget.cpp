#include "memory_budget.h"

#include "platform.h"

#include <QDir>
#include <QImageIOHandler>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

namespace {

constexpr qint64 kFallbackLimit = qint64(4) << 30;
// The engine's tiles and working rows at the default cell of 16, where the triangles are the
// densest shape: measured at 0.9 bytes a pixel on a 300-megapixel picture, taken as 2. Smaller
// cells take more, up to the tilings' own limit of 2^26 tiles.
constexpr qint64 kEngineBytesPerPixel = 2;
constexpr qint64 kBitmapBytesPerPixel = 4;

std::atomic<qint64> gLimit{0}; // 0: the default
std::atomic<int> gConversionBitmaps{2};

qint64 SaturatingMul(qint64 a, qint64 b) {
    if (a <= 0 || b <= 0)
        return 0;
    return a > LLONG_MAX / b ? LLONG_MAX : a * b;
}

} // namespace

qint64 DefaultMemoryLimit() {
    const qint64 physical = PhysicalMemoryBytes();
    return physical > 0 ? physical / 2 : kFallbackLimit;
}

void SetMemoryLimit(qint64 ABytes) {
    gLimit = std::max<qint64>(ABytes, 0);
    ApplyMemoryLimitToQt();
}

void ApplyMemoryLimitToQt() {
    // In whole MiB, where 0 would mean no limit at all: a smaller limit becomes the least, 1.
    QImageReader::setAllocationLimit(int(std::clamp<qint64>(MemoryLimit() >> 20, 1, INT_MAX)));
}

qint64 MemoryLimit() {
    const qint64 limit = gLimit;
    return limit > 0 ? limit : DefaultMemoryLimit();
}

void SetConversionBitmaps(int ACount) {
    gConversionBitmaps = std::max(ACount, 0);
}

qint64 ConversionBytes(qint64 W, qint64 H, qint64 ADecodeBytesPerPixel) {
    const qint64 converting = kBitmapBytesPerPixel * gConversionBitmaps + kEngineBytesPerPixel;
    const qint64 perPixel = kBitmapBytesPerPixel + std::max(converting, ADecodeBytesPerPixel);
    return SaturatingMul(SaturatingMul(W, H), perPixel);
}

EPictureTooBig::EPictureTooBig(qint64 W, qint64 H, qint64 ANeed, qint64 ALimit)
    : ECodecError(QStringLiteral("a %1 picture needs %2 to convert, more than the %3 allowed")
                      .arg(SizeText(W, H), BytesText(ANeed, true), BytesText(ALimit, false))),
      FWidth(W), FHeight(H), FNeed(ANeed), FLimit(ALimit) {}

QString EPictureTooBig::messageFor(TFileAction, const QString& AFileName) const {
    const QString allowed = gLimit > 0 ? QStringLiteral("the memory limit is %1")
                                       : QStringLiteral("this machine allows %1");
    return QStringLiteral("\"%1\" is %2 pixels (%3) and needs %4 to convert; %5.")
        .arg(QDir::toNativeSeparators(AFileName), SizeText(FWidth, FHeight),
             MegapixelsText(SaturatingMul(FWidth, FHeight)), BytesText(FNeed, true),
             allowed.arg(BytesText(FLimit, false)));
}

void CheckPictureFits(qint64 W, qint64 H, qint64 ADecodeBytesPerPixel) {
    const qint64 need = ConversionBytes(W, H, ADecodeBytesPerPixel);
    const qint64 limit = MemoryLimit();
    if (need > limit)
        throw EPictureTooBig(W, H, need, limit);
}

QImage AllocateBitmap(int W, int H, QImage::Format AFormat, qint64 ADecodeBytesPerPixel) {
    CheckPictureFits(W, H, ADecodeBytesPerPixel);
    ApplyMemoryLimitToQt();
    QImage bitmap;
    if (!QImageIOHandler::allocateImage(QSize(W, H), AFormat, &bitmap))
        Fail(QStringLiteral("there is not enough memory for a %1 picture").arg(SizeText(W, H)));
    return bitmap;
}

QString MegapixelsText(qint64 APixels) {
    const double mp = double(APixels) / 1e6;
    const int decimals = mp >= 10 ? 0 : mp >= 0.1 ? 1 : 3;
    return QStringLiteral("%1 megapixels").arg(mp, 0, 'f', decimals);
}

QString BytesText(qint64 ABytes, bool ARoundUp) {
    const auto figure = [&](double AUnit, int ADecimals) {
        const double scale = std::pow(10.0, ADecimals);
        const double v = double(ABytes) / AUnit * scale;
        return (ARoundUp ? std::ceil(v) : std::floor(v)) / scale;
    };
    if (ABytes >= 1000 * 1000 * 1000)
        return QStringLiteral("%1 GB").arg(figure(1e9, 1), 0, 'f', 1);
    if (ABytes >= 1000 * 1000)
        return QStringLiteral("%1 MB").arg(figure(1e6, 0), 0, 'f', 0);
    return QStringLiteral("%1 kB").arg(figure(1e3, 0), 0, 'f', 0);
}
