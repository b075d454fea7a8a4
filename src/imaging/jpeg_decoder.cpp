#include "jpeg_decoder.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>
#include <climits>
#include <memory>
#include <new>

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include <csetjmp>
#include <cstdio> // jpeglib.h wants FILE
#include <jerror.h>
#include <jpeglib.h>
#include <vector>
#endif

namespace {

// Start of image, then the first marker.
bool IsJpeg(const char* AData, qsizetype ASize) {
    return ASize >= 3 && uchar(AData[0]) == 0xFF && uchar(AData[1]) == 0xD8 &&
           uchar(AData[2]) == 0xFF;
}

#if VORM_HAVE_TURBOJPEG

[[noreturn]] void Damaged(const char* AWhy) {
    Fail(QStringLiteral("the JPEG data are damaged (%1)").arg(QString::fromUtf8(AWhy)));
}

// A progressive file of more than this many scans is made only to stall a decoder: TurboJPEG's
// limit (TJFLAG_LIMITSCANS).
constexpr int kMaxScans = 500;

// libjpeg's errors end in a longjmp back to the one small function that called it, whose locals
// are all trivial, so that no C++ destructor is ever skipped. Warnings go on; the first one that
// says the data ended notes where the decoder was.
struct TJpegErrors {
    jpeg_error_mgr Mgr;
    jpeg_progress_mgr Progress;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    bool DataEnded;  // the source ran out, and libjpeg goes on with a fake end of image
    int EndScan;     // then: in which scan (1 for the first)
    unsigned EndRow; // and how many of that scan's rows of blocks were whole
};

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

// The decompressor and its error manager, destroyed together.
struct TJpegDecompressor {
    jpeg_decompress_struct Info{};
    TJpegErrors Errors{};
    TJpegDecompressor() {
        Info.err = jpeg_std_error(&Errors.Mgr);
        Errors.Mgr.error_exit = ErrorExit;
        Errors.Mgr.emit_message = EmitMessage;
        Errors.Progress.progress_monitor = LimitScans;
    }
    ~TJpegDecompressor() { jpeg_destroy_decompress(&Info); }
    TJpegDecompressor(const TJpegDecompressor&) = delete;
    TJpegDecompressor& operator=(const TJpegDecompressor&) = delete;
};

// Each step false, with the message in the decompressor's errors, when libjpeg fails.
bool Begin(TJpegDecompressor* D, const unsigned char* AData, unsigned long ASize) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_create_decompress(&D->Info);
    D->Info.progress = &D->Errors.Progress;
    jpeg_mem_src(&D->Info, AData, ASize);
    jpeg_read_header(&D->Info, TRUE);
    return true;
}

bool Start(TJpegDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_start_decompress(&D->Info);
    return true;
}

// Data that end before the first scan has its first row of blocks: nothing of the picture would
// come out, only grey.
bool EndedBeforeFirstRow(const TJpegErrors& AErrors) {
    return AErrors.DataEnded && AErrors.EndScan <= 1 && AErrors.EndRow == 0;
}

// Every row, or as far as the data are found to end before the first row of blocks. libjpeg
// gives at most a row of blocks a call.
bool ReadRows(TJpegDecompressor* D, JSAMPROW* ARows) {
    if (setjmp(D->Errors.Jump))
        return false;
    j_decompress_ptr c = &D->Info;
    while (c->output_scanline < c->output_height && !EndedBeforeFirstRow(D->Errors))
        jpeg_read_scanlines(c, ARows + c->output_scanline, c->output_height - c->output_scanline);
    return true;
}

bool Finish(TJpegDecompressor* D) {
    if (setjmp(D->Errors.Jump))
        return false;
    jpeg_finish_decompress(&D->Info);
    return true;
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

// The turn that Qt's reader gives the picture: it reads the EXIF orientation itself, from the
// header alone, so the two cannot differ.
QImageIOHandler::Transformations Orientation(const QByteArray& AData) {
    QByteArray data = AData; // shared, not copied
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImageIOHandler::TransformationNone;
    QImageReader reader(&buffer, "jpeg");
    return reader.transformation();
}

// As Qt's reader applies it: mirror and flip first, then a quarter turn clockwise; a turn of
// 270 degrees alone.
QImage Turned(QImage AImage, QImageIOHandler::Transformations AHow) {
    if (AHow == QImageIOHandler::TransformationNone)
        return AImage;
    if (AHow == QImageIOHandler::TransformationRotate270)
        return AImage.transformed(QTransform().rotate(270));
    const bool mirror = AHow & QImageIOHandler::TransformationMirror;
    const bool flip = AHow & QImageIOHandler::TransformationFlip;
    if (mirror || flip)
        AImage = std::move(AImage).mirrored(mirror, flip);
    if (AHow & QImageIOHandler::TransformationRotate90)
        AImage = AImage.transformed(QTransform().rotate(90));
    return AImage;
}

#endif

} // namespace

