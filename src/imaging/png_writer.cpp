#include "png_writer.h"

#include "atomic_file.h"
#include "codec_support.h"
#include "parallel.h"
#include "vorm_error.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifndef VORM_HAVE_ISAL
#define VORM_HAVE_ISAL 0
#endif
#if VORM_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "pixels are read as little-endian words");

namespace {

constexpr int kStripRows = 64;
// A very wide picture takes fewer rows per strip, keeping each strip's chunk far below PNG's
// limit of 2^31 bytes.
constexpr qsizetype kMaxStripBytes = qsizetype(1) << 28;
// Rows are filtered this many bytes ahead of the compressor, so that it reads them from the
// core's cache.
constexpr size_t kChunkBytes = size_t(256) << 10;
// zlib counts in 32 bits: longer pieces are fed in parts.
constexpr size_t kMaxFeed = size_t(1) << 30;

constexpr uint8_t kFilterNone = 0, kFilterSub = 1, kFilterUp = 2;

// ---- Premultiplied to straight colour ----

// Qt's own conversion of one channel value at each alpha, taken from Qt itself so that the file
// holds exactly what QImage would turn the bitmap into, whatever rounding Qt uses.
struct TStraightTable {
    std::array<uint8_t, 256 * 256> Value; // [alpha * 256 + premultiplied value]
    bool OpaqueIsIdentity = false;        // alpha 255 leaves the colour alone
};

const TStraightTable& StraightTable() {
    static const TStraightTable table = [] {
        TStraightTable t;
        QImage all(256, 256, QImage::Format_ARGB32_Premultiplied);
        for (int a = 0; a < 256; ++a) {
            QRgb* row = reinterpret_cast<QRgb*>(all.scanLine(a));
            for (int v = 0; v < 256; ++v)
                row[v] = qRgba(v, v, v, a);
        }
        const QImage straight = all.convertToFormat(QImage::Format_ARGB32);
        if (straight.isNull())
            throw std::bad_alloc();
        t.OpaqueIsIdentity = true;
        for (int a = 0; a < 256; ++a) {
            const QRgb* row = reinterpret_cast<const QRgb*>(straight.constScanLine(a));
            for (int v = 0; v < 256; ++v) {
                t.Value[size_t(a * 256 + v)] = uint8_t(qRed(row[v]));
                if (a == 255 && qRed(row[v]) != v)
                    t.OpaqueIsIdentity = false;
            }
        }
        return t;
    }();
    return table;
}

// A QImage pixel (0xAARRGGBB) as the file's red, green, blue, alpha bytes in one word.
inline uint32_t SwapRedBlue(uint32_t p) {
    return (p & 0xff00ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
}

inline uint32_t Straight(uint32_t p, const TStraightTable& T) {
    const uint32_t a = p >> 24;
    if (a == 255 && T.OpaqueIsIdentity)
        return SwapRedBlue(p);
    const uint8_t* t = T.Value.data() + (a << 8);
    return t[(p >> 16) & 255] | uint32_t(t[(p >> 8) & 255]) << 8 | uint32_t(t[p & 255]) << 16 |
           (a << 24);
}

inline uint32_t StraightOrAbove(const uint32_t* ASrc, const uint32_t* AAbove, const uint32_t* APrev,
                                int x, const TStraightTable& T) {
    return AAbove && ASrc[x] == AAbove[x] ? APrev[x] : Straight(ASrc[x], T);
}

// How many pixels of a row equal the one above and the one to the left: the zero pixels that
// Up and Sub give.
struct TRepeats {
    int Up = 0, Left = 0;
};

#if defined(__SSE2__)

inline __m128i SwapRedBlue4(__m128i p) {
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i red = _mm_and_si128(_mm_srli_epi32(p, 16), low);
    const __m128i blue = _mm_slli_epi32(_mm_and_si128(p, low), 16);
    return _mm_or_si128(_mm_and_si128(p, _mm_set1_epi32(int(0xff00ff00u))),
                        _mm_or_si128(red, blue));
}

inline int SumLanes(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

// Four pixels from x on in straight colour: opaque ones by moving bytes, the others by the
// table unless they equal the pixel above, whose straight value APrev holds.
inline __m128i Straight4(__m128i s, __m128i AEqualAbove, const uint32_t* ASrc,
                         const uint32_t* AAbove, const uint32_t* APrev, int x,
                         const TStraightTable& T) {
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    if (T.OpaqueIsIdentity &&
        _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alpha), alpha)) == 0xffff)
        return SwapRedBlue4(s);
    if (AAbove && _mm_movemask_epi8(AEqualAbove) == 0xffff)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(APrev + x));
    alignas(16) uint32_t c[4];
    for (int k = 0; k < 4; ++k)
        c[k] = StraightOrAbove(ASrc, AAbove, APrev, x + k, T);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(c));
}

