#include "bmp.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace {

// The file header, then the info header, whose size says its kind.
constexpr int kFileHeader = 14;
constexpr int kOffBits = 10;
enum : uint32_t {
    kCoreHeader = 12, // OS/2 1.x and Windows 2: 16-bit sides, 3-byte palette entries
    kOs2MinHeader = 16,
    kOs2MaxHeader = 64, // OS/2 2.x: any size from 16 to 64, fields past it zero
    kV3Header = 40,
    kV3MasksHeader = 52, // V3 with the colour masks inside it
    kV3AlphaHeader = 56, // and the alpha mask
    kV4Header = 108,
    kV5Header = 124,
};
// Offsets inside the info header of Windows 3 and later (OS/2 2.x shares the first 40 bytes).
namespace Info {
constexpr int kWidth = 4, kHeight = 8, kBits = 14, kCompression = 16, kColorsUsed = 32;
constexpr int kMasks = 40; // red, green, blue, then alpha
} // namespace Info

enum : uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3, // OS/2 2.x: Huffman 1D
    kJpeg = 4,      // OS/2 2.x: RLE24
    kPng = 5,
    kAlphaBitFields = 6,
};

constexpr QRgb kBlack = 0xff000000; // palette entries that the file does not give

// One colour channel of a 16- or 32-bit pixel: its mask, and the scale from its width to 8 bits.
struct TChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint64_t Max = 0; // 0: the channel is absent
    explicit TChannel(uint32_t AMask = 0) : Mask(AMask) {
        if (!AMask)
            return;
        Shift = std::countr_zero(AMask);
        Max = AMask >> Shift;
    }
    bool contiguous() const { return (Max & (Max + 1)) == 0; }
    bool byteWide() const { return Max == 255 && Shift % 8 == 0; }
    // round(v × 255 / max), exactly, for any width up to 32 bits.
    uint32_t operator()(uint32_t APixel) const {
        const uint64_t v = (APixel & Mask) >> Shift;
        return uint32_t((v * 255 + Max / 2) / Max);
    }
};

struct TBmp {
    int W = 0, H = 0;
    bool TopDown = false;
    int Bits = 0;
    uint32_t Compression = kRgb;
    bool Os2 = false;
    TChannel R, G, B, A; // 16 and 32 bits
    std::array<QRgb, 256> Palette{};
    qint64 Offset = 0; // of the pixel data
};

uint32_t Le32(QByteArrayView AData, qint64 APos) {
    return GetLe32(reinterpret_cast<const uint8_t*>(AData.data()) + APos);
}

[[noreturn]] void CutInHeader() {
    Fail(QStringLiteral("the file is cut short in its header"));
}

