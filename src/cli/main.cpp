// vorm-cli: the headless converter. It runs the same engine and drivers as the window.
#include "atomic_file.h"
#include "bitmap_ex.h"
#include "catalog.h"
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
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: vorm-cli [--shape S] [--cell N] [--color C] [--opacity P] [--memory-limit SIZE]\n"
    "                [--png-compression K] [--quiet] [maker options] INPUT OUTPUT\n"
    "       vorm-cli [options] --output-dir DIR --format svg|png INPUT...\n"
    "Try 'vorm-cli --help' for more information.\n";

struct Options {
    int Shape = 0;
    int Cell = 16;
    int Color = 0;
    int Opacity = 100;
    TPngCompression Compression = TPngCompression::Fast;
    bool Quiet = false;
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

OutKind KindOf(const QString& AFileName) {
    const QString suffix = QFileInfo(AFileName).suffix();
    if (suffix.compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
        return OutKind::Svg;
    if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return OutKind::Png;
    return OutKind::Other;
}

// Tiles, samples and writes ASource, which it lets go once sampled: an SVG is written without
// painting anything, so that a large picture needs little memory beside its own bitmap.
void WriteMosaic(QImage ASource, const QString& AInput, const QString& AOutput,
                 const Options& AOpt) {
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const TColorEntry& color = kColors[size_t(AOpt.Color)];
    const float opacity = float(AOpt.Opacity / 100.0);
    TTermProgress progress(QFileInfo(AInput).fileName(), !AOpt.Quiet && IsTerminal(stderr));
    if (KindOf(AOutput) == OutKind::Svg) {
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
    if (KindOf(AOutput) == OutKind::Svg)
        StreamWriteSvg(AOutput, shape.Init, float(AOpt.Cell), ASource, color.Conv, opacity,
                       &progress, IsOpaqueColorIndex(AOpt.Color));
    else
        StreamSavePng(AOutput, shape.Init, float(AOpt.Cell), ASource, color.Conv, opacity,
                      &progress, AOpt.Compression);
}

// The picture's rows for the streaming path: a JPEG or PNG straight from its file, when that
// holds less than the whole picture would (always, but for small pictures); null otherwise.
std::unique_ptr<TRowSource> OpenRows(const QString& AInput, const QString& AOutput,
                                     const Options& AOpt) {
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const bool png = KindOf(AOutput) != OutKind::Svg;
    // The extension picks the codec family, as the loader has it.
    // Only regular files are read, and the loader says so for others.
    if (!CanStreamMosaic(shape.Init) || GetBitmapFileKind(AInput) != bfkPlatform ||
        IsSpecialFile(QFile::encodeName(AInput).toStdString()))
        return nullptr;
    const QSize size = QImageReader(AInput).size();
    if (!size.isValid() ||
        StreamMosaicBytes(shape.Init, float(AOpt.Cell), size.width(), size.height(), png) >=
            ConversionBytes(size.width(), size.height()))
        return nullptr;
    auto held = [&](int W, int H) {
        return StreamMosaicBytes(shape.Init, float(AOpt.Cell), W, H, png);
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
    SetConversionBitmaps(KindOf(AOutput) == OutKind::Svg ? 0 : 1);
    // The maker options need the whole tile array: they take the whole-picture drivers.
    QString warning;
    std::unique_ptr<TRowSource> rows;
    if (!AOpt.Maker.any())
        rows = OpenRows(AInput, AOutput, AOpt);
    QImage source;
    if (rows)
        warning = rows->warning();
    else
        source = LoadPicture(AInput, &warning);
    if (!warning.isEmpty())
        PrintErr(QStringLiteral("vorm-cli: warning: ") + warning);
    if (gStopSignal)
        throw ECanceled();
    // The mosaic and the files beside it (a bill of materials, tiles, cut lines) alike.
    const QStringList outputs = QStringList{AOutput} + AOpt.Maker.sideFiles();
    QStringList movedTo;
    try {
        for (const QString& out : outputs)
            movedTo << RenameExisting(out, [](const QString& AOld, const QString& ANew) {
                PrintErr(RenameMessage(AOld, ANew, false));
            });
        if (rows) {
            StreamMosaic(*rows, AInput, AOutput, AOpt);
            // A PNG cut short tells how far it went once its rows are read.
            if (warning.isEmpty() && !rows->warning().isEmpty())
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
    QCommandLineOption Version{QStringList{"version"}, "Show the version and exit."};
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
    QCommandLineOption Quiet{"quiet", "Show no progress bar."};
    QCommandLineOption Dir{"output-dir", "Batch mode: write the outputs into DIR.", "DIR"};
    QCommandLineOption Format{"format", "Batch mode: svg or png.", "F"};
    TMakerCommandLine Maker;

    TCommandLine() {
        Parser.setApplicationDescription(QStringLiteral(
            "Turns a picture into a mosaic of flat-coloured polygons and saves it as SVG or PNG.\n"
            "An existing output file is moved aside to a numbered name, never overwritten."));
        for (const auto* o : {&Help, &Version, &Shape, &Cell, &Color, &Opacity, &MemoryLimit,
                              &Compression, &Quiet, &Dir, &Format})
            Parser.addOption(*o);
        Maker.addTo(Parser);
        Parser.addPositionalArgument("INPUT",
                                     "Picture to convert (JPEG, PNG, GIF, BMP, PSD, TGA or HDR).");
        Parser.addPositionalArgument("OUTPUT",
                                     "Output file; its extension .svg or .png picks the format.");
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
bool BatchJobs(const TCommandLine& ACmd, const QStringList& AInputs, TJobs& AJobs) {
    const QCommandLineParser& p = ACmd.Parser;
    if (!p.isSet(ACmd.Dir) || !p.isSet(ACmd.Format))
        UsageError(QStringLiteral("--output-dir and --format go together."));
    const QString format = p.value(ACmd.Format).toLower();
    if (format != u"svg" && format != u"png")
        UsageError(QStringLiteral("--format must be svg or png."));
    if (AInputs.isEmpty())
        UsageError(QStringLiteral("no INPUT given."));
    const QString dir = p.value(ACmd.Dir);
    if (!QDir().mkpath(dir)) {
        PrintErr(QStringLiteral("vorm-cli: cannot create the folder \"%1\".").arg(dir));
        return false;
    }
    for (const QString& in : AInputs)
        AJobs.append({in, QDir(dir).filePath(QFileInfo(in).completeBaseName() + '.' + format)});
    return true;
}

void SingleJob(const QStringList& AArgs, TJobs& AJobs) {
    if (AArgs.size() != 2)
        UsageError(QStringLiteral("expected INPUT and OUTPUT."));
    if (KindOf(AArgs[1]) == OutKind::Other)
        UsageError(QStringLiteral("OUTPUT must end in .svg or .png: \"%1\".").arg(AArgs[1]));
    AJobs.append({AArgs[0], AArgs[1]});
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
                         .arg(QDir::toNativeSeparators(out)));
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
        return 0;
    }
    if (cmd.Parser.isSet(cmd.Version)) {
        std::printf("vorm-cli %s\n", VORM_VERSION);
        return 0;
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
    if (cmd.Parser.isSet(cmd.Dir) || cmd.Parser.isSet(cmd.Format)) {
        if (!BatchJobs(cmd, args, jobs))
            return 1;
    } else {
        SingleJob(args, jobs);
    }
    if (jobs.size() > 1 && !opt.Maker.sideFiles().isEmpty())
        UsageError(QStringLiteral("--bom, --tiles and --cut-lines take a single INPUT."));
    for (const auto& job : jobs)
        for (const QString& side : opt.Maker.sideFiles())
            if (QFileInfo(side).absoluteFilePath() == QFileInfo(job.second).absoluteFilePath() ||
                opt.Maker.sideFiles().count(side) > 1)
                UsageError(QStringLiteral("\"%1\" is named for two outputs.").arg(side));
    SetStopBeforePublish(StopRequested);
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