#endif

// Row ASrc in straight RGBA into ACur. AAbove (the row above, may be null) and APrev (it in
// straight RGBA) spare the table where pixels repeat.
void StraightRow(const uint32_t* ASrc, const uint32_t* AAbove, const uint32_t* APrev,
                 uint32_t* ACur, int W, const TStraightTable& T) {
    int x = 0;
#if defined(__SSE2__)
    for (; x + 4 <= W; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ASrc + x));
        const __m128i eq =
            AAbove
                ? _mm_cmpeq_epi32(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(AAbove + x)))
                : _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ACur + x),
                         Straight4(s, eq, ASrc, AAbove, APrev, x, T));
    }
#endif
    for (; x < W; ++x)
        ACur[x] = StraightOrAbove(ASrc, AAbove, APrev, x, T);
}

// The same in one pass with the Up filter (ACur minus APrev, byte by byte) into AOut, counting
// the repeats on the way.
TRepeats StraightRowUp(const uint32_t* ASrc, const uint32_t* AAbove, const uint32_t* APrev,
                       uint32_t* ACur, uint8_t* AOut, int W, const TStraightTable& T) {
    TRepeats r;
    int x = 0;
#if defined(__SSE2__)
    __m128i up = _mm_setzero_si128(), left = _mm_setzero_si128();
    for (; x + 4 <= W; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ASrc + x));
        const __m128i eq =
            _mm_cmpeq_epi32(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(AAbove + x)));
        up = _mm_sub_epi32(up, eq);
        if (x > 0)
            left = _mm_sub_epi32(
                left, _mm_cmpeq_epi32(
                          s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(ASrc + x - 1))));
        const __m128i c = Straight4(s, eq, ASrc, AAbove, APrev, x, T);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ACur + x), c);
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(APrev + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + 4 * size_t(x)), _mm_sub_epi8(c, p));
    }
    r.Up = SumLanes(up);
    r.Left = SumLanes(left);
    for (int k = 1; k < std::min(x, 4);
         ++k) // the first four, whose left neighbours the loop skipped
        r.Left += ASrc[k] == ASrc[k - 1];
#endif
    for (; x < W; ++x) {
        r.Up += ASrc[x] == AAbove[x];
        if (x > 0)
            r.Left += ASrc[x] == ASrc[x - 1];
        ACur[x] = StraightOrAbove(ASrc, AAbove, APrev, x, T);
        const uint32_t c = ACur[x], p = APrev[x];
        for (int k = 0; k < 4; ++k)
            AOut[4 * size_t(x) + size_t(k)] = uint8_t((c >> (8 * k)) - (p >> (8 * k)));
    }
    return r;
}

// ---- Filters ----

void FilterUp(const uint8_t* ACur, const uint8_t* APrev, uint8_t* AOut, size_t AStride) {
    for (size_t i = 0; i < AStride; ++i)
        AOut[i] = uint8_t(ACur[i] - APrev[i]);
}

void FilterSub(const uint8_t* ACur, uint8_t* AOut, size_t AStride) {
    const size_t head = std::min<size_t>(4, AStride);
    std::memcpy(AOut, ACur, head);
    for (size_t i = 4; i < AStride; ++i)
        AOut[i] = uint8_t(ACur[i] - ACur[i - 4]);
}

inline uint64_t AbsSum(uint8_t v) {
    return v < 128 ? v : 256 - v;
}

