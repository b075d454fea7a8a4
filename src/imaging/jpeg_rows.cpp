#include "jpeg_rows.h"

#include "codec_support.h"
#include "jpeg_decoder.h"
#include "jpeg_partial.h"
#include "memory_budget.h"
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <climits>
#include <cstdio>

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include <csetjmp>
#include <jerror.h>
#include <jpeglib.h>
#include <vector>
#endif

#if VORM_HAVE_TURBOJPEG
namespace {

// As DecodeJpeg: more scans than this is a file made to stall a decoder.
constexpr int kMaxScans = 500;

// libjpeg's errors end in a longjmp back to one of the small functions below, whose locals are
// all trivial, so that no C++ destructor is ever skipped.
struct TErrors {
    jpeg_error_mgr Mgr;
    jpeg_progress_mgr Progress;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    bool DataEnded;
    int EndScan;
    unsigned EndRow;
};

TErrors* ErrorsOf(j_common_ptr AInfo) {
    return reinterpret_cast<TErrors*>(AInfo->err);
}

void ErrorExit(j_common_ptr AInfo) {
    AInfo->err->format_message(AInfo, ErrorsOf(AInfo)->Message);
    std::longjmp(ErrorsOf(AInfo)->Jump, 1);
}

void EmitMessage(j_common_ptr AInfo, int ALevel) {
    TErrors* e = ErrorsOf(AInfo);
    if (ALevel >= 0)
        return;
    ++AInfo->err->num_warnings;
    if (AInfo->err->msg_code == JWRN_JPEG_EOF && !e->DataEnded && AInfo->is_decompressor) {
        const auto* d = reinterpret_cast<j_decompress_ptr>(AInfo);
        e->DataEnded = true;
        e->EndScan = d->input_scan_number;
        e->EndRow = d->input_iMCU_row;
    }
}

void LimitScans(j_common_ptr AInfo) {
    const auto* d = reinterpret_cast<j_decompress_ptr>(AInfo);
    if (AInfo->is_decompressor && d->input_scan_number > kMaxScans) {
        std::snprintf(ErrorsOf(AInfo)->Message, JMSG_LENGTH_MAX,
                      "a progressive file of more than %d scans", kMaxScans);
        std::longjmp(ErrorsOf(AInfo)->Jump, 1);
    }
}

struct TDecompressor {
    jpeg_decompress_struct Info{};
    TErrors Errors{};
    std::FILE* File = nullptr;
    TDecompressor() {
        Info.err = jpeg_std_error(&Errors.Mgr);
        Errors.Mgr.error_exit = ErrorExit;
        Errors.Mgr.emit_message = EmitMessage;
        Errors.Progress.progress_monitor = LimitScans;
    }
    ~TDecompressor() {
        jpeg_destroy_decompress(&Info);
        if (File)
            std::fclose(File);
    }
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;
};

bool Begin(TDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_create_decompress(&D->Info);
    D->Info.progress = &D->Errors.Progress;
    jpeg_stdio_src(&D->Info, D->File);
    jpeg_read_header(&D->Info, TRUE);
    return true;
}

bool Start(TDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_start_decompress(&D->Info);
    return true;
}

bool EndedBeforeFirstRow(const TErrors& AErrors) {
    return AErrors.DataEnded && AErrors.EndScan <= 1 && AErrors.EndRow == 0;
}

// Rows up to AEnd; libjpeg gives at most a row of blocks a call.
bool ReadRows(TDecompressor* D, JSAMPROW* ARows, unsigned AFirst, unsigned AEnd) {
    if (setjmp(D->Errors.Jump))
        return false;
    j_decompress_ptr c = &D->Info;
    while (c->output_scanline < AEnd && !EndedBeforeFirstRow(D->Errors))
        jpeg_read_scanlines(c, ARows + (c->output_scanline - AFirst), AEnd - c->output_scanline);
    return true;
}

bool Finish(TDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_finish_decompress(&D->Info);
    return true;
}

// As DecodeJpeg counts them: what libjpeg keeps of a file of several scans.
qint64 CoefficientBytes(const jpeg_decompress_struct& c) {
    if (!jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&c)))
        return 0;
    qint64 bytes = 0;
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info& k = c.comp_info[i];
        const qint64 v = std::max(k.v_samp_factor, 1), h = std::max(k.h_samp_factor, 1);
        const qint64 rows = (qint64(k.height_in_blocks) + v - 1) / v * v;
        const qint64 cols = (qint64(k.width_in_blocks) + h - 1) / h * h;
        bytes += rows * cols * qint64(sizeof(JBLOCK));
    }
    return bytes;
}

class TJpegRows : public TRowSource {
public:
    TJpegRows(const QString& AFileName, std::unique_ptr<TDecompressor> AD, bool ACutShort)
        : FName(AFileName), D(std::move(AD)) {
        if (ACutShort)
            FWarning = QStringLiteral("\"%1\" is cut short: it is read as far as it goes, and "
                                      "what is missing comes out grey or blurred.")
                           .arg(QDir::toNativeSeparators(FName));
    }
    int width() const override { return int(D->Info.output_width); }
    int height() const override { return int(D->Info.output_height); }
    QString warning() const override { return FWarning; }

