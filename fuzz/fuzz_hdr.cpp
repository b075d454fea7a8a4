// Feeds any bytes to the Radiance HDR reader; it may refuse them but must not crash or leak.
#include "hdr.h"
#include "vorm_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    QImage bitmap;
    try {
        LoadHDRData(QByteArrayView(AData, qsizetype(ASize)), bitmap);
    } catch (const EVormError&) {
        // refused
    }
    return 0;
}