// ---- Compressors: raw deflate, each strip ending on a byte boundary ----

struct TOutBuffer {
    std::unique_ptr<uint8_t[]> Data;
    size_t Size = 0, Capacity = 0;
    // Room for at least AMore further bytes.
    void reserveMore(size_t AMore) {
        if (Capacity - Size >= AMore)
            return;
        const size_t cap = std::max(Capacity * 2, Size + AMore);
        std::unique_ptr<uint8_t[]> bigger(new uint8_t[cap]);
        if (Size)
            std::memcpy(bigger.get(), Data.get(), Size);
        Data = std::move(bigger);
        Capacity = cap;
    }
};

enum class TEnd { More, Strip, Stream };

class TDeflater {
public:
    virtual ~TDeflater() = default;
    virtual void begin() = 0;
    // False when the compressor reports an error.
    virtual bool feed(const uint8_t* AData, size_t ASize, TEnd AEnd, TOutBuffer& AOut) = 0;
    virtual uint32_t adler32(uint32_t AAdler, const uint8_t* AData, size_t ASize) const {
        return Chunked(::adler32, AAdler, AData, ASize);
    }
    virtual uint32_t crc32(uint32_t ACrc, const uint8_t* AData, size_t ASize) const {
        return Chunked(::crc32, ACrc, AData, ASize);
    }

private:
    // zlib's checksums take 32-bit counts.
    template <typename F>
    static uint32_t Chunked(F&& AChecksum, uint32_t AValue, const uint8_t* AData, size_t ASize) {
        while (ASize) {
            const size_t n = std::min(ASize, kMaxFeed);
            AValue = uint32_t(AChecksum(AValue, AData, uInt(n)));
            AData += n;
            ASize -= n;
        }
        return AValue;
    }
};

