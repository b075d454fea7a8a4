#include "tga.h"

#include "atomic_file.h"
#include "memory_budget.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The file's three fixed parts, by offset from their starts; the reader and the writer both go
// by these. Numbers of 2 and 4 bytes are little-endian.
namespace Hdr {
constexpr int kSize = 18;
constexpr int kIdLength = 0;
constexpr int kColorMapType = 1; // 1 when a colour map follows the image ID
constexpr int kImageType = 2;
constexpr int kMapLength = 5;    // 2 bytes: entries in the colour map
constexpr int kMapEntryBits = 7; // bits of one entry
constexpr int kWidth = 12;       // 2 bytes
constexpr int kHeight = 14;      // 2 bytes
constexpr int kDepth = 16;
constexpr int kDescriptor = 17;
} // namespace Hdr

namespace Ext {
constexpr int kSize = 495;
constexpr int kOwnSize = 0;        // 2 bytes: the area's size, 495
constexpr int kAuthor = 2;         // kText bytes
constexpr int kDateStamp = 367;    // six 2-byte fields, in the order of TDateField
constexpr int kJobName = 379;      // kText bytes
constexpr int kKeyColor = 470;     // 4 bytes: unused, red, green, blue
constexpr int kAspect = 474;       // a ratio: numerator and denominator, 2 bytes each
constexpr int kGamma = 478;        // a ratio likewise
constexpr int kAttributes = 494;   // 1 byte; kAttributesPremultiplied for premultiplied alpha
constexpr int kText = 41;          // a zero-terminated text field
constexpr int kMaxTextLength = 40; // what the writer puts in one, leaving room for the zero
enum TDateField { kMonth, kDay, kYear, kHour, kMinute, kSecond, kDateFields };
} // namespace Ext

namespace Foot {
constexpr int kSize = 26;
constexpr int kExtensionOffset = 0; // 4 bytes, from the start of the file
constexpr int kSignature = 8;       // kSignatureSize bytes
constexpr int kSignatureSize = 18;
constexpr char kSignatureText[] = "TRUEVISION-XFILE."; // then one zero byte
} // namespace Foot

constexpr int kMaxIdLength = 254; // the length byte counts the terminating zero too
constexpr int kPacketPixels = 128;
constexpr uint8_t kAttributesPremultiplied = 4;
constexpr uint16_t kRatioDenominator = 10000;

enum : uint8_t { kTypeTrueColor = 2, kTypeTrueColorRle = 10 };
enum : uint8_t { kTopToBottom = 0x20, kRightToLeft = 0x10, kAlphaBits8 = 0x08 };

QString TypeProblem(uint8_t AType) {
    switch (AType) {
    case 0:
        return QStringLiteral("the TGA file holds no picture");
    case 1:
    case 9:
        return QStringLiteral("colour-mapped TGA pictures are not supported");
    case 3:
    case 11:
        return QStringLiteral("greyscale TGA pictures are not supported");
    default:
        return QStringLiteral("TGA image type %1 is not supported").arg(AType);
    }
}

QByteArray ZeroTerminated(const uint8_t* AText, int AMax) {
    const auto* end = std::find(AText, AText + AMax, uint8_t(0));
    return QByteArray(reinterpret_cast<const char*>(AText), end - AText);
}

// A ratio field, or AOld when either of its numbers is 0.
double ReadRatio(const uint8_t* p, double AOld) {
    const uint16_t num = GetLe16(p), den = GetLe16(p + 2);
    return num && den ? double(num) / den : AOld;
}

// A ratio as the numerator over 10000 that the extension area holds.
void PutRatio(uint8_t* p, double AValue) {
    const double v = AValue * kRatioDenominator;
    PutLe16(p, v >= 0 && v < 65536 ? uint16_t(v) : v >= 65536 ? 65535 : 0);
    PutLe16(p + 2, kRatioDenominator);
}

