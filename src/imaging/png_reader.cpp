#include "png_reader.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <QBuffer>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <spng.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr int kSignatureSize = 8;
constexpr int kChunkHead = 8; // length and type
constexpr int kChunkCrc = 4;
// A length above 2^31 - 1 is not a PNG's.
constexpr uint32_t kMaxChunkLength = 0x7fffffff;
constexpr qint64 kMaxDeflateRatio = 1032;
// What libspng may hold of ancillary chunks (texts, profiles), decompressed: libvips' limit.
constexpr size_t kChunkCacheLimit = size_t(64) << 20;

enum : uint8_t { kGrey = 0, kRgb = 2, kIndexed = 3, kGreyAlpha = 4, kRgba = 6 };

// Where each pass of Adam7 interlacing puts its pixels.
constexpr std::array<int, 7> kPassX0 = {0, 4, 0, 2, 0, 1, 0};
constexpr std::array<int, 7> kPassDx = {8, 8, 4, 4, 2, 2, 1};

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

// A 16-bit sample as 8 bits: round(v / 257), exactly.
inline uint32_t Reduce16(uint32_t v) {
    return (v + 128) / 257;
}

// Straight colour to the bitmap's premultiplied form, with Qt's own rounding.
inline QRgb Premultiplied(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (a == 255)
        return qRgb(int(r), int(g), int(b));
    return qPremultiply(qRgba(int(r), int(g), int(b), int(a)));
}

// Makes the bitmap's pixels from scanlines as the file stores them (16-bit samples in host
// order), by the PNG format's own rules.
class TPngPixels {
public:
    TPngPixels(spng_ctx* ACtx, const spng_ihdr& AHeader)
        : FType(AHeader.color_type), FDepth(AHeader.bit_depth) {
        spng_trns trns{};
        FHasTrns = spng_get_trns(ACtx, &trns) == 0;
        // By the format's rules a tRNS sample has the image's bit depth; readers take its low bits.
        const uint32_t mask = FDepth < 16 ? (1u << FDepth) - 1 : 0xffff;
        FTrns = {trns.gray & mask, trns.red & mask, trns.green & mask, trns.blue & mask};
        if (FType == kIndexed) {
            // Indices past the palette are opaque black, as libpng and Pillow make them.
            FTable.fill(qRgb(0, 0, 0));
            spng_plte plte{};
            if (spng_get_plte(ACtx, &plte) == 0)
                for (uint32_t i = 0; i < plte.n_entries && i < 256; ++i) {
                    const uint32_t a =
                        FHasTrns && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
                    FTable[i] = Premultiplied(plte.entries[i].red, plte.entries[i].green,
                                              plte.entries[i].blue, a);
                }
        } else if (FType == kGrey && FDepth <= 8) {
            const uint32_t top = (1u << FDepth) - 1;
            for (uint32_t s = 0; s <= top; ++s) {
                const uint32_t v = s * 255 / top; // exact for depths 1, 2, 4 and 8
                FTable[s] = FHasTrns && s == FTrns[0] ? 0 : qRgb(int(v), int(v), int(v));
            }
        }
    }

    // The bytes of one scanline of AWidth pixels.
    static size_t ScanlineBytes(const spng_ihdr& AHeader, uint32_t AWidth) {
        const int channels = AHeader.color_type == kRgb         ? 3
                             : AHeader.color_type == kGreyAlpha ? 2
                             : AHeader.color_type == kRgba      ? 4
                                                                : 1;
        return (size_t(AWidth) * channels * AHeader.bit_depth + 7) / 8;
    }

