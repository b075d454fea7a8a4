#include "psd.h"

#include "atomic_file.h"
#include "memory_budget.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kHeaderSize = 26;
constexpr int kMaxRun = 128;
// A repeat header of 129 (-127) gives 128 bytes from two: no packed row can be denser.
constexpr int kMaxBytesPerPacket = 128;
// The header byte 128 (-128) is no packet at all: it is skipped.
constexpr uint8_t kNoOp = 128;

enum : uint16_t { kModeBitmap = 0, kModeGrayscale = 1, kModeRGB = 3 };
enum : uint16_t { kRaw = 0, kPackBits = 1 };
// The image resource that records, among other things, whether the merged image is real.
constexpr uint16_t kVersionInfo = 1057;

QString ModeProblem(uint16_t AMode) {
    switch (AMode) {
    case 2:
        return QStringLiteral("indexed-colour documents are not supported");
    case 4:
        return QStringLiteral("CMYK documents are not supported");
    case 7:
        return QStringLiteral("multichannel documents are not supported");
    case 8:
        return QStringLiteral("duotone documents are not supported");
    case 9:
        return QStringLiteral("Lab documents are not supported");
    default:
        return QStringLiteral("colour mode %1 is not supported").arg(AMode);
    }
}

TPSDFile ReadHeader(TByteReader& r) {
    const uint8_t* h = r.take(kHeaderSize);
    if (std::memcmp(h, "8BPS", 4) != 0)
        Fail(QStringLiteral("it is not a Photoshop document"));
    const uint16_t version = GetBe16(h + 4);
    if (version == 2)
        Fail(QStringLiteral("large documents (PSB, version 2) are not supported"));
    if (version != 1)
        Fail(QStringLiteral("PSD version %1 is not supported").arg(version));
    TPSDFile f;
    f.Channels = GetBe16(h + 12);
    const uint32_t rows = GetBe32(h + 14), columns = GetBe32(h + 18);
    f.Depth = GetBe16(h + 22);
    f.ColorMode = GetBe16(h + 24);
    if (f.Depth != 1 && f.Depth != 8)
        Fail(QStringLiteral("%1-bit channels are not supported, only 1 and 8 bits").arg(f.Depth));
    if (f.ColorMode != kModeBitmap && f.ColorMode != kModeGrayscale && f.ColorMode != kModeRGB)
        Fail(ModeProblem(f.ColorMode));
    // Such rows hold a bit per pixel where the store takes a byte.
    if (f.Depth == 1 && f.ColorMode != kModeBitmap)
        Fail(QStringLiteral("1-bit greyscale and RGB documents are not supported"));
    if (f.Channels < 1 || f.Channels > kPSDMaxChannels)
        Fail(QStringLiteral("a document has 1 to %1 channels, not %2")
                 .arg(kPSDMaxChannels)
                 .arg(f.Channels));
    if (rows < 1 || columns < 1 || rows > kPSDMaxSide || columns > kPSDMaxSide)
        Fail(QStringLiteral("a %1 document is not possible: sides are 1 to %2 pixels")
                 .arg(SizeText(columns, rows))
                 .arg(kPSDMaxSide));
    f.Width = int(columns);
    f.Height = int(rows);
    return f;
}

// The bitmap byte that a channel goes to, as a shift within the pixel, or -1 for a channel that
// is not read. A greyscale document keeps its alpha right after its one colour channel.
int ChannelShift(uint16_t AMode, int AChannel) {
    static const int kRGBA[] = {16, 8, 0, 24};
    if (AMode == kModeGrayscale)
        return AChannel == 0 ? 16 : AChannel == 1 ? 24 : -1;
    return AChannel < 4 ? kRGBA[AChannel] : -1;
}