class TZlibDeflater : public TDeflater {
public:
    explicit TZlibDeflater(int ALevel) {
        if (deflateInit2(&FZ, ALevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc(); // the only way it fails with these arguments
    }
    ~TZlibDeflater() override { deflateEnd(&FZ); }
    void begin() override { FOk = deflateReset(&FZ) == Z_OK; }
    bool feed(const uint8_t* AData, size_t ASize, TEnd AEnd, TOutBuffer& AOut) override {
        if (!FOk)
            return false;
        do {
            const size_t n = std::min(ASize, kMaxFeed);
            const bool lastPiece = n == ASize;
            const int flush = !lastPiece || AEnd == TEnd::More ? Z_NO_FLUSH
                              : AEnd == TEnd::Strip            ? Z_SYNC_FLUSH
                                                               : Z_FINISH;
            FZ.next_in = const_cast<Bytef*>(AData);
            FZ.avail_in = uInt(n);
            for (;;) {
                AOut.reserveMore(std::min<size_t>(n / 2 + 4096, kMaxFeed));
                const size_t room = std::min(AOut.Capacity - AOut.Size, kMaxFeed);
                FZ.next_out = AOut.Data.get() + AOut.Size;
                FZ.avail_out = uInt(room);
                const int rc = deflate(&FZ, flush);
                AOut.Size += room - FZ.avail_out;
                if (rc == Z_STREAM_END)
                    break;
                if (rc != Z_OK && rc != Z_BUF_ERROR)
                    return false;
                // Done once the input is taken and the output did not fill up.
                if (FZ.avail_in == 0 && FZ.avail_out != 0)
                    break;
            }
            AData += n;
            ASize -= n;
        } while (ASize);
        return true;
    }

private:
    z_stream FZ{};
    bool FOk = false;
};

#if VORM_HAVE_ISAL
// Level 1 with its default buffer: on the 20 MP photo's mosaic level 2 saves 0.3 % at the same
// speed and level 3 is slower and larger.
class TIsalDeflater : public TDeflater {
public:
    // Both zeroed: ISA-L clears neither its history buffer nor its match tables, and left as
    // fresh memory they could steer its matches, so that a file's bytes (never its pixels)
    // would vary from run to run.
    TIsalDeflater() : FZ(new isal_zstream()), FLevelBuf(new uint8_t[ISAL_DEF_LVL1_DEFAULT]()) {}
    void begin() override {
        isal_deflate_init(FZ.get());
        FZ->level = 1;
        FZ->level_buf = FLevelBuf.get();
        FZ->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        FZ->gzip_flag = IGZIP_DEFLATE;
    }
    bool feed(const uint8_t* AData, size_t ASize, TEnd AEnd, TOutBuffer& AOut) override {
        do {
            const size_t n = std::min(ASize, kMaxFeed);
            const bool lastPiece = n == ASize;
            FZ->flush = lastPiece && AEnd == TEnd::Strip ? SYNC_FLUSH : NO_FLUSH;
            FZ->end_of_stream = lastPiece && AEnd == TEnd::Stream;
            FZ->next_in = const_cast<uint8_t*>(AData);
            FZ->avail_in = uint32_t(n);
            for (;;) {
                AOut.reserveMore(std::min<size_t>(n / 2 + 4096, kMaxFeed));
                const size_t room = std::min(AOut.Capacity - AOut.Size, kMaxFeed);
                FZ->next_out = AOut.Data.get() + AOut.Size;
                FZ->avail_out = uint32_t(room);
                if (isal_deflate(FZ.get()) != COMP_OK)
                    return false;
                AOut.Size += room - FZ->avail_out;
                // Everything is out, flushes included, once the output did not fill up.
                if (FZ->avail_in == 0 && FZ->avail_out != 0)
                    break;
            }
            AData += n;
            ASize -= n;
        } while (ASize);
        return AEnd != TEnd::Stream || FZ->internal_state.state == ZSTATE_END;
    }
    uint32_t adler32(uint32_t AAdler, const uint8_t* AData, size_t ASize) const override {
        return isal_adler32(AAdler, AData, ASize);
    }
    uint32_t crc32(uint32_t ACrc, const uint8_t* AData, size_t ASize) const override {
        return crc32_gzip_refl(ACrc, AData, ASize);
    }

private:
    std::unique_ptr<isal_zstream> FZ;
    std::unique_ptr<uint8_t[]> FLevelBuf;
};
#endif

// ---- Strips ----

struct TPlan {
    bool Isal = false;
    int ZlibLevel = 6;
    bool SearchFilters = false; // None, Sub and Up by least absolute sum, else Up or Sub by count
};

// What one work item keeps from strip to strip.
struct TWorker {
    std::unique_ptr<TDeflater> Deflater;
    std::vector<uint32_t> Prev, Cur; // straight rows
    std::vector<uint8_t> Sub, Up;    // candidates when searching
    std::vector<uint8_t> Raw;        // filtered rows waiting for the compressor
};

struct TStrip {
    TOutBuffer Packed;
    uint32_t Adler = 1, Crc = 0;
    size_t RawSize = 0;
    bool Failed = false;
};

void MakeWorker(TWorker& AWorker, const TPlan& APlan, int W) {
    if (AWorker.Deflater)
        return;
#if VORM_HAVE_ISAL
    if (APlan.Isal)
        AWorker.Deflater = std::make_unique<TIsalDeflater>();
#endif
    if (!AWorker.Deflater)
        AWorker.Deflater = std::make_unique<TZlibDeflater>(APlan.ZlibLevel);
    const size_t stride = size_t(W) * 4;
    AWorker.Prev.assign(size_t(W), 0);
    AWorker.Cur.assign(size_t(W), 0);
    if (APlan.SearchFilters) {
        AWorker.Sub.resize(stride);
        AWorker.Up.resize(stride);
    }
    const size_t rowBytes = stride + 1;
    AWorker.Raw.resize(std::max(rowBytes, kChunkBytes / rowBytes * rowBytes));
}

// Premultiplied rows of a picture W pixels wide: row y at Base + (y - Y0) * Pitch. The rows
// a strip reads, the one above it included, must be there.
struct TRowsView {
    const uchar* Base;
    qsizetype Pitch;
    int Y0;
    int W;
    const uint32_t* row(int y) const {
        return reinterpret_cast<const uint32_t*>(Base + qsizetype(y - Y0) * Pitch);
    }
};

// Filters row y into AOut (filter byte first); Prev holds row y - 1 in straight colour, and
// holds row y afterwards.
void FilterRow(const TRowsView& AImage, int y, const TPlan& APlan, TWorker& AW, uint8_t* AOut,
               const TStraightTable& T) {
    const int W = AImage.W;
    const size_t stride = size_t(W) * 4;
    const auto* src = AImage.row(y);
    const auto* above = y > 0 ? AImage.row(y - 1) : nullptr;
    auto bytes = [](std::vector<uint32_t>& v) { return reinterpret_cast<uint8_t*>(v.data()); };
    if (APlan.SearchFilters) {
        StraightRow(src, above, AW.Prev.data(), AW.Cur.data(), W, T);
        const uint8_t* cur = bytes(AW.Cur);
        const uint8_t* prev = bytes(AW.Prev); // zero above the first row
        FilterSub(cur, AW.Sub.data(), stride);
        FilterUp(cur, prev, AW.Up.data(), stride);
        uint64_t sNone = 0, sSub = 0, sUp = 0;
        for (size_t i = 0; i < stride; ++i) {
            sNone += AbsSum(cur[i]);
            sSub += AbsSum(AW.Sub[i]);
            sUp += AbsSum(AW.Up[i]);
        }
        if (sSub <= sUp && sSub <= sNone) {
            AOut[0] = kFilterSub;
            std::memcpy(AOut + 1, AW.Sub.data(), stride);
        } else if (sUp <= sNone) {
            AOut[0] = kFilterUp;
            std::memcpy(AOut + 1, AW.Up.data(), stride);
        } else {
            AOut[0] = kFilterNone;
            std::memcpy(AOut + 1, cur, stride);
        }
        std::swap(AW.Prev, AW.Cur);
        return;
    }
    if (!above) {
        StraightRow(src, nullptr, nullptr, AW.Cur.data(), W, T);
        AOut[0] = kFilterSub;
        FilterSub(bytes(AW.Cur), AOut + 1, stride);
        std::swap(AW.Prev, AW.Cur);
        return;
    }
    if (std::memcmp(src, above, stride) == 0) { // the row above again: Up is all zeros
        AOut[0] = kFilterUp;
        std::memset(AOut + 1, 0, stride);
        return;
    }
    // Up, unless more pixels repeat the one to their left than the one above (as along the
    // top of a row of squares).
    const TRepeats repeats =
        StraightRowUp(src, above, AW.Prev.data(), AW.Cur.data(), AOut + 1, W, T);
    AOut[0] = kFilterUp;
    if (repeats.Left > repeats.Up) {
        AOut[0] = kFilterSub;
        FilterSub(bytes(AW.Cur), AOut + 1, stride);
    }
    std::swap(AW.Prev, AW.Cur);
}

// Filters rows [AY0, AY1) and deflates them into a piece that ends on a byte boundary (the
// stream's end for the last strip), with the Adler-32 of its filtered bytes and the CRC of its
// IDAT chunk.
void PackStrip(const TRowsView& AImage, int AY0, int AY1, bool ALast, const TPlan& APlan,
               TWorker& AW, TStrip& AStrip) {
    const TStraightTable& T = StraightTable();
    const int W = AImage.W;
    const size_t rowBytes = size_t(W) * 4 + 1;
    AStrip.Packed.Size = 0;
    AStrip.Adler = 1;
    AStrip.RawSize = 0;
    AStrip.Failed = false;
    if (AY0 > 0)
        StraightRow(AImage.row(AY0 - 1), nullptr, nullptr, AW.Prev.data(), W, T);
    else
        std::fill(AW.Prev.begin(), AW.Prev.end(), 0u);
    AW.Deflater->begin();
    size_t used = 0;
    for (int y = AY0; y < AY1; ++y) {
        FilterRow(AImage, y, APlan, AW, AW.Raw.data() + used, T);
        used += rowBytes;
        const bool end = y == AY1 - 1;
        if (end || used + rowBytes > AW.Raw.size()) {
            AStrip.Adler = AW.Deflater->adler32(AStrip.Adler, AW.Raw.data(), used);
            AStrip.RawSize += used;
            const TEnd how = !end ? TEnd::More : ALast ? TEnd::Stream : TEnd::Strip;
            if (!AW.Deflater->feed(AW.Raw.data(), used, how, AStrip.Packed)) {
                AStrip.Failed = true;
                return;
            }
            used = 0;
        }
    }
    AStrip.Crc =
        AW.Deflater->crc32(AW.Deflater->crc32(0, reinterpret_cast<const uint8_t*>("IDAT"), 4),
                           AStrip.Packed.Data.get(), AStrip.Packed.Size);
}

// ---- File ----

void Put32(uint8_t* AOut, uint32_t v) {
    qToBigEndian(v, AOut);
}

void WriteChunk(const TByteSink& ASink, const char* AType, const uint8_t* AData, size_t ASize,
                uint32_t ACrc) {
    uint8_t head[8];
    Put32(head, uint32_t(ASize));
    std::memcpy(head + 4, AType, 4);
    ASink(head, 8);
    if (ASize)
        ASink(AData, qint64(ASize));
    uint8_t tail[4];
    Put32(tail, ACrc);
    ASink(tail, 4);
}

void WriteChunk(const TByteSink& ASink, const char* AType, const uint8_t* AData, size_t ASize) {
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(AType), 4);
    // Small chunks only; given no data crc32 would restart.
    if (ASize)
        crc = crc32(crc, AData, uInt(ASize));
    WriteChunk(ASink, AType, AData, ASize, uint32_t(crc));
}

} // namespace

