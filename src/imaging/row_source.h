// A picture read a band of rows at a time, top to bottom, for a conversion that never holds it
// whole (vorm-cli's streaming path, mosaic/stream.h).
#pragma once

#include <QImage>
#include <QString>

class TRowSource {
public:
    virtual ~TRowSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Rows [AY0, AY1), following the rows read before, into ABits (row AY0), APitch bytes a
    // row, premultiplied ARGB32. Throws EVormError naming the file when the data are damaged.
    virtual void read(int AY0, int AY1, uchar* ABits, qsizetype APitch) = 0;
    // What a picture that the file holds only in part lacks, as LoadPicture's warning says it;
    // known once the last row is read (empty before).
    virtual QString warning() const { return {}; }
};

// The rows of a picture already in memory; it is let go once its last row is read.
class TImageRows : public TRowSource {
public:
    explicit TImageRows(QImage AImage, QString AWarning = {});
    int width() const override { return FWidth; }
    int height() const override { return FHeight; }
    void read(int AY0, int AY1, uchar* ABits, qsizetype APitch) override;
    QString warning() const override { return FWarning; }

private:
    QImage FImage;
    QString FWarning;
    int FWidth, FHeight;
};
