// The libjpeg plumbing that the whole-picture JPEG decoder and the row reader share, so that
// both decode with the same settings, the same limits and the same answers to damage. Built only
// with libjpeg-turbo (VORM_HAVE_TURBOJPEG).
//
// libjpeg's errors end in a longjmp back to the one small function that called it, whose locals
// are all trivial, so that no C++ destructor is ever skipped. Warnings go on; the first one that
// says the data ended notes where the decoder was.
#pragma once

#include <QtGlobal>
#include <csetjmp>
#include <cstdio> // jpeglib.h wants FILE
#include <jpeglib.h>

struct TJpegErrors {
    jpeg_error_mgr Mgr;
    jpeg_progress_mgr Progress;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    bool DataEnded;  // the source ran out, and libjpeg goes on with a fake end of image
    int EndScan;     // then: in which scan (1 for the first)
    unsigned EndRow; // and how many of that scan's rows of blocks were whole
};

// The decompressor, its error manager and the file it reads, if any, destroyed together.
struct TJpegDecompressor {
    jpeg_decompress_struct Info{};
    TJpegErrors Errors{};
    std::FILE* File = nullptr;
    TJpegDecompressor();
    ~TJpegDecompressor();
    TJpegDecompressor(const TJpegDecompressor&) = delete;
    TJpegDecompressor& operator=(const TJpegDecompressor&) = delete;
};

// Each step false, with the message in the decompressor's errors, when libjpeg fails.
// The header, from memory or from D->File.
bool BeginJpeg(TJpegDecompressor* D, const unsigned char* AData, unsigned long ASize);
bool BeginJpeg(TJpegDecompressor* D);
bool StartJpeg(TJpegDecompressor* D);
// Rows [output_scanline, AEnd) into ARows[row - AFirst], or as far as the data are found to end
// before the first row of blocks.
bool ReadJpegRows(TJpegDecompressor* D, JSAMPROW* ARows, unsigned AFirst, unsigned AEnd);
bool FinishJpeg(TJpegDecompressor* D);

// Data that end before the first scan has its first row of blocks: nothing of the picture would
// come out, only grey.
bool EndedBeforeFirstRow(const TJpegErrors& AErrors);

// After the header: false for four-channel data, which need Qt's handling of inverted Adobe
// files. Otherwise sets the decoding (Qt's reader's: the accurate inverse DCT and smooth
// upsampling, into BGRA, whose fourth byte is 255 so the pixels come premultiplied), limits
// libjpeg's own memory, and gives the bytes of coefficients that a file of several scans keeps.
// Throws ECodecError for a header without a picture size.
bool PrepareJpegDecoding(jpeg_decompress_struct& c, qint64& ACoefficients);

// The reason for a failed step: the data cut short, or damaged.
[[noreturn]] void JpegFailed(const TJpegErrors& AErrors);
[[noreturn]] void JpegDamaged(const char* AWhy);
[[noreturn]] void JpegEndedBeforeFirstRow();