// The file's pieces: the head, then batches of strips deflated on all threads, then the end.
struct TPngRowWriter::TImpl {
    TByteSink Sink;
    QString FileName;
    TPngOptions Options;
    TPlan Plan;
    int W = 0, H = 0;
    int StripRows = 0, Strips = 0, Batch = 0;
    uLong Adler = 1;
    std::vector<TStrip> Work;
    std::vector<TWorker> Workers;

    void init(TByteSink ASink, int AWidth, int AHeight, const TPngOptions& AOptions,
              const QString& AFileName) {
        Sink = std::move(ASink);
        FileName = AFileName;
        Options = AOptions;
        W = AWidth;
        H = AHeight;
        Plan.Isal = AOptions.Compression == TPngCompression::Fast && PngFastDeflateIsIsal();
        Plan.SearchFilters = !Plan.Isal;
        Plan.ZlibLevel = AOptions.Compression == TPngCompression::Best ? 9 : 6;
        StraightTable(); // built once, before the threads ask for it
        StripRows =
            int(std::clamp<qsizetype>(kMaxStripBytes / (qsizetype(W) * 4 + 1), 1, kStripRows));
        Strips = (H + StripRows - 1) / StripRows;
        // A few strips per thread at a time keeps memory small whatever the picture's size.
        Batch = std::max(1, WorkerThreads()) * 2;
        Work.resize(size_t(std::min(Batch, Strips)));
        Workers.resize(Work.size());
        head();
    }