void ReadExtensionArea(const uint8_t* e, TTGAParamsVals& P) {
    using namespace Ext;
    P.TGA_Author = ZeroTerminated(e + kAuthor, kText);
    P.TGA_ImageName = ZeroTerminated(e + kJobName, kText);
    int d[kDateFields];
    for (int i = 0; i < kDateFields; ++i)
        d[i] = GetLe16(e + kDateStamp + 2 * i);
    if (d[kMonth] && d[kDay] && d[kYear] && d[kYear] < 2500 && d[kMonth] <= 12 && d[kDay] <= 31 &&
        d[kHour] < 24 && d[kMinute] < 60 && d[kSecond] < 60) {
        const QDate date(d[kYear], d[kMonth], d[kDay]); // invalid for 30 February and the like
        if (date.isValid())
            P.TGA_Date = QDateTime(date, QTime(d[kHour], d[kMinute], d[kSecond]), Qt::UTC);
    }
    P.TGA_Background.r = e[kKeyColor + 1];
    P.TGA_Background.g = e[kKeyColor + 2];
    P.TGA_Background.b = e[kKeyColor + 3];
    P.TGA_AspectRatio = ReadRatio(e + kAspect, P.TGA_AspectRatio);
    P.TGA_Gamma = ReadRatio(e + kGamma, P.TGA_Gamma);
    P.TGA_AttributesType = e[kAttributes];
}

// The extension area the writer puts after the pixels.
std::array<uint8_t, Ext::kSize> ExtensionArea(const TTGAParamsVals& P, bool APremultiplied) {
    using namespace Ext;
    std::array<uint8_t, kSize> e{};
    PutLe16(e.data() + kOwnSize, kSize);
    const auto text = [&](int AOffset, const QByteArray& AText) {
        std::memcpy(e.data() + AOffset, AText.constData(),
                    size_t(std::min<qsizetype>(AText.size(), kMaxTextLength)));
    };
    text(kAuthor, P.TGA_Author);
    text(kJobName, P.TGA_ImageName);
    const QDate date = P.TGA_Date.date();
    const QTime time = P.TGA_Date.time();
    const int d[kDateFields] = {date.month(), date.day(),    date.year(),
                                time.hour(),  time.minute(), time.second()};
    for (int i = 0; i < kDateFields; ++i)
        PutLe16(e.data() + kDateStamp + 2 * i, uint32_t(d[i]));
    e[kKeyColor + 1] = P.TGA_Background.r;
    e[kKeyColor + 2] = P.TGA_Background.g;
    e[kKeyColor + 3] = P.TGA_Background.b;
    PutRatio(e.data() + kAspect, P.TGA_AspectRatio);
    PutRatio(e.data() + kGamma, P.TGA_Gamma);
    // Our 32-bit pixels are the bitmap's own, premultiplied; saying so lets them read back
    // byte for byte and tells other readers what they hold.
    e[kAttributes] = APremultiplied ? kAttributesPremultiplied : 0;
    return e;
}

QRgb Pixel(const uint8_t* p, int ABytes) {
    return qRgba(p[2], p[1], p[0], ABytes == 4 ? p[3] : 255);
}

// 32-bit pixels are straight alpha, except in files that declare them premultiplied; those
// are still limited to their alpha, so that no reader hands out an invalid bitmap.
QRgb Premultiplied(QRgb c, bool APremultiplied) {
    if (!APremultiplied)
        return qPremultiply(c);
    const int a = qAlpha(c);
    return qRgba(std::min(qRed(c), a), std::min(qGreen(c), a), std::min(qBlue(c), a), a);
}

// Decodes the pixel stream row by row. A run-length packet may cross the end of a row and go on
// at the start of the next; one that would go past the last pixel is cut there.
class TPixelStream {
public:
    TPixelStream(TByteReader& AReader, int ABytes, bool ARle)
        : FReader(AReader), FBytes(ABytes), FRle(ARle) {}

