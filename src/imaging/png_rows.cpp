#include "png_rows.h"

#include "codec_support.h"
#include "memory_budget.h"
#include "platform.h"
#include "png_reader.h"

#include <QDir>
#include <QFile>
#include <climits>
#include <cstring>
#include <spng.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr int kSignatureSize = 8;
constexpr int kChunkHead = 8;
constexpr int kChunkCrc = 4;
constexpr size_t kChunkCacheLimit = size_t(64) << 20; // as ReadPng
constexpr uint32_t kMaxChunkLength = 0x7fffffff;

void PutBe32(uint8_t* AOut, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        AOut[i] = uint8_t(v >> (24 - 8 * i));
}

// The file as libspng reads it: for a file cut short, the chunk that the cut goes through is
// made whole, as ReadPng makes it (its length that of the bytes it has, its CRC worked out
// again), and nothing follows it. Read forward only.
class TPngStream {
public:
    explicit TPngStream(const QString& AFileName) : FFile(AFileName) {}

    bool open() {
        if (!FFile.open(QIODevice::ReadOnly))
            return false;
        FEnd = FFile.size();
        return true;
    }
    QFile& file() { return FFile; }

    // Finds the cut, reading only the chunks' headers and the cut chunk's bytes.
    void makeWhole() {
        const qint64 size = FFile.size();
        qint64 pos = kSignatureSize;
        FEnd = size;
        while (pos + kChunkHead <= size) {
            uint8_t head[kChunkHead];
            if (!FFile.seek(pos) ||
                FFile.read(reinterpret_cast<char*>(head), kChunkHead) != kChunkHead)
                break;
            const uint32_t length = GetBe32(head);
            const qint64 end = pos + kChunkHead + qint64(length) + kChunkCrc;
            if (end <= size) {
                pos = end;
                continue;
            }
            const qint64 kept = std::min<qint64>(length, size - pos - kChunkHead);
            // The chunk's type and kept bytes, for its new CRC.
            uLong crc = crc32(0, head + 4, 4);
            std::vector<char> buf(size_t(1) << 16);
            for (qint64 done = 0; done < kept;) {
                const qint64 n =
                    FFile.read(buf.data(), std::min<qint64>(qint64(buf.size()), kept - done));
                if (n <= 0)
                    Fail(QStringLiteral("the file cannot be read"));
                crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), uInt(n));
                done += n;
            }
            FCutAt = pos;
            FEnd = pos + kChunkHead + kept;
            PutBe32(FPatch, uint32_t(kept));
            PutBe32(FCrc, uint32_t(crc));
            FFile.seek(0);
            return;
        }
        FEnd = pos; // a chunk whose length field was cut off is dropped
        FFile.seek(0);
    }

    // libspng's reads: all or nothing.
    static int Read(spng_ctx*, void* AUser, void* ADst, size_t ALength) {
        auto* s = static_cast<TPngStream*>(AUser);
        auto* out = static_cast<uint8_t*>(ADst);
        while (ALength > 0) {
            const qint64 at = s->FAt;
            size_t n = 0;
            if (s->FCutAt >= 0 && at >= s->FCutAt && at < s->FCutAt + 4) {
                n = std::min<size_t>(ALength, size_t(s->FCutAt + 4 - at));
                std::memcpy(out, s->FPatch + (at - s->FCutAt), n);
            } else if (s->FCutAt >= 0 && at >= s->FEnd && at < s->FEnd + kChunkCrc) {
                n = std::min<size_t>(ALength, size_t(s->FEnd + kChunkCrc - at));
                std::memcpy(out, s->FCrc + (at - s->FEnd), n);
            } else {
                // Plain file bytes, up to the next patched piece.
                qint64 stop = s->FCutAt >= 0 ? (at < s->FCutAt ? s->FCutAt : s->FEnd) : s->FEnd;
                if (at >= stop)
                    return SPNG_IO_EOF;
                const qint64 want = std::min<qint64>(qint64(ALength), stop - at);
                if (s->FFile.pos() != at && !s->FFile.seek(at))
                    return SPNG_IO_ERROR;
                const qint64 got = s->FFile.read(reinterpret_cast<char*>(out), want);
                if (got <= 0)
                    return got == 0 ? SPNG_IO_EOF : SPNG_IO_ERROR;
                n = size_t(got);
            }
            out += n;
            ALength -= n;
            s->FAt += qint64(n);
        }
        return 0;
    }

private:
    QFile FFile;
    qint64 FAt = 0;
    qint64 FCutAt = -1; // where the cut chunk starts; -1 for a whole file
    qint64 FEnd = 0;    // where the file's bytes end (the cut chunk's kept bytes included)
    uint8_t FPatch[4]{}, FCrc[4]{};
};

struct TSpngDeleter {
    void operator()(spng_ctx* c) const { spng_ctx_free(c); }
};