    void head() {
        static const uint8_t kSignature[] = {137, 80, 78, 71, 13, 10, 26, 10};
        Sink(kSignature, sizeof kSignature);
        uint8_t ihdr[13];
        Put32(ihdr, uint32_t(W));
        Put32(ihdr + 4, uint32_t(H));
        const uint8_t format[] = {8, 6, 0, 0, 0}; // 8 bits, RGBA, deflate, filters, no interlace
        std::memcpy(ihdr + 8, format, 5);
        WriteChunk(Sink, "IHDR", ihdr, sizeof ihdr);
        // The header's level field only informs: fastest, default or best.
        const uint8_t zlibHead[] = {0x78, uint8_t(Plan.Isal             ? 0x01
                                                  : Plan.ZlibLevel == 9 ? 0xDA
                                                                        : 0x9C)};
        WriteChunk(Sink, "IDAT", zlibHead, 2);
    }

    // Strips [AFirst, AFirst + n) from the rows in AImage.
    void pack(const TRowsView& AImage, int AFirst) {
        if (Options.Cancel && Options.Cancel->isCanceled())
            throw ECanceled();
        const int n = std::min(Batch, Strips - AFirst);
        ParallelFor(n, [&](int k) {
            const int s = AFirst + k;
            MakeWorker(Workers[size_t(k)], Plan, W);
            PackStrip(AImage, s * StripRows, std::min(H, (s + 1) * StripRows), s == Strips - 1,
                      Plan, Workers[size_t(k)], Work[size_t(k)]);
        });
        for (int k = 0; k < n; ++k) {
            const TStrip& st = Work[size_t(k)];
            if (st.Failed)
                throw EVormError(
                    CannotWriteMessage(FileName, QStringLiteral("the compressor failed")));
            Adler = adler32_combine(Adler, st.Adler, z_off_t(st.RawSize));
            WriteChunk(Sink, "IDAT", st.Packed.Data.get(), st.Packed.Size, st.Crc);
        }
    }

