#include "byte_reader.h"

void TByteReader::CutShort() {
    Fail(QStringLiteral("the file is cut short"));
}

void TByteReader::seek(qint64 APos) {
    if (APos < 0 || APos > FSize)
        CutShort();
    FPos = APos;
}

void TByteReader::skip(qint64 ACount) {
    need(ACount);
    FPos += ACount;
}

const uint8_t* TByteReader::take(qint64 ACount) {
    need(ACount);
    const uint8_t* p = FData + FPos;
    FPos += ACount;
    return p;
}