class TPngRows : public TRowSource {
public:
    TPngRows(const QString& AFileName, bool ACutShort)
        : FName(AFileName), FStream(AFileName), FCutShort(ACutShort) {}

    // Opens the decoder; throws as ReadPng does.
    bool start(const std::function<qint64(int, int)>& AHeldBytes) {
        if (!FStream.open())
            return false;
        if (FCutShort)
            FStream.makeWhole();
        FCtx.reset(spng_ctx_new(0));
        if (!FCtx)
            throw std::bad_alloc();
        spng_set_chunk_limits(FCtx.get(), kMaxChunkLength, kChunkCacheLimit);
        spng_set_image_limits(FCtx.get(), INT_MAX, INT_MAX);
        if (int rc = spng_set_png_stream(FCtx.get(), TPngStream::Read, &FStream); rc != 0)
            Fail(PngDamageReason(rc));
        if (int rc = spng_get_ihdr(FCtx.get(), &FHeader); rc != 0)
            Fail(FCutShort ? BeforeFirstRow() : PngDamageReason(rc));
        if (FHeader.interlace_method != 0)
            return false;
        W = int(FHeader.width);
        H = int(FHeader.height);
        const qint64 need = qint64(W) * 16 + AHeldBytes(W, H);
        if (need > MemoryLimit())
            throw EPictureTooBig(W, H, need, MemoryLimit());
        if (int rc =
                spng_decode_image(FCtx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
            rc != 0)
            Fail(FCutShort ? BeforeFirstRow() : PngDamageReason(rc));
        FPixels = std::make_unique<TPngRowPixels>(FCtx.get(), FHeader);
        FScanline.resize(TPngRowPixels::scanlineBytes(FHeader) + 8);
        return true;
    }

    int width() const override { return W; }
    int height() const override { return H; }
    QString warning() const override { return FWarning; }

    void read(int AY0, int AY1, uchar* ABits, qsizetype APitch) override {
        ForFile(TFileAction::Read, FName, [&] {
            for (int y = AY0; y < AY1; ++y) {
                uchar* out = ABits + qsizetype(y - AY0) * APitch;
                if (FEnded) { // the rows the file lacks are transparent
                    std::memset(out, 0, size_t(W) * 4);
                    continue;
                }
                spng_row_info info{};
                int rc = spng_get_row_info(FCtx.get(), &info);
                if (rc == 0) {
                    rc = spng_decode_scanline(FCtx.get(), FScanline.data(), FScanline.size());
                    if (rc == 0 || rc == SPNG_EOI) {
                        FPixels->convert(FScanline.data(), FHeader.width,
                                         reinterpret_cast<QRgb*>(out));
                        ++FRows;
                    }
                }
                if (rc == 0)
                    continue;
                if (rc != SPNG_EOI) {
                    // In a file cut short the cut is what ends the rows.
                    if (!FCutShort)
                        Fail(PngDamageReason(rc));
                    if (FRows == 0)
                        Fail(BeforeFirstRow());
                    FEnded = true;
                    std::memset(out, 0, size_t(W) * 4);
                    FWarning = QStringLiteral("\"%1\" is cut short: %2 of its %3 rows are read; "
                                              "the rest is transparent.")
                                   .arg(QDir::toNativeSeparators(FName))
                                   .arg(FRows)
                                   .arg(H);
                    continue;
                }
                FEnded = true; // every row came
                if (!FCutShort) {
                    // The chunks after the rows: a damaged end of the pixel data shows only there.
                    uint32_t texts = 0;
                    const int end = spng_get_text(FCtx.get(), nullptr, &texts);
                    if (end != 0 && end != SPNG_ECHUNKAVAIL)
                        Fail(PngDamageReason(end));
                }
            }
        });
    }

private:
    static QString BeforeFirstRow() {
        return QStringLiteral("the file is cut short before its first row");
    }

    QString FName;
    TPngStream FStream;
    bool FCutShort;
    std::unique_ptr<spng_ctx, TSpngDeleter> FCtx;
    spng_ihdr FHeader{};
    std::unique_ptr<TPngRowPixels> FPixels;
    std::vector<uint8_t> FScanline;
    int W = 0, H = 0;
    int FRows = 0;
    bool FEnded = false;
    QString FWarning;
};

} // namespace

std::unique_ptr<TRowSource> OpenPngRows(const QString& AFileName,
                                        const std::function<qint64(int W, int H)>& AHeldBytes) {
    if (IsSpecialFile(QFile::encodeName(AFileName).toStdString()))
        return nullptr;
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray head = file.read(kSignatureSize + kChunkHead + 13);
    if (!IsPng(head))
        return nullptr;
    return ForFile(TFileAction::Read, AFileName, [&]() -> std::unique_ptr<TRowSource> {
        CheckPngFileHolds(head, file.size());
        auto rows = std::make_unique<TPngRows>(AFileName, IsPngCutShort(file));
        if (!rows->start(AHeldBytes))
            return nullptr;
        return rows;
    });
}
