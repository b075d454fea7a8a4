// What the program's own codecs share: their error contract, byte order, the texts of their
// messages, the bitmap form they hand out and the reading of whole files.
//
// The error contract: the stream-level functions (ReadTGA, LoadPSDData, LoadHDRData, the
// writers) throw ECodecError with a bare reason, such as "the file is cut short"; the file-level
// ones run them through ForFile, which names the file and the lack of memory.
#pragma once

#include "vorm_error.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

enum class TFileAction { Read, Write };

// A codec's reason for refusing its data, without the file name, which ForFile adds.
class ECodecError : public EVormError {
public:
    using EVormError::EVormError;
    // The message for the user, naming the file: "Cannot read "name": reason." by default.
    virtual QString messageFor(TFileAction AAction, const QString& AFileName) const;
};

[[noreturn]] inline void Fail(const QString& AReason) {
    throw ECodecError(AReason);
}

// "Cannot read "name": reason." or "Cannot write "name": reason."
QString FileMessage(TFileAction AAction, const QString& AFileName, const QString& AReason);

// Runs AWork for the file AFileName. An ECodecError or a failed allocation leaves as an
// EVormError that names the file; other EVormErrors, which name their file already, pass.
template <typename Work>
decltype(auto) ForFile(TFileAction AAction, const QString& AFileName, Work&& AWork) {
    try {
        return WithMemoryMessage(
            [&] {
                return FileMessage(AAction, AFileName,
                                   QStringLiteral("there is not enough memory"));
            },
            AWork);
    } catch (const ECodecError& e) {
        throw EVormError(e.messageFor(AAction, AFileName));
    }
}

// Numbers in file order: little-endian (TGA) and big-endian (PSD, PNG, HDR scanlines).
inline uint16_t GetLe16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetBe16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}
inline uint32_t GetBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}
inline void AppendBe16(std::vector<uint8_t>& AOut, uint32_t v) {
    AOut.push_back(uint8_t(v >> 8));
    AOut.push_back(uint8_t(v));
}
inline void AppendBe32(std::vector<uint8_t>& AOut, uint32_t v) {
    AppendBe16(AOut, v >> 16);
    AppendBe16(AOut, v);
}

// "W × H", the form every size takes in a message.
QString SizeText(qint64 W, qint64 H);

// Refuses to save ABitmap in a format whose sides hold at most AMaxSide pixels: throws
// ECodecError "there is no picture to save", or ALimit followed by ", not W × H".
void CheckSaveSize(const QImage& ABitmap, int AMaxSide, const QString& ALimit);

// Where a writer sends its bytes: the file being saved or, in tests, memory. It throws
// EVormError when the bytes cannot be written.
using TByteSink = std::function<void(const void* AData, qint64 ASize)>;

// Files are decoded from memory; larger files are refused before anything is read, so that a
// huge or endless file (a device, a pipe) cannot exhaust the machine's memory.
constexpr qint64 kMaxPictureFileBytes = qint64(2) << 30;

// The whole file. Throws EVormError naming the file when it cannot be opened or read, or when
// it is larger than kMaxPictureFileBytes.
QByteArray ReadPictureFile(const QString& AFileName);

// A bitmap in the form every reader returns and every writer expects.
constexpr auto kBitmapFormat = QImage::Format_ARGB32_Premultiplied;

// Runs AFill, which writes ABitmap's pixels, while the second core maps the bitmap's fresh pages
// ahead of it, in steps, until AFill returns. The kernel maps a fresh page when it is first
// written, at about 2 µs a page here: a third of libjpeg's time for a photo. (Huge pages map
// faster, but cost far more than that in a process started after a pause.) AFill's exception
// passes.
void FillMappingPagesAhead(QImage& ABitmap, const std::function<void()>& AFill);

// ABitmap in kBitmapFormat, converted when it is in another. Throws ECodecError when memory
// runs out.
QImage AsBitmap(QImage ABitmap);