bool JpegDecoderAvailable() {
    return VORM_HAVE_TURBOJPEG;
}

bool DecodeJpeg(const QByteArray& AData, QImage& ABitmap) {
    if (!IsJpeg(AData.constData(), AData.size()))
        return false;
#if VORM_HAVE_TURBOJPEG
    TJpegDecompressor d;
    jpeg_decompress_struct& c = d.Info;
    const auto failed = [&] {
        if (d.Errors.DataEnded) // the cut made libjpeg stop
            Fail(QStringLiteral("the file is cut short (%1)")
                     .arg(QString::fromUtf8(d.Errors.Message)));
        Damaged(d.Errors.Message);
    };
    const QString endsBeforeFirstRow =
        QStringLiteral("the JPEG data end before the first row of the picture");
    // libjpeg counts bytes in an unsigned long; picture files are far smaller.
    if (!Begin(&d, reinterpret_cast<const unsigned char*>(AData.constData()),
               static_cast<unsigned long>(AData.size())))
        failed();
    if (d.Errors.DataEnded)
        Fail(QStringLiteral("the file is cut short in its header"));
    // Four channels from four-channel data would need Qt's handling of inverted Adobe files.
    if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK || c.num_components == 4)
        return false;
    const qint64 W = c.image_width, H = c.image_height;
    if (W <= 0 || H <= 0 || W > INT_MAX || H > INT_MAX)
        Damaged("no picture size");
    // Qt's reader decodes with libjpeg's defaults too: the accurate inverse DCT and smooth
    // upsampling. BGRA fills the fourth byte with 255, so the pixels are premultiplied as they
    // come.
    c.out_color_space = JCS_EXT_BGRA;
    c.dct_method = JDCT_ISLOW;
    c.do_fancy_upsampling = TRUE;
    // Within the memory budget, as Qt's reader is, before anything is allocated: the bitmap, and
    // the coefficients of a progressive file, which libjpeg may take no more than.
    const qint64 coefficients = CoefficientBytes(c);
    QImage image =
        AllocateBitmap(int(W), int(H), kBitmapFormat, (coefficients + W * H - 1) / (W * H));
    c.mem->max_memory_to_use =
        long(std::min<qint64>(coefficients + (qint64(64) << 20) + W * 256, LONG_MAX));
    if (!Start(&d)) // a progressive file is read whole here
        failed();
    if (EndedBeforeFirstRow(d.Errors))
        Fail(endsBeforeFirstRow);
    std::vector<JSAMPROW> rows(static_cast<size_t>(H));
    for (qint64 y = 0; y < H; ++y)
        rows[size_t(y)] = image.scanLine(int(y));
    bool read = false;
    FillMappingPagesAhead(image, [&] { read = ReadRows(&d, rows.data()); });
    if (!read)
        failed();
    if (EndedBeforeFirstRow(d.Errors))
        Fail(endsBeforeFirstRow);
    if (!d.Errors.DataEnded && !Finish(&d))
        Damaged(d.Errors.Message);
    image = Turned(std::move(image), Orientation(AData));
    if (image.isNull())
        Fail(QStringLiteral("there is not enough memory to turn the picture upright"));
    ABitmap = std::move(image);
    return true;
#else
    Q_UNUSED(ABitmap);
    return false;
#endif
}

bool LoadJpegFile(const QString& AFileName, QImage& ABitmap) {
    if (!JpegDecoderAvailable())
        return false;
    {
        QFile file(AFileName);
        char head[3];
        if (!file.open(QIODevice::ReadOnly) || file.read(head, 3) != 3 || !IsJpeg(head, 3))
            return false;
    }
    return ForFile(TFileAction::Read, AFileName,
                   [&] { return DecodeJpeg(ReadPictureFile(AFileName), ABitmap); });
}
