#include "gif.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

namespace {

// An LZW code takes at least 2 bits and stands for at most 4096 indices, so one byte of image
// data gives at most 16384 pixels.
constexpr qint64 kMaxPixelsPerByte = 16384;

struct TInput {
    const uint8_t* Data;
    qint64 Size;
    qint64 Pos = 0;
    qint64 remaining() const { return Size - Pos; }
};

// giflib's reader: it takes a short count for a failed read.
int ReadInput(GifFileType* AGif, GifByteType* ABuffer, int ACount) {
    auto* in = static_cast<TInput*>(AGif->UserData);
    const int n = int(std::min<qint64>(std::max(ACount, 0), in->remaining()));
    std::memcpy(ABuffer, in->Data + in->Pos, size_t(n));
    in->Pos += n;
    return n;
}

struct TGifCloser {
    void operator()(GifFileType* AGif) const {
        int error = 0;
        DGifCloseFile(AGif, &error);
    }
};

[[noreturn]] void Damaged(int AError) {
    const char* why = GifErrorString(AError);
    Fail(QStringLiteral("the GIF data are damaged (%1)")
             .arg(why ? QString::fromUtf8(why) : QString::number(AError)));
}

// Refuses a picture of AW × AH pixels that the ABytes bytes after its description cannot fill.
void CheckFillable(qint64 AW, qint64 AH, qint64 ABytes, const char* AWhat) {
    if (AW * AH > kMaxPixelsPerByte * ABytes)
        Fail(QStringLiteral("its %1 bytes of data cannot fill a %2 %3, which takes at least %4 "
                            "bytes")
                 .arg(ABytes)
                 .arg(SizeText(AW, AH), QString::fromLatin1(AWhat))
                 .arg((AW * AH + kMaxPixelsPerByte - 1) / kMaxPixelsPerByte));
}

// The rows of a frame in the order the file stores them: interlaced frames in four passes.
int FrameRow(int AIndex, int AHeight, bool AInterlaced) {
    if (!AInterlaced)
        return AIndex;
    constexpr int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows =
            AHeight > start[pass] ? (AHeight - start[pass] + step[pass] - 1) / step[pass] : 0;
        if (AIndex < rows)
            return start[pass] + AIndex * step[pass];
        AIndex -= rows;
    }
    return AHeight; // not reached
}

} // namespace

bool IsGif(QByteArrayView AData) {
    return AData.size() >= 6 && (AData.first(6) == QByteArrayView("GIF87a") ||
                                 AData.first(6) == QByteArrayView("GIF89a"));
}

QImage ReadGif(QByteArrayView AData, QString& AWarning) {
    AWarning.clear();
    if (!IsGif(AData))
        Fail(QStringLiteral("the file is not a GIF picture"));
    TInput input{reinterpret_cast<const uint8_t*>(AData.data()), AData.size()};
    // A read past the end; giflib reports some as a missing part (no screen descriptor).
    const auto CutShort = [&](int AError) {
        return AError == D_GIF_ERR_READ_FAILED || input.remaining() == 0;
    };
    int error = 0;
    const std::unique_ptr<GifFileType, TGifCloser> gif(DGifOpen(&input, ReadInput, &error));
    if (!gif) {
        if (error == D_GIF_ERR_NOT_ENOUGH_MEM)
            throw std::bad_alloc();
        if (CutShort(error))
            Fail(QStringLiteral("the file is cut short in its header"));
        Damaged(error);
    }
    // giflib checks no screen size, not even for 0.
    const int SW = gif->SWidth, SH = gif->SHeight;
    if (SW <= 0 || SH <= 0)
        Fail(QStringLiteral("a %1 picture is not possible").arg(SizeText(SW, SH)));
    CheckFillable(SW, SH, input.remaining(), "picture");

    // The records before the first frame; its graphic control extension says which index is
    // transparent.
    int transparent = NO_TRANSPARENT_COLOR;
    for (bool frame = false; !frame;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            if (CutShort(gif->Error))
                Fail(QStringLiteral("the file is cut short before its first picture"));
            Damaged(gif->Error);
        }
        switch (type) {
        case IMAGE_DESC_RECORD_TYPE:
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
                if (CutShort(gif->Error))
                    Fail(QStringLiteral("the file is cut short before its first picture"));
                Damaged(gif->Error);
            }
            frame = true;
            break;
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* block = nullptr;
            int rc = DGifGetExtension(gif.get(), &code, &block);
            if (rc != GIF_ERROR && code == GRAPHICS_EXT_FUNC_CODE && block) {
                GraphicsControlBlock gcb{};
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            while (rc != GIF_ERROR && block)
                rc = DGifGetExtensionNext(gif.get(), &block);
            if (rc == GIF_ERROR) {
                if (CutShort(gif->Error))
                    Fail(QStringLiteral("the file is cut short before its first picture"));
                Damaged(gif->Error);
            }
            break;
        }
        case TERMINATE_RECORD_TYPE:
            Fail(QStringLiteral("the GIF holds no picture"));
        default:
            Damaged(D_GIF_ERR_WRONG_RECORD);
        }
    }

    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* colours = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!colours)
        Fail(QStringLiteral("its first picture has no colour table"));
    const int FW = desc.Width, FH = desc.Height;
    if (FW <= 0 || FH <= 0)
        Fail(QStringLiteral("its first picture is %1 pixels, it has none to show")
                 .arg(SizeText(FW, FH)));
    CheckFillable(FW, FH, input.remaining(), "frame");

    QImage bitmap = AllocateBitmap(SW, SH);
    bitmap.fill(Qt::transparent);
    QRgb table[256];
    for (int i = 0; i < 256; ++i) {
        const GifColorType* c = i < colours->ColorCount ? &colours->Colors[i] : nullptr;
        table[i] = i == transparent ? 0 : c ? qRgb(c->Red, c->Green, c->Blue) : qRgb(0, 0, 0);
    }
    // The part of the frame on the screen; a frame may overhang it.
    const int left = desc.Left, top = desc.Top;
    const int x0 = std::min(left, SW), x1 = int(std::min<qint64>(qint64(left) + FW, SW));
    std::vector<GifPixelType> line(static_cast<size_t>(FW));
    int rows = 0;
    for (; rows < FH; ++rows) {
        if (DGifGetLine(gif.get(), line.data(), FW) == GIF_ERROR)
            break; // a failed line has written an unknown part of itself: it counts as missing
        const qint64 y = qint64(top) + FrameRow(rows, FH, desc.Interlace);
        if (y >= SH)
            continue;
        auto* out = reinterpret_cast<QRgb*>(bitmap.scanLine(int(y)));
        for (int x = x0; x < x1; ++x)
            out[x] = table[line[size_t(x - left)]];
    }
    if (rows == FH)
        return bitmap;
    if (!CutShort(gif->Error))
        Damaged(gif->Error);
    if (rows == 0)
        Fail(QStringLiteral("the file is cut short before its first row"));
    if (desc.Interlace)
        AWarning = QStringLiteral("its interlaced rows are read as far as the file goes, the "
                                  "later passes only in part; the rest is transparent");
    else
        AWarning =
            QStringLiteral("%1 of its %2 rows are read; the rest is transparent").arg(rows).arg(FH);
    return bitmap;
}
