#include "codec_support.h"

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include "jpeg_lib.h"

#include <algorithm>
#include <climits>
#include <jerror.h>

namespace {

// A progressive file of more than this many scans is made only to stall a decoder: TurboJPEG's
// limit (TJFLAG_LIMITSCANS).
constexpr int kMaxScans = 500;

TJpegErrors* Errors(j_common_ptr AInfo) {
    return reinterpret_cast<TJpegErrors*>(AInfo->err);
}

void ErrorExit(j_common_ptr AInfo) {
    TJpegErrors* e = Errors(AInfo);
    AInfo->err->format_message(AInfo, e->Message);
    std::longjmp(e->Jump, 1);
}

void EmitMessage(j_common_ptr AInfo, int ALevel) {
    TJpegErrors* e = Errors(AInfo);
    if (ALevel >= 0)
        return; // trace messages
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
        std::snprintf(Errors(AInfo)->Message, JMSG_LENGTH_MAX,
                      "a progressive file of more than %d scans", kMaxScans);
        std::longjmp(Errors(AInfo)->Jump, 1);
    }
}

// The coefficients that libjpeg keeps for the whole picture while it reads a file of several
// scans (a progressive one): 64 of 2 bytes for each block of each component.
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

} // namespace

TJpegDecompressor::TJpegDecompressor() {
    Info.err = jpeg_std_error(&Errors.Mgr);
    Errors.Mgr.error_exit = ErrorExit;
    Errors.Mgr.emit_message = EmitMessage;
    Errors.Progress.progress_monitor = LimitScans;
}

TJpegDecompressor::~TJpegDecompressor() {
    jpeg_destroy_decompress(&Info);
    if (File)
        std::fclose(File);
}

bool BeginJpeg(TJpegDecompressor* D, const unsigned char* AData, unsigned long ASize) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_create_decompress(&D->Info);
    D->Info.progress = &D->Errors.Progress;
    jpeg_mem_src(&D->Info, AData, ASize);
    jpeg_read_header(&D->Info, TRUE);
    return true;
}

bool BeginJpeg(TJpegDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_create_decompress(&D->Info);
    D->Info.progress = &D->Errors.Progress;
    jpeg_stdio_src(&D->Info, D->File);
    jpeg_read_header(&D->Info, TRUE);
    return true;
}

bool StartJpeg(TJpegDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_start_decompress(&D->Info);
    return true;
}

bool ReadJpegRows(TJpegDecompressor* D, JSAMPROW* ARows, unsigned AFirst, unsigned AEnd) {
    if (setjmp(D->Errors.Jump))
        return false;
    j_decompress_ptr c = &D->Info;
    // libjpeg gives at most a row of blocks a call.
    while (c->output_scanline < AEnd && !EndedBeforeFirstRow(D->Errors))
        jpeg_read_scanlines(c, ARows + (c->output_scanline - AFirst), AEnd - c->output_scanline);
    return true;
}

bool FinishJpeg(TJpegDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_finish_decompress(&D->Info);
    return true;
}

bool EndedBeforeFirstRow(const TJpegErrors& AErrors) {
    return AErrors.DataEnded && AErrors.EndScan <= 1 && AErrors.EndRow == 0;
}

bool PrepareJpegDecoding(jpeg_decompress_struct& c, qint64& ACoefficients) {
    if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK || c.num_components == 4)
        return false;
    const qint64 W = c.image_width, H = c.image_height;
    if (W <= 0 || H <= 0 || W > INT_MAX || H > INT_MAX)
        JpegDamaged("no picture size");
    c.out_color_space = JCS_EXT_BGRA;
    c.dct_method = JDCT_ISLOW;
    c.do_fancy_upsampling = TRUE;
    ACoefficients = CoefficientBytes(c);
    // The coefficients are counted in the memory budget by the caller; libjpeg may take no more
    // than them and its buffers of a few rows of blocks.
    c.mem->max_memory_to_use =
        long(std::min<qint64>(ACoefficients + (qint64(64) << 20) + W * 256, LONG_MAX));
    return true;
}

void JpegFailed(const TJpegErrors& AErrors) {
    if (AErrors.DataEnded) // the cut made libjpeg stop
        Fail(QStringLiteral("the file is cut short (%1)").arg(QString::fromUtf8(AErrors.Message)));
    JpegDamaged(AErrors.Message);
}

void JpegDamaged(const char* AWhy) {
    Fail(QStringLiteral("the JPEG data are damaged (%1)").arg(QString::fromUtf8(AWhy)));
}

void JpegEndedBeforeFirstRow() {
    Fail(QStringLiteral("the JPEG data end before the first row of the picture"));
}
#endif