// PackBits into exactly ARowBytes bytes; output past the row is dropped. A packet that needs
// more bytes than the row was given, or a row that comes out short, is damage.
bool UnpackRow(const uint8_t* p, int ACount, uint8_t* AOut, int ARowBytes) {
    int i = 0, o = 0;
    while (i < ACount) {
        const uint8_t h = p[i++];
        if (h == kNoOp)
            continue;
        if (h > kNoOp) {
            if (i == ACount)
                break; // a repeat header without its byte: some writers pad rows with 128
            const int n = std::min(257 - h, ARowBytes - o);
            std::memset(AOut + o, p[i++], size_t(n));
            o += n;
        } else {
            const int n = h + 1;
            if (n > ACount - i)
                return false;
            const int kept = std::min(n, ARowBytes - o);
            std::memcpy(AOut + o, p + i, size_t(kept));
            o += kept;
            i += n;
        }
    }
    return o == ARowBytes;
}

void StoreRow(const TPSDFile& f, int AChannel, const uint8_t* ARow, QRgb* AOut) {
    const int shift = ChannelShift(f.ColorMode, AChannel);
    if (f.ColorMode == kModeBitmap) {
        // A set bit is black; the spare low bits of the last byte are ignored.
        for (int x = 0; x < f.Width; ++x) {
            const bool set = ARow[x >> 3] & (0x80 >> (x & 7));
            AOut[x] = set ? AOut[x] & 0xff000000 : AOut[x] | 0x00ffffff;
        }
    } else if (f.ColorMode == kModeGrayscale && shift != 24) {
        for (int x = 0; x < f.Width; ++x)
            AOut[x] = (AOut[x] & 0xff000000) | QRgb(ARow[x]) * 0x010101;
    } else {
        const QRgb mask = ~(QRgb(0xff) << shift);
        for (int x = 0; x < f.Width; ++x)
            AOut[x] = (AOut[x] & mask) | QRgb(ARow[x]) << shift;
    }
}

// Photoshop stores translucent pixels of the merged image blended with white; taking the white
// back out gives the premultiplied colour, and never a colour above its alpha.
void RemoveWhiteMatte(QImage& ABitmap) {
    const auto unblend = [](int c, int a) { return std::clamp(c - (255 - a), 0, a); };
    for (int y = 0; y < ABitmap.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(ABitmap.scanLine(y));
        for (int x = 0; x < ABitmap.width(); ++x) {
            const int a = qAlpha(row[x]);
            if (a != 255)
                row[x] = qRgba(unblend(qRed(row[x]), a), unblend(qGreen(row[x]), a),
                               unblend(qBlue(row[x]), a), a);
        }
    }
}

// Whether the image resources (AData, the section without its length) say that the merged image
// is only Photoshop's placeholder: its version-info resource (1057) holds the byte
// hasRealMergedData, 0 when the document was saved with "Maximize Compatibility" off. Blocks
// are read as far as they are whole; a damaged section says nothing.
bool MergedImageIsPlaceholder(QByteArrayView AData) {
    TByteReader r(AData);
    while (r.remaining() >= 4 + 2 + 2 + 4) {
        r.skip(4); // "8BIM", or another program's signature
        const uint16_t id = r.u16be();
        const uint8_t nameLength = r.u8();
        if (r.remaining() < ((nameLength + 2) & ~1) - 1 + 4)
            return false;
        r.skip(((nameLength + 2) & ~1) - 1); // the name and its pad to an even length
        const uint32_t size = r.u32be();
        if (size > r.remaining())
            return false;
        const uint8_t* data = r.take(size);
        if (id == kVersionInfo)
            return size >= 5 && data[4] == 0;
        r.skip(std::min<qint64>(size & 1, r.remaining()));
    }
    return false;
}

