#include "tga.h"

#include "atomic_file.h"
#include "vorm_error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kHeaderSize = 18;
constexpr int kExtensionSize = 495;
constexpr int kFooterSize = 26;
constexpr char kSignature[] = "TRUEVISION-XFILE.";
constexpr int kMaxIdLength = 254; // the length byte counts the terminating zero too
constexpr int kMaxNameLength = 40;
constexpr int kPacketPixels = 128;
constexpr uint8_t kAttributesPremultiplied = 4;

enum : uint8_t { kTypeTrueColor = 2, kTypeTrueColorRle = 10 };
enum : uint8_t { kTopToBottom = 0x20, kRightToLeft = 0x10 };

[[noreturn]] void Fail(const QString& AReason) {
    throw EVormError(AReason);
}

QString SizeText(qint64 W, qint64 H) {
    return QStringLiteral("%1 × %2").arg(W).arg(H);
}

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

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void ReadExtensionArea(const uint8_t* e, TTGAParamsVals& P) {
    P.TGA_Author = ZeroTerminated(e + 2, 41);
    P.TGA_ImageName = ZeroTerminated(e + 379, 41);
    const int month = Le16(e + 367), day = Le16(e + 369), year = Le16(e + 371);
    const int hour = Le16(e + 373), minute = Le16(e + 375), second = Le16(e + 377);
    if (month && day && year && year < 2500 && month <= 12 && day <= 31 && hour < 24 &&
        minute < 60 && second < 60) {
        const QDate date(year, month, day); // invalid for 30 February and the like
        if (date.isValid())
            P.TGA_Date = QDateTime(date, QTime(hour, minute, second), Qt::UTC);
    }
    P.TGA_Background.r = e[471];
    P.TGA_Background.g = e[472];
    P.TGA_Background.b = e[473];
    if (Le16(e + 474) && Le16(e + 476))
        P.TGA_AspectRatio = double(Le16(e + 474)) / Le16(e + 476);
    if (Le16(e + 478) && Le16(e + 480))
        P.TGA_Gamma = double(Le16(e + 478)) / Le16(e + 480);
    P.TGA_AttributesType = e[494];
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

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// A ratio as the numerator over 10000 that the extension area holds.
uint16_t Over10000(double AValue) {
    const double v = AValue * 10000;
    return v >= 0 && v < 65536 ? uint16_t(v) : v >= 65536 ? 65535 : 0;
}

QString SizeProblem(const QImage& ABitmap) {
    if (ABitmap.isNull())
        return QStringLiteral("there is no picture to save");
    if (ABitmap.width() > kTGAMaxSide || ABitmap.height() > kTGAMaxSide)
        return QStringLiteral("a TGA picture can be at most %1 pixels wide and high, not %2")
            .arg(kTGAMaxSide)
            .arg(SizeText(ABitmap.width(), ABitmap.height()));
    return {};
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
    bool footer = false;
    uint32_t extensionOffset = 0;
    if (r.size() >= kFooterSize) {
        r.seek(r.size() - kFooterSize);
        extensionOffset = r.u32le();
        r.skip(4);
        const uint8_t* signature = r.take(18);
        footer = ZeroTerminated(signature, 18) == kSignature;
    }
    P.TGA_Author.clear();
    P.TGA_ImageName.clear();
    P.TGA_Date = QDateTime(QDate::currentDate(), QTime(0, 0), Qt::UTC);
    P.TGA_Background = {};
    P.TGA_AspectRatio = 1.0;
    P.TGA_Gamma = 2.2;
    P.TGA_AttributesType = 0;
    if (footer && extensionOffset != 0) {
        if (extensionOffset > r.size() - kFooterSize - kExtensionSize)
            Fail(QStringLiteral("the TGA footer points outside the file"));
        r.seek(extensionOffset);
        ReadExtensionArea(r.take(kExtensionSize), P);
    }

    r.seek(0);
    const uint8_t* h = r.take(kHeaderSize);
    const uint8_t type = h[2], depth = h[16], descriptor = h[17];
    if (type != kTypeTrueColor && type != kTypeTrueColorRle)
        Fail(TypeProblem(type));
    if (depth != 24 && depth != 32)
        Fail(QStringLiteral("%1-bit TGA pictures are not supported, only 24 and 32 bits")
                 .arg(depth));
    const int W = Le16(h + 12), H = Le16(h + 14);
    const int bytes = depth / 8;
    const bool rle = type == kTypeTrueColorRle;
    P.TGA_Descriptor = QByteArray(reinterpret_cast<const char*>(r.take(h[0])), h[0]);
    P.TGA_Compressed = rle;
    P.Width = P.OriginalWidth = W;
    P.Height = P.OriginalHeight = H;
    P.BitsPerSample = 8;
    P.SamplesPerPixel = bytes;
    if (W == 0 || H == 0)
        Fail(QStringLiteral("the picture is %1 pixels, it has none to show").arg(SizeText(W, H)));

    // Refuse at once what the file cannot hold, even at the densest packing (one repeat packet
    // per 128 pixels), before the bitmap is allocated. Both sides are below 2^16: no overflow.
    const qint64 pixels = qint64(W) * H;
    const qint64 least =
        rle ? (pixels + kPacketPixels - 1) / kPacketPixels * (1 + bytes) : pixels * bytes;
    if (least > r.remaining())
        Fail(QStringLiteral("the file is too short for a %1 picture").arg(SizeText(W, H)));

    QImage bitmap(W, H, kBitmapFormat);
    if (bitmap.isNull())
        Fail(QStringLiteral("there is not enough memory for a %1 picture").arg(SizeText(W, H)));
    const bool premultiplied = P.TGA_AttributesType == kAttributesPremultiplied;
    std::vector<QRgb> row(static_cast<size_t>(W));
    TPixelStream stream(r, bytes, rle);
    for (int i = 0; i < H; ++i) {
        stream.row(row.data(), W);
        if (descriptor & kRightToLeft)
            std::reverse(row.begin(), row.end());
        QRgb* out =
            reinterpret_cast<QRgb*>(bitmap.scanLine(descriptor & kTopToBottom ? i : H - 1 - i));
        for (int x = 0; x < W; ++x)
            out[x] = bytes == 4 ? Premultiplied(row[size_t(x)], premultiplied) : row[size_t(x)];
    }
    ABitmap = std::move(bitmap);
}

void WriteTGA(const TByteSink& AStream, const QImage& ABitmap, TTGAParamsVals& P) {
    if (const QString problem = SizeProblem(ABitmap); !problem.isEmpty())
        throw EVormError(problem);
    const QImage source = AsBitmap(ABitmap);
    const int W = source.width(), H = source.height();
    const int depth = P.AlphaUsed ? 32 : 24;
    if (P.AlphaUsed)
        P.TGA_Compressed = false;

    qint64 written = 0;
    const auto put = [&](const void* AData, qint64 ASize) {
        AStream(AData, ASize);
        written += ASize;
    };
    const QByteArray id = P.TGA_Descriptor.left(kMaxIdLength);
    uint8_t header[kHeaderSize] = {};
    header[0] = uint8_t(id.size() + 1);
    header[2] = P.TGA_Compressed ? kTypeTrueColorRle : kTypeTrueColor;
    Put16(header + 12, uint32_t(W));
    Put16(header + 14, uint32_t(H));
    header[16] = uint8_t(depth);
    header[17] = depth == 32 ? kTopToBottom | 8 : kTopToBottom;
    put(header, kHeaderSize);
    put(id.constData(), id.size() + 1); // with its terminating zero

    std::vector<uint8_t> out;
    out.reserve(size_t(W) * 4 + size_t(W + 127) / 128);
    for (int y = 0; y < H; ++y) {
        const QRgb* px = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        out.clear();
        if (depth == 24 && P.TGA_Compressed) {
            PackRow(px, W, out);
        } else {
            const int bytes = depth / 8;
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
        put(out.data(), qint64(out.size()));
    }

    const qint64 extensionOffset = written;
    uint8_t e[kExtensionSize] = {};
    Put16(e, kExtensionSize);
    std::memcpy(e + 2, P.TGA_Author.constData(),
                size_t(std::min<qsizetype>(P.TGA_Author.size(), kMaxNameLength)));
    const QDate date = P.TGA_Date.date();
    const QTime time = P.TGA_Date.time();
    Put16(e + 367, uint32_t(date.month()));
    Put16(e + 369, uint32_t(date.day()));
    Put16(e + 371, uint32_t(date.year()));
    Put16(e + 373, uint32_t(time.hour()));
    Put16(e + 375, uint32_t(time.minute()));
    Put16(e + 377, uint32_t(time.second()));
    std::memcpy(e + 379, P.TGA_ImageName.constData(),
                size_t(std::min<qsizetype>(P.TGA_ImageName.size(), kMaxNameLength)));
    e[471] = P.TGA_Background.r;
    e[472] = P.TGA_Background.g;
    e[473] = P.TGA_Background.b;
    Put16(e + 474, Over10000(P.TGA_AspectRatio));
    Put16(e + 476, 10000);
    Put16(e + 478, Over10000(P.TGA_Gamma));
    Put16(e + 480, 10000);
    // Our 32-bit pixels are the bitmap's own, premultiplied; saying so lets them read back
    // byte for byte and tells other readers what they hold.
    e[494] = depth == 32 ? kAttributesPremultiplied : 0;
    put(e, kExtensionSize);

    uint8_t footer[kFooterSize] = {};
    Put32(footer, uint32_t(extensionOffset));
    std::memcpy(footer + 8, kSignature, sizeof kSignature); // with its zero byte
    put(footer, kFooterSize);
}

void LoadTGAFile(const QString& AFileName, QImage& ABitmap, QString& AAuthor) {
    TTGAParamsVals params;
    params.ResetInfo();
    const QByteArray data = ReadPictureFile(AFileName);
    try {
        ReadTGA(data, ABitmap, params);
    } catch (const EVormError& e) {
        throw EVormError(CannotReadMessage(AFileName, e.message()));
    } catch (const std::bad_alloc&) {
        throw EVormError(CannotReadMessage(AFileName, QStringLiteral("not enough memory")));
    }
    AAuthor = QString::fromLocal8Bit(params.TGA_Author);
}

void SaveTGAFile(const QString& AFileName, const QImage& ABitmap, const QString& AAuthor,
                 bool AAlpha) {
    if (const QString problem = SizeProblem(ABitmap); !problem.isEmpty())
        throw EVormError(CannotWriteMessage(AFileName, problem));
    TTGAParamsVals params;
    params.ResetInfo();
    params.TGA_Compressed = !AAlpha;
    // At most 40 characters, and no character cut in half by the 40-byte field.
    QString author = AAuthor.left(kMaxNameLength);
    while (author.toLocal8Bit().size() > kMaxNameLength)
        author.chop(1);
    params.TGA_Author = author.toLocal8Bit();
    params.AlphaUsed = AAlpha;
    const QImage source = AsBitmap(ABitmap, AFileName);
    TAtomicFile file(AFileName);
    WriteTGA([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, source, params);
    file.commit();
}