    void row(QRgb* AOut, int W) {
        if (!FRle) {
            const uint8_t* p = FReader.take(qint64(W) * FBytes);
            for (int x = 0; x < W; ++x)
                AOut[x] = Pixel(p + x * FBytes, FBytes);
            return;
        }
        int x = 0;
        while (x < W) {
            if (FLeft == 0) {
                const uint8_t c = FReader.u8();
                FLeft = (c & 127) + 1;
                FRepeat = c & 128;
                if (FRepeat)
                    FValue = Pixel(FReader.take(FBytes), FBytes);
            }
            const int n = std::min(FLeft, W - x);
            if (FRepeat) {
                std::fill(AOut + x, AOut + x + n, FValue);
            } else {
                const uint8_t* p = FReader.take(qint64(n) * FBytes);
                for (int k = 0; k < n; ++k)
                    AOut[x + k] = Pixel(p + k * FBytes, FBytes);
            }
            x += n;
            FLeft -= n;
        }
    }

private:
    TByteReader& FReader;
    int FBytes;
    bool FRle;
    int FLeft = 0;
    bool FRepeat = false;
    QRgb FValue = 0;
};

// The footer's extension-area offset; 0 when the file has no footer or no extension area.
uint32_t ExtensionOffset(TByteReader& r) {
    if (r.size() < Foot::kSize)
        return 0;
    r.seek(r.size() - Foot::kSize);
    const uint8_t* f = r.take(Foot::kSize);
    if (ZeroTerminated(f + Foot::kSignature, Foot::kSignatureSize) != Foot::kSignatureText)
        return 0;
    return GetLe32(f + Foot::kExtensionOffset);
}

// The defaults, then what the extension area says.
void ReadMetadata(TByteReader& r, TTGAParamsVals& P) {
    const uint32_t offset = ExtensionOffset(r);
    P.TGA_Author.clear();
    P.TGA_ImageName.clear();
    P.TGA_Date = QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC);
    P.TGA_Background = {};
    P.TGA_AspectRatio = 1.0;
    P.TGA_Gamma = 2.2;
    P.TGA_AttributesType = 0;
    if (offset == 0)
        return;
    if (offset > r.size() - Foot::kSize - Ext::kSize)
        Fail(QStringLiteral("the TGA footer points outside the file"));
    r.seek(offset);
    ReadExtensionArea(r.take(Ext::kSize), P);
}

struct TPictureHeader {
    int W = 0, H = 0;
    int Bytes = 0; // per pixel, 3 or 4
    bool Rle = false;
    uint8_t Descriptor = 0;
};

// The header and image ID, refused unless they describe a true-colour picture that the rest of
// the file can hold, even at the densest packing (one repeat packet per 128 pixels).
TPictureHeader ReadPictureHeader(TByteReader& r, TTGAParamsVals& P) {
    r.seek(0);
    const uint8_t* h = r.take(Hdr::kSize);
    const uint8_t type = h[Hdr::kImageType], depth = h[Hdr::kDepth];
    if (type != kTypeTrueColor && type != kTypeTrueColorRle)
        Fail(TypeProblem(type));
    if (depth != 24 && depth != 32)
        Fail(QStringLiteral("%1-bit TGA pictures are not supported, only 24 and 32 bits")
                 .arg(depth));
    TPictureHeader t;
    t.W = GetLe16(h + Hdr::kWidth);
    t.H = GetLe16(h + Hdr::kHeight);
    t.Bytes = depth / 8;
    t.Rle = type == kTypeTrueColorRle;
    t.Descriptor = h[Hdr::kDescriptor];
    const uint8_t idLength = h[Hdr::kIdLength];
    P.TGA_Descriptor = QByteArray(reinterpret_cast<const char*>(r.take(idLength)), idLength);
    // A true-colour picture may still carry a colour map, which its pixels follow.
    if (h[Hdr::kColorMapType] == 1)
        r.skip(qint64(GetLe16(h + Hdr::kMapLength)) * ((h[Hdr::kMapEntryBits] + 7) / 8));
    P.TGA_Compressed = t.Rle;
    P.Width = P.OriginalWidth = t.W;
    P.Height = P.OriginalHeight = t.H;
    P.BitsPerSample = 8;
    P.SamplesPerPixel = t.Bytes;
    if (t.W == 0 || t.H == 0)
        Fail(QStringLiteral("the picture is %1 pixels, it has none to show")
                 .arg(SizeText(t.W, t.H)));
    // Both sides are below 2^16: no overflow.
    const qint64 pixels = qint64(t.W) * t.H;
    const qint64 least =
        t.Rle ? (pixels + kPacketPixels - 1) / kPacketPixels * (1 + t.Bytes) : pixels * t.Bytes;
    if (least > r.remaining())
        Fail(QStringLiteral("the file is too short for a %1 picture").arg(SizeText(t.W, t.H)));
    return t;
}

