// Bounded reading of file contents held in memory, shared by the program's own decoders. Every
// read is checked against the bytes actually present, so a damaged file can make a decoder fail
// but never read outside its data.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>

class TByteReader {
public:
    explicit TByteReader(QByteArrayView AData)
        : FData(reinterpret_cast<const uint8_t*>(AData.data())), FSize(AData.size()) {}

    qsizetype pos() const { return FPos; }
    qsizetype size() const { return FSize; }
    qsizetype remaining() const { return FSize - FPos; }

    // Each of these throws EVormError ("the file is cut short") when the data end first.
    void seek(qint64 APos);
    void skip(qint64 ACount);
    const uint8_t* take(qint64 ACount); // the next ACount bytes, valid as long as the data
    uint8_t u8() {
        need(1);
        return FData[FPos++];
    }
    uint16_t u16le();
    uint16_t u16be();
    uint32_t u32le();
    uint32_t u32be();

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

// Where a writer sends its bytes: the file being saved or, in tests, memory. It throws
// EVormError when the bytes cannot be written.
using TByteSink = std::function<void(const void* AData, qint64 ASize)>;

// Files are decoded from memory; larger files are refused before anything is read, so that a
// huge or endless file (a device, a pipe) cannot exhaust the machine's memory.
constexpr qint64 kMaxPictureFileBytes = qint64(2) << 30;

// The whole file. Throws EVormError naming the file when it cannot be opened or read, or when
// it is larger than kMaxPictureFileBytes.
QByteArray ReadPictureFile(const QString& AFileName);

// The message for a file that could not be read, in the form "Cannot read "name": reason."
QString CannotReadMessage(const QString& AFileName, const QString& AReason);

// The message for a file that could not be written: "Cannot write "name": reason."
QString CannotWriteMessage(const QString& AFileName, const QString& AReason);

// A bitmap in the form every reader returns and every writer expects.
constexpr auto kBitmapFormat = QImage::Format_ARGB32_Premultiplied;

// ABitmap in kBitmapFormat, converted when it is in another. Throws EVormError when memory runs
// out, naming AFileName when one is given.
QImage AsBitmap(QImage ABitmap, const QString& AFileName = {});
