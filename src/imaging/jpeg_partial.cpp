#include "jpeg_partial.h"

#include <cstring>

namespace {

enum : int { kMarker = 0xFF, kStart = 0xD8, kEnd = 0xD9, kStuffed = 0x00, kTem = 0x01 };

bool StandsAlone(int AMarker) {
    return AMarker == kStuffed || AMarker == kTem || AMarker == kStart ||
           (AMarker >= 0xD0 && AMarker <= 0xD7); // restart markers
}

// The device's bytes through a buffer; -1 at the end.
class TBytes {
public:
    explicit TBytes(QIODevice& ADevice) : FDevice(ADevice) {}
    int get() { return (FPos < FEnd || fill()) ? uchar(FBuf[FPos++]) : -1; }
    // Moves to the next 0xFF byte and past it; false at the end.
    bool findMarker() {
        for (;;) {
            if (FPos == FEnd && !fill())
                return false;
            const void* p = std::memchr(FBuf + FPos, kMarker, size_t(FEnd - FPos));
            if (p) {
                FPos = static_cast<const char*>(p) - FBuf + 1;
                return true;
            }
            FPos = FEnd;
        }
    }
    bool skip(qint64 ACount) {
        while (ACount > 0) {
            if (FPos == FEnd && !fill())
                return false;
            const qint64 n = std::min(ACount, FEnd - FPos);
            FPos += n;
            ACount -= n;
        }
        return true;
    }

private:
    bool fill() {
        FEnd = FDevice.read(FBuf, sizeof FBuf);
        FPos = 0;
        return FEnd > 0;
    }
    QIODevice& FDevice;
    char FBuf[1 << 16];
    qint64 FPos = 0, FEnd = 0;
};

} // namespace

bool IsJpegCutShort(QIODevice& ADevice) {
    TBytes r(ADevice);
    if (r.get() != kMarker || r.get() != kStart)
        return false;
    // Between segments and inside the coded data alike, the next thing of note is a marker.
    while (r.findMarker()) {
        int m = r.get();
        while (m == kMarker) // fill bytes
            m = r.get();
        if (m < 0)
            return true;
        if (m == kEnd)
            return false;
        if (StandsAlone(m))
            continue;
        const int hi = r.get(), lo = r.get();
        if (lo < 0)
            return true;
        const int length = hi << 8 | lo;
        if (length < 2)
            return false; // damaged rather than cut short: the decoder says what it makes of it
        if (!r.skip(length - 2))
            return true;
    }
    return true;
}
