// vorm-cli: the headless converter. It runs the same engine and drivers as the window.
#include "bitmap_ex.h"
#include "catalog.h"
#include "drivers.h"
#include "file_names.h"
#include "platform.h"
#include "vorm_error.h"
#include "vorm_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: vorm-cli [--shape S] [--cell N] [--color C] [--opacity P] [--quiet] INPUT OUTPUT\n"
    "       vorm-cli [options] --output-dir DIR --format svg|png INPUT...\n"
    "Try 'vorm-cli --help' for more information.\n";

struct Options {
    int Shape = 0;
    int Cell = 16;
    int Color = 0;
    int Opacity = 100;
    bool Quiet = false;
};

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

// A progress bar on stderr, redrawn only when the shown percentage changes.
class TTermProgress : public TProgress {
public:
    explicit TTermProgress(QString ALabel) : FLabel(std::move(ALabel)) {}
    ~TTermProgress() override {
        if (FShown >= 0)
            std::fputs("\r\033[K", stderr);
    }
    void setMaximum(double AMax) override { FMax = AMax; }
    void setValue(double AValue) override {
        if (FMax <= 0 || AValue <= 0)
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

// One conversion; throws EVormError with a message that names the file.
void Convert(const QString& AInput, const QString& AOutput, const Options& AOpt) {
    const QImage source = LoadPicture(AInput);
    RenameExisting(AOutput, [](const QString& AOld, const QString& ANew) {
        PrintErr(RenameMessage(AOld, ANew, false));
    });
    const TShapeEntry& shape = kShapes[size_t(AOpt.Shape)];
    const TColorEntry& color = kColors[size_t(AOpt.Color)];
    const float opacity = float(AOpt.Opacity / 100.0);
    const bool tty = !AOpt.Quiet && IsTerminal(stderr);
    TTermProgress progress(QFileInfo(AInput).fileName());
    QImage painted;
    if (KindOf(AOutput) == OutKind::Svg)
        MosaicSaveSvg(AOutput, shape.Init, float(AOpt.Cell), source, painted, color.Conv, opacity,
                      tty ? &progress : nullptr, IsOpaqueColorIndex(AOpt.Color));
    else
        MosaicSavePng(AOutput, shape.Init, float(AOpt.Cell), source, painted, color.Conv, opacity,
                      tty ? &progress : nullptr);
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
    QCommandLineOption Quiet{"quiet", "Show no progress bar."};
    QCommandLineOption Dir{"output-dir", "Batch mode: write the outputs into DIR.", "DIR"};
    QCommandLineOption Format{"format", "Batch mode: svg or png.", "F"};

    TCommandLine() {
        Parser.setApplicationDescription(QStringLiteral(
            "Turns a picture into a mosaic of flat-coloured polygons and saves it as SVG or PNG.\n"
            "An existing output file is moved aside to a numbered name, never overwritten."));
        for (const auto* o :
             {&Help, &Version, &Shape, &Cell, &Color, &Opacity, &Quiet, &Dir, &Format})
            Parser.addOption(*o);
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
    opt.Quiet = p.isSet(ACmd.Quiet);
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

// Runs every job, reporting each failure; returns how many failed.
int RunJobs(const TJobs& AJobs, const Options& AOpt) {
    int failed = 0;
    for (const auto& [in, out] : AJobs) {
        try {
            Convert(in, out, AOpt);
        } catch (const EVormError& e) {
            PrintErr(QStringLiteral("vorm-cli: ") + e.message());
            ++failed;
        } catch (const std::exception& e) {
            PrintErr(QStringLiteral("vorm-cli: %1: %2").arg(in, QString::fromLocal8Bit(e.what())));
            ++failed;
        }
    }
    return failed;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
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

    const Options opt = ParseOptions(cmd);
    const QStringList args = cmd.Parser.positionalArguments();
    TJobs jobs;
    if (cmd.Parser.isSet(cmd.Dir) || cmd.Parser.isSet(cmd.Format)) {
        if (!BatchJobs(cmd, args, jobs))
            return 1;
    } else {
        SingleJob(args, jobs);
    }
    return RunJobs(jobs, opt) ? 1 : 0;
}
