#include "maker_cli.h"

#include "vorm_error.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

QList<QCommandLineOption> TMakerCommandLine::listed() const {
    return {Palette, ListPalettes, Colors, Dither, Grout,   GroutColor,
            Outline, OutlineColor, Bom,    Tiles,  CutLines};
}

namespace {

bool HasSuffix(const QString& AFile, std::initializer_list<const char*> ASuffixes) {
    const QString s = QFileInfo(AFile).suffix();
    for (const char* x : ASuffixes)
        if (s.compare(QLatin1String(x), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

void ParseMakerOptions(const QCommandLineParser& p, const TMakerCommandLine& c,
                       TBitmapToItemXsInit AInit, float ACell,
                       const std::function<void(const QString&)>& AUsageError,
                       TMakerOptions& AOut) {
    auto width = [&](const QCommandLineOption& o, const char* AName) {
        bool ok = false;
        const double v = p.value(o).toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < 0 || v > 4096)
            AUsageError(
                QStringLiteral("--%1 must be a number of pixels from 0 to 4096, not \"%2\".")
                    .arg(QLatin1String(AName), p.value(o)));
        return v;
    };
    auto color = [&](const QCommandLineOption& o, const char* AName, bool ATransparent) {
        TAlphaColor v = 0;
        if (!ParseMakerColor(p.value(o), v) ||
            (!ATransparent &&
             p.value(o).trimmed().compare(QLatin1String("transparent"), Qt::CaseInsensitive) == 0))
            AUsageError(QStringLiteral("--%1 must be #RRGGBB or #RRGGBBAA%2, not \"%3\".")
                            .arg(QLatin1String(AName),
                                 ATransparent ? QStringLiteral(" or transparent") : QString(),
                                 p.value(o)));
        return v;
    };
    if (p.isSet(c.Colors)) {
        bool ok = false;
        const int n = p.value(c.Colors).toInt(&ok);
        if (!ok || n < 2 || n > 256)
            AUsageError(QStringLiteral("--colors must be a whole number from 2 to 256, not \"%1\".")
                            .arg(p.value(c.Colors)));
        AOut.Colors = n;
    }
    if (p.isSet(c.Grout))
        AOut.Grout = width(c.Grout, "grout");
    if (p.isSet(c.GroutColor))
        AOut.GroutColor = color(c.GroutColor, "grout-color", true);
    if (p.isSet(c.Outline))
        AOut.Outline = width(c.Outline, "outline");
    if (p.isSet(c.OutlineColor))
        AOut.OutlineColor = color(c.OutlineColor, "outline-color", false);
    AOut.Dither = p.isSet(c.Dither);
    if (p.isSet(c.Bom)) {
        AOut.BomFile = p.value(c.Bom);
        if (!HasSuffix(AOut.BomFile, {"csv", "json"}))
            AUsageError(QStringLiteral("--bom must name a .csv or .json file, not \"%1\".")
                            .arg(AOut.BomFile));
    }
    if (p.isSet(c.Tiles)) {
        AOut.TilesFile = p.value(c.Tiles);
        if (!HasSuffix(AOut.TilesFile, {"json"}))
            AUsageError(
                QStringLiteral("--tiles must name a .json file, not \"%1\".").arg(AOut.TilesFile));
    }
    if (p.isSet(c.CutLines)) {
        AOut.CutLinesFile = p.value(c.CutLines);
        if (!HasSuffix(AOut.CutLinesFile, {"svg"}))
            AUsageError(QStringLiteral("--cut-lines must name a .svg file, not \"%1\".")
                            .arg(AOut.CutLinesFile));
    }
    if (AOut.Dither && !p.isSet(c.Palette) && AOut.Colors == 0)
        AUsageError(QStringLiteral("--dither needs --palette or --colors."));
    if (!GroutLeavesTiles(AInit, ACell, AOut.Grout))
        AUsageError(QStringLiteral("a grout of %1 pixels leaves nothing of tiles of cell %2; "
                                   "make it smaller.")
                        .arg(AOut.Grout)
                        .arg(ACell));
    // Read last, once every value is known to make sense: a palette that cannot be read is a
    // failure (exit 1), not a mistake on the command line.
    if (p.isSet(c.Palette))
        AOut.Palette = ResolvePalette(p.value(c.Palette));
}

QString PaletteListText() {
    QString out;
    const QStringList folders = PaletteFolders();
    if (folders.isEmpty())
        return QStringLiteral("No palette folders found.\n");
    for (const TPaletteListing& l : ListPalettes()) {
        const QString what = l.Colors >= 0 ? QStringLiteral("%1 colours").arg(l.Colors)
                                           : QStringLiteral("unreadable");
        out += QStringLiteral("%1  %2  %3\n")
                   .arg(l.Name, -24)
                   .arg(what, -12)
                   .arg(QDir::toNativeSeparators(l.File));
    }
    out += QStringLiteral("Searched: %1\n").arg(folders.join(QStringLiteral(", ")));
    return out;
}
