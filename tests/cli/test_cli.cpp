// End-to-end runs of vorm-cli on pictures made here.
#include "atomic_file.h"
#include "catalog.h"
#include "psd.h"
#include "sampling.h"
#include "svg.h"
#include "tga.h"
#include "tilings.h"
#include "vorm_version.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

struct CliRun {
    int Code = -1;
    QString Out, Err;
};

// Standard input is empty unless AStdin names a file to read it from.
CliRun Cli(const QStringList& AArgs, const QProcessEnvironment& AEnv = {},
           const std::function<void()>& AInChild = {}, const QString& AStdin = {}) {
    QProcess p;
    if (!AEnv.isEmpty())
        p.setProcessEnvironment(AEnv);
    if (AInChild)
        p.setChildProcessModifier(AInChild);
    p.setStandardInputFile(AStdin.isEmpty() ? QProcess::nullDevice() : AStdin);
    p.start(QStringLiteral(VORM_CLI), AArgs);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QByteArray Read(const QString& APath) {
    QFile f(APath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage Picture(int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y, qRgba((x * 3) & 255, (y * 4) & 255, 90, x < W / 2 ? 255 : 120));
    return img;
}

class CliTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Input = Dir.filePath("in.png");
        ASSERT_TRUE(Picture(123, 77).save(Input));
    }
    QTemporaryDir Dir;
    QString Input;
};

TEST_F(CliTest, SvgMatchesTheEngine) {
    const struct {
        const char* Shape;
        const char* Cell;
        const char* Color;
        const char* Opacity;
        int ShapeIndex, ColorIndex;
        float w, Opacity_;
    } cases[] = {
        {"hexagon", "16", "color", "100", 6, 0, 16, 1.0f},
        {"0", "32", "gray-alpha-white", "75", 0, 6, 32, 0.75f},
        {"Square-Alternate", "7", "9", "33", 5, 9, 7, 0.33f},
    };
    QImage src = QImageReader(Input).read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Shape);
        const QString out = Dir.filePath(QString("out-%1.SVG").arg(c.ShapeIndex));
        const CliRun r = Cli({"--shape", c.Shape, "--cell", c.Cell, "--color", c.Color, "--opacity",
                              c.Opacity, "--quiet", Input, out});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        TItemXs items;
        kShapes[size_t(c.ShapeIndex)].Init(src, c.w, items);
        SampleItemXs(src, items, nullptr);
        const std::string expected =
            ItemXsSvgText(items, 123, 77, kColors[size_t(c.ColorIndex)].Conv, c.Opacity_,
                          IsOpaqueColorIndex(c.ColorIndex));
        EXPECT_EQ(Read(out).toStdString(), expected);
    }
}

TEST_F(CliTest, PngHasSourceSizeAndAlpha) {
    const QString out = Dir.filePath("out.png");
    const CliRun r = Cli({"--color", "color-self-alpha", "--shape", "square", Input, out});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QImage png(out);
    ASSERT_EQ(png.size(), QSize(123, 77));
    EXPECT_TRUE(png.hasAlphaChannel());
    EXPECT_EQ(qAlpha(png.pixel(100, 5)), 120); // inside a tile of the translucent half
    EXPECT_EQ(qAlpha(png.pixel(5, 40)), 255);
}

