// vorm-cli's maker options end to end: palettes by file and by name, their errors, impossible
// values, the files beside the mosaic, and the --colors quality goal on a photo.
#include "color_science.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Code = -1;
    QString Out, Err;
};

TRun RunCli(const QStringList& AArgs) {
    QProcess p;
    p.start(QStringLiteral(VORM_CLI), AArgs);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray ReadAll(const QString& APath) {
    QFile f(APath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& APath, const QByteArray& AData) {
    QFile f(APath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(AData);
}

class MakerCli : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Input = Dir.filePath("in.png");
        QImage img(90, 70, QImage::Format_ARGB32);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 90; ++x)
                img.setPixel(x, y, qRgb((x * 3) & 255, (y * 4) & 255, (x * y) & 255));
        ASSERT_TRUE(img.save(Input));
    }
    QString Path(const char* AName) const { return Dir.filePath(QLatin1String(AName)); }
    QStringList Files() const { return QDir(Dir.path()).entryList(QDir::Files); }
    QTemporaryDir Dir;
    QString Input;
};

TEST_F(MakerCli, ImpossibleValuesExitTwoAndWriteNothing) {
    const QStringList cases[] = {
        {"--colors", "1"},
        {"--colors", "257"},
        {"--colors", "many"},
        {"--grout", "-1"},
        {"--grout=-0.5"},
        {"--grout", "abc"},
        {"--cell", "16", "--grout", "28"}, // the default triangles' inradius is 4.6
        {"--shape", "square", "--cell", "10", "--grout", "10"},
        {"--outline", "-2"},
        {"--grout-color", "#12345"},
        {"--grout-color", "red"},
        {"--outline-color", "transparent"},
        {"--dither"},
        {"--bom", "bom.txt"},
        {"--tiles", "tiles.csv"},
        {"--cut-lines", "cut.png"},
    };
    for (const QStringList& c : cases) {
        SCOPED_TRACE(c.join(' ').toStdString());
        const TRun r = RunCli(QStringList{"--quiet"} + c + QStringList{Input, Path("out.svg")});
        EXPECT_EQ(r.Code, 2) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.startsWith("vorm-cli: ")) << r.Err.toStdString();
        EXPECT_EQ(Files(), QStringList{"in.png"});
    }
    // A side file named like the mosaic.
    const TRun r = RunCli(
        {"--quiet", "--bom", Path("x.json"), "--tiles", Path("x.json"), Input, Path("out.svg")});
    EXPECT_EQ(r.Code, 2);
}

TEST_F(MakerCli, ABrokenPaletteExitsOneNamingFileAndLine) {
    const QString pal = Path("broken.gpl");
    WriteAll(pal, "GIMP Palette\nName: Broken\n10 20 30 Ok\n10 20 Missing blue\n");
    WriteAll(Path("out.svg"), "earlier");
    const TRun r =
        RunCli({"--quiet", "--palette", pal, "--bom", Path("bom.csv"), Input, Path("out.svg")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("broken.gpl") && r.Err.contains("line 4:")) << r.Err.toStdString();
    EXPECT_EQ(ReadAll(Path("out.svg")), "earlier");
    EXPECT_FALSE(QFile::exists(Path("bom.csv")));
    EXPECT_FALSE(QFile::exists(Path("out (1).svg")));
    // Missing, unreadable by name, empty.
    EXPECT_EQ(RunCli({"--quiet", "--palette", Path("none.gpl"), Input, Path("a.svg")}).Code, 1);
    EXPECT_EQ(RunCli({"--quiet", "--palette", "no-such-palette-name", Input, Path("a.svg")}).Code,
              1);
    WriteAll(Path("empty.hex"), "");
    const TRun e = RunCli({"--quiet", "--palette", Path("empty.hex"), Input, Path("a.svg")});
    EXPECT_EQ(e.Code, 1);
    EXPECT_TRUE(e.Err.contains("empty.hex")) << e.Err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("a.svg")));
}