    // Pixel i of the scanline AIn goes to AOut[i * AStep].
    void convert(const uint8_t* AIn, uint32_t AWidth, QRgb* AOut, int AStep) const {
        const auto* in16 = reinterpret_cast<const uint16_t*>(AIn);
        switch (FType) {
        case kIndexed:
        case kGrey:
            if (FDepth == 16) {
                for (uint32_t i = 0; i < AWidth; ++i) {
                    uint16_t s;
                    std::memcpy(&s, in16 + i, 2);
                    const int v = int(Reduce16(s));
                    AOut[i * AStep] = FHasTrns && s == FTrns[0] ? 0 : qRgb(v, v, v);
                }
            } else if (FDepth == 8) {
                for (uint32_t i = 0; i < AWidth; ++i)
                    AOut[i * AStep] = FTable[AIn[i]];
            } else {
                const int perByte = 8 / FDepth;
                const uint32_t mask = (1u << FDepth) - 1;
                for (uint32_t i = 0; i < AWidth; ++i) {
                    const int shift = 8 - FDepth * (int(i % perByte) + 1);
                    AOut[i * AStep] = FTable[(AIn[i / perByte] >> shift) & mask];
                }
            }
            break;
        case kGreyAlpha:
            for (uint32_t i = 0; i < AWidth; ++i) {
                uint32_t g, a;
                if (FDepth == 16) {
                    uint16_t s[2];
                    std::memcpy(s, in16 + 2 * i, 4);
                    g = Reduce16(s[0]), a = Reduce16(s[1]);
                } else {
                    g = AIn[2 * i], a = AIn[2 * i + 1];
                }
                AOut[i * AStep] = Premultiplied(g, g, g, a);
            }
            break;
        case kRgb:
            for (uint32_t i = 0; i < AWidth; ++i) {
                uint32_t r, g, b;
                if (FDepth == 16) {
                    uint16_t s[3];
                    std::memcpy(s, in16 + 3 * i, 6);
                    r = s[0], g = s[1], b = s[2];
                } else {
                    r = AIn[3 * i], g = AIn[3 * i + 1], b = AIn[3 * i + 2];
                }
                if (FHasTrns && r == FTrns[1] && g == FTrns[2] && b == FTrns[3])
                    AOut[i * AStep] = 0;
                else if (FDepth == 16)
                    AOut[i * AStep] = qRgb(int(Reduce16(r)), int(Reduce16(g)), int(Reduce16(b)));
                else
                    AOut[i * AStep] = qRgb(int(r), int(g), int(b));
            }
            break;
        case kRgba:
            for (uint32_t i = 0; i < AWidth; ++i) {
                if (FDepth == 16) {
                    uint16_t s[4];
                    std::memcpy(s, in16 + 4 * i, 8);
                    AOut[i * AStep] = Premultiplied(Reduce16(s[0]), Reduce16(s[1]), Reduce16(s[2]),
                                                    Reduce16(s[3]));
                } else {
                    const uint8_t* p = AIn + 4 * i;
                    AOut[i * AStep] = Premultiplied(p[0], p[1], p[2], p[3]);
                }
            }
            break;
        default:
            break;
        }
    }

private:
    int FType;
    int FDepth;
    bool FHasTrns = false;
    std::array<uint32_t, 4> FTrns{}; // grey, red, green, blue: masked to the bit depth
    std::array<QRgb, 256> FTable{};  // palette, or the grey levels of depths up to 8
};

// What libspng's error code says, for a message.
QString Damage(int ACode) {
    return QStringLiteral("the PNG data are damaged (%1)")
        .arg(QString::fromUtf8(spng_strerror(ACode)));
}

} // namespace

bool IsPng(QByteArrayView AData) {
    return AData.size() >= kSignatureSize && std::memcmp(AData.data(), kSignature, 8) == 0;
}