// Both compressions write the same pixels; best the smaller file.
TEST_F(CliTest, PngCompressionsGiveTheSamePixels) {
    const QString fast = Dir.filePath("fast.png"), best = Dir.filePath("best.png"),
                  plain = Dir.filePath("plain.png");
    for (const auto& [k, out] : {std::pair{"fast", fast}, std::pair{"BEST", best}}) {
        const CliRun r = Cli({"--quiet", "--shape", "hexagon", "--png-compression", k, Input, out});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    }
    ASSERT_EQ(Cli({"--quiet", "--shape", "hexagon", Input, plain}).Code, 0);
    const QImage a = QImage(fast).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(a.size(), QSize(123, 77));
    EXPECT_EQ(a, QImage(best).convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(Read(plain), Read(fast));
    EXPECT_LE(Read(best).size(), Read(fast).size());
}

TEST_F(CliTest, ExistingOutputIsMovedAside) {
    const QString out = Dir.filePath("out.svg");
    ASSERT_TRUE(QFile(out).open(QIODevice::WriteOnly));
    ASSERT_EQ(Cli({"--quiet", Input, out}).Code, 0);
    const CliRun r = Cli({Input, out}); // no progress bar where stderr is no terminal
    ASSERT_EQ(r.Code, 0);
    EXPECT_TRUE(r.Err.contains("\"out.svg\" will be renamed to \"out (2).svg\" ."))
        << r.Err.toStdString();
    EXPECT_EQ(Read(Dir.filePath("out (1).svg")).size(), 0);
    EXPECT_EQ(Read(Dir.filePath("out (2).svg")), Read(out));
}

TEST_F(CliTest, ExitCodes) {
    const QString out = Dir.filePath("x.svg");
    const struct {
        const char* Name;
        QStringList Args;
        int Code;
        const char* Message;
    } cases[] = {
        {"no arguments", {}, 2, "Usage"},
        {"one argument", {Input}, 2, "Usage"},
        {"bad extension", {Input, Dir.filePath("x.jpg")}, 2, ".svg or .png"},
        {"bad shape", {"--shape", "circle", Input, out}, 2, "circle"},
        {"shape out of range", {"--shape", "7", Input, out}, 2, "shape"},
        {"cell too small", {"--cell", "1", Input, out}, 2, "cell"},
        {"cell not a number", {"--cell", "16px", Input, out}, 2, "cell"},
        {"opacity zero", {"--opacity", "0", Input, out}, 2, "opacity"},
        {"unknown option", {"--frobnicate", Input, out}, 2, "frobnicate"},
        {"dir without format", {"--output-dir", Dir.path(), Input}, 2, "together"},
        {"format and one argument", {"--format", "svg", Input}, 2, "INPUT and OUTPUT"},
        {"bad format", {"--format", "jpg", Input, "-"}, 2, "svg or png"},
        {"format against the extension",
         {"--format", "png", Input, out},
         2,
         "does not end in .png"},
        {"standard output without format", {Input, "-"}, 2, "--format"},
        {"standard input in batch mode",
         {"--output-dir", Dir.path(), "--format", "svg", "-"},
         2,
         "batch"},
        {"unknown shell", {"--completion", "fish"}, 2, "bash or zsh"},
        {"bad png compression", {"--png-compression", "max", Input, out}, 2, "fast or best"},
        {"missing input", {Dir.filePath("none.png"), out}, 1, "none.png"},
        {"not a picture", {Dir.filePath("junk.png"), out}, 1, "junk.png"},
        {"unwritable output", {Input, Dir.filePath("no/such/dir/x.svg")}, 1, "x.svg"},
    };
    QFile junk(Dir.filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a png at all");
    junk.close();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const CliRun r = Cli(c.Args);
        EXPECT_EQ(r.Code, c.Code);
        EXPECT_TRUE(r.Err.contains(c.Message)) << r.Err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(CliTest, ReadsTheProgramsOwnFormats) {
    const QImage source =
        QImageReader(Input).read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage opaque = source.convertToFormat(QImage::Format_RGB32)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QString opaquePng = Dir.filePath("opaque.png");
    ASSERT_TRUE(opaque.save(opaquePng));
    SaveTGAFile(Dir.filePath("in.tga"), source, "", true);
    SavePSDFile(Dir.filePath("in.psd"), opaque);
    // A JPEG goes through the program's own decoder: the pixels of Qt's reader.
    ASSERT_TRUE(opaque.save(Dir.filePath("in.jpg"), "jpeg", 90));
    const QString jpegPng = Dir.filePath("jpeg.png");
    ASSERT_TRUE(QImageReader(Dir.filePath("in.jpg")).read().save(jpegPng));
    const struct {
        const char* Input;
        QString Same; // the picture it holds, as a PNG
    } cases[] = {{"in.tga", Input}, {"in.psd", opaquePng}, {"in.jpg", jpegPng}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Input);
        const QString a = Dir.filePath(QString(c.Input) + ".svg"),
                      b = Dir.filePath(QString(c.Input) + "-png.svg");
        const CliRun r = Cli({"--quiet", "--shape", "hexagon", Dir.filePath(c.Input), a});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        ASSERT_EQ(Cli({"--quiet", "--shape", "hexagon", c.Same, b}).Code, 0);
        EXPECT_EQ(Read(a), Read(b));
    }
}

TEST_F(CliTest, UnreadableInputsExitWithTheReason) {
    const struct {
        const char* Name;
        QByteArray Data;
        const char* Reason;
    } cases[] = {
        {"mapped.tga", QByteArray("\0\1\1\0\0\0\0\0\0\0\0\0\1\0\1\0\x08\x20\0", 19),
         "colour-mapped"},
        {"cut.psd", "8BPS\0\1", "cut short"},
        {"flat.hdr", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n+Y 1 +X 1\n", "top to bottom"},
        {"picture.dat", "no picture in any format", "only JPEG"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile f(Dir.filePath(c.Name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.Data);
        f.close();
        const QString out = Dir.filePath("x.png");
        const CliRun r = Cli({"--quiet", f.fileName(), out});
        EXPECT_EQ(r.Code, 1);
        EXPECT_TRUE(r.Err.contains(QString("Cannot read \"%1\"").arg(f.fileName())))
            << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(c.Reason)) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

// The budget refuses a picture before it is read, with the figures; a size it cannot read is a
// usage error.
TEST_F(CliTest, MemoryLimit) {
    const QString out = Dir.filePath("x.svg");
    CliRun r = Cli({"--quiet", "--memory-limit", "20k", Input, out});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("vorm-cli: \"%1\" is 123 × 77 pixels (0.009 "
                                              "megapixels) and needs 57 kB to convert; the "
                                              "memory limit is 20 kB.")
                                   .arg(Input)))
        << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
    // Writing PNG also holds the painted mosaic.
    r = Cli({"--quiet", "--memory-limit", "60k", Input, Dir.filePath("x.png")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("needs 95 kB")) << r.Err.toStdString();
    EXPECT_EQ(Cli({"--quiet", "--memory-limit", "60k", Input, out}).Code, 0);
    EXPECT_EQ(Cli({"--quiet", "--memory-limit", "0.1GiB", Input, out}).Code, 0);
    for (const char* bad : {"0", "lots", "-5M", "2X"}) {
        SCOPED_TRACE(bad);
        r = Cli({"--quiet", "--memory-limit", bad, Input, out});
        EXPECT_EQ(r.Code, 2);
        EXPECT_TRUE(r.Err.contains("--memory-limit must be a size")) << r.Err.toStdString();
    }
    EXPECT_TRUE(Cli({"--help"}).Out.contains("--memory-limit"));
}

// A picture cut short is converted as far as it goes, with a warning on stderr.
TEST_F(CliTest, CutShortInputsWarnAndConvert) {
    QFile whole(Input);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray png = whole.readAll();
    const QImage jpegPicture = Picture(123, 77);
    ASSERT_TRUE(jpegPicture.save(Dir.filePath("whole.jpg"), "JPEG"));
    const QByteArray jpeg = Read(Dir.filePath("whole.jpg"));
    for (const auto& [name, data] : {std::pair{"cut.png", png.left(png.size() / 2)},
                                     // Its first rows of blocks whole: a JPEG cut before
                                     // them is refused.
                                     std::pair{"cut.jpg", jpeg.left(jpeg.size() * 3 / 4)}}) {
        SCOPED_TRACE(name);
        const QString in = Dir.filePath(name), out = Dir.filePath(QString(name) + ".png");
        WriteFileAtomically(in, data);
        const CliRun r = Cli({"--quiet", in, out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_TRUE(
            r.Err.startsWith(QStringLiteral("vorm-cli: warning: \"%1\" is cut short: ").arg(in)))
            << r.Err.toStdString();
        EXPECT_EQ(QImage(out).size(), QSize(123, 77));
    }
}

// A save that fails after the earlier file was moved aside gives it its name back.
TEST_F(CliTest, FailedSavePutsTheEarlierFileBack) {
    const QString out = Dir.filePath("out.png");
    WriteFileAtomically(out, "earlier");
    const CliRun r = Cli({"--quiet", "--cell", "2", Input, out}, {}, [] {
        // A full disk: no file may grow beyond 1 kB.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &small);
    });
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Cannot write \"%1\"").arg(out)))
        << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QStringLiteral("vorm-cli: \"%1\" has its name back.").arg(out)))
        << r.Err.toStdString();
    EXPECT_EQ(Read(out), "earlier");
    EXPECT_EQ(QDir(Dir.path()).entryList({"out*"}, QDir::Files), QStringList{"out.png"});
}

// Ctrl+C or SIGTERM while converting: nothing is written, the earlier file gets its name back,
// and the exit code is the shell's for the signal. A stop request seen only after the file was
// published lets the save count.
TEST_F(CliTest, InterruptedSavePutsTheEarlierFileBack) {
    // A picture large enough to be converted a band at a time, and a small one read whole.
    const QString big = Dir.filePath("big.jpg");
    ASSERT_TRUE(Picture(701, 433).save(big, "JPEG"));
    for (const int signal : {SIGINT, SIGTERM}) {
        for (const char* at : {"rename", "write", "publish"}) {
            for (const char* name : {"out.png", "out.svg"})
                for (const QString& in : {Input, big}) {
                    SCOPED_TRACE(
                        QStringLiteral("%1 %2 %3 %4").arg(signal).arg(at, name, in).toStdString());
                    const QString out = Dir.filePath(name);
                    WriteFileAtomically(out, "earlier");
                    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                    env.insert("LD_PRELOAD", VORM_SIGNAL_SHIM);
                    env.insert("VORM_TEST_SIGNAL", QString::number(signal));
                    env.insert("VORM_TEST_SIGNAL_AT", at);
                    env.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
                    const CliRun r = Cli({"--quiet", in, out}, env);
                    const QStringList files = QDir(Dir.path()).entryList({"out*"}, QDir::Files);
                    if (QByteArray(at) == "publish") {
                        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
                        EXPECT_TRUE(
                            r.Err.contains(QStringLiteral("vorm-cli: stopped; \"%1\" was "
                                                          "written before the stop request.")
                                               .arg(out)))
                            << r.Err.toStdString();
                        EXPECT_NE(Read(out), "earlier");
                        EXPECT_EQ(Read(Dir.filePath(QString(name).replace("out", "out (1)"))),
                                  "earlier");
                        EXPECT_EQ(files.size(), 2) << files.join(", ").toStdString();
                    } else {
                        EXPECT_EQ(r.Code, 128 + signal) << r.Err.toStdString();
                        EXPECT_TRUE(r.Err.contains(QStringLiteral("vorm-cli: interrupted; \"%1\" "
                                                                  "was not written.")
                                                       .arg(out)))
                            << r.Err.toStdString();
                        EXPECT_EQ(Read(out), "earlier");
                        EXPECT_EQ(files, QStringList{name});
                    }
                    for (const QString& f : files)
                        QFile::remove(Dir.filePath(f));
                    // No temporary file is left behind either: only the two pictures.
                    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
                }
        }
    }
}

// A stop seen once the mosaic is published still publishes the files beside it: a new mosaic
// never stands beside the bill of materials of an earlier one, and the save counts.
TEST_F(CliTest, AStopAfterTheMosaicKeepsItsSideFiles) {
    const QString big = Dir.filePath("big.jpg");
    ASSERT_TRUE(Picture(701, 433).save(big, "JPEG"));
    for (const QString& in : {Input, big}) {
        SCOPED_TRACE(in.toStdString());
        const QString out = Dir.filePath("out.png"), bom = Dir.filePath("bom.csv");
        WriteFileAtomically(bom, "earlier");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", VORM_SIGNAL_SHIM);
        env.insert("VORM_TEST_SIGNAL", QString::number(SIGINT));
        env.insert("VORM_TEST_SIGNAL_AT", "publish");
        env.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
        const CliRun r = Cli({"--quiet", "--colors", "4", "--bom", bom, in, out}, env);
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(
            QStringLiteral("vorm-cli: stopped; \"%1\" was written before the stop request.")
                .arg(out)))
            << r.Err.toStdString();
        EXPECT_FALSE(QImage(out).isNull());
        EXPECT_TRUE(Read(bom).startsWith("name,")) << Read(bom).left(40).toStdString();
        EXPECT_EQ(Read(Dir.filePath("bom (1).csv")), "earlier");
        for (const QString& f : QDir(Dir.path()).entryList({"out*", "bom*"}, QDir::Files))
            QFile::remove(Dir.filePath(f));
    }
}

// A symbolic link, even a broken one, takes its name: the move aside goes past it and never
// writes through it, wherever it points.
TEST_F(CliTest, MoveAsideNeverFollowsLinks) {
    const QString elsewhere = Dir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const struct {
        const char* Target;
    } cases[] = {{"elsewhere/victim.txt"}, {"/nonexistent/folder/victim.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Target);
        const QString out = Dir.filePath("out.svg"), link = Dir.filePath("out (1).svg");
        WriteFileAtomically(out, "earlier");
        ASSERT_TRUE(QFile::link(
            QString(c.Target).startsWith('/') ? c.Target : Dir.filePath(c.Target), link));
        const CliRun r = Cli({Input, out});
        EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("\"out.svg\" will be renamed to \"out (2).svg\" ."))
            << r.Err.toStdString();
        EXPECT_EQ(Read(Dir.filePath("out (2).svg")), "earlier");
        EXPECT_TRUE(Read(out).startsWith("<svg"));
        EXPECT_EQ(QFileInfo(link).symLinkTarget().isEmpty(), false);
        EXPECT_TRUE(QDir(elsewhere).isEmpty());
        for (const char* f : {"out.svg", "out (1).svg", "out (2).svg"})
            QFile::remove(Dir.filePath(f));
    }
}

// Anything but a regular file is refused at once: opening a FIFO would wait for a writer.
TEST_F(CliTest, OnlyRegularFilesAreRead) {
    const QString fifo = Dir.filePath("x.psd"), folder = Dir.filePath("folder.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& in : {fifo, folder, QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(in.toStdString());
        const QString out = Dir.filePath("o.svg");
        const CliRun r = Cli({"--quiet", in, out});
        EXPECT_EQ(r.Code, 1);
        EXPECT_TRUE(
            r.Err.contains(QStringLiteral("Cannot read \"%1\": it is not a regular file.").arg(in)))
            << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(CliTest, HelpAndVersion) {
    CliRun r = Cli({"--help"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(r.Out.contains("--shape"));
    EXPECT_TRUE(r.Out.contains("-q, --quiet"));
    EXPECT_TRUE(r.Out.contains("-V, --version"));
    EXPECT_FALSE(r.Out.contains("--completion")); // for packagers only
    // The exit codes, each at the start of its line.
    EXPECT_TRUE(r.Out.contains("\nExit status:\n  0 "));
    for (const char* code : {"\n  1 ", "\n  2 ", "\n  130 "})
        EXPECT_TRUE(r.Out.contains(code)) << code;
    for (const char* version : {"--version", "-V"}) {
        r = Cli({version});
        EXPECT_EQ(r.Code, 0);
        EXPECT_TRUE(r.Out.startsWith("vorm-cli " VORM_VERSION)) << version;
    }
}

// The shell completion that the build installs offers every option of the help and, for
// --shape and --color, the catalog's names: neither can drift from what the program takes.
TEST_F(CliTest, CompletionOffersTheOptionsAndTheCatalogsNames) {
    const QString help = Cli({"--help"}).Out;
    static const QRegularExpression option("--[a-z][a-z-]+");
    QStringList options;
    for (const auto& m : option.globalMatch(help))
        options << m.captured(0);
    ASSERT_TRUE(options.contains("--output-dir"));
    for (const char* shell : {"bash", "zsh"}) {
        SCOPED_TRACE(shell);
        const CliRun r = Cli({"--completion", shell});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        for (const QString& o : options)
            EXPECT_TRUE(r.Out.contains(o)) << o.toStdString();
        for (const QString& key : ShapeKeys() + ColorKeys())
            EXPECT_TRUE(r.Out.contains(QRegularExpression("[ '(]" + key + "[ ')]")))
                << key.toStdString();
    }
}

// -q is --quiet, which also leaves out the notice of a file moved aside.
TEST_F(CliTest, QuietSaysNothingOfAFileMovedAside) {
    const QString out = Dir.filePath("out.svg");
    ASSERT_EQ(Cli({"-q", Input, out}).Code, 0);
    const CliRun r = Cli({"-q", Input, out});
    EXPECT_EQ(r.Code, 0);
    EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
    EXPECT_TRUE(QFile::exists(Dir.filePath("out (1).svg")));
}

// "-" reads standard input and writes standard output: the same documents as through files.
TEST_F(CliTest, StandardInputAndOutput) {
    const QString svg = Dir.filePath("file.svg"), png = Dir.filePath("file.png");
    ASSERT_EQ(Cli({"-q", "--shape", "hexagon", Input, svg}).Code, 0);
    ASSERT_EQ(Cli({"-q", "--shape", "hexagon", Input, png}).Code, 0);
    const QString fromStdin = Dir.filePath("stdin.svg");
    CliRun r = Cli({"-q", "--shape", "hexagon", "-", fromStdin}, {}, {}, Input);
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(Read(fromStdin), Read(svg));
    r = Cli({"-q", "--shape", "hexagon", "--format", "svg", Input, "-"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.toUtf8(), Read(svg));
    QProcess p; // PNG bytes, from standard input to standard output
    p.setStandardInputFile(Input);
    p.start(VORM_CLI, {"--shape", "hexagon", "--format", "PNG", "-", "-"});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), Read(png));
    // Nothing is left in the temporary folder.
    EXPECT_TRUE(QDir::temp().entryList({"vorm-cli-stdin-*"}).isEmpty());
}

TEST_F(CliTest, StandardInputThatIsNoPictureIsNamedInTheMessage) {
    const QString junk = Dir.filePath("junk");
    WriteFileAtomically(junk, "no picture in any format");
    const QString out = Dir.filePath("x.svg");
    CliRun r = Cli({"-q", "-", out}, {}, {}, junk);
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.startsWith("vorm-cli: Cannot read standard input: only JPEG"))
        << r.Err.toStdString();
    r = Cli({"-q", "-", out}); // nothing at all
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("Cannot read standard input: the file is empty"))
        << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// A name whose extension the loader does not know, or that has none, is read by its content.
TEST_F(CliTest, UnknownExtensionsAreReadByTheirContent) {
    const QImage source =
        QImageReader(Input).read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage opaque = source.convertToFormat(QImage::Format_RGB32)
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QString opaquePng = Dir.filePath("opaque.png");
    ASSERT_TRUE(opaque.save(opaquePng));
    QFile::copy(Input, Dir.filePath("no-extension"));
    QFile::copy(Input, Dir.filePath("picture.data"));
    SavePSDFile(Dir.filePath("document.bin"), opaque);
    QStringList cases = {"no-extension", "picture.data", "document.bin"};
    // WebP, lossless, through Qt's image plugins where they are installed.
    if (QImageWriter::supportedImageFormats().contains("webp")) {
        QImageWriter webp(Dir.filePath("photo.webp"), "webp");
        webp.setQuality(100);
        ASSERT_TRUE(webp.write(QImageReader(Input).read()));
        cases << "photo.webp";
    } else {
        ADD_FAILURE() << "no WebP plugin: scripts/setup.sh installs qt6-image-formats-plugins";
    }
    const QString expected = Dir.filePath("expected.svg"),
                  expectedOpaque = Dir.filePath("expected-opaque.svg");
    ASSERT_EQ(Cli({"-q", Input, expected}).Code, 0);
    ASSERT_EQ(Cli({"-q", opaquePng, expectedOpaque}).Code, 0);
    for (const QString& c : cases) {
        SCOPED_TRACE(c.toStdString());
        const QString out = Dir.filePath(c + ".svg");
        const CliRun r = Cli({"-q", Dir.filePath(c), out});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_EQ(Read(out), Read(c == "document.bin" ? expectedOpaque : expected));
    }
}

TEST_F(CliTest, BatchConvertsEachAndReportsFailures) {
    const QString second = Dir.filePath("second.png");
    ASSERT_TRUE(Picture(40, 30).save(second));
    const QString outDir = Dir.filePath("outputs");
    const CliRun r = Cli({"--quiet", "--output-dir", outDir, "--format", "png", Input,
                          Dir.filePath("missing.png"), second});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("missing.png"));
    EXPECT_EQ(QImage(outDir + "/in.png").size(), QSize(123, 77));
    EXPECT_EQ(QImage(outDir + "/second.png").size(), QSize(40, 30));
    EXPECT_EQ(Cli({"--quiet", "--output-dir", outDir, "--format", "svg", second}).Code, 0);
    EXPECT_TRUE(Read(outDir + "/second.svg").startsWith("<svg "));
}

} // namespace

// A picture large enough to be read a band at a time (a small one is read whole, which takes
// less): the mosaic and the files beside it are the ones the whole-picture path makes (standard
// input sends the conversion there), and a PNG cut short says how far it went.
TEST_F(CliTest, StreamedMosaicsMatchTheWholePicture) {
    const QImage big = Picture(701, 433);
    const QString jpg = Dir.filePath("big.jpg"), png = Dir.filePath("big.png");
    ASSERT_TRUE(big.save(jpg, "JPEG"));
    ASSERT_TRUE(big.save(png, "PNG"));
    const QStringList plain{"--quiet", "--shape", "hexagon", "--cell", "9"};
    const QStringList maker = plain + QStringList{"--colors", "6", "--dither", "--grout", "1"};
    for (const QString& in : {jpg, png})
        for (const char* ext : {"svg", "png"})
            for (const QStringList& args : {plain, maker}) {
                SCOPED_TRACE(testing::Message()
                             << in.toStdString() << " " << ext << " " << args.size());
                const QString streamed = Dir.filePath(QStringLiteral("s.%1").arg(ext));
                const QString whole = Dir.filePath(QStringLiteral("w.%1").arg(ext));
                const QString bomS = Dir.filePath("s.csv"), bomW = Dir.filePath("w.csv");
                ASSERT_EQ(Cli(args + QStringList{"--bom", bomS, in, streamed}).Code, 0);
                ASSERT_EQ(Cli(args + QStringList{"--bom", bomW, "-", whole}, {}, {}, in).Code, 0);
                // The SVG byte for byte; the PNG pixel for pixel.
                if (QByteArray(ext) == "svg")
                    EXPECT_EQ(Read(streamed), Read(whole));
                else
                    EXPECT_EQ(QImage(streamed), QImage(whole));
                EXPECT_EQ(Read(bomS), Read(bomW));
                for (const QString& f : {streamed, whole, bomS, bomW})
                    QFile::remove(f);
            }
    // The budget counts the bands (and, with maker options, the tiles) that the streaming path
    // holds, not the whole picture.
    const QStringList hex{"--quiet", "--shape", "hexagon", "--memory-limit", "3M"};
    EXPECT_EQ(Cli(hex + QStringList{png, Dir.filePath("m.png")}).Code, 0);
    EXPECT_EQ(
        Cli(hex + QStringList{"--bom", Dir.filePath("bom.csv"), png, Dir.filePath("b.png")}).Code,
        0);
    EXPECT_EQ(Cli(hex + QStringList{"-", Dir.filePath("n.png")}, {}, {}, png).Code, 1);
    // A PNG cut short: grain, so that half the file holds about half the rows.
    QImage grain = big;
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x)
            grain.setPixel(
                x, y,
                qRgb(int((uint32_t(x * 7919 + y * 104729) * 2654435761u) >> 24), x & 255, y & 255));
    const QString grainy = Dir.filePath("grain.png");
    ASSERT_TRUE(grain.save(grainy, "PNG"));
    const QByteArray data = Read(grainy);
    WriteFileAtomically(Dir.filePath("cut.png"), data.left(data.size() / 2));
    const QString out = Dir.filePath("cut-out.png");
    const CliRun r = Cli({"--quiet", Dir.filePath("cut.png"), out});
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(QRegularExpression(
        QStringLiteral("warning: \"%1\" is cut short: \\d+ of its 433 rows are read; the rest is "
                       "transparent.")
            .arg(QRegularExpression::escape(Dir.filePath("cut.png"))))))
        << r.Err.toStdString();
    EXPECT_EQ(QImage(out).size(), QSize(701, 433));
}
