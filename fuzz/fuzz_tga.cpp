// Feeds any bytes to the TGA reader; it may refuse them but must not crash or leak. A picture it
// accepts is written back and read again, which must give the same pixels.
#include "tga.h"
#include "vorm_error.h"

#include <QByteArray>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    QImage bitmap;
    TTGAParamsVals params;
    try {
        ReadTGA(QByteArrayView(AData, qsizetype(ASize)), bitmap, params);
    } catch (const EVormError&) {
        return 0;
    }
    TTGAParamsVals out;
    out.AlphaUsed = true;
    QByteArray written;
    WriteTGA([&](const void* p, qint64 n) { written.append(static_cast<const char*>(p), n); },
             bitmap, out);
    QImage again;
    TTGAParamsVals back;
    ReadTGA(written, again, back);
    if (again != bitmap)
        std::abort();
    return 0;
}