    void end() {
        uint8_t trailer[4];
        Put32(trailer, uint32_t(Adler));
        WriteChunk(Sink, "IDAT", trailer, 4);
        WriteChunk(Sink, "IEND", nullptr, 0);
    }
};

bool PngFastDeflateIsIsal() {
    return VORM_HAVE_ISAL;
}

TPngRowWriter::TPngRowWriter(TByteSink ASink, int AWidth, int AHeight, const TPngOptions& AOptions,
                             const QString& AFileName)
    : F(std::make_unique<TImpl>()) {
    if (AWidth <= 0 || AHeight <= 0)
        throw EVormError(CannotWriteMessage(AFileName, QStringLiteral("the picture is empty")));
    TImpl& f = *F;
    FPitch = qsizetype(AWidth) * 4;
    f.init(std::move(ASink), AWidth, AHeight, AOptions, AFileName);
    // The window's rows, and the one above them that the first strip's filters look at.
    const int rows = std::min(f.H, f.Batch * f.StripRows);
    FBuffer.reset(new uchar[size_t(FPitch) * size_t(rows + 1)]);
    FFirst = 0;
    FEnd = rows;
}

TPngRowWriter::~TPngRowWriter() = default;

uchar* TPngRowWriter::scanLine(int y) {
    return FBuffer.get() + qsizetype(y - FFirst + 1) * FPitch;
}

void TPngRowWriter::rowsDone() {
    TImpl& f = *F;
    f.pack(TRowsView{FBuffer.get() + FPitch, FPitch, FFirst, f.W}, FFirst / f.StripRows);
    if (FEnd == f.H) {
        f.end();
        FFirst = FEnd;
        return;
    }
    // The window's last row is the next one's row above.
    std::memcpy(FBuffer.get(), scanLine(FEnd - 1), size_t(FPitch));
    const int rows = FEnd - FFirst;
    FFirst = FEnd;
    FEnd = std::min(f.H, FFirst + rows);
}

void WritePngData(const TByteSink& ASink, const QImage& ABitmap, const TPngOptions& AOptions,
                  const QString& AFileName) {
    const QImage image = ABitmap.format() == QImage::Format_ARGB32_Premultiplied
                             ? ABitmap
                             : ABitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() && !ABitmap.isNull())
        throw std::bad_alloc(); // no memory for the conversion
    const int W = image.width(), H = image.height();
    if (image.isNull() || W <= 0 || H <= 0)
        throw EVormError(CannotWriteMessage(AFileName, QStringLiteral("the picture is empty")));
    TPngRowWriter::TImpl f;
    f.init(ASink, W, H, AOptions, AFileName);
    const TRowsView rows{image.constBits(), image.bytesPerLine(), 0, W};
    for (int first = 0; first < f.Strips; first += f.Batch)
        f.pack(rows, first);
    f.end();
}

void WritePng(const QString& AFileName, const QImage& ABitmap, const TPngOptions& AOptions) {
    // Whatever fails, the temporary file is discarded uncommitted.
    TAtomicFile file(AFileName);
    WritePngData([&](const void* AData, qint64 ASize) { file.write(AData, ASize); }, ABitmap,
                 AOptions, AFileName);
    file.commit();
}