TEST_F(MakerCli, ListsThePalettesThatComeWithIt) {
    const TRun r = RunCli({"--list-palettes"});
    EXPECT_EQ(r.Code, 0);
    for (const char* name : {"black-white", "greys-4", "greys-8", "greys-16", "web-safe"})
        EXPECT_TRUE(r.Out.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(r.Out.contains("216 colours"));
    const TRun help = RunCli({"--help"});
    for (const char* o :
         {"--palette", "--list-palettes", "--colors", "--dither", "--grout", "--grout-color",
          "--outline", "--outline-color", "--bom", "--tiles", "--cut-lines"})
        EXPECT_TRUE(help.Out.contains(QLatin1String(o))) << o;
}

// A palette by name, grout, outline and every side file; each counted against the SVG, and an
// earlier file of each name moved aside, never overwritten.
TEST_F(MakerCli, PaletteGroutAndTheFilesBeside) {
    const QString pal = Path("bricks.csv");
    WriteAll(pal, "name,hex,code\nBlack,#000000,26\nDark grey,#555555,199\nLight grey,"
                  "#AAAAAA,194\nWhite,#FFFFFF,1\nRed,#C91A09,21\n");
    WriteAll(Path("bom.json"), "earlier");
    const QStringList args{"--shape",       "hexagon",
                           "--cell",        "8",
                           "--palette",     pal,
                           "--grout",       "1.5",
                           "--grout-color", "#FFFFFF",
                           "--outline",     "0.5",
                           "--bom",         Path("bom.json"),
                           "--tiles",       Path("tiles.json"),
                           "--cut-lines",   Path("cut.svg"),
                           Input,           Path("out.svg")};
    const TRun r = RunCli(args);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains("\"bom.json\" will be renamed to \"bom (1).json\""))
        << r.Err.toStdString();
    EXPECT_EQ(ReadAll(Path("bom (1).json")), "earlier");
    const QString svg = QString::fromUtf8(ReadAll(Path("out.svg")));
    const QString bom = QString::fromUtf8(ReadAll(Path("bom.json")));
    EXPECT_TRUE(svg.contains("inkscape:groupmode=\"layer\""));
    EXPECT_TRUE(svg.contains("<rect x=\"0\" y=\"0\" width=\"90\" height=\"70\" fill=\"#FFFFFF\""));
    EXPECT_TRUE(bom.contains("\"palette\": \"bricks\""));
    // Per colour: the BOM's tiles are the layer's paths.
    static const QRegularExpression row("\"name\": \"([^\"]+)\", \"hex\": \"(#[0-9A-F]{6})\", "
                                        "\"code\": \"([0-9]*)\", \"whole_tiles\": ([0-9]+), "
                                        "\"cut_tiles\": ([0-9]+), \"tiles\": ([0-9]+)");
    int rows = 0, total = 0;
    for (auto it = row.globalMatch(bom); it.hasNext();) {
        const auto m = it.next();
        ++rows;
        const int tiles = m.captured(6).toInt();
        EXPECT_EQ(tiles, m.captured(4).toInt() + m.captured(5).toInt());
        total += tiles;
        const qsizetype at = svg.indexOf("inkscape:label=\"" + m.captured(1) + "\"");
        ASSERT_GE(at, 0) << m.captured(1).toStdString();
        const qsizetype end = svg.indexOf("</g>", at);
        EXPECT_EQ(svg.mid(at, end - at).count("<path fill=\"" + m.captured(2) + "\""), tiles);
    }
    EXPECT_GE(rows, 3);
    EXPECT_EQ(svg.count("<path"), total);
    EXPECT_EQ(QString::fromUtf8(ReadAll(Path("tiles.json"))).count("\"points\""), total);
    EXPECT_TRUE(ReadAll(Path("cut.svg")).contains("stroke=\"#FF0000\""));
    // The same to PNG: the white joints show.
    ASSERT_EQ(RunCli({"--quiet", "--shape", "hexagon", "--cell", "8", "--palette", pal, "--grout",
                      "3", "--grout-color", "#FFFFFF", Input, Path("out.png")})
                  .Code,
              0);
    const QImage png(Path("out.png"));
    ASSERT_EQ(png.size(), QSize(90, 70));
    int white = 0;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 90; ++x)
            white += png.pixel(x, y) == 0xFFFFFFFFu;
    EXPECT_GT(white, 90 * 70 / 10);
}

