#include "png_partial.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <climits>
#include <cstring>
#include <memory>
#include <spng.h>
#include <zlib.h>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr int kSignatureSize = 8;
constexpr int kChunkHead = 8; // length and type
constexpr int kChunkCrc = 4;
// A length above 2^31 - 1 is not a PNG's.
constexpr uint32_t kMaxChunkLength = 0x7fffffff;
constexpr qint64 kMaxDeflateRatio = 1032;

bool HasSignature(QByteArrayView AData) {
    return AData.size() >= kSignatureSize && std::memcmp(AData.data(), kSignature, 8) == 0;
}

const uint8_t* Bytes(QByteArrayView AData) {
    return reinterpret_cast<const uint8_t*>(AData.data());
}

// The data with the chunk that the cut goes through made whole: its length becomes that of the
// bytes it still has, and its CRC is worked out again, so that libspng reads them. A chunk whose
// length field was cut off is dropped.
QByteArray WholeChunks(QByteArrayView AData) {
    QByteArray out = AData.toByteArray();
    qint64 pos = kSignatureSize;
    while (pos + kChunkHead <= out.size()) {
        const uint32_t length = GetBe32(Bytes(out) + pos);
        const qint64 end = pos + kChunkHead + qint64(length) + kChunkCrc;
        if (end <= out.size()) {
            pos = end;
            continue;
        }
        const qint64 kept = std::min<qint64>(length, out.size() - pos - kChunkHead);
        out.truncate(pos + kChunkHead + kept);
        for (int i = 0; i < 4; ++i)
            out[pos + i] = char(uint32_t(kept) >> (24 - 8 * i));
        const uLong crc = crc32(0, Bytes(out) + pos + 4, uInt(4 + kept));
        for (int i = 0; i < 4; ++i)
            out.append(char(uint32_t(crc) >> (24 - 8 * i)));
        return out;
    }
    out.truncate(pos);
    return out;
}

struct TSpngDeleter {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};

} // namespace

bool IsPngCutShort(QIODevice& ADevice) {
    if (!ADevice.seek(0) || !HasSignature(ADevice.read(kSignatureSize)))
        return false;
    const qint64 size = ADevice.size();
    qint64 pos = kSignatureSize;
    while (pos + kChunkHead <= size) {
        if (!ADevice.seek(pos))
            return false;
        const QByteArray head = ADevice.read(kChunkHead);
        if (head.size() < kChunkHead)
            return true;
        const uint32_t length = GetBe32(Bytes(head));
        if (length > kMaxChunkLength)
            return false; // damaged, not cut short
        pos += kChunkHead + qint64(length) + kChunkCrc;
        if (head.endsWith("IEND"))
            return pos > size;
    }
    return true;
}

std::optional<TPngHeader> ReadPngHeader(QByteArrayView AHead) {
    if (AHead.size() < kSignatureSize + kChunkHead + 13 || !HasSignature(AHead) ||
        std::memcmp(AHead.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    const uint8_t* h = Bytes(AHead) + kSignatureSize + kChunkHead;
    TPngHeader p;
    p.Width = GetBe32(h);
    p.Height = GetBe32(h + 4);
    const int depth = h[8], colorType = h[9];
    const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    if (p.Width > kMaxChunkLength || p.Height > kMaxChunkLength || depth > 16)
        return std::nullopt;
    p.Deep = depth == 16;
    // Each row starts with its filter byte: up to 2^34 bytes for 2^31 pixels of 64 bits. The
    // product with up to 2^31 rows would not fit 64 bits, so the floor of rows × rowBytes / ratio
    // is taken in two exact parts.
    const qint64 rowBytes = 1 + (p.Width * depth * channels + 7) / 8;
    p.LeastFileBytes = p.Height * (rowBytes / kMaxDeflateRatio) +
                       p.Height * (rowBytes % kMaxDeflateRatio) / kMaxDeflateRatio;
    return p;
}

QImage ReadCutShortPng(QByteArrayView AData, QString& AWarning) {
    const std::unique_ptr<spng_ctx, TSpngDeleter> ctx(spng_ctx_new(0));
    if (!ctx)
        throw std::bad_alloc();
    const QByteArray data = WholeChunks(AData);
    spng_ihdr ihdr{};
    if (spng_set_png_buffer(ctx.get(), data.constData(), size_t(data.size())) != 0 ||
        spng_get_ihdr(ctx.get(), &ihdr) != 0)
        Fail(QStringLiteral("the file is cut short before its first row"));
    if (ihdr.width > INT_MAX || ihdr.height > INT_MAX)
        Fail(QStringLiteral("a %1 picture is not possible").arg(SizeText(ihdr.width, ihdr.height)));
    const int W = int(ihdr.width), H = int(ihdr.height);
    // The formats Qt's own decoder gives, so that Qt's conversion makes the same pixels.
    const bool deep = ihdr.bit_depth == 16;
    const int fmt = deep ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    QImage rows = AllocateBitmap(W, H, deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888,
                                 deep ? 8 : 0); // the 16-bit rows beside their conversion
    rows.fill(Qt::transparent);
    size_t size = 0;
    if (spng_decoded_image_size(ctx.get(), fmt, &size) != 0 ||
        spng_decode_image(ctx.get(), nullptr, 0, fmt, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE))
        Fail(QStringLiteral("the file is cut short before its first row"));
    const size_t rowBytes = size / size_t(H);
    int read = 0, rc = 0; // rows decoded, and the last return code
    do {
        spng_row_info info{};
        if (spng_get_row_info(ctx.get(), &info) != 0)
            break;
        rc = spng_decode_row(ctx.get(), rows.scanLine(int(info.row_num)), rowBytes);
        if (rc == 0 || rc == SPNG_EOI)
            ++read;
    } while (rc == 0);
    if (read == 0)
        Fail(QStringLiteral("the file is cut short before its first row"));
    if (rc == SPNG_EOI)
        AWarning.clear(); // every row came: only what follows them is missing
    else if (ihdr.interlace_method != 0)
        AWarning = QStringLiteral("its interlaced rows are read as far as the file goes, the "
                                  "later passes only in part; the rest is transparent");
    else
        AWarning =
            QStringLiteral("%1 of its %2 rows are read; the rest is transparent").arg(read).arg(H);
    return AsBitmap(std::move(rows));
}
