// The bitmap through which the program opens and saves pictures. The file's extension picks the
// codec family. JPEG, PNG, GIF and BMP files are read by their content: libjpeg-turbo (JPEG
// photos turned upright by their EXIF orientation), libspng, giflib and the program's own BMP
// reader, with Qt's readers for CMYK JPEGs and for anything else; they are saved through Qt's
// writers. PSD, TGA and Radiance HDR have codecs of the program's own.
#pragma once

#include <QImage>
#include <QString>

enum TBitmapFileKind : int { bfkPlatform = 0, bfkPSD = 1, bfkTGA = 2, bfkHDR = 3, bfkOther = 4 };

// By the extension of the name's last component, in any letter case.
TBitmapFileKind GetBitmapFileKind(const QString& AFileName);

// The platform encoder's settings: its quality, 0 to 100, for lossy formats.
struct TBitmapCodecSaveParams {
    int Quality = -1; // -1: the encoder's default
};
using PBitmapCodecSaveParams = const TBitmapCodecSaveParams*;

class TFMXBitmapEx {
public:
    // An empty bitmap, with an empty author and 24-bit TGA output.
    TFMXBitmapEx() = default;
    // A transparent AWidth × AHeight bitmap, by "ORVANTE", with 32-bit TGA output.
    TFMXBitmapEx(int AWidth, int AHeight);

    QImage& Bitmap() { return FBitmap; }
    const QImage& Bitmap() const { return FBitmap; }

    // True when a picture was loaded; it is then rotated by Rotate degrees about its centre, the
    // bitmap growing to the rotated bounds. False: LastError() says why; the bitmap is unchanged,
    // except for an HDR file with a damaged scanline, whose lines before it are kept. Throws
    // EVormError when a PSD or HDR file cannot be opened.
    bool LoadFromFileEx(const QString& AFileName, float Rotate);

    // Saves by extension; .hdr and unknown extensions write nothing. Throws EVormError naming the
    // file when it cannot be written; an earlier file of that name is then left as it was.
    void SaveToFileEx(const QString& AFileName, PBitmapCodecSaveParams SaveParams = nullptr) const;

    // Why the last LoadFromFileEx returned false, naming the file. Pictures that do not fit the
    // memory budget (memory_budget.h) are refused before anything large is allocated.
    const QString& LastError() const { return FLastError; }

    // Set when the last LoadFromFileEx returned true with a picture that the file holds only in
    // part (a JPEG, PNG, GIF or BMP cut short), naming the file and what the picture lacks;
    // else empty.
    const QString& LastWarning() const { return FLastWarning; }

    QString Author;        // written to and read from TGA files
    bool hasAlpha = false; // TGA output: 32-bit uncompressed, else 24-bit run-length compressed

private:
    QImage FBitmap;
    QString FLastError;
    QString FLastWarning;
};

// The picture in AFileName through the program's loader, as the window and vorm-cli open it.
// Throws EVormError naming the file and the reason when it cannot be read. AWarning (when given)
// becomes LastWarning(): what a picture that the file holds only in part lacks, or empty.
QImage LoadPicture(const QString& AFileName, QString* AWarning = nullptr);
