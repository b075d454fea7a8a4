#include "atomic_file.h"
#include "imaging_support.h"
#include "psd.h"
#include "vorm_error.h"

#include <QDir>
#include <QTemporaryDir>
#include <vector>

namespace {

// Header, empty colour-mode data, resources and layer section; the image data follow.
TBytes Doc(int AChannels, uint32_t H, uint32_t W, int ADepth = 8, int AMode = 3) {
    TBytes b;
    b.text("8BPS").be16(1).fill(6, 0).be16(AChannels).be32(H).be32(W).be16(ADepth).be16(AMode);
    return b.be32(0).be32(0).be32(0);
}

QImage Load(const QByteArray& AData) {
    QImage img;
    const QString reason = Refusal([&] { LoadPSDData(AData, img); });
    EXPECT_TRUE(reason.isEmpty()) << reason.toStdString();
    return img;
}

std::vector<uint8_t> Packed(const QByteArray& ARow) {
    std::vector<uint8_t> out;
    PackBitsRow(reinterpret_cast<const uint8_t*>(ARow.constData()), int(ARow.size()), out);
    return out;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> AValues) {
    return std::vector<uint8_t>(AValues.begin(), AValues.end());
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QByteArray Distinct(int ACount) {
    QByteArray row;
    for (int i = 0; i < ACount; ++i)
        row.append(char(i));
    return row;
}

std::vector<uint8_t> Literal(const QByteArray& ABytes) {
    std::vector<uint8_t> out(ABytes.begin(), ABytes.end());
    out.insert(out.begin(), uint8_t(ABytes.size() - 1));
    return out;
}

TEST(PSD, ImageMagickDocumentsMatchTheirSource) {
    // Grey with the alpha of the RGBA source: what the grey-and-alpha document holds.
    QImage grayAlpha = QImage(DataPath("src-gray.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage alpha = QImage(DataPath("src-rgba.png")).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grayAlpha.height(); ++y)
        for (int x = 0; x < grayAlpha.width(); ++x)
            grayAlpha.setPixel(
                x, y, (grayAlpha.pixel(x, y) & 0xffffff) | (alpha.pixel(x, y) & 0xff000000));
    const struct {
        const char* File;
        QImage Expected;
        bool Translucent; // ImageMagick does not blend translucent pixels with white
    } cases[] = {
        {"rgb-rle.psd", Source("src-rgb.png"), false},
        {"rgb-raw.psd", Source("src-rgb.png"), false},
        {"gray-rle.psd", Source("src-gray.png"), false},
        {"rgba-rle.psd", Source("src-rgba.png"), true},
        {"gray-alpha-rle.psd", grayAlpha, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        QImage img;
        const QString reason = Refusal([&] { LoadPSDFile(DataPath(c.File), img); });
        ASSERT_TRUE(reason.isEmpty()) << reason.toStdString();
        EXPECT_TRUE(SamePixels(img, c.Expected, 0, c.Translucent));
    }
}

TEST(PSD, OneByOneDocumentIs86Bytes) {
    QTemporaryDir dir;
    const QString name = dir.filePath("one.psd");
    QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
    one.fill(qRgb(10, 20, 30));
    ASSERT_TRUE(SavePSDFile(name, one));
    TBytes expected;
    expected.text("8BPS").be16(1).fill(6, 0).be16(3).be32(1).be32(1).be16(8).be16(3);
    expected.be32(0);
    expected.be32(28).text("8BIM").be16(0x03ED).be16(0).be32(16);
    expected.be32(0x012C0000).be16(1).be16(1).be32(0x012C0000).be16(1).be16(1);
    expected.be32(6).fill(6, 0);
    expected.be16(1).be16(2).be16(2).be16(2).u8({0, 10, 0, 20, 0, 30});
    EXPECT_EQ(ReadAll(name).toHex(' '), expected.Data.toHex(' '));
    EXPECT_EQ(expected.Data.size(), 86);
}

TEST(PSD, PackBitsRows) {
    const struct {
        const char* Name;
        QByteArray Row;
        std::vector<uint8_t> Packed;
    } cases[] = {
        {"empty row", "", {}},
        {"4 equal bytes: a run", "aaaa", Bytes({253, 'a'})},
        {"3 equal bytes: a literal", "aaa", Bytes({2, 'a', 'a', 'a'})},
        {"literal, then a run", "xyaaaaa", Bytes({1, 'x', 'y', 252, 'a'})},
        {"run, then a literal", "aaaaxy", Bytes({253, 'a', 1, 'x', 'y'})},
        {"128 distinct bytes", Distinct(128), Literal(Distinct(128))},
        {"129 distinct bytes", Distinct(129), Concat(Literal(Distinct(128)), Bytes({0, 128}))},
        {"130 equal bytes", QByteArray(130, 'z'), Bytes({129, 'z', 1, 'z', 'z'})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Packed(c.Row), c.Packed);
    }
}

TEST(PSD, PackedRowsReadAsTheyShould) {
    const struct {
        const char* Name;
        int Width;
        QByteArray Packed;
        QByteArray Grey;
    } cases[] = {
        {"header 128 (-128) is no packet", 3, TBytes().u8({128, 254, 7, 128}).Data,
         QByteArray(3, 7)},
        {"header 129 (-127) repeats 128 times", 128, TBytes().u8({129, 7}).Data,
         QByteArray(128, 7)},
        {"a trailing 128 is padding", 2, TBytes().u8({1, 5, 6, 128}).Data,
         TBytes().u8({5, 6}).Data},
        {"output past the row is dropped", 3, TBytes().u8({0, 9, 253, 4}).Data,
         TBytes().u8({9, 4, 4}).Data},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QImage img = Load(
            Doc(1, 1, uint32_t(c.Width), 8, 1).be16(1).be16(int(c.Packed.size())).Data + c.Packed);
        ASSERT_EQ(img.width(), c.Width);
        for (int x = 0; x < c.Width; ++x) {
            const int g = uint8_t(c.Grey[x]);
            EXPECT_EQ(PixelAt(img, x, 0), qRgb(g, g, g)) << x;
        }
    }
}

TEST(PSD, BitmapModeSetBitsAreBlack) {
    // 10 pixels: 1 0 1 0 0 0 0 0 | 0 1, and six spare bits that must not matter.
    const QImage img = Load(Doc(1, 1, 10, 1, 0).be16(0).u8({0xA0, 0x7F}).Data);
    const char* expected = "BWBWWWWWWB";
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(PixelAt(img, x, 0), expected[x] == 'B' ? qRgb(0, 0, 0) : qRgb(255, 255, 255))
            << x;
}

TEST(PSD, AlphaTakesTheWhiteMatteOut) {
    const struct {
        const char* Name;
        QByteArray File;
        QRgb Expected;
    } cases[] = {
        {"RGB, half transparent", Doc(4, 1, 1).be16(0).u8({255, 200, 100, 128}).Data,
         qRgba(128, 73, 0, 128)},
        {"RGB, transparent", Doc(4, 1, 1).be16(0).u8({255, 255, 255, 0}).Data, qRgba(0, 0, 0, 0)},
        {"RGB, opaque", Doc(4, 1, 1).be16(0).u8({255, 200, 100, 255}).Data, qRgb(255, 200, 100)},
        {"RGB, colour below the matte", Doc(4, 1, 1).be16(0).u8({10, 20, 30, 200}).Data,
         qRgba(0, 0, 0, 200)},
        {"grey with alpha", Doc(2, 1, 1, 8, 1).be16(0).u8({200, 100}).Data, qRgba(45, 45, 45, 100)},
        {"RGB without alpha", Doc(3, 1, 1).be16(0).u8({1, 2, 3}).Data, qRgb(1, 2, 3)},
        {"extra channels are not read", Doc(6, 1, 1).be16(0).u8({1, 2, 3, 255}).Data,
         qRgb(1, 2, 3)},
        {"a lone RGB channel", Doc(1, 1, 1).be16(0).u8({7}).Data, qRgb(7, 255, 255)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Hex(PixelAt(Load(c.File), 0, 0)), Hex(c.Expected));
    }
}

// The layer-and-mask section is skipped by its length, whatever that is.
TEST(PSD, LayerSectionsOfAnyLengthAreSkipped) {
    for (const int length : {0, 1, 2, 4, 5, 6, 10}) {
        SCOPED_TRACE(length);
        TBytes doc;
        doc.text("8BPS").be16(1).fill(6, 0).be16(3).be32(1).be32(1).be16(8).be16(3).be32(0);
        doc.be32(3).u8({1, 2, 3}); // resources, skipped
        doc.be32(uint32_t(length)).fill(length, 9);
        EXPECT_EQ(PixelAt(Load(doc.be16(0).u8({4, 5, 6}).Data), 0, 0), qRgb(4, 5, 6));
    }
}

// An image-resource block: signature, identifier, name padded to even, data padded to even.
TBytes& Resource(TBytes& b, uint16_t AId, const QByteArray& AName, const QByteArray& AData) {
    b.text("8BIM").be16(AId).u8({int(AName.size())}).Data += AName;
    if (AName.size() % 2 == 0)
        b.u8({0});
    b.be32(uint32_t(AData.size())).Data += AData;
    if (AData.size() % 2)
        b.u8({0});
    return b;
}

// A 1 × 1 RGB document whose resources are ABlocks, then raw data of one red pixel.
QByteArray WithResources(const QByteArray& ABlocks) {
    TBytes b;
    b.text("8BPS").be16(1).fill(6, 0).be16(3).be32(1).be32(1).be16(8).be16(3).be32(0);
    b.be32(uint32_t(ABlocks.size())).Data += ABlocks;
    return b.be32(0).be16(0).u8({255, 0, 0}).Data;
}

// Photoshop's version-info resource says whether the merged image is real; without it
// ("Maximize Compatibility" off) the merged image is a blank placeholder, and the document is
// refused with a word on how to save it readably.
TEST(PSD, PlaceholderMergedImageIsRefused) {
    const auto versionInfo = [](int AReal) {
        // Version, hasRealMergedData, writer and reader names (Unicode), file version.
        return TBytes().be32(1).u8({AReal}).be32(1).be16('P').be32(1).be16('P').be32(1).Data;
    };
    TBytes placeholder, real, otherFirst;
    Resource(placeholder, 1057, "", versionInfo(0));
    Resource(real, 1057, "", versionInfo(1));
    Resource(Resource(otherFirst, 1005, "odd", QByteArray(15, 1)), 1057, "ab", versionInfo(0));
    for (const QByteArray& blocks : {real.Data, QByteArray()})
        EXPECT_EQ(PixelAt(Load(WithResources(blocks)), 0, 0), qRgb(255, 0, 0));
    for (const QByteArray& blocks : {placeholder.Data, otherFirst.Data}) {
        QImage img;
        const QString reason = Refusal([&] { LoadPSDData(WithResources(blocks), img); });
        EXPECT_TRUE(reason.contains("without its merged image")) << reason.toStdString();
        EXPECT_TRUE(reason.contains("\"Maximize Compatibility\" on")) << reason.toStdString();
        EXPECT_TRUE(img.isNull());
    }
    // A damaged resource section says nothing about the merged image.
    TBytes cut;
    Resource(cut, 1057, "", versionInfo(0));
    EXPECT_EQ(PixelAt(Load(WithResources(cut.Data.left(cut.Data.size() - 6))), 0, 0),
              qRgb(255, 0, 0));
}

TEST(PSD, RoundTrips) {
    QTemporaryDir dir;
    for (const bool translucent : {false, true}) {
        SCOPED_TRACE(translucent);
        const QImage source = TestPicture(300, 5, translucent);
        const QString name = dir.filePath("round.psd");
        ASSERT_TRUE(SavePSDFile(name, source));
        QImage back;
        ASSERT_NO_THROW(LoadPSDFile(name, back));
        // The stored colour bytes come back; alpha is not written.
        QImage opaque = source;
        for (int y = 0; y < opaque.height(); ++y)
            for (int x = 0; x < opaque.width(); ++x)
                reinterpret_cast<QRgb*>(opaque.scanLine(y))[x] |= 0xff000000;
        EXPECT_TRUE(SamePixels(back, opaque));
    }
}

// Inputs on which the fuzzer found a fault, read, written back and read again.
TEST(PSD, FuzzFindings) {
    const struct {
        const char* File;
        const char* Fault;
    } cases[] = {
        // A valid greyscale document: the writer shifted a 32-bit value by 40 bits to write its
        // six reserved bytes (undefined behaviour).
        {"fuzz/psd-writer-reserved-shift.psd", "reserved bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Fault);
        const QImage img = Load(Fixture(c.File));
        QByteArray written;
        WritePSD([&](const void* p, qint64 n) { written.append(static_cast<const char*>(p), n); },
                 img);
        EXPECT_EQ(written.mid(6, 6), QByteArray(6, 0));
        EXPECT_TRUE(SamePixels(Load(written), img));
    }
}

TEST(PSD, WriterRefusesSidesOver30000) {
    QTemporaryDir dir;
    const QString name = dir.filePath("big.psd");
    WriteFileAtomically(name, "earlier");
    for (const QSize size : {QSize(30001, 1), QSize(1, 30001)}) {
        SCOPED_TRACE(size.width());
        try {
            SavePSDFile(name, QImage(size, QImage::Format_ARGB32_Premultiplied));
            ADD_FAILURE() << "saved";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains("big.psd"));
            EXPECT_TRUE(e.message().contains("30000"));
        }
        EXPECT_EQ(ReadAll(name), "earlier");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.psd"});
}

TEST(PSD, MissingFileRaisesNamingIt) {
    QImage img;
    try {
        LoadPSDFile(DataPath("no-such.psd"), img);
        ADD_FAILURE() << "no exception";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("no-such.psd"));
    }
}

// Each must be refused with its reason, without touching the bitmap.
TEST(PSD, HostileInputs) {
    const auto header = [](QByteArray AMagic, int AVersion, int AChannels, uint32_t H, uint32_t W,
                           int ADepth, int AMode) {
        TBytes b;
        b.text(AMagic.constData()).be16(AVersion).fill(6, 0).be16(AChannels).be32(H).be32(W);
        return b.be16(ADepth).be16(AMode);
    };
    const QByteArray rgb2x2 = QByteArray(12, 1);
    const QByteArray good = Doc(3, 2, 2).be16(0).Data + rgb2x2;
    const auto rle = [](int AChannels, uint32_t H, uint32_t W, std::initializer_list<int> ACounts) {
        TBytes b = Doc(AChannels, H, W).be16(1);
        for (int n : ACounts)
            b.be16(n);
        return b;
    };
    const struct {
        const char* Name;
        QByteArray File;
        const char* Reason;
    } cases[] = {
        {"empty file", "", "cut short"},
        {"header cut short", good.left(25), "cut short"},
        {"bad signature", header("8BPX", 1, 3, 2, 2, 8, 3).Data, "not a Photoshop"},
        {"version 2 (PSB)", header("8BPS", 2, 3, 2, 2, 8, 3).Data, "PSB"},
        {"version 3", header("8BPS", 3, 3, 2, 2, 8, 3).Data, "version 3"},
        {"16-bit channels", header("8BPS", 1, 3, 2, 2, 16, 3).Data, "16-bit"},
        {"CMYK", header("8BPS", 1, 4, 2, 2, 8, 4).Data, "CMYK"},
        {"indexed colour", header("8BPS", 1, 1, 2, 2, 8, 2).Data, "indexed"},
        {"Lab", header("8BPS", 1, 3, 2, 2, 8, 9).Data, "Lab"},
        {"1-bit RGB", header("8BPS", 1, 3, 2, 2, 1, 3).Data, "1-bit"},
        {"no channels", header("8BPS", 1, 0, 2, 2, 8, 3).Data, "not 0"},
        {"57 channels", header("8BPS", 1, 57, 2, 2, 8, 3).Data, "not 57"},
        {"zero width", header("8BPS", 1, 3, 2, 0, 8, 3).Data, "0 × 2"},
        {"zero height", header("8BPS", 1, 3, 0, 2, 8, 3).Data, "2 × 0"},
        {"30001 columns", header("8BPS", 1, 3, 2, 30001, 8, 3).Data, "30001 × 2"},
        {"4 billion rows", header("8BPS", 1, 3, 0xffffffff, 2, 8, 3).Data, "× 4294967295"},
        {"header only", header("8BPS", 1, 3, 2, 2, 8, 3).Data, "cut short"},
        {"colour-mode data", header("8BPS", 1, 3, 2, 2, 8, 3).be32(4).be32(0).Data,
         "colour-mode data"},
        {"resources past the end", header("8BPS", 1, 3, 2, 2, 8, 3).be32(0).be32(1000).Data,
         "cut short"},
        {"layers past the end", header("8BPS", 1, 3, 2, 2, 8, 3).be32(0).be32(0).be32(1000).Data,
         "cut short"},
        {"no compression field", Doc(3, 2, 2).Data, "cut short"},
        {"ZIP compression", Doc(3, 2, 2).be16(2).Data + rgb2x2, "compression method 2"},
        {"raw rows cut short", good.left(good.size() - 1), "too short"},
        {"huge raw picture in a tiny file", Doc(3, 30000, 30000).be16(0).Data + rgb2x2,
         "too short"},
        {"huge packed picture in a tiny file", Doc(3, 30000, 30000).be16(1).Data + rgb2x2,
         "cut short"},
        {"count table cut short", rle(3, 2, 2, {2, 2, 2}).Data, "cut short"},
        {"counts past the end",
         rle(3, 2, 2, {2, 2, 2, 2, 2, 900}).u8({1, 1, 1, 1, 1, 1, 1, 1, 1, 1}).Data,
         "past the end"},
        {"count of 0", rle(1, 1, 2, {0}).Data, "too short for"},
        {"literal past its row's bytes", rle(1, 1, 2, {2}).u8({5, 1}).Data, "damaged"},
        {"row comes out short", rle(1, 1, 4, {2}).u8({254, 1}).Data, "damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QImage bitmap(3, 3, QImage::Format_ARGB32_Premultiplied);
        bitmap.fill(0xff123456);
        const QImage before = bitmap;
        const QString reason = Refusal([&] { LoadPSDData(c.File, bitmap); });
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.Reason))) << reason.toStdString();
        EXPECT_EQ(bitmap, before);
    }
}

} // namespace
