#include "row_source.h"

#include <cstring>
#include <new>

TImageRows::TImageRows(QImage AImage, QString AWarning)
    : FImage(std::move(AImage)), FWarning(std::move(AWarning)), FWidth(FImage.width()),
      FHeight(FImage.height()) {
    if (!FImage.isNull() && FImage.format() != QImage::Format_ARGB32_Premultiplied) {
        FImage = FImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (FImage.isNull())
            throw std::bad_alloc();
    }
}

void TImageRows::read(int AY0, int AY1, uchar* ABits, qsizetype APitch) {
    for (int y = AY0; y < AY1; ++y)
        std::memcpy(ABits + qsizetype(y - AY0) * APitch, FImage.constScanLine(y),
                    size_t(FWidth) * 4);
    if (AY1 >= FHeight)
        FImage = QImage();
}
