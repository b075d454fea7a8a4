#include "jpeg_rows.h"

#include "codec_support.h"
#include "jpeg_decoder.h"
#include "jpeg_partial.h"
#include "memory_budget.h"
#include "platform.h"

#include <QDir>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <climits>
#include <cstdio>

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include "jpeg_lib.h"

#include <vector>
#endif

#if VORM_HAVE_TURBOJPEG
namespace {

class TJpegRows : public TRowSource {
public:
    TJpegRows(const QString& AFileName, std::unique_ptr<TJpegDecompressor> AD, bool ACutShort)
        : FName(AFileName), D(std::move(AD)) {
        if (ACutShort)
            FWarning = QStringLiteral("\"%1\" is cut short: it is read as far as it goes, and "
                                      "what is missing comes out grey or blurred.")
                           .arg(QDir::toNativeSeparators(FName));
    }
    int width() const override { return int(D->Info.output_width); }
    int height() const override { return int(D->Info.output_height); }
    QString warning() const override { return FWarning; }

    void read(int AY0, int AY1, uchar* ABits, qsizetype APitch) override {
        ForFile(TFileAction::Read, FName, [&] {
            FRows.resize(size_t(AY1 - AY0));
            for (int y = AY0; y < AY1; ++y)
                FRows[size_t(y - AY0)] = ABits + qsizetype(y - AY0) * APitch;
            if (!ReadJpegRows(D.get(), FRows.data(), unsigned(AY0), unsigned(AY1)))
                JpegFailed(D->Errors);
            if (EndedBeforeFirstRow(D->Errors))
                JpegEndedBeforeFirstRow();
            if (AY1 < height())
                return;
            if (!D->Errors.DataEnded && !FinishJpeg(D.get()))
                JpegDamaged(D->Errors.Message);
        });
    }

private:
    QString FName;
    std::unique_ptr<TJpegDecompressor> D;
    QString FWarning;
    std::vector<JSAMPROW> FRows;
};

} // namespace
#endif

std::unique_ptr<TRowSource> OpenJpegRows(const QString& AFileName,
                                         const std::function<qint64(int W, int H)>& AHeldBytes) {
#if VORM_HAVE_TURBOJPEG
    const QByteArray path = QFile::encodeName(AFileName);
    if (IsSpecialFile(path.toStdString()))
        return nullptr; // the whole-picture reader gives the answer
    bool cutShort = false;
    {
        QFile file(AFileName);
        char head[3];
        if (!file.open(QIODevice::ReadOnly) || file.read(head, 3) != 3 || uchar(head[0]) != 0xFF ||
            uchar(head[1]) != 0xD8 || uchar(head[2]) != 0xFF)
            return nullptr;
        file.seek(0);
        cutShort = IsJpegCutShort(file);
    }
    // Turned or mirrored pictures are read whole, as the window reads them.
    {
        QImageReader reader(AFileName, "jpeg");
        if (reader.transformation() != QImageIOHandler::TransformationNone)
            return nullptr;
    }
    return ForFile(TFileAction::Read, AFileName, [&]() -> std::unique_ptr<TRowSource> {
        auto d = std::make_unique<TJpegDecompressor>();
        d->File = std::fopen(path.constData(), "rb");
        if (!d->File)
            return nullptr;
        jpeg_decompress_struct& c = d->Info;
        if (!BeginJpeg(d.get()))
            JpegFailed(d->Errors);
        if (d->Errors.DataEnded)
            Fail(QStringLiteral("the file is cut short in its header"));
        qint64 coefficients = 0;
        if (!PrepareJpegDecoding(c, coefficients))
            return nullptr;
        const qint64 W = c.image_width, H = c.image_height;
        // This path holds the coefficients of a progressive file, libjpeg's own buffers of a
        // few rows of blocks, and what the caller holds beside them.
        const qint64 need = coefficients + W * 4 * 64 + AHeldBytes(int(W), int(H));
        if (need > MemoryLimit())
            throw EPictureTooBig(W, H, need, MemoryLimit());
        TJpegDecompressor* raw = d.get();
        auto rows = std::make_unique<TJpegRows>(AFileName, std::move(d), cutShort);
        if (!StartJpeg(raw)) // a progressive file is read whole here
            JpegFailed(raw->Errors);
        if (EndedBeforeFirstRow(raw->Errors))
            JpegEndedBeforeFirstRow();
        return rows;
    });
#else
    Q_UNUSED(AFileName);
    Q_UNUSED(AHeldBytes);
    return nullptr;
#endif
}