QImage DecodePixels(TByteReader& r, const TPictureHeader& h, bool APremultiplied) {
    QImage bitmap = AllocateBitmap(h.W, h.H);
    std::vector<QRgb> row(static_cast<size_t>(h.W));
    TPixelStream stream(r, h.Bytes, h.Rle);
    for (int i = 0; i < h.H; ++i) {
        stream.row(row.data(), h.W);
        if (h.Descriptor & kRightToLeft)
            std::reverse(row.begin(), row.end());
        QRgb* out =
            reinterpret_cast<QRgb*>(bitmap.scanLine(h.Descriptor & kTopToBottom ? i : h.H - 1 - i));
        for (int x = 0; x < h.W; ++x)
            out[x] = h.Bytes == 4 ? Premultiplied(row[size_t(x)], APremultiplied) : row[size_t(x)];
    }
    return bitmap;
}

void CheckSavable(const QImage& ABitmap) {
    CheckSaveSize(
        ABitmap, kTGAMaxSide,
        QStringLiteral("a TGA picture can be at most %1 pixels wide and high").arg(kTGAMaxSide));
}

// One row as 24-bit packets that never cross the row's end: runs of two or more equal pixels
// become repeat packets, everything between them raw packets of at most 128 pixels.
void PackRow(const QRgb* px, int W, std::vector<uint8_t>& AOut) {
    const auto put = [&](QRgb c) {
        AOut.push_back(uint8_t(qBlue(c)));
        AOut.push_back(uint8_t(qGreen(c)));
        AOut.push_back(uint8_t(qRed(c)));
    };
    const auto same = [](QRgb a, QRgb b) { return (a & 0xffffff) == (b & 0xffffff); };
    int i = 0;
    while (i < W) {
        int run = 1;
        while (i + run < W && run < kPacketPixels && same(px[i + run], px[i]))
            ++run;
        if (run >= 2) {
            AOut.push_back(uint8_t(128 + run - 1));
            put(px[i]);
            i += run;
            continue;
        }
        int count = 1, k = i + 1;
        while (k < W - 1 && count < kPacketPixels - 1 && !same(px[k], px[k + 1])) {
            ++count;
            ++k;
        }
        if (k == W - 1)
            ++count; // the row's last pixel has no successor to form a run with
        AOut.push_back(uint8_t(count - 1));
        for (int j = i; j < i + count; ++j)
            put(px[j]);
        i += count;
    }
}

// The header and image ID of a picture of ABitmap's size.
QByteArray HeaderAndId(const QImage& ABitmap, int ADepth, bool ACompressed, const QByteArray& AId) {
    uint8_t h[Hdr::kSize] = {};
    h[Hdr::kIdLength] = uint8_t(AId.size() + 1);
    h[Hdr::kImageType] = ACompressed ? kTypeTrueColorRle : kTypeTrueColor;
    PutLe16(h + Hdr::kWidth, uint32_t(ABitmap.width()));
    PutLe16(h + Hdr::kHeight, uint32_t(ABitmap.height()));
    h[Hdr::kDepth] = uint8_t(ADepth);
    h[Hdr::kDescriptor] = ADepth == 32 ? kTopToBottom | kAlphaBits8 : kTopToBottom;
    QByteArray out(reinterpret_cast<const char*>(h), Hdr::kSize);
    out += AId;
    out += '\0'; // the ID's terminating zero
    return out;
}

