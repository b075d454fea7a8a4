// A JPEG read a band of rows at a time through libjpeg-turbo's scanline API, from the file
// itself, so that neither the picture nor the file's bytes are held whole (a progressive file's
// coefficients still are: libjpeg keeps them while it reads its scans). The decompression
// settings are DecodeJpeg's (jpeg_decoder.h), so the pixels are the same, and so is the answer
// to data cut short or damaged.
#pragma once

#include "row_source.h"

#include <functional>
#include <memory>

// The rows of AFileName when it is a JPEG that the scanline path takes; null for anything else
// (not a JPEG, CMYK or YCCK, an EXIF orientation that turns or mirrors it, a build without
// libjpeg-turbo), which the caller reads whole. Throws EVormError naming the file for a damaged
// header, data that end before the first row, and a picture whose decoder state would not fit
// the memory budget (AHeldBytes(W, H): what the caller holds beside it). The warning of a file
// cut short is known from the start.
std::unique_ptr<TRowSource> OpenJpegRows(const QString& AFileName,
                                         const std::function<qint64(int W, int H)>& AHeldBytes);