QString CompressionProblem(uint32_t ACompression, bool AOs2) {
    if (AOs2 && ACompression == kBitFields)
        return QStringLiteral("OS/2 BMP pictures compressed with Huffman 1D are not supported");
    if (AOs2 && ACompression == kJpeg)
        return QStringLiteral("OS/2 BMP pictures compressed with RLE24 are not supported");
    if (ACompression == kJpeg || ACompression == kPng)
        return QStringLiteral("BMP files that hold a %1 picture are not supported")
            .arg(ACompression == kJpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG"));
    return QStringLiteral("BMP compression %1 is not supported").arg(ACompression);
}

// The headers and the palette, checked against each other and against the file's bytes.
TBmp ReadHeaders(QByteArrayView AData) {
    if (AData.size() < kFileHeader + 4)
        CutInHeader();
    TBmp b;
    const uint32_t size = Le32(AData, kFileHeader);
    const bool core = size == kCoreHeader;
    b.Os2 = size >= kOs2MinHeader && size <= kOs2MaxHeader && size != kV3Header &&
            size != kV3MasksHeader && size != kV3AlphaHeader;
    const bool windows = size == kV3Header || size == kV3MasksHeader || size == kV3AlphaHeader ||
                         size == kV4Header || size == kV5Header;
    if (!core && !b.Os2 && !windows)
        Fail(QStringLiteral("its BMP header of %1 bytes is of no known kind").arg(size));
    if (AData.size() < kFileHeader + qint64(size))
        CutInHeader();
    // The header as 64 bytes, zero past its end: OS/2 2.x leaves out the fields it does not use.
    uint8_t h[Info::kMasks + 16] = {};
    std::memcpy(h, AData.data() + kFileHeader, std::min<size_t>(size, sizeof h));
    qint64 w, height;
    if (core) {
        w = GetLe16(h + 4);
        height = GetLe16(h + 6);
        b.Bits = GetLe16(h + 10);
    } else {
        w = int32_t(GetLe32(h + Info::kWidth));
        height = int32_t(GetLe32(h + Info::kHeight));
        b.Bits = GetLe16(h + Info::kBits);
        b.Compression = GetLe32(h + Info::kCompression);
    }
    // Negative heights are top-down; INT32_MIN has no positive counterpart in 32 bits.
    b.TopDown = height < 0;
    if (w <= 0 || height == 0 || height <= INT32_MIN)
        Fail(QStringLiteral("a %1 picture is not possible").arg(SizeText(w, height)));
    b.W = int(w);
    b.H = int(b.TopDown ? -height : height);

    qint64 paletteStart = kFileHeader + size;
    switch (b.Compression) {
    case kRgb:
        if (b.Bits != 1 && b.Bits != 2 && b.Bits != 4 && b.Bits != 8 && b.Bits != 16 &&
            b.Bits != 24 && b.Bits != 32)
            Fail(QStringLiteral("BMP pictures of %1 bits a pixel are not supported").arg(b.Bits));
        break;
    case kRle8:
    case kRle4:
        if (b.Bits != (b.Compression == kRle8 ? 8 : 4))
            Fail(QStringLiteral("RLE%1 pixels cannot have %2 bits")
                     .arg(b.Compression == kRle8 ? 8 : 4)
                     .arg(b.Bits));
        break;
    case kBitFields:
    case kAlphaBitFields: {
        if (b.Os2)
            Fail(CompressionProblem(b.Compression, true));
        if (b.Bits != 16 && b.Bits != 32)
            Fail(QStringLiteral("colour masks need pixels of 16 or 32 bits, not %1").arg(b.Bits));
        uint32_t masks[4] = {};
        const int count = b.Compression == kAlphaBitFields ? 4 : 3;
        if (size == kV3Header) { // the masks follow the header
            if (AData.size() < paletteStart + 4 * count)
                CutInHeader();
            for (int i = 0; i < count; ++i)
                masks[i] = Le32(AData, paletteStart + 4 * i);
            paletteStart += 4 * count;
        } else {
            // Each mask the header has room for: a 52-byte header has no alpha mask.
            for (int i = 0; i < 4 && Info::kMasks + 4 * i + 4 <= int(size); ++i)
                masks[i] = GetLe32(h + Info::kMasks + 4 * i);
        }
        b.R = TChannel(masks[0]), b.G = TChannel(masks[1]), b.B = TChannel(masks[2]),
        b.A = TChannel(masks[3]);
        const uint64_t room = b.Bits == 32 ? 0xffffffffu : 0xffffu;
        for (const TChannel* c : {&b.R, &b.G, &b.B, &b.A})
            if (!c->contiguous() || c->Mask > room)
                Fail(QStringLiteral("its colour mask %1 is not one run of bits inside %2-bit "
                                    "pixels")
                         .arg(QStringLiteral("0x%1").arg(c->Mask, 0, 16))
                         .arg(b.Bits));
        if (!b.R.Mask && !b.G.Mask && !b.B.Mask)
            Fail(QStringLiteral("its colour masks are all empty"));
        break;
    }
    default:
        Fail(CompressionProblem(b.Compression, b.Os2));
    }
    if (b.Compression == kRgb && b.Bits == 16)
        b.R = TChannel(0x7c00), b.G = TChannel(0x3e0), b.B = TChannel(0x1f);
    if (b.Compression == kRgb && b.Bits == 32) // the fourth byte is padding
        b.R = TChannel(0xff0000), b.G = TChannel(0xff00), b.B = TChannel(0xff);

    b.Offset = Le32(AData, kOffBits);
    if (b.Offset < paletteStart)
        Fail(QStringLiteral("its pixel data are said to start inside its header"));
    b.Palette.fill(kBlack);
    if (b.Bits <= 8) {
        const int entryBytes = core ? 3 : 4;
        const uint32_t used = core                            ? 0
                              : size >= Info::kColorsUsed + 4 ? GetLe32(h + Info::kColorsUsed)
                                                              : 0;
        qint64 entries = used == 0 || used > (1u << b.Bits) ? 1 << b.Bits : used;
        // The palette ends where the pixels start: a core header has no count of its own.
        entries = std::min(entries, (b.Offset - paletteStart) / entryBytes);
        if (AData.size() < paletteStart + entries * entryBytes)
            CutInHeader();
        for (qint64 i = 0; i < entries; ++i) {
            const auto* p =
                reinterpret_cast<const uint8_t*>(AData.data()) + paletteStart + i * entryBytes;
            b.Palette[size_t(i)] = qRgb(p[2], p[1], p[0]);
        }
    }
    return b;
}

// Writes one uncompressed row of W pixels from ARow.
class TRowConverter {
public:
    explicit TRowConverter(const TBmp& ABmp) : F(ABmp) {
        if (F.Bits == 16) { // every 16-bit pixel, worked out once
            FTable.resize(65536);
            for (uint32_t p = 0; p < 65536; ++p)
                FTable[p] = pixel(p);
        }
        FFast32 = F.Bits == 32 && F.R.Mask == 0xff0000 && F.G.Mask == 0xff00 && F.B.Mask == 0xff &&
                  (F.A.Mask == 0 || F.A.Mask == 0xff000000);
    }

    void operator()(const uint8_t* ARow, QRgb* AOut) const {
        const int W = F.W;
        switch (F.Bits) {
        case 1:
        case 2:
        case 4: {
            const int perByte = 8 / F.Bits;
            const int mask = (1 << F.Bits) - 1;
            for (int x = 0; x < W; ++x) {
                const int shift = 8 - F.Bits * (x % perByte + 1);
                AOut[x] = F.Palette[size_t((ARow[x / perByte] >> shift) & mask)];
            }
            break;
        }
        case 8:
            for (int x = 0; x < W; ++x)
                AOut[x] = F.Palette[ARow[x]];
            break;
        case 16:
            for (int x = 0; x < W; ++x)
                AOut[x] = FTable[GetLe16(ARow + 2 * x)];
            break;
        case 24:
            for (int x = 0; x < W; ++x, ARow += 3)
                AOut[x] = qRgb(ARow[2], ARow[1], ARow[0]);
            break;
        case 32:
            if (FFast32 && !F.A.Mask) {
                for (int x = 0; x < W; ++x, ARow += 4)
                    AOut[x] = qRgb(ARow[2], ARow[1], ARow[0]);
            } else if (FFast32) {
                for (int x = 0; x < W; ++x, ARow += 4)
                    AOut[x] = ARow[3] == 255
                                  ? qRgb(ARow[2], ARow[1], ARow[0])
                                  : qPremultiply(qRgba(ARow[2], ARow[1], ARow[0], ARow[3]));
            } else {
                for (int x = 0; x < W; ++x)
                    AOut[x] = pixel(GetLe32(ARow + 4 * x));
            }
            break;
        default:
            break;
        }
    }

private:
    QRgb pixel(uint32_t APixel) const {
        const auto value = [&](const TChannel& c) { return c.Max ? int(c(APixel)) : 0; };
        const int a = F.A.Max ? int(F.A(APixel)) : 255;
        return qPremultiply(qRgba(value(F.R), value(F.G), value(F.B), a));
    }

    const TBmp& F;
    std::vector<QRgb> FTable;
    bool FFast32 = false;
};

QString RowsReadWarning(qint64 ARows, int H) {
    return QStringLiteral("%1 of its %2 rows are read; the rest is transparent").arg(ARows).arg(H);
}

QString CutBeforeFirstRow() {
    return QStringLiteral("the file is cut short before its first row");
}

QImage ReadUncompressed(QByteArrayView AData, const TBmp& b, QString& AWarning) {
    const qint64 stride = (qint64(b.W) * b.Bits + 31) / 32 * 4;
    const qint64 present = std::max<qint64>(AData.size() - b.Offset, 0);
    const qint64 rows = std::min<qint64>(b.H, present / stride);
    if (rows == 0)
        Fail(CutBeforeFirstRow());
    QImage bitmap = AllocateBitmap(b.W, b.H);
    const TRowConverter convert(b);
    const auto* data = reinterpret_cast<const uint8_t*>(AData.data()) + b.Offset;
    uchar* const pixels = bitmap.bits();
    const qsizetype bytesPerLine = bitmap.bytesPerLine();
    FillMappingPagesAhead(bitmap, [&] {
        // In the bitmap's order, top row first, so that its pages are written in the order the
        // other core maps them.
        for (qint64 y = 0; y < b.H; ++y) {
            const qint64 i = b.TopDown ? y : b.H - 1 - y; // the row's place in the file
            auto* out = reinterpret_cast<QRgb*>(pixels + y * bytesPerLine);
            if (i < rows)
                convert(data + i * stride, out);
            else
                std::memset(out, 0, size_t(b.W) * 4);
        }
    });
    if (rows < b.H)
        AWarning = RowsReadWarning(rows, b.H);
    return bitmap;
}

// RLE8 and RLE4: runs of one index (two alternating ones in RLE4), literal runs padded to 16
// bits, and escapes that end a line, end the picture or move ahead. Runs past the right edge are
// cut there; the pixels the data skip stay transparent.
QImage ReadRle(QByteArrayView AData, const TBmp& b, QString& AWarning) {
    const bool rle4 = b.Compression == kRle4;
    const auto* d = reinterpret_cast<const uint8_t*>(AData.data());
    const qint64 end = AData.size();
    qint64 pos = b.Offset;
    if (pos + 2 > end)
        Fail(CutBeforeFirstRow());
    QImage bitmap = AllocateBitmap(b.W, b.H);
    bitmap.fill(Qt::transparent);
    qint64 x = 0, line = 0; // line counts from the first row stored
    QRgb* row = nullptr;
    const auto rowAt = [&](qint64 ALine) {
        return reinterpret_cast<QRgb*>(bitmap.scanLine(int(b.TopDown ? ALine : b.H - 1 - ALine)));
    };
    row = rowAt(0);
    bool finished = false, drew = false;
    while (line < b.H) {
        if (pos + 2 > end)
            break;
        const int n = d[pos], c = d[pos + 1];
        pos += 2;
        if (n > 0) { // a run
            const qint64 count = std::min<qint64>(n, std::max<qint64>(b.W - x, 0));
            for (qint64 k = 0; k < count; ++k)
                row[x + k] = b.Palette[size_t(rle4 ? (k % 2 ? c & 15 : c >> 4) : c)];
            x += n;
            drew = true;
        } else if (c == 0) { // end of line
            x = 0;
            if (++line < b.H)
                row = rowAt(line);
        } else if (c == 1) { // end of the picture
            finished = true;
            break;
        } else if (c == 2) { // move ahead
            if (pos + 2 > end)
                break;
            x += d[pos];
            line += d[pos + 1];
            pos += 2;
            if (line < b.H)
                row = rowAt(line);
        } else { // c literal indices
            const qint64 bytes = rle4 ? (c + 1) / 2 : c;
            if (pos + bytes > end)
                break;
            const qint64 count = std::min<qint64>(c, std::max<qint64>(b.W - x, 0));
            for (qint64 k = 0; k < count; ++k) {
                const int index =
                    rle4 ? (k % 2 ? d[pos + k / 2] & 15 : d[pos + k / 2] >> 4) : d[pos + k];
                row[x + k] = b.Palette[size_t(index)];
            }
            x += c;
            pos += bytes + (bytes & 1);
            drew = true;
        }
    }
    if (!finished && line < b.H) {
        if (!drew)
            Fail(CutBeforeFirstRow());
        AWarning = RowsReadWarning(line, b.H);
    }
    return bitmap;
}

} // namespace

bool IsBmp(QByteArrayView AData) {
    return AData.size() >= 2 && AData[0] == 'B' && AData[1] == 'M';
}

QImage ReadBmp(QByteArrayView AData, QString& AWarning) {
    AWarning.clear();
    if (!IsBmp(AData))
        Fail(QStringLiteral("the file is not a BMP picture"));
    const TBmp b = ReadHeaders(AData);
    if (b.Compression == kRle8 || b.Compression == kRle4)
        return ReadRle(AData, b, AWarning);
    return ReadUncompressed(AData, b, AWarning);
}
