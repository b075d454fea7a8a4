// Feeds any bytes to the GIF reader (giflib); it may refuse them but must not crash or leak. The
// memory budget is kept small, as for the other readers, so that a header's size decides what is
// refused.
#include "gif.h"
#include "memory_budget.h"
#include "vorm_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    static const bool budget = (SetMemoryLimit(qint64(256) << 20), true);
    (void)budget;
    try {
        QString warning;
        ReadGif(QByteArrayView(AData, qsizetype(ASize)), warning);
    } catch (const EVormError&) {
        // refused
    }
    return 0;
}
