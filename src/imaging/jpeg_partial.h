// Whether a JPEG file is cut short, found from its markers whichever decoder reads its pixels:
// a decoder fills what such a file lacks (in grey, or at a lower quality for a progressive
// JPEG) and reads it without an error.
#pragma once

#include <QIODevice>

// True when ADevice, read from its current position, starts a JPEG and ends before its
// end-of-image marker. Segments are skipped by their lengths, so an embedded thumbnail's own
// end marker does not count. A file that is not a JPEG gives false.
bool IsJpegCutShort(QIODevice& ADevice);
