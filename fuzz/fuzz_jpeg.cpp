// Feeds any bytes to the JPEG decoder and to the check for files cut short; either may refuse
// them but must not crash or leak. The memory budget is kept small so that a header's size, not
// the fuzzer's own limit, decides what is refused.
#include "jpeg_decoder.h"
#include "jpeg_partial.h"
#include "memory_budget.h"
#include "vorm_error.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    static const bool budget = (SetMemoryLimit(qint64(256) << 20), true);
    (void)budget;
    const QByteArray data(reinterpret_cast<const char*>(AData), qsizetype(ASize));
    QBuffer device;
    device.setData(data);
    if (device.open(QIODevice::ReadOnly))
        IsJpegCutShort(device);
    QImage bitmap;
    try {
        DecodeJpeg(data, bitmap);
    } catch (const EVormError&) {
        // refused
    }
    return 0;
}
