// vorm-bench-stream: vorm-cli's whole conversion of real pictures, to PNG and to SVG, beside
// libvips pixelating the same picture (shrink by the cell, then zoom back, to a PNG at zlib
// level 1), each run as its own process, in turn, with the best wall time and the largest peak
// memory (resident set, from GNU time) of a few runs. libvips' column is left out when `vips`
// is not installed.
//   vorm-bench-stream [--cli=PATH] [--runs=N] [--cell=N] [--shapes=hexagon,...] PICTURE...
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

struct TRun {
    double Seconds = 1e30;
    double PeakMB = 0;
    bool Ok = true;
};

// Runs AProgram under GNU time: its wall time, and its peak resident memory.
TRun RunOnce(const QString& AProgram, const QStringList& AArgs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("/usr/bin/time"),
            QStringList{"-f", "vorm-bench-rss %M", AProgram} + AArgs);
    p.waitForFinished(-1);
    TRun r;
    r.Seconds = double(t.nsecsElapsed()) / 1e9;
    r.Ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    const qsizetype at = err.lastIndexOf(QStringLiteral("vorm-bench-rss "));
    if (at >= 0)
        r.PeakMB = err.mid(at + 15).trimmed().toDouble() * 1024 / 1e6;
    if (!r.Ok)
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(AProgram), qPrintable(err));
    return r;
}

// The best time and the largest peak of ARuns runs; AClean runs before each.
template <typename Clean>
TRun Best(int ARuns, const Clean& AClean, const QList<std::pair<QString, QStringList>>& ASteps) {
    TRun best;
    for (int i = 0; i < ARuns; ++i) {
        AClean();
        TRun total{0, 0, true};
        for (const auto& [program, args] : ASteps) {
            const TRun r = RunOnce(program, args);
            total.Seconds += r.Seconds;
            total.PeakMB = std::max(total.PeakMB, r.PeakMB);
            total.Ok = total.Ok && r.Ok;
        }
        best.Seconds = std::min(best.Seconds, total.Seconds);
        best.PeakMB = std::max(best.PeakMB, total.PeakMB);
        best.Ok = best.Ok && total.Ok;
    }
    return best;
}

QString Cell(const TRun& r, bool ATime) {
    if (!r.Ok)
        return QStringLiteral("failed");
    return ATime ? QString::number(r.Seconds, 'f', 2) + " s"
                 : QString::number(r.PeakMB, 'f', 0) + " MB";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString cli = QDir(QCoreApplication::applicationDirPath()).filePath("../src/cli/vorm-cli");
    int runs = 3;
    QString cell = QStringLiteral("16");
    QStringList shapes{QStringLiteral("hexagon"), QStringLiteral("equilateral-triangle-1")};
    QStringList pictures;
    for (const QString& a : QCoreApplication::arguments().mid(1)) {
        if (a.startsWith("--cli="))
            cli = a.mid(6);
        else if (a.startsWith("--runs="))
            runs = std::max(1, a.mid(7).toInt());
        else if (a.startsWith("--cell="))
            cell = a.mid(7);
        else if (a.startsWith("--shapes="))
            shapes = a.mid(9).split(',');
        else
            pictures << a;
    }
    if (pictures.isEmpty()) {
        std::fputs("usage: vorm-bench-stream [--cli=PATH] [--runs=N] [--cell=N] "
                   "[--shapes=S,...] PICTURE...\n",
                   stderr);
        return 2;
    }
    if (!QFileInfo(QStringLiteral("/usr/bin/time")).isExecutable()) {
        std::fputs("vorm-bench-stream needs GNU time (/usr/bin/time)\n", stderr);
        return 2;
    }
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    QTemporaryDir dir;
    const QString png = dir.filePath("out.png"), svg = dir.filePath("out.svg");
    const QString shrunk = dir.filePath("shrunk.v"), vipsPng = dir.filePath("vips.png");
    auto clean = [&] {
        for (const QString& f : {png, svg, shrunk, vipsPng})
            QFile::remove(f);
    };
    std::printf("| Picture | Shape | vorm-cli → PNG | vorm-cli → SVG | libvips | vorm peak (PNG / "
                "SVG) | libvips peak |\n|---|---|---|---|---|---|---|\n");
    for (const QString& picture : pictures) {
        TRun v{0, 0, false};
        if (!vips.isEmpty())
            v = Best(runs, clean,
                     {{vips, {"shrink", picture, shrunk, cell, cell}},
                      {vips, {"zoom", shrunk, vipsPng + "[compression=1]", cell, cell}}});
        for (const QString& shape : shapes) {
            const QStringList common{"--quiet", "--shape", shape, "--cell", cell, picture};
            const TRun p = Best(runs, clean, {{cli, common + QStringList{png}}});
            const TRun s = Best(runs, clean, {{cli, common + QStringList{svg}}});
            std::printf("| %s | %s | %s | %s | %s | %s / %s | %s |\n",
                        qPrintable(QFileInfo(picture).fileName()), qPrintable(shape),
                        qPrintable(Cell(p, true)), qPrintable(Cell(s, true)),
                        qPrintable(vips.isEmpty() ? QStringLiteral("–") : Cell(v, true)),
                        qPrintable(Cell(p, false)), qPrintable(Cell(s, false)),
                        qPrintable(vips.isEmpty() ? QStringLiteral("–") : Cell(v, false)));
            std::fflush(stdout);
        }
    }
    clean();
    return 0;
}
