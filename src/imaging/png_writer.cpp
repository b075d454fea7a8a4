#include "png_writer.h"

#include "atomic_file.h"
#include "codec_support.h"
#include "parallel.h"
#include "vorm_error.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>
#include <zlib.h>

namespace {

constexpr int kStripRows = 64;
// zlib counts a strip's bytes in 32 bits: a very wide picture takes fewer rows per strip.
constexpr qsizetype kMaxStripBytes = qsizetype(1) << 28;

void WriteChunk(TAtomicFile& AFile, const char* AType, const uchar* AData, size_t ASize) {
    std::vector<uchar> head;
    AppendBe32(head, uint32_t(ASize));
    head.insert(head.end(), AType, AType + 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(AType), 4);
    // crc32 takes at most 4 GiB at a time, strips are far smaller; and given no data it
    // would restart.
    if (ASize)
        crc = crc32(crc, AData, uInt(ASize));
    AFile.write(head.data(), qint64(head.size()));
    if (ASize)
        AFile.write(AData, qint64(ASize));
    std::vector<uchar> tail;
    AppendBe32(tail, uint32_t(crc));
    AFile.write(tail.data(), 4);
}

// Rows [AY0, AY1) in straight ARGB32, turned by the platform's own conversion so that the file
// holds what its encoder would write. The rows are wrapped, not copied.
QImage StraightRows(const QImage& AImage, int AY0, int AY1) {
    const QImage view(AImage.constScanLine(AY0), AImage.width(), AY1 - AY0, AImage.bytesPerLine(),
                      QImage::Format_ARGB32_Premultiplied);
    QImage rows = view.convertToFormat(QImage::Format_ARGB32);
    if (rows.isNull())
        throw std::bad_alloc();
    return rows;
}

// One ARGB32 row as the file's red, green, blue, alpha bytes.
void RgbaRow(const QImage& ARows, int y, uchar* AOut) {
    const QRgb* src = reinterpret_cast<const QRgb*>(ARows.constScanLine(y));
    const int W = ARows.width();
    for (int x = 0; x < W; ++x, AOut += 4) {
        const QRgb p = src[x];
        AOut[0] = uchar(qRed(p));
        AOut[1] = uchar(qGreen(p));
        AOut[2] = uchar(qBlue(p));
        AOut[3] = uchar(qAlpha(p));
    }
}

struct TStrip {
    std::vector<uchar> Packed;
    uLong Adler = 1;
    size_t RawSize = 0;
    bool Failed = false;
};

// Filters rows [AY0, AY1) (each row takes the filter of smallest absolute sum among None, Sub
// and Up) and deflates them into raw deflate ending on a byte boundary.
void PackStrip(const QImage& AImage, int AY0, int AY1, bool ALast, int ALevel, TStrip& AStrip) {
    const size_t stride = size_t(AImage.width()) * 4;
    std::vector<uchar> prev(stride, 0), cur(stride), raw;
    raw.reserve((stride + 1) * size_t(AY1 - AY0));
    const int first = std::max(0, AY0 - 1); // the row above, for the Up filter
    const QImage rows = StraightRows(AImage, first, AY1);
    if (AY0 > 0)
        RgbaRow(rows, 0, prev.data());
    std::vector<uchar> sub(stride), up(stride);
    for (int y = AY0; y < AY1; ++y) {
        RgbaRow(rows, y - first, cur.data());
        uint64_t sNone = 0, sSub = 0, sUp = 0;
        for (size_t i = 0; i < stride; ++i) {
            sub[i] = uchar(cur[i] - (i >= 4 ? cur[i - 4] : 0));
            up[i] = uchar(cur[i] - prev[i]);
            sNone += cur[i] < 128 ? cur[i] : 256 - cur[i];
            sSub += sub[i] < 128 ? sub[i] : 256 - sub[i];
            sUp += up[i] < 128 ? up[i] : 256 - up[i];
        }
        if (sSub <= sUp && sSub <= sNone) {
            raw.push_back(1);
            raw.insert(raw.end(), sub.begin(), sub.end());
        } else if (sUp <= sNone) {
            raw.push_back(2);
            raw.insert(raw.end(), up.begin(), up.end());
        } else {
            raw.push_back(0);
            raw.insert(raw.end(), cur.begin(), cur.end());
        }
        std::swap(prev, cur);
    }
    AStrip.RawSize = raw.size();
    AStrip.Adler = adler32(1, raw.data(), uInt(raw.size()));
    z_stream z{};
    if (deflateInit2(&z, ALevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        AStrip.Failed = true;
        return;
    }
    AStrip.Packed.resize(deflateBound(&z, uLong(raw.size())) + 16);
    z.next_in = raw.data();
    z.avail_in = uInt(raw.size());
    z.next_out = AStrip.Packed.data();
    z.avail_out = uInt(AStrip.Packed.size());
    // A sync flush ends the piece on a byte boundary with the stream still open, so the next
    // strip's blocks can follow it.
    const int rc = deflate(&z, ALast ? Z_FINISH : Z_SYNC_FLUSH);
    AStrip.Failed = ALast ? rc != Z_STREAM_END : rc != Z_OK;
    AStrip.Packed.resize(z.total_out);
    deflateEnd(&z);
}

} // namespace

void WritePng(const QString& AFileName, const QImage& ABitmap, const TPngOptions& AOptions) {
    const QImage image = ABitmap.format() == QImage::Format_ARGB32_Premultiplied
                             ? ABitmap
                             : ABitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int W = image.width(), H = image.height();
    if (image.isNull() || W <= 0 || H <= 0)
        throw EVormError(CannotWriteMessage(AFileName, QStringLiteral("the picture is empty")));
    TAtomicFile file(AFileName);
    static const uchar kSignature[] = {137, 80, 78, 71, 13, 10, 26, 10};
    file.write(kSignature, sizeof kSignature);
    std::vector<uchar> ihdr;
    AppendBe32(ihdr, uint32_t(W));
    AppendBe32(ihdr, uint32_t(H));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, filters, no interlace
    WriteChunk(file, "IHDR", ihdr.data(), ihdr.size());

    const int level = std::clamp(AOptions.Level, 0, 9);
    const uchar zlibHead[] = {0x78, uchar(level <= 1   ? 0x01
                                          : level < 6  ? 0x5E
                                          : level == 6 ? 0x9C
                                                       : 0xDA)};
    WriteChunk(file, "IDAT", zlibHead, 2);
    const int stripRows =
        int(std::clamp<qsizetype>(kMaxStripBytes / (qsizetype(W) * 4 + 1), 1, kStripRows));
    const int strips = (H + stripRows - 1) / stripRows;
    // A few strips per thread at a time keeps memory small whatever the picture's size.
    const int batch = std::max(1, WorkerThreads()) * 2;
    uLong adler = 1;
    std::vector<TStrip> work(static_cast<size_t>(batch));
    for (int first = 0; first < strips; first += batch) {
        if (AOptions.Cancel && AOptions.Cancel->isCanceled())
            throw ECanceled();
        const int n = std::min(batch, strips - first);
        ParallelFor(n, [&](int k) {
            const int s = first + k;
            work[size_t(k)] = TStrip{};
            PackStrip(image, s * stripRows, std::min(H, (s + 1) * stripRows), s == strips - 1,
                      level, work[size_t(k)]);
        });
        for (int k = 0; k < n; ++k) {
            const TStrip& st = work[size_t(k)];
            if (st.Failed)
                throw EVormError(
                    CannotWriteMessage(AFileName, QStringLiteral("the compressor failed")));
            adler = adler32_combine(adler, st.Adler, z_off_t(st.RawSize));
            WriteChunk(file, "IDAT", st.Packed.data(), st.Packed.size());
        }
    }
    std::vector<uchar> trailer;
    AppendBe32(trailer, uint32_t(adler));
    WriteChunk(file, "IDAT", trailer.data(), trailer.size());
    WriteChunk(file, "IEND", nullptr, 0);
    file.commit();
}
