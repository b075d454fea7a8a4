// Feeds any bytes to the program's own PNG reading: the header check, the check for files cut
// short, and the reader. Each may refuse them but must not crash
// or leak. The memory budget is kept small, as for the other readers.
#include "memory_budget.h"
#include "png_reader.h"
#include "vorm_error.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    static const bool budget = (SetMemoryLimit(qint64(256) << 20), true);
    (void)budget;
    const QByteArrayView view(AData, qsizetype(ASize));
    ReadPngHeader(view);
    QBuffer device;
    device.setData(view.toByteArray());
    if (device.open(QIODevice::ReadOnly))
        IsPngCutShort(device);
    try {
        QString warning;
        ReadPng(view, warning);
    } catch (const EVormError&) {
        // refused
    }
    return 0;
}