    void read(int AY0, int AY1, uchar* ABits, qsizetype APitch) override {
        ForFile(TFileAction::Read, FName, [&] {
            FRows.resize(size_t(AY1 - AY0));
            for (int y = AY0; y < AY1; ++y)
                FRows[size_t(y - AY0)] = ABits + qsizetype(y - AY0) * APitch;
            if (!ReadRows(D.get(), FRows.data(), unsigned(AY0), unsigned(AY1)))
                Failed();
            if (EndedBeforeFirstRow(D->Errors))
                Fail(QStringLiteral("the JPEG data end before the first row of the picture"));
            if (AY1 < height())
                return;
            if (!D->Errors.DataEnded && !Finish(D.get()))
                Damaged();
        });
    }

    [[noreturn]] void Damaged() const {
        Fail(QStringLiteral("the JPEG data are damaged (%1)")
                 .arg(QString::fromUtf8(D->Errors.Message)));
    }
    [[noreturn]] void Failed() const {
        if (D->Errors.DataEnded)
            Fail(QStringLiteral("the file is cut short (%1)")
                     .arg(QString::fromUtf8(D->Errors.Message)));
        Damaged();
    }

private:
    QString FName;
    std::unique_ptr<TDecompressor> D;
    QString FWarning;
    std::vector<JSAMPROW> FRows;
};

} // namespace
#endif

std::unique_ptr<TRowSource> OpenJpegRows(const QString& AFileName,
                                         const std::function<qint64(int W, int H)>& AHeldBytes) {
#if VORM_HAVE_TURBOJPEG
    const QByteArray path = QFile::encodeName(AFileName);
    if (IsSpecialFile(path.toStdString()))
        return nullptr; // the whole-picture reader gives the answer
    bool cutShort = false;
    {
        QFile file(AFileName);
        char head[3];
        if (!file.open(QIODevice::ReadOnly) || file.read(head, 3) != 3 || uchar(head[0]) != 0xFF ||
            uchar(head[1]) != 0xD8 || uchar(head[2]) != 0xFF)
            return nullptr;
        file.seek(0);
        cutShort = IsJpegCutShort(file);
    }
    // Turned or mirrored pictures are read whole, as the window reads them.
    {
        QImageReader reader(AFileName, "jpeg");
        if (reader.transformation() != QImageIOHandler::TransformationNone)
            return nullptr;
    }
    return ForFile(TFileAction::Read, AFileName, [&]() -> std::unique_ptr<TRowSource> {
        auto d = std::make_unique<TDecompressor>();
        d->File = std::fopen(path.constData(), "rb");
        if (!d->File)
            return nullptr;
        jpeg_decompress_struct& c = d->Info;
        if (!Begin(d.get())) {
            if (d->Errors.DataEnded)
                Fail(QStringLiteral("the file is cut short (%1)")
                         .arg(QString::fromUtf8(d->Errors.Message)));
            Fail(QStringLiteral("the JPEG data are damaged (%1)")
                     .arg(QString::fromUtf8(d->Errors.Message)));
        }
        if (d->Errors.DataEnded)
            Fail(QStringLiteral("the file is cut short in its header"));
        if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK ||
            c.num_components == 4)
            return nullptr;
        const qint64 W = c.image_width, H = c.image_height;
        if (W <= 0 || H <= 0 || W > INT_MAX || H > INT_MAX)
            Fail(QStringLiteral("the JPEG data are damaged (no picture size)"));
        // DecodeJpeg's settings: the accurate inverse DCT and smooth upsampling, BGRA.
        c.out_color_space = JCS_EXT_BGRA;
        c.dct_method = JDCT_ISLOW;
        c.do_fancy_upsampling = TRUE;
        // This path holds the coefficients of a progressive file, libjpeg's own buffers of a
        // few rows of blocks, and what the caller holds beside them.
        const qint64 coefficients = CoefficientBytes(c);
        const qint64 need = coefficients + W * 4 * 64 + AHeldBytes(int(W), int(H));
        if (need > MemoryLimit())
            throw EPictureTooBig(W, H, need, MemoryLimit());
        c.mem->max_memory_to_use =
            long(std::min<qint64>(coefficients + (qint64(64) << 20) + W * 256, LONG_MAX));
        TDecompressor* raw = d.get();
        auto rows = std::make_unique<TJpegRows>(AFileName, std::move(d), cutShort);
        if (!Start(raw)) // a progressive file is read whole here
            rows->Failed();
        if (EndedBeforeFirstRow(raw->Errors))
            Fail(QStringLiteral("the JPEG data end before the first row of the picture"));
        return rows;
    });
#else
    Q_UNUSED(AFileName);
    Q_UNUSED(AHeldBytes);
    return nullptr;
#endif
}
