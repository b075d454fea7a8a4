// Bounded reading of file contents held in memory, shared by the program's own decoders. Every
// read is checked against the bytes actually present, so a damaged file can make a decoder fail
// but never read outside its data.
#pragma once

#include "codec_support.h"

#include <QByteArrayView>
#include <cstdint>

class TByteReader {
public:
    explicit TByteReader(QByteArrayView AData)
        : FData(reinterpret_cast<const uint8_t*>(AData.data())), FSize(AData.size()) {}

    qsizetype pos() const { return FPos; }
    qsizetype size() const { return FSize; }
    qsizetype remaining() const { return FSize - FPos; }

    // Each of these throws ECodecError ("the file is cut short") when the data end first.
    void seek(qint64 APos);
    void skip(qint64 ACount);
    const uint8_t* take(qint64 ACount); // the next ACount bytes, valid as long as the data
    uint8_t u8() {
        need(1);
        return FData[FPos++];
    }
    uint16_t u16le() { return GetLe16(take(2)); }
    uint16_t u16be() { return GetBe16(take(2)); }
    uint32_t u32le() { return GetLe32(take(4)); }
    uint32_t u32be() { return GetBe32(take(4)); }

private:
    void need(qint64 ACount) const {
        if (ACount < 0 || ACount > FSize - FPos)
            CutShort();
    }
    [[noreturn]] static void CutShort();

    const uint8_t* FData;
    qsizetype FSize;
    qsizetype FPos = 0;
};