// The pixels from the top row down: 32-bit or 24-bit, and 24-bit run-length packed on request.
void PutPixelRows(const TByteSink& APut, const QImage& ABitmap, int ADepth, bool ACompressed) {
    const int W = ABitmap.width();
    const int bytes = ADepth / 8;
    std::vector<uint8_t> out;
    out.reserve(size_t(W) * 4 + size_t(W + 127) / 128);
    for (int y = 0; y < ABitmap.height(); ++y) {
        const QRgb* px = reinterpret_cast<const QRgb*>(ABitmap.constScanLine(y));
        out.clear();
        if (bytes == 3 && ACompressed) {
            PackRow(px, W, out);
        } else {
            out.resize(size_t(W) * size_t(bytes));
            for (int x = 0; x < W; ++x) {
                uint8_t* o = out.data() + size_t(x) * size_t(bytes);
                o[0] = uint8_t(qBlue(px[x]));
                o[1] = uint8_t(qGreen(px[x]));
                o[2] = uint8_t(qRed(px[x]));
                if (bytes == 4)
                    o[3] = uint8_t(qAlpha(px[x]));
            }
        }
        APut(out.data(), qint64(out.size()));
    }
}

std::array<uint8_t, Foot::kSize> Footer(qint64 AExtensionOffset) {
    std::array<uint8_t, Foot::kSize> f{};
    PutLe32(f.data() + Foot::kExtensionOffset, uint32_t(AExtensionOffset));
    std::memcpy(f.data() + Foot::kSignature, Foot::kSignatureText,
                sizeof Foot::kSignatureText); // with its zero byte
    return f;
}

} // namespace

QDateTime TGADateZero() {
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

void TTGAParamsVals::ResetInfo() {
    TGA_Descriptor.clear();
    TGA_Author.clear();
    TGA_ImageName.clear();
}

void ReadTGA(QByteArrayView AData, QImage& ABitmap, TTGAParamsVals& P) {
    TByteReader r(AData);
    ReadMetadata(r, P);
    const TPictureHeader h = ReadPictureHeader(r, P);
    ABitmap = DecodePixels(r, h, P.TGA_AttributesType == kAttributesPremultiplied);
}

void WriteTGA(const TByteSink& AStream, const QImage& ABitmap, TTGAParamsVals& P) {
    CheckSavable(ABitmap);
    const QImage source = AsBitmap(ABitmap);
    const int depth = P.AlphaUsed ? 32 : 24;
    if (P.AlphaUsed)
        P.TGA_Compressed = false;

    qint64 written = 0;
    const TByteSink put = [&](const void* AData, qint64 ASize) {
        AStream(AData, ASize);
        written += ASize;
    };
    const QByteArray head =
        HeaderAndId(source, depth, P.TGA_Compressed, P.TGA_Descriptor.left(kMaxIdLength));
    put(head.constData(), head.size());
    PutPixelRows(put, source, depth, P.TGA_Compressed);
    const qint64 extensionOffset = written;
    const auto extension = ExtensionArea(P, depth == 32);
    put(extension.data(), extension.size());
    const auto footer = Footer(extensionOffset);
    put(footer.data(), footer.size());
}

void LoadTGAFile(const QString& AFileName, QImage& ABitmap, QString& AAuthor) {
    TTGAParamsVals params;
    params.ResetInfo();
    const QByteArray data = ReadPictureFile(AFileName);
    ForFile(TFileAction::Read, AFileName, [&] { ReadTGA(data, ABitmap, params); });
    AAuthor = QString::fromLocal8Bit(params.TGA_Author);
}

void SaveTGAFile(const QString& AFileName, const QImage& ABitmap, const QString& AAuthor,
                 bool AAlpha) {
    ForFile(TFileAction::Write, AFileName, [&] {
        CheckSavable(ABitmap);
        TTGAParamsVals params;
        params.ResetInfo();
        params.TGA_Compressed = !AAlpha;
        // At most 40 characters, and no character cut in half by the 40-byte field.
        QString author = AAuthor.left(Ext::kMaxTextLength);
        while (author.toLocal8Bit().size() > Ext::kMaxTextLength)
            author.chop(1);
        params.TGA_Author = author.toLocal8Bit();
        params.AlphaUsed = AAlpha;
        const QImage source = AsBitmap(ABitmap);
        TAtomicFile file(AFileName);
        WriteTGA([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, source,
                 params);
        file.commit();
    });
}