// Over the colour-mode data, image resources and layers to the merged image's data.
void SkipToImageData(TByteReader& r) {
    if (r.u32be() != 0)
        Fail(QStringLiteral("documents with colour-mode data (indexed or duotone) are not "
                            "supported"));
    const uint32_t resources = r.u32be();
    const uint8_t* section = r.take(resources);
    if (MergedImageIsPlaceholder(
            QByteArrayView(reinterpret_cast<const char*>(section), qsizetype(resources))))
        Fail(QStringLiteral(
            "it was saved without its merged image (\"Maximize Compatibility\" was off), and "
            "holds only Photoshop's blank placeholder; open it in Photoshop and save it again "
            "with \"Maximize Compatibility\" on (Preferences, File Handling: Maximize PSD and "
            "PSB File Compatibility)"));
    // Layers and masks, whatever their length: the merged image is all we read.
    r.skip(r.u32be());
}

// How the merged image's rows are stored, checked against the file's bytes before the bitmap is
// allocated.
struct TImageData {
    uint16_t Compression = kRaw;
    int Read = 0;                    // the channels that go into the bitmap; they come first
    int RowBytes = 0;                // one unpacked row of one channel
    const uint8_t* Counts = nullptr; // PackBits: each row's packed length, 2 bytes each
};

TImageData ReadImageDataHead(TByteReader& r, const TPSDFile& f) {
    TImageData d;
    d.Compression = r.u16be();
    if (d.Compression != kRaw && d.Compression != kPackBits)
        Fail(QStringLiteral("compression method %1 is not supported").arg(d.Compression));
    while (d.Read < f.Channels && ChannelShift(f.ColorMode, d.Read) >= 0)
        ++d.Read;
    d.RowBytes = (f.Width * f.Depth + 7) / 8;
    const qint64 rows = qint64(d.Read) * f.Height;
    // The sizes are limited by the header, so none of these products can overflow 64 bits.
    if (d.Compression == kRaw) {
        if (rows * d.RowBytes > r.remaining())
            Fail(QStringLiteral("the file is too short for a %1 picture")
                     .arg(SizeText(f.Width, f.Height)));
        return d;
    }
    d.Counts = r.take(qint64(f.Channels) * f.Height * 2);
    const qint64 least = 2 * ((d.RowBytes + kMaxBytesPerPacket - 1) / kMaxBytesPerPacket);
    qint64 total = 0;
    for (qint64 i = 0; i < rows; ++i) {
        const int n = GetBe16(d.Counts + 2 * i);
        if (n < least)
            Fail(QStringLiteral("compressed row %1 is too short for its %2 bytes")
                     .arg(i)
                     .arg(d.RowBytes));
        total += n;
    }
    if (total > r.remaining())
        Fail(QStringLiteral("the row lengths point past the end of the file"));
    return d;
}

QImage DecodeChannels(TByteReader& r, const TPSDFile& f, const TImageData& d) {
    QImage bitmap = AllocateBitmap(f.Width, f.Height);
    bitmap.fill(0xffffffff);
    std::vector<uint8_t> row(static_cast<size_t>(d.RowBytes));
    for (int c = 0; c < d.Read; ++c) {
        for (int y = 0; y < f.Height; ++y) {
            const uint8_t* data;
            if (d.Compression == kPackBits) {
                const int n = GetBe16(d.Counts + 2 * (qint64(c) * f.Height + y));
                if (!UnpackRow(r.take(n), n, row.data(), d.RowBytes))
                    Fail(QStringLiteral("row %1 of channel %2 is damaged").arg(y).arg(c));
                data = row.data();
            } else {
                data = r.take(d.RowBytes);
            }
            StoreRow(f, c, data, reinterpret_cast<QRgb*>(bitmap.scanLine(y)));
        }
    }
    if (f.ColorMode != kModeBitmap && d.Read > (f.ColorMode == kModeGrayscale ? 1 : 3))
        RemoveWhiteMatte(bitmap);
    return bitmap;
}

QImage DecodePSD(QByteArrayView AData) {
    TByteReader r(AData);
    const TPSDFile f = ReadHeader(r);
    SkipToImageData(r);
    const TImageData d = ReadImageDataHead(r, f);
    return DecodeChannels(r, f, d);
}

