// vorm-cli: the headless converter. It runs the same engine and drivers as the window.
#include "atomic_file.h"
#include "bitmap_ex.h"
#include "catalog.h"
#include "codec_support.h"
#include "completion.h"
#include "drivers.h"
#include "file_names.h"
#include "jpeg_rows.h"
#include "maker_cli.h"
#include "memory_budget.h"
#include "platform.h"
#include "png_rows.h"
#include "stream.h"
#include "vorm_error.h"
#include "vorm_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: vorm-cli [--shape S] [--cell N] [--color C] [--opacity P] [--memory-limit SIZE]\n"
    "                [--png-compression K] [--format svg|png] [--quiet] [maker options]\n"
    "                INPUT|- OUTPUT|-\n"
    "       vorm-cli [options] --output-dir DIR --format svg|png INPUT...\n"
    "Try 'vorm-cli --help' for more information.\n";

// After the options in --help.
const char kExitStatus[] =
    "\nExit status:\n"
    "  0    Every picture was converted.\n"
    "  1    A picture could not be read or written (the message names it and says\n"
    "       why); in batch mode the others were still converted.\n"
    "  2    A mistake on the command line.\n"
    "  130  Interrupted by Ctrl+C (SIGINT), 143 by SIGTERM; the file being written\n"
    "       is not written.\n";

// "-" for INPUT or OUTPUT.
const QString kStdStream = QStringLiteral("-");

struct Options {
    int Shape = 0;
    int Cell = 16;
    int Color = 0;
    int Opacity = 100;
    TPngCompression Compression = TPngCompression::Fast;
    bool Quiet = false;
    QString Format; // --format: "svg", "png" or empty
    TMakerOptions Maker;
};

// The signal (SIGINT or SIGTERM) that asked the program to stop, or 0. The conversion stops at
// its next check, at the latest just before its file would be published; it then writes nothing
// and gives an earlier file its name back. A second signal ends the program at once. Read by the
// pool's threads too, so an atomic, which is lock-free and so safe in a signal handler.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int ASignal) {
    gStopSignal = ASignal;
    std::signal(ASignal, SIG_DFL);
}

bool StopRequested() {
    return gStopSignal != 0;
}

void PrintErr(const QString& AText) {
    std::fputs(qPrintable(AText + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

[[noreturn]] void UsageError(const QString& AText) {
    PrintErr(QStringLiteral("vorm-cli: ") + AText);
    std::fputs(kUsage, stderr);
    std::exit(2);
}

// A name of the list, in any letter case, or its position.
template <typename Entries>
int ParseChoice(const QString& AValue, const Entries& AEntries, const char* AWhat) {
    bool ok = false;
    const int n = AValue.toInt(&ok);
    if (ok && n >= 0 && n < int(AEntries.size()))
        return n;
    for (size_t i = 0; i < AEntries.size(); ++i)
        if (AValue.compare(QLatin1String(AEntries[i].Key), Qt::CaseInsensitive) == 0)
            return int(i);
    QStringList names;
    for (const auto& e : AEntries)
        names << QLatin1String(e.Key);
    UsageError(QStringLiteral("unknown %1 \"%2\"; choose one of %3, or 0 to %4.")
                   .arg(QLatin1String(AWhat), AValue, names.join(QStringLiteral(", ")))
                   .arg(AEntries.size() - 1));
}

int ParseRange(const QString& AValue, int ALow, int AHigh, const char* AWhat) {
    bool ok = false;
    const int n = AValue.toInt(&ok);
    if (!ok || n < ALow || n > AHigh)
        UsageError(QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\".")
                       .arg(QLatin1String(AWhat))
                       .arg(ALow)
                       .arg(AHigh)
                       .arg(AValue));
    return n;
}

// "800M", "2.5G", "1500MB" or "3GiB": a size in bytes, decimal units as the messages give them,
// or binary ones with an i; a plain number is bytes. 0 when the text is none of these.
qint64 ParseSize(const QString& AValue) {
    static const QRegularExpression form(
        QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)?)\\s*(?:([kKMGT])(i?))?[bB]?\\s*$"));
    const QRegularExpressionMatch m = form.match(AValue);
    if (!m.hasMatch())
        return 0;
    double bytes = m.captured(1).toDouble();
    if (!m.captured(2).isEmpty()) {
        const int power = int(QStringLiteral("KMGT").indexOf(m.captured(2).toUpper())) + 1;
        bytes *= std::pow(m.captured(3).isEmpty() ? 1000.0 : 1024.0, power);
    }
    return bytes >= 1 && bytes < 9e18 ? qint64(bytes) : 0;
}

// A progress bar on stderr, redrawn only when the shown percentage changes; it also carries a
// stop signal to the engine.
class TTermProgress : public TProgress {
public:
    TTermProgress(QString ALabel, bool ADraw) : FLabel(std::move(ALabel)), FDraw(ADraw) {}
    ~TTermProgress() override {
        if (FShown >= 0)
            std::fputs("\r\033[K", stderr);
    }
    void setMaximum(double AMax) override { FMax = AMax; }
    bool isCanceled() const override { return gStopSignal != 0; }
    void setValue(double AValue) override {
        if (!FDraw || FMax <= 0 || AValue <= 0)
            return;
        const int pct = int(100 * AValue / FMax);
        if (pct == FShown)
            return;
        FShown = pct;
        const int filled = pct * 30 / 100;
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", qPrintable(FLabel), filled,
                     "##############################", 30 - filled, "", pct);
        std::fflush(stderr);
    }

private:
    QString FLabel;
    bool FDraw;
    double FMax = 0;
    int FShown = -1;
};