bool IsPngCutShort(QIODevice& ADevice) {
    if (!ADevice.seek(0) || !IsPng(ADevice.read(kSignatureSize)))
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

bool IsPngCutShort(QByteArrayView AData) {
    QByteArray data = AData.toByteArray(); // QBuffer wants an array; a cut-short check is rare
    QBuffer buffer(&data);
    return buffer.open(QIODevice::ReadOnly) && IsPngCutShort(buffer);
}

std::optional<TPngHeader> ReadPngHeader(QByteArrayView AHead) {
    if (AHead.size() < kSignatureSize + kChunkHead + 13 || !IsPng(AHead) ||
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

void CheckPngFileHolds(QByteArrayView AHead, qint64 AFileBytes) {
    if (const std::optional<TPngHeader> png = ReadPngHeader(AHead);
        png && png->LeastFileBytes > AFileBytes)
        Fail(QStringLiteral("its %1 bytes cannot hold a %2 picture, which takes at least %3 even "
                            "at the densest compression")
                 .arg(AFileBytes)
                 .arg(SizeText(png->Width, png->Height), BytesText(png->LeastFileBytes, true)));
}

QImage ReadPng(QByteArrayView AData, QString& AWarning) {
    AWarning.clear();
    if (!IsPng(AData))
        Fail(QStringLiteral("the file is not a PNG picture"));
    CheckPngFileHolds(AData, AData.size());
    const bool cutShort = IsPngCutShort(AData);
    const QByteArray whole = cutShort ? WholeChunks(AData) : QByteArray();
    const QByteArrayView data = cutShort ? QByteArrayView(whole) : AData;
    const std::unique_ptr<spng_ctx, TSpngDeleter> ctx(spng_ctx_new(0));
    if (!ctx)
        throw std::bad_alloc();
    spng_set_chunk_limits(ctx.get(), kMaxChunkLength, kChunkCacheLimit);
    spng_set_image_limits(ctx.get(), INT_MAX, INT_MAX);
    const QString beforeFirstRow = QStringLiteral("the file is cut short before its first row");
    spng_ihdr ihdr{};
    if (int rc = spng_set_png_buffer(ctx.get(), data.data(), size_t(data.size())); rc != 0)
        Fail(Damage(rc));
    if (int rc = spng_get_ihdr(ctx.get(), &ihdr); rc != 0)
        Fail(cutShort ? beforeFirstRow : Damage(rc));
    const int W = int(ihdr.width), H = int(ihdr.height);
    QImage bitmap = AllocateBitmap(W, H);
    if (int rc = spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
        rc != 0)
        Fail(cutShort ? beforeFirstRow : Damage(rc));
    const bool interlaced = ihdr.interlace_method != 0;
    if (interlaced) // a pass may end anywhere: every pixel starts transparent
        bitmap.fill(Qt::transparent);
    const TPngPixels pixels(ctx.get(), ihdr);
    std::vector<uint8_t> scanline(TPngPixels::ScanlineBytes(ihdr, ihdr.width) + 8);
    int rows = 0; // scanlines decoded
    int rc = 0;
    uchar* const base = bitmap.bits();
    const qsizetype bytesPerLine = bitmap.bytesPerLine();
    FillMappingPagesAhead(bitmap, [&] {
        for (;;) {
            spng_row_info info{};
            if ((rc = spng_get_row_info(ctx.get(), &info)) != 0)
                break;
            rc = spng_decode_scanline(ctx.get(), scanline.data(), scanline.size());
            if (rc != 0 && rc != SPNG_EOI)
                break;
            auto* out = reinterpret_cast<QRgb*>(base + qsizetype(info.row_num) * bytesPerLine);
            if (interlaced) {
                const int x0 = kPassX0[size_t(info.pass)], dx = kPassDx[size_t(info.pass)];
                pixels.convert(scanline.data(), uint32_t((W - x0 + dx - 1) / dx), out + x0, dx);
            } else {
                pixels.convert(scanline.data(), ihdr.width, out, 1);
            }
            ++rows;
            if (rc == SPNG_EOI)
                break;
        }
    });
    if (rc == SPNG_EOI && !cutShort) {
        // The chunks after the rows: a damaged end of the pixel data shows only there.
        uint32_t texts = 0;
        const int end = spng_get_text(ctx.get(), nullptr, &texts);
        if (end != 0 && end != SPNG_ECHUNKAVAIL)
            Fail(Damage(end));
    }
    // In a file cut short, the cut is what ends the rows, whatever libspng makes of it.
    if (rc != SPNG_EOI && !cutShort)
        Fail(Damage(rc));
    if (rows == 0)
        Fail(beforeFirstRow);
    if (!interlaced)
        for (int y = rows; y < H; ++y)
            std::memset(bitmap.scanLine(y), 0, size_t(bitmap.bytesPerLine()));
    if (rc == SPNG_EOI)
        return bitmap; // every row came: only what follows them is missing
    if (interlaced)
        AWarning = QStringLiteral("its interlaced rows are read as far as the file goes, the "
                                  "later passes only in part; the rest is transparent");
    else
        AWarning =
            QStringLiteral("%1 of its %2 rows are read; the rest is transparent").arg(rows).arg(H);
    return bitmap;
}

// ---- For the row reader (png_rows.cpp): this reader's pixel rules, one scanline at a time ----

struct TPngRowPixels::TImpl {
    TPngPixels Pixels;
};

TPngRowPixels::TPngRowPixels(spng_ctx* ACtx, const spng_ihdr& AHeader)
    : F(new TImpl{TPngPixels(ACtx, AHeader)}) {}

TPngRowPixels::~TPngRowPixels() = default;

size_t TPngRowPixels::scanlineBytes(const spng_ihdr& AHeader) {
    return TPngPixels::ScanlineBytes(AHeader, AHeader.width);
}

void TPngRowPixels::convert(const uint8_t* AIn, uint32_t AWidth, QRgb* AOut) const {
    F->Pixels.convert(AIn, AWidth, AOut, 1);
}

QString PngDamageReason(int ACode) {
    return Damage(ACode);
}