// The PNG agrees with the SVG as librsvg renders it wherever the PNG is one colour over a pixel's
// whole neighbourhood (tile insides, joints, the middle of strokes); only pixels at edges may
// differ. Skipped where rsvg-convert is not installed.
TEST_F(MakerCli, PngAgreesWithTheSvgAsRsvgRendersIt) {
    const QString rsvg = QStandardPaths::findExecutable("rsvg-convert");
    if (rsvg.isEmpty())
        GTEST_SKIP() << "rsvg-convert is not installed (librsvg2-bin)";
    for (const char* shape :
         {"equilateral-triangle-1", "equilateral-triangle-2", "isosceles-right-triangle-1",
          "isosceles-right-triangle-2", "square", "square-alternate", "hexagon"}) {
        SCOPED_TRACE(shape);
        const QStringList args{"--quiet", "--shape",         shape,     "--cell",
                               "24",      "--palette",       "greys-8", "--grout",
                               "2.5",     "--grout-color",   "#FF8000", "--outline",
                               "1",       "--outline-color", "#0000FF", Input};
        QFile::remove(Path("g.svg"));
        QFile::remove(Path("g.png"));
        ASSERT_EQ(RunCli(args + QStringList{Path("g.svg")}).Code, 0);
        ASSERT_EQ(RunCli(args + QStringList{Path("g.png")}).Code, 0);
        QProcess p;
        p.start(rsvg, {Path("g.svg"), "-o", Path("r.png")});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QImage a = QImage(Path("g.png")).convertToFormat(QImage::Format_ARGB32);
        const QImage b = QImage(Path("r.png")).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(a.size(), b.size());
        int uniform = 0, differ = 0;
        for (int y = 1; y + 1 < a.height(); ++y)
            for (int x = 1; x + 1 < a.width(); ++x) {
                bool flat = true;
                for (int dy = -1; dy <= 1 && flat; ++dy)
                    for (int dx = -1; dx <= 1 && flat; ++dx)
                        flat = a.pixel(x + dx, y + dy) == a.pixel(x, y);
                if (!flat)
                    continue;
                ++uniform;
                differ += a.pixel(x, y) != b.pixel(x, y);
            }
        EXPECT_GT(uniform, a.width() * a.height() / 6);
        EXPECT_EQ(differ, 0);
    }
}

// --colors N against the best of ImageMagick (-colors N +dither), Pillow's median cut and fast
// octree, and libimagequant (pngquant --nofs, and Pillow's), quantising the plain mosaic of the
// same photo, hexagons of 6: their best mean ΔE00, pixel by pixel, as bench/quantize_quality.py
// measured it (pngquant's, each time). The goal is at most 0.9 of it.
TEST_F(MakerCli, ColorsReachTheQualityGoal) {
    const QString photo = QStringLiteral(VORM_TEST_DATA "/astronaut-256.png");
    const QString plain = Path("plain.png");
    ASSERT_EQ(RunCli({"--quiet", "--shape", "hexagon", "--cell", "6", photo, plain}).Code, 0);
    const QImage a = QImage(plain).convertToFormat(QImage::Format_RGB32);
    const struct {
        int N;
        double BestOther;
    } cases[] = {{8, 7.223}, {16, 5.171}, {32, 3.819}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.N);
        const QString out = Dir.filePath(QStringLiteral("colors-%1.png").arg(c.N));
        ASSERT_EQ(RunCli({"--quiet", "--shape", "hexagon", "--cell", "6", "--colors",
                          QString::number(c.N), photo, out})
                      .Code,
                  0);
        const QImage b = QImage(out).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(a.size(), b.size());
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                sum += DeltaE2000(LabOfRgb(a.pixel(x, y)), LabOfRgb(b.pixel(x, y)));
            }
        const double mean = sum / (a.width() * a.height());
        EXPECT_LE(mean, 0.9 * c.BestOther) << "mean ΔE00 " << mean;
    }
}

} // namespace
