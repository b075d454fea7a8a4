#include "hdr.h"

#include "memory_budget.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A repeat packet gives at most 127 bytes of a component from two bytes.
constexpr int kMaxRun = 127;
// The decoded lines hold each pixel as three doubles until the tone mapping.
constexpr qint64 kLineBytesPerPixel = qint64(sizeof(THDRColor));

// Lines end at a line feed, a carriage return, or both together; a final line break does not
// start another line.
QList<QByteArray> SplitLines(QByteArrayView AText) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < AText.size(); ++i) {
        if (AText[i] != '\n' && AText[i] != '\r')
            continue;
        lines.append(AText.sliced(start, i - start).toByteArray());
        if (AText[i] == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < AText.size())
        lines.append(AText.sliced(start).toByteArray());
    return lines;
}

// The value of the first line "NAME=value", the name in any letter case; null when none.
QByteArray ValueOf(const QList<QByteArray>& ALines, const char* AName) {
    for (const QByteArray& line : ALines) {
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && line.left(eq).compare(AName, Qt::CaseInsensitive) == 0) {
            const QByteArray value = line.mid(eq + 1);
            return value.isNull() ? QByteArray("") : value;
        }
    }
    return {};
}

int64_t DecimalOrZero(const QByteArray& AField) {
    bool ok = false;
    const qlonglong n = AField.toLongLong(&ok, 10);
    return ok ? n : 0;
}

uint8_t ToneByte(double AComponent, double AScale, double AGamma) {
    const double v = AComponent * AScale;
    double m = v / (v + 1);
    if (AGamma != 1)
        m = std::pow(m, 1 / AGamma);
    if (!(m > 0)) // NaN as well
        m = 0;
    return uint8_t(std::min(m, 1.0) * 255 + 0.5);
}

// Why a resolution line is not read: padded with spaces, or another orientation.
QString ResolutionProblem(const QByteArray& ALine) {
    const QString line = QString::fromLatin1(ALine.left(40));
    const QList<QByteArray> words = ALine.simplified().split(' ');
    if (words.size() == 4 && words[0] == "-Y" && words[2] == "+X")
        return QStringLiteral("its resolution line \"%1\" has more than one space between its "
                              "fields; only lines with single spaces, such as \"-Y %2 +X %3\", "
                              "are read")
            .arg(line, QString::fromLatin1(words[1].left(12)),
                 QString::fromLatin1(words[3].left(12)));
    return QStringLiteral("only pictures stored top to bottom (-Y h +X w) are read, not \"%1\"")
        .arg(line);
}

} // namespace

THDRColor THDRBuf::RowColor(int i) const {
    const size_t k = size_t(i);
    const float f = E[k] == 0 ? 0.0f : std::ldexp(1.0f, int(E[k]) - 128);
    return {double(R[k]) * f, double(G[k]) * f, double(B[k]) * f};
}

bool THDRRec::RGBERead(TByteReader& AStream, int AWidth, THDRBuf& Buffer) {
    if (AStream.remaining() < 4)
        return false;
    const uint8_t* h = AStream.take(4);
    if (h[0] != 2 || h[1] != 2 || (h[2] << 8 | h[3]) != AWidth)
        return false;
    for (std::vector<uint8_t>* c : {&Buffer.R, &Buffer.G, &Buffer.B, &Buffer.E})
        if (!ReadRLEComponent(AWidth, AStream, *c))
            return false;
    for (int x = 0; x < AWidth; ++x) {
        const THDRColor c = Buffer.RowColor(x);
        RGB[size_t(x)] = c;
        L += 0.299 * c.R + 0.587 * c.G + 0.114 * c.B;
    }
    return true;
}

THDRRecArray::THDRRecArray(int AWidth, int AHeight)
    : Width(uint32_t(AWidth)), Height(uint32_t(AHeight)), Lines(size_t(AHeight), THDRRec(AWidth)),
      Buffer(AWidth) {}

bool ReadRLEComponent(int AWidth, TByteReader& AStream, std::vector<uint8_t>& AOut) {
    int o = 0;
    while (o < AWidth) {
        if (AStream.remaining() < 1)
            return false;
        const int c = AStream.u8();
        if (c > 128) {
            const int n = c - 128;
            if (n > AWidth - o || AStream.remaining() < 1)
                return false;
            std::memset(AOut.data() + o, AStream.u8(), size_t(n));
            o += n;
        } else {
            if (c > AWidth - o || AStream.remaining() < c)
                return false;
            std::memcpy(AOut.data() + o, AStream.take(c), size_t(c));
            o += c;
        }
    }
    return true;
}

