// vorm-cli: the headless converter. It runs the same engine and drivers as the window.
#include "bitmap_ex.h"
#include "catalog.h"
#include "drivers.h"
#include "file_names.h"
#include "vorm_error.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

namespace {

const char kUsage[] =
    "Usage: vorm-cli [--shape S] [--cell N] [--color C] [--opacity P] [--png-compression K]\n"
    "                [--quiet] INPUT OUTPUT\n"
    "       vorm-cli [options] --output-dir DIR --format svg|png INPUT...\n"
    "Try 'vorm-cli --help' for more information.\n";

struct Options {
    int Shape = 0;
    int Cell = 16;
    int Color = 0;
    int Opacity = 100;
    TPngCompression Compression = TPngCompression::Fast;
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

QImage LoadPicture(const QString& AFileName) {
    TFMXBitmapEx bitmap;
    if (!bitmap.LoadFromFileEx(AFileName, 0))
        throw EVormError(bitmap.LastError());
    return std::move(bitmap.Bitmap());
}

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
    const bool tty = !AOpt.Quiet && isatty(fileno(stderr));
    TTermProgress progress(QFileInfo(AInput).fileName());
    QImage painted;
    if (KindOf(AOutput) == OutKind::Svg)
        MosaicSaveSvg(AOutput, shape.Init, float(AOpt.Cell), source, painted, color.Conv, opacity,
                      tty ? &progress : nullptr, IsOpaqueColorIndex(AOpt.Color));
    else
        MosaicSavePng(AOutput, shape.Init, float(AOpt.Cell), source, painted, color.Conv, opacity,
                      tty ? &progress : nullptr, AOpt.Compression);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorm-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORM_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Turns a picture into a mosaic of flat-coloured polygons and saves it as SVG or PNG.\n"
        "An existing output file is moved aside to a numbered name, never overwritten."));
    const QCommandLineOption helpOpt(QStringList{"h", "help"}, "Show this help and exit.");
    const QCommandLineOption versionOpt(QStringList{"version"}, "Show the version and exit.");
    const QCommandLineOption shapeOpt(
        "shape",
        "Tile shape: equilateral-triangle-1 (default), equilateral-triangle-2, "
        "isosceles-right-triangle-1, isosceles-right-triangle-2, square, square-alternate, "
        "hexagon, or 0 to 6.",
        "S");
    const QCommandLineOption cellOpt("cell", "Cell width in pixels, 2 to 4096 (default 16).", "N");
    const QCommandLineOption colorOpt(
        "color",
        "Colour treatment: color (default), color-alpha-white, color-alpha-black, "
        "color-alpha-gray, color-self-alpha, gray, gray-alpha-white, gray-alpha-black, "
        "gray-alpha-gray, gray-self-alpha, or 0 to 9.",
        "C");
    const QCommandLineOption opacityOpt("opacity", "Opacity in percent, 1 to 100 (default 100).",
                                        "P");
    const QCommandLineOption compressionOpt(
        "png-compression",
        "PNG output: fast (default), or best for the smallest file at many times the time.", "K");
    const QCommandLineOption quietOpt("quiet", "Show no progress bar.");
    const QCommandLineOption dirOpt("output-dir", "Batch mode: write the outputs into DIR.", "DIR");
    const QCommandLineOption formatOpt("format", "Batch mode: svg or png.", "F");
    for (const auto* o : {&helpOpt, &versionOpt, &shapeOpt, &cellOpt, &colorOpt, &opacityOpt,
                          &compressionOpt, &quietOpt, &dirOpt, &formatOpt})
        parser.addOption(*o);
    parser.addPositionalArgument("INPUT",
                                 "Picture to convert (JPEG, PNG, GIF, BMP, PSD, TGA or HDR).");
    parser.addPositionalArgument("OUTPUT",
                                 "Output file; its extension .svg or .png picks the format.");

    if (!parser.parse(QCoreApplication::arguments()))
        UsageError(parser.errorText());
    if (parser.isSet(helpOpt)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(versionOpt)) {
        std::printf("vorm-cli %s\n", VORM_VERSION);
        return 0;
    }

    Options opt;
    if (parser.isSet(shapeOpt))
        opt.Shape = ParseChoice(parser.value(shapeOpt), kShapes, "shape");
    if (parser.isSet(cellOpt))
        opt.Cell = ParseRange(parser.value(cellOpt), 2, 4096, "the cell width");
    if (parser.isSet(colorOpt))
        opt.Color = ParseChoice(parser.value(colorOpt), kColors, "colour treatment");
    if (parser.isSet(opacityOpt))
        opt.Opacity = ParseRange(parser.value(opacityOpt), 1, 100, "the opacity");
    if (parser.isSet(compressionOpt)) {
        const QString k = parser.value(compressionOpt).toLower();
        if (k == u"fast")
            opt.Compression = TPngCompression::Fast;
        else if (k == u"best")
            opt.Compression = TPngCompression::Best;
        else
            UsageError(QStringLiteral("--png-compression must be fast or best, not \"%1\".")
                           .arg(parser.value(compressionOpt)));
    }
    opt.Quiet = parser.isSet(quietOpt);

    const QStringList args = parser.positionalArguments();
    QList<QPair<QString, QString>> jobs;
    if (parser.isSet(dirOpt) || parser.isSet(formatOpt)) {
        if (!parser.isSet(dirOpt) || !parser.isSet(formatOpt))
            UsageError(QStringLiteral("--output-dir and --format go together."));
        const QString format = parser.value(formatOpt).toLower();
        if (format != u"svg" && format != u"png")
            UsageError(QStringLiteral("--format must be svg or png."));
        if (args.isEmpty())
            UsageError(QStringLiteral("no INPUT given."));
        const QString dir = parser.value(dirOpt);
        if (!QDir().mkpath(dir)) {
            PrintErr(QStringLiteral("vorm-cli: cannot create the folder \"%1\".").arg(dir));
            return 1;
        }
        for (const QString& in : args)
            jobs.append({in, QDir(dir).filePath(QFileInfo(in).completeBaseName() + '.' + format)});
    } else {
        if (args.size() != 2)
            UsageError(QStringLiteral("expected INPUT and OUTPUT."));
        if (KindOf(args[1]) == OutKind::Other)
            UsageError(QStringLiteral("OUTPUT must end in .svg or .png: \"%1\".").arg(args[1]));
        jobs.append({args[0], args[1]});
    }

    int failed = 0;
    for (const auto& [in, out] : jobs) {
        try {
            Convert(in, out, opt);
        } catch (const EVormError& e) {
            PrintErr(QStringLiteral("vorm-cli: ") + e.message());
            ++failed;
        } catch (const std::exception& e) {
            PrintErr(QStringLiteral("vorm-cli: %1: %2").arg(in, QString::fromLocal8Bit(e.what())));
            ++failed;
        }
    }
    return failed ? 1 : 0;
}