void CheckSavable(const QImage& ABitmap) {
    CheckSaveSize(
        ABitmap, kPSDMaxSide,
        QStringLiteral("a PSD document can be at most %1 pixels a side").arg(kPSDMaxSide));
}

} // namespace

void PackBitsRow(const uint8_t* ARow, int ACount, std::vector<uint8_t>& AOut) {
    int literal = 0, pos = 0;
    const auto flush = [&](int AEnd) {
        if (AEnd > literal) {
            AOut.push_back(uint8_t(AEnd - literal - 1));
            AOut.insert(AOut.end(), ARow + literal, ARow + AEnd);
        }
        literal = AEnd;
    };
    while (pos < ACount) {
        int run = 1;
        while (pos + run < ACount && run < kMaxRun && ARow[pos + run] == ARow[pos])
            ++run;
        if (run >= 4) {
            flush(pos);
            AOut.push_back(uint8_t(257 - run));
            AOut.push_back(ARow[pos]);
            pos += run;
            literal = pos;
        } else if (pos - literal == kMaxRun) {
            flush(pos);
        } else {
            ++pos;
        }
    }
    flush(ACount);
}

void LoadPSDData(QByteArrayView AData, QImage& ABitmap) {
    ABitmap = DecodePSD(AData);
}

void LoadPSDFile(const QString& AFileName, QImage& ABitmap) {
    const QByteArray data = ReadPictureFile(AFileName);
    ForFile(TFileAction::Read, AFileName, [&] { LoadPSDData(data, ABitmap); });
}

void WritePSD(const TByteSink& AStream, const QImage& ABitmap) {
    CheckSavable(ABitmap);
    const QImage source = AsBitmap(ABitmap);
    const int W = source.width(), H = source.height();

    std::vector<uint8_t> out;
    out.insert(out.end(), {'8', 'B', 'P', 'S'});
    AppendBe16(out, 1);          // version
    out.insert(out.end(), 6, 0); // reserved
    AppendBe16(out, 3);          // channels
    AppendBe32(out, uint32_t(H));
    AppendBe32(out, uint32_t(W));
    AppendBe16(out, 8); // depth
    AppendBe16(out, kModeRGB);
    AppendBe32(out, 0);  // colour-mode data
    AppendBe32(out, 28); // image resources: one resolution block, 300 dots per inch
    out.insert(out.end(), {'8', 'B', 'I', 'M'});
    AppendBe16(out, 0x03ED);
    AppendBe16(out, 0); // empty name
    AppendBe32(out, 16);
    for (int i = 0; i < 2; ++i) {
        AppendBe32(out, 300u << 16);
        AppendBe16(out, 1);
        AppendBe16(out, 1);
    }
    AppendBe32(out, 6); // layer-and-mask section: no layers
    out.insert(out.end(), 6, 0);
    AppendBe16(out, kPackBits);

    // The table of packed lengths comes before the rows, so the rows are packed twice: once
    // for their lengths, once to write them. That keeps the memory to one row.
    static const int kShifts[] = {16, 8, 0}; // red, green, blue
    std::vector<uint8_t> plane(static_cast<size_t>(W)), packed;
    const auto pack = [&](int c, int y) {
        const QRgb* px = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < W; ++x)
            plane[size_t(x)] = uint8_t(px[x] >> kShifts[c]);
        packed.clear();
        PackBitsRow(plane.data(), W, packed);
    };
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y) {
            pack(c, y);
            AppendBe16(out, uint32_t(packed.size()));
        }
    AStream(out.data(), qint64(out.size()));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < H; ++y) {
            pack(c, y);
            AStream(packed.data(), qint64(packed.size()));
        }
}

bool SavePSDFile(const QString& AFileName, const QImage& ABitmap) {
    ForFile(TFileAction::Write, AFileName, [&] {
        CheckSavable(ABitmap);
        const QImage source = AsBitmap(ABitmap);
        TAtomicFile file(AFileName);
        WritePSD([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, source);
        file.commit();
    });
    return true;
}