enum class OutKind { Svg, Png, Other };

OutKind KindOfFormat(const QString& AFormat) {
    return AFormat == u"svg" ? OutKind::Svg : AFormat == u"png" ? OutKind::Png : OutKind::Other;
}

// By the extension; standard output ("-") by --format.
OutKind KindOf(const QString& AFileName, const Options& AOpt) {
    if (AFileName == kStdStream)
        return KindOfFormat(AOpt.Format);
    const QString suffix = QFileInfo(AFileName).suffix();
    if (suffix.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
        return OutKind::Svg;
    if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return OutKind::Png;
    return OutKind::Other;
}

// What messages call INPUT or OUTPUT "-".
QString StreamName(const QString& AName, const char* AStream) {
    return AName == kStdStream ? QString::fromLatin1(AStream) : AName;
}

// Standard input ("-") as a file the loader reads by its content, as it reads any file whose
// extension it does not know. The copy has no name once it is open where the system allows
// (Linux), so that nothing is left behind however the program ends.
class TStdinCopy {
public:
    TStdinCopy() : FFile(QDir::temp().filePath(QStringLiteral("vorm-cli-stdin-XXXXXX"))) {}

    // Throws EVormError when standard input cannot be read or is larger than a picture file
    // may be.
    QString Copy() {
        if (!FFile.open())
            throw EVormError(
                QStringLiteral("Cannot read standard input: no temporary file can "
                               "be made in \"%1\" (%2).")
                    .arg(QDir::toNativeSeparators(QDir::tempPath()), FFile.errorString()));
        QString path = FFile.fileName();
        const QString unnamed = QStringLiteral("/proc/self/fd/%1").arg(FFile.handle());
        if (QFileInfo::exists(unnamed) && QFile::remove(path)) {
            FFile.setAutoRemove(false); // the name may be someone else's by then
            path = unnamed;
        }
        std::vector<char> buffer(size_t(1) << 20);
        qint64 total = 0;
        for (;;) {
            const size_t n = std::fread(buffer.data(), 1, buffer.size(), stdin);
            if (n == 0) {
                if (std::ferror(stdin))
                    throw EVormError(QStringLiteral("Cannot read standard input: %1.")
                                         .arg(QString::fromLocal8Bit(std::strerror(errno))));
                break;
            }
            total += qint64(n);
            if (total > kMaxPictureFileBytes)
                throw EVormError(QStringLiteral("Cannot read standard input: it holds more than "
                                                "%1, more than a picture file may.")
                                     .arg(BytesText(kMaxPictureFileBytes, false)));
            if (FFile.write(buffer.data(), qint64(n)) != qint64(n))
                throw EVormError(
                    QStringLiteral("Cannot read standard input: its copy in \"%1\" "
                                   "cannot be written (%2).")
                        .arg(QDir::toNativeSeparators(QDir::tempPath()), FFile.errorString()));
        }
        if (!FFile.flush())
            throw EVormError(
                QStringLiteral("Cannot read standard input: %1.").arg(FFile.errorString()));
        FPath = path;
        return path;
    }

    // AMessage with the copy's quoted name replaced by "standard input".
    QString Named(QString AMessage) const {
        if (!FPath.isEmpty())
            AMessage.replace('"' + QDir::toNativeSeparators(FPath) + '"',
                             QStringLiteral("standard input"));
        return AMessage;
    }

private:
    QTemporaryFile FFile;
    QString FPath;
};

// The picture in AInput, or on standard input for "-"; throws EVormError naming it.
QImage LoadInput(const QString& AInput, QString* AWarning) {
    if (AInput != kStdStream)
        return LoadPicture(AInput, AWarning);
    TStdinCopy copy;
    try {
        QImage picture = LoadPicture(copy.Copy(), AWarning);
        if (AWarning)
            *AWarning = copy.Named(*AWarning);
        return picture;
    } catch (const ECanceled&) {
        throw;
    } catch (const EVormError& e) {
        throw EVormError(copy.Named(e.message()));
    }
}

// Standard output, for OUTPUT "-": written as the mosaic is made.
void WriteStdout(const void* AData, qint64 ASize) {
    if (ASize > 0 && std::fwrite(AData, 1, size_t(ASize), stdout) != size_t(ASize))
        throw EVormError(QStringLiteral("Cannot write standard output: %1.")
                             .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void FlushStdout() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw EVormError(QStringLiteral("Cannot write standard output: %1.")
                             .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

// Tiles, samples and writes ASource, which it lets go once sampled: an SVG is written without
// painting anything, so that a large picture needs little memory beside its own bitmap.
void WriteMosaic(QImage ASource, const QString& AInput, const QString& AOutput,
                 const Options& AOpt) {
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const TColorEntry& color = kColors[size_t(AOpt.Color)];
    const float opacity = float(AOpt.Opacity / 100.0);
    TTermProgress progress(QFileInfo(StreamName(AInput, "standard input")).fileName(),
                           !AOpt.Quiet && IsTerminal(stderr));
    if (AOutput == kStdStream) {
        if (KindOf(AOutput, AOpt) == OutKind::Svg)
            MosaicWriteSvgTo(WriteStdout, shape.Init, float(AOpt.Cell), std::move(ASource),
                             color.Conv, opacity, &progress, IsOpaqueColorIndex(AOpt.Color),
                             AOpt.Maker);
        else
            MosaicWritePngTo(WriteStdout, QStringLiteral("standard output"), shape.Init,
                             float(AOpt.Cell), std::move(ASource), color.Conv, opacity, &progress,
                             AOpt.Compression, AOpt.Maker);
        FlushStdout();
        return;
    }
    if (KindOf(AOutput, AOpt) == OutKind::Svg) {
        MosaicWriteSvg(AOutput, shape.Init, float(AOpt.Cell), std::move(ASource), color.Conv,
                       opacity, &progress, IsOpaqueColorIndex(AOpt.Color), AOpt.Maker);
    } else {
        QImage painted;
        MosaicSavePng(AOutput, shape.Init, float(AOpt.Cell), std::move(ASource), painted,
                      color.Conv, opacity, &progress, AOpt.Compression, AOpt.Maker);
    }
}

// As WriteMosaic, from rows that come a band at a time: the mosaic is never held whole.
void StreamMosaic(TRowSource& ASource, const QString& AInput, const QString& AOutput,
                  const Options& AOpt) {
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const TColorEntry& color = kColors[size_t(AOpt.Color)];
    const float opacity = float(AOpt.Opacity / 100.0);
    TTermProgress progress(QFileInfo(AInput).fileName(), !AOpt.Quiet && IsTerminal(stderr));
    if (KindOf(AOutput, AOpt) == OutKind::Svg)
        StreamWriteSvg(AOutput, shape.Init, float(AOpt.Cell), ASource, color.Conv, opacity,
                       &progress, IsOpaqueColorIndex(AOpt.Color), AOpt.Maker);
    else
        StreamSavePng(AOutput, shape.Init, float(AOpt.Cell), ASource, color.Conv, opacity,
                      &progress, AOpt.Compression, AOpt.Maker);
}

// The picture's rows for the streaming path: a JPEG or PNG straight from its file, when that
// holds less than the whole picture would (always, but for small pictures); null otherwise.
std::unique_ptr<TRowSource> OpenRows(const QString& AInput, const QString& AOutput,
                                     const Options& AOpt) {
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const bool png = KindOf(AOutput, AOpt) != OutKind::Svg;
    const bool maker = AOpt.Maker.any();
    // The extension picks the codec family, as the loader has it.
    // Only regular files are read, and the loader says so for others.
    if (!CanStreamMosaic(shape.Init) || GetBitmapFileKind(AInput) != bfkPlatform ||
        IsSpecialFile(QFile::encodeName(AInput).toStdString()))
        return nullptr;
    const QSize size = QImageReader(AInput).size();
    if (!size.isValid() ||
        StreamMosaicBytes(shape.Init, float(AOpt.Cell), size.width(), size.height(), png, maker) >=
            ConversionBytes(size.width(), size.height()))
        return nullptr;
    auto held = [&](int W, int H) {
        return StreamMosaicBytes(shape.Init, float(AOpt.Cell), W, H, png, maker);
    };
    std::unique_ptr<TRowSource> rows = OpenJpegRows(AInput, held);
    if (!rows)
        rows = OpenPngRows(AInput, held);
    return rows;
}

// One conversion; throws EVormError with a message that names the file. An earlier file of the
// output's name is moved aside first, and gets its name back when nothing was written.
void Convert(const QString& AInput, const QString& AOutput, const Options& AOpt) {
    // Beside the picture, writing PNG holds the painted mosaic; writing SVG, nothing.
    SetConversionBitmaps(KindOf(AOutput, AOpt) == OutKind::Svg ? 0 : 1);
    // Standard input and output take the whole-picture drivers: only files stream.
    QString warning;
    std::unique_ptr<TRowSource> rows;
    if (AInput != kStdStream && AOutput != kStdStream)
        rows = OpenRows(AInput, AOutput, AOpt);
    // A streamed picture is warned about once its rows are read: only then is it known whether
    // it was read as far as it goes, or refused.
    QImage source;
    if (!rows)
        source = LoadInput(AInput, &warning);
    if (!warning.isEmpty())
        PrintErr(QStringLiteral("vorm-cli: warning: ") + warning);
    if (gStopSignal)
        throw ECanceled();
    if (AOutput == kStdStream) {
        // Nothing to move aside for the mosaic; the files beside it as always.
        for (const QString& side : AOpt.Maker.sideFiles())
            RenameExisting(side, [&AOpt](const QString& AOld, const QString& ANew) {
                if (!AOpt.Quiet)
                    PrintErr(RenameMessage(AOld, ANew, false));
            });
        WriteMosaic(std::move(source), AInput, AOutput, AOpt);
        return;
    }
    // The mosaic and the files beside it (a bill of materials, tiles, cut lines) alike.
    const QStringList outputs = QStringList{AOutput} + AOpt.Maker.sideFiles();
    QStringList movedTo;
    try {
        for (const QString& out : outputs)
            movedTo << RenameExisting(out, [&AOpt](const QString& AOld, const QString& ANew) {
                if (!AOpt.Quiet)
                    PrintErr(RenameMessage(AOld, ANew, false));
            });
        if (rows) {
            StreamMosaic(*rows, AInput, AOutput, AOpt);
            if (!rows->warning().isEmpty())
                PrintErr(QStringLiteral("vorm-cli: warning: ") + rows->warning());
        } else
            WriteMosaic(std::move(source), AInput, AOutput, AOpt);
    } catch (...) {
        for (qsizetype k = 0; k < movedTo.size(); ++k)
            if (PutBackEarlier(outputs[k], movedTo[k]))
                PrintErr(QStringLiteral("vorm-cli: \"%1\" has its name back.")
                             .arg(QDir::toNativeSeparators(outputs[k])));
        throw;
    }
}

// The options and their texts; the lists' names come from the catalog.
struct TCommandLine {
    QCommandLineParser Parser;
    QCommandLineOption Help{QStringList{"h", "help"}, "Show this help and exit."};
    QCommandLineOption Version{QStringList{"V", "version"}, "Show the version and exit."};
    QCommandLineOption Shape{"shape",
                             "Tile shape: " + ShapeKeysText() +
                                 QStringLiteral(", or 0 to %1.").arg(kShapes.size() - 1),
                             "S"};
    QCommandLineOption Cell{"cell", "Cell width in pixels, 2 to 4096 (default 16).", "N"};
    QCommandLineOption Color{"color",
                             "Colour treatment: " + ColorKeysText() +
                                 QStringLiteral(", or 0 to %1.").arg(kColors.size() - 1),
                             "C"};
    QCommandLineOption Opacity{"opacity", "Opacity in percent, 1 to 100 (default 100).", "P"};
    QCommandLineOption Compression{
        "png-compression",
        "PNG output: fast (default), or best for the smallest file at many times the time.", "K"};
    QCommandLineOption MemoryLimit{
        "memory-limit",
        QStringLiteral("Memory that converting a picture may take, as 800M or 2.5G; a larger "
                       "picture is refused before it is read (default: half of this machine's "
                       "memory, %1).")
            .arg(BytesText(DefaultMemoryLimit(), false)),
        "SIZE"};
    QCommandLineOption Quiet{QStringList{"q", "quiet"},
                             "Show no progress bar, and no notice of an earlier file moved aside."};
    QCommandLineOption Dir{"output-dir", "Batch mode: write the outputs into DIR.", "DIR"};
    TMakerCommandLine Maker;
    QCommandLineOption Format{"format",
                              "svg or png: the format of standard output (OUTPUT -) and of "
                              "batch mode.",
                              "F"};
    // For packagers: prints the shell completion script, made from the options below.
    QCommandLineOption Completion{"completion", "Print the shell completion script.", "SHELL"};

    // The options in the order of the help, which the shell completion offers too.
    QList<QCommandLineOption> Listed() const {
        return QList<QCommandLineOption>{Help,        Version,     Shape, Cell, Color, Opacity,
                                         MemoryLimit, Compression, Quiet, Dir,  Format} +
               Maker.listed();
    }

    // What the options' values complete to in the shell; one taking a value of the user's own
    // needs no line.
    TCompletionSpec CompletionSpec() const {
        return {QStringLiteral("vorm-cli"),
                Listed(),
                {{"shape", TValueCompletion::OneOf(ShapeKeys())},
                 {"color", TValueCompletion::OneOf(ColorKeys())},
                 {"png-compression", TValueCompletion::OneOf({"fast", "best"})},
                 {"output-dir", TValueCompletion::Folder()},
                 {"format", TValueCompletion::OneOf({"svg", "png"})},
                 {"palette", TValueCompletion::File()},
                 {"bom", TValueCompletion::File()},
                 {"tiles", TValueCompletion::File()},
                 {"cut-lines", TValueCompletion::File()}},
                QStringLiteral("picture")};
    }

    TCommandLine() {
        Parser.setApplicationDescription(QStringLiteral(
            "Turns a picture into a mosaic of flat-coloured polygons and saves it as SVG or PNG.\n"
            "An existing output file is moved aside to a numbered name, never overwritten."));
        for (const QCommandLineOption& o : Listed())
            Parser.addOption(o);
        Completion.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(Completion);
        Parser.addPositionalArgument(
            "INPUT", "Picture to convert: JPEG, PNG, GIF, BMP, PSD, TGA or HDR by its extension, "
                     "any other (WebP, TIFF, ...) that Qt's image plugins read by its content; - "
                     "reads standard input.");
        Parser.addPositionalArgument("OUTPUT",
                                     "Output file; its extension .svg or .png picks the format. - "
                                     "writes standard output, in the format --format gives.");
    }
};

Options ParseOptions(const TCommandLine& ACmd) {
    const QCommandLineParser& p = ACmd.Parser;
    Options opt;
    if (p.isSet(ACmd.Shape))
        opt.Shape = ParseChoice(p.value(ACmd.Shape), kShapes, "shape");
    if (p.isSet(ACmd.Cell))
        opt.Cell = ParseRange(p.value(ACmd.Cell), 2, 4096, "the cell width");
    if (p.isSet(ACmd.Color))
        opt.Color = ParseChoice(p.value(ACmd.Color), kColors, "colour treatment");
    if (p.isSet(ACmd.Opacity))
        opt.Opacity = ParseRange(p.value(ACmd.Opacity), 1, 100, "the opacity");
    if (p.isSet(ACmd.Compression)) {
        const QString k = p.value(ACmd.Compression).toLower();
        if (k == u"fast")
            opt.Compression = TPngCompression::Fast;
        else if (k == u"best")
            opt.Compression = TPngCompression::Best;
        else
            UsageError(QStringLiteral("--png-compression must be fast or best, not \"%1\".")
                           .arg(p.value(ACmd.Compression)));
    }
    opt.Quiet = p.isSet(ACmd.Quiet);
    if (p.isSet(ACmd.Format)) {
        opt.Format = p.value(ACmd.Format).toLower();
        if (KindOfFormat(opt.Format) == OutKind::Other)
            UsageError(QStringLiteral("--format must be svg or png."));
    }
    if (p.isSet(ACmd.MemoryLimit)) {
        const qint64 bytes = ParseSize(p.value(ACmd.MemoryLimit));
        if (bytes <= 0)
            UsageError(QStringLiteral("--memory-limit must be a size such as 800M or 2.5G, not "
                                      "\"%1\".")
                           .arg(p.value(ACmd.MemoryLimit)));
        SetMemoryLimit(bytes);
    }
    ParseMakerOptions(
        p, ACmd.Maker, kShapes[size_t(opt.Shape)].Init, float(opt.Cell),
        [](const QString& AText) { UsageError(AText); }, opt.Maker);
    return opt;
}

using TJobs = QList<QPair<QString, QString>>; // input and output

// Batch mode: every input into the folder, in the format given. Returns false when the folder
// cannot be made.
bool BatchJobs(const TCommandLine& ACmd, const Options& AOpt, const QStringList& AInputs,
               TJobs& AJobs) {
    const QCommandLineParser& p = ACmd.Parser;
    if (AOpt.Format.isEmpty())
        UsageError(QStringLiteral("--output-dir and --format go together."));
    const QString& format = AOpt.Format;
    if (AInputs.isEmpty())
        UsageError(QStringLiteral("no INPUT given."));
    if (AInputs.contains(kStdStream))
        UsageError(QStringLiteral("standard input (-) is read for a single INPUT and OUTPUT, not "
                                  "in batch mode."));
    const QString dir = p.value(ACmd.Dir);
    if (!QDir().mkpath(dir)) {
        PrintErr(QStringLiteral("vorm-cli: cannot create the folder \"%1\".").arg(dir));
        return false;
    }
    for (const QString& in : AInputs)
        AJobs.append({in, QDir(dir).filePath(QFileInfo(in).completeBaseName() + '.' + format)});
    return true;
}

void SingleJob(const QStringList& AArgs, const Options& AOpt, TJobs& AJobs) {
    if (AArgs.size() != 2)
        UsageError(QStringLiteral("expected INPUT and OUTPUT."));
    const QString& in = AArgs[0];
    const QString& out = AArgs[1];
    if (in == kStdStream && IsTerminal(stdin))
        UsageError(QStringLiteral("INPUT - reads standard input, which is a terminal: pipe a "
                                  "picture in, or name an INPUT file."));
    if (out == kStdStream) {
        if (AOpt.Format.isEmpty())
            UsageError(QStringLiteral("OUTPUT - writes standard output in the format that "
                                      "--format svg or --format png gives."));
        if (AOpt.Format == u"png" && IsTerminal(stdout))
            UsageError(QStringLiteral("standard output is a terminal, where no PNG is written: "
                                      "redirect it, or name an OUTPUT file."));
    } else if (KindOf(out, AOpt) == OutKind::Other) {
        UsageError(QStringLiteral("OUTPUT must end in .svg or .png: \"%1\".").arg(out));
    } else if (!AOpt.Format.isEmpty() && KindOf(out, AOpt) != KindOfFormat(AOpt.Format)) {
        UsageError(QStringLiteral("OUTPUT \"%1\" does not end in .%2, the format --format gives.")
                       .arg(out, AOpt.Format));
    }
    AJobs.append({in, out});
}

// Runs every job, reporting each failure, until a stop signal; returns how many failed. *ADone
// counts the jobs that ended, written or failed.
int RunJobs(const TJobs& AJobs, const Options& AOpt, int* ADone) {
    int failed = 0;
    *ADone = 0;
    for (const auto& [in, out] : AJobs) {
        if (gStopSignal)
            break;
        try {
            Convert(in, out, AOpt);
            if (gStopSignal) // it came after the file was in place: the save counts
                PrintErr(QStringLiteral("vorm-cli: stopped; \"%1\" was written before the stop "
                                        "request.")
                             .arg(QDir::toNativeSeparators(out)));
        } catch (const ECanceled&) {
            PrintErr(QStringLiteral("vorm-cli: interrupted; \"%1\" was not written.")
                         .arg(QDir::toNativeSeparators(StreamName(out, "standard output"))));
            return failed + 1;
        } catch (const EVormError& e) {
            PrintErr(QStringLiteral("vorm-cli: ") + e.message());
            ++failed;
        } catch (const std::exception& e) {
            PrintErr(QStringLiteral("vorm-cli: %1: %2").arg(in, QString::fromLocal8Bit(e.what())));
            ++failed;
        }
        ++*ADone;
    }
    return failed;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    // The decoders' own complaints ("libpng error: Read Error") say less than the messages here.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*.warning=false"));
    QCoreApplication::setApplicationName(QStringLiteral("vorm-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORM_VERSION));

    TCommandLine cmd;
    if (!cmd.Parser.parse(QCoreApplication::arguments()))
        UsageError(cmd.Parser.errorText());
    if (cmd.Parser.isSet(cmd.Help)) {
        std::fputs(qPrintable(cmd.Parser.helpText()), stdout);
        std::fputs(kExitStatus, stdout);
        return 0;
    }
    if (cmd.Parser.isSet(cmd.Version)) {
        std::printf("vorm-cli %s\n", VORM_VERSION);
        return 0;
    }
    if (cmd.Parser.isSet(cmd.Completion)) {
        const QString script =
            CompletionScript(cmd.Parser.value(cmd.Completion), cmd.CompletionSpec());
        if (script.isEmpty())
            UsageError(QStringLiteral("--completion must be %1.").arg(CompletionShellsText()));
        std::fputs(qPrintable(script), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    if (cmd.Parser.isSet(cmd.Maker.ListPalettes)) {
        std::fputs(qPrintable(PaletteListText()), stdout);
        return 0;
    }
    Options opt;
    try {
        opt = ParseOptions(cmd);
    } catch (const EVormError& e) { // a palette that cannot be read
        PrintErr(QStringLiteral("vorm-cli: ") + e.message());
        return 1;
    }
    const QStringList args = cmd.Parser.positionalArguments();
    TJobs jobs;
    if (cmd.Parser.isSet(cmd.Dir)) {
        if (!BatchJobs(cmd, opt, args, jobs))
            return 1;
    } else {
        SingleJob(args, opt, jobs);
    }
    if (jobs.size() > 1 && !opt.Maker.sideFiles().isEmpty())
        UsageError(QStringLiteral("--bom, --tiles and --cut-lines take a single INPUT."));
    for (const auto& job : jobs)
        for (const QString& side : opt.Maker.sideFiles())
            if (QFileInfo(side).absoluteFilePath() == QFileInfo(job.second).absoluteFilePath() ||
                opt.Maker.sideFiles().count(side) > 1)
                UsageError(QStringLiteral("\"%1\" is named for two outputs.").arg(side));
    SetStopBeforePublish(StopRequested);
    if (!opt.Quiet)
        SetPublishRenameNotify([](const QString& AOld, const QString& ANew) {
            PrintErr(RenameMessage(AOld, ANew, false));
        });
    int done = 0;
    const int failed = RunJobs(jobs, opt, &done);
    // The status says what happened to the files: a stop that left a job undone is reported as
    // the shell reports a program the signal ended; one that came after the last file was
    // published is not.
    if (gStopSignal && done < int(jobs.size()))
        return 128 + gStopSignal;
    return failed ? 1 : 0;
}