void ReadHDRHeader(TByteReader& AStream, THDRHeader& AHeader) {
    // The header ends with the line after the first blank line: count line feeds in a row until
    // a blank line has been seen, then stop at the next line feed.
    const qsizetype start = AStream.pos();
    const qsizetype size = AStream.remaining();
    const uint8_t* text = AStream.take(size);
    qsizetype end = -1;
    int feeds = 0;
    for (qsizetype i = 0; i < size && end < 0; ++i) {
        if (text[i] == '\n') {
            if (++feeds == 3)
                end = i + 1;
        } else if (feeds < 2) {
            feeds = 0;
        }
    }
    AStream.seek(start + std::max<qsizetype>(end, 0));
    AHeader.Width = AHeader.Height = 0;
    if (end < 0)
        Fail(QStringLiteral("it is not a Radiance picture: its header never ends"));
    const QList<QByteArray> lines =
        SplitLines(QByteArrayView(reinterpret_cast<const char*>(text), end));
    // Radiance's own programs write "#?RADIANCE"; many other writers "#?RGBE".
    if (lines.size() < 4 || (lines[0] != "#?RADIANCE" && lines[0] != "#?RGBE"))
        Fail(QStringLiteral("it is not a Radiance picture"));
    if (ValueOf(lines, "FORMAT") != "32-bit_rle_rgbe")
        Fail(QStringLiteral("only RGBE pictures (FORMAT=32-bit_rle_rgbe) are read"));

    const QList<QByteArray> fields = lines.last().split(' ');
    const bool ok = fields.size() >= 4 && fields[0] == "-Y" && fields[2] == "+X";
    if (ok) {
        AHeader.Height = DecimalOrZero(fields[1]);
        AHeader.Width = DecimalOrZero(fields[3]);
    }
    const QByteArray gamma = ValueOf(lines, "GAMMA");
    AHeader.Gamma = 2.2;
    if (!gamma.isEmpty()) {
        // Always with a decimal point: the same file must read alike in every locale.
        bool number = false;
        AHeader.Gamma = gamma.toDouble(&number);
        if (!number || !std::isfinite(AHeader.Gamma))
            Fail(QStringLiteral("the GAMMA value \"%1\" is not a number")
                     .arg(QString::fromLatin1(gamma.left(40))));
    }
    if (!ok)
        Fail(ResolutionProblem(lines.last()));
}

namespace {

// Refuses a file whose first scanline is not in the run-length form that is read, saying which
// older form it has: flat pixels of 4 bytes, or the old run-length coding, whose repeats are
// pixels 1 1 1 n. The checks of the file's size would otherwise call such a file damaged.
void CheckScanlineForm(TByteReader r, int64_t W, int64_t H) {
    if (r.remaining() < 4)
        return;
    const uint8_t* p = r.take(4);
    if (p[0] == 2 && p[1] == 2 && (p[2] & 0x80) == 0)
        return;
    r.seek(r.pos() - 4);
    // A whole picture of flat pixels is flat, even where a dark pixel reads 1 1 1.
    const qint64 pixels = r.remaining() >= 4 * W * H ? 0 : r.remaining() / 4;
    bool oldRuns = false;
    for (qint64 i = 0; i < pixels && !oldRuns; ++i) {
        const uint8_t* q = r.take(4);
        oldRuns = i > 0 && q[0] == 1 && q[1] == 1 && q[2] == 1;
    }
    if (oldRuns)
        Fail(QStringLiteral("its scanlines use the old run-length coding, whose repeats are "
                            "pixels 1 1 1 n; only the newer run-length scanlines, which start "
                            "with 2 2, are read"));
    Fail(QStringLiteral("its scanlines are stored flat, 4 bytes a pixel without run-length "
                        "coding; only run-length scanlines, which start with 2 2, are read"));
}

// Refuses, before anything is allocated, a size the reader does not take or the data cannot hold.
void CheckSize(int64_t W, int64_t H, const TByteReader& r) {
    if (W < 1 || H < 1)
        Fail(QStringLiteral("a %1 picture is not possible").arg(SizeText(W, H)));
    if (W > kHDRMaxSide || H > kHDRMaxSide)
        Fail(QStringLiteral("a %1 picture is larger than the %2 pixels a side that are read")
                 .arg(SizeText(W, H))
                 .arg(kHDRMaxSide));
    CheckScanlineForm(r, W, H);
    // Each line takes its 4-byte start and, per component, two bytes per 127 pixels at least.
    const int64_t lineLeast = 4 + 4 * 2 * ((W + kMaxRun - 1) / kMaxRun);
    if (lineLeast * H > r.remaining())
        Fail(QStringLiteral("the file is too short for a %1 picture").arg(SizeText(W, H)));
    CheckPictureFits(W, H, kLineBytesPerPixel);
}

QImage ToneMap(const THDRRecArray& ALines, double AScale, double AGamma) {
    const int W = int(ALines.Width), H = int(ALines.Height);
    QImage bitmap = AllocateBitmap(W, H, kBitmapFormat, kLineBytesPerPixel);
    for (int y = 0; y < H; ++y) {
        QRgb* out = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        const THDRRec& line = ALines.Lines[size_t(y)];
        for (int x = 0; x < W; ++x) {
            const THDRColor& c = line.RGB[size_t(x)];
            out[x] = qRgb(ToneByte(c.R, AScale, AGamma), ToneByte(c.G, AScale, AGamma),
                          ToneByte(c.B, AScale, AGamma));
        }
    }
    return bitmap;
}

} // namespace

void LoadHDRData(QByteArrayView AData, QImage& ABitmap) {
    TByteReader r(AData);
    THDRHeader header;
    ReadHDRHeader(r, header);
    const int64_t W = header.Width, H = header.Height;
    CheckSize(W, H, r);
    THDRRecArray lines{int(W), int(H)};
    double total = 0;
    int failed = -1;
    for (int y = 0; y < H && failed < 0; ++y) {
        if (lines.RGBERead(r, y))
            total += lines.Lines[size_t(y)].L;
        else
            failed = y;
    }
    // An all-black picture has no mean to scale to, and stays black.
    const double scale = total > 0 ? double(W) * 0.18 * double(H) / total : 0;
    ABitmap = ToneMap(lines, scale, header.Gamma);
    if (failed >= 0)
        Fail(QStringLiteral("scanline %1 is damaged; the picture ends there").arg(failed));
}

void LoadHDRFile(const QString& AFileName, QImage& ABitmap) {
    const QByteArray data = ReadPictureFile(AFileName);
    ForFile(TFileAction::Read, AFileName, [&] { LoadHDRData(data, ABitmap); });
}
