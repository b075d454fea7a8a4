#include "catalog.h"
#include "svg.h"
#include "test_support.h"
#include "tilings.h"
#include "treatments.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Svg, FormatFixedRoundsHalvesAwayFromZero) {
    const struct {
        float v;
        int Decimals;
        const char* Expected;
    } cases[] = {
        {-32, 1, "-32.0"},
        {55.425625f, 1, "55.4"},
        {0.25f, 1, "0.3"},
        {-0.25f, 1, "-0.3"},
        {0.35f, 1, "0.3"},
        {0.45f, 1, "0.4"},
        {9.96f, 1, "10.0"},
        {0, 1, "0.0"},
        {110.85125f, 1, "110.9"},
        {-55.425625f, 1, "-55.4"},
        {1e9f, 1, "1000000000.0"},
        {0.75f, 2, "0.75"},
        {0.125f, 2, "0.13"},
        {0.50196081f, 2, "0.50"},
        {1, 2, "1.00"},
        {0.74901962f, 2, "0.75"},
        {0.49803922f, 2, "0.50"},
        {0.005f, 2, "0.00"} /* 0.0049999999 */,
        {2.5f, 0, "3"},
        {1e-30f, 1, "0.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFixed(c.v, c.Decimals), c.Expected) << c.v << " %." << c.Decimals << "f";
}

std::string SquareDocument(TColorConv AConv, bool AOpaque) {
    const QImage img = SolidImage(100, 70, qRgba(200, 100, 50, 255));
    TItemXs items;
    InitSquare(img, 64, items);
    for (TItemX& t : items)
        t = WithSquare(MeanTile(200, 100, 50), t.Points[0].X, t.Points[0].Y, t.Points[2].X,
                       t.Points[2].Y);
    items.back().Count = 0;
    return ItemXsSvgText(items, 300, 200, AConv, 1.0f, AOpaque);
}

TEST(Svg, DocumentForOpaqueTreatment) {
    const std::string doc = SquareDocument(ConvColor, true);
    const std::string head =
        "<svg version=\"1.0\" xmlns=\"http://www.w3.org/2000/svg\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"300px\" height=\"200px\" "
        "viewBox=\"0 0 300 200\" preserveAspectRatio=\"none\">"
        "<!-- Generator: ORVANTE VORM 1.0, SVG Export -->"
        "<g shape-rendering=\"crispEdges\" fill-opacity=\"1.00\">"
        "<path fill=\"#C86432\" d=\"M0.0,0.0 L64.0,0.0 L64.0,64.0 L0.0,64.0 z\" />"
        "<path fill=\"#C86432\" d=\"M64.0,0.0 L128.0,0.0 L128.0,64.0 L64.0,64.0 z\" />"
        "<path fill=\"#C86432\" d=\"M0.0,64.0 L64.0,64.0 L64.0,128.0 L0.0,128.0 z\" />";
    EXPECT_EQ(doc, head + "</g></svg>\r\n"); // the fourth tile is empty: no path
    EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 1);
}

TEST(Svg, DocumentForTranslucentTreatment) {
    const std::string doc = SquareDocument(ConvColorAlphaWhite, false);
    EXPECT_NE(doc.find("<g shape-rendering=\"crispEdges\"><path fill=\"#C86432\" "
                       "fill-opacity=\"0.75\" d=\"M0.0,0.0 L64.0,0.0 L64.0,64.0 L0.0,64.0 z\" />"),
              std::string::npos);
}

TEST(Svg, HexagonAndOpacities) {
    const QImage img = SolidImage(100, 100, qRgba(255, 255, 255, 255));
    TItemXs items;
    InitHexagon(img, 64, items);
    items[0].Count = 1;
    items[0].R = items[0].G = items[0].B = 255;
    items[0].A = 255;
    const struct {
        TColorConv Conv;
        float Opacity;
        bool Opaque;
        const char* Group;
        const char* Path;
    } cases[] = {
        {ConvColor, 0.75f, true, " fill-opacity=\"0.75\">", "<path fill=\"#FFFFFF\" d=\""},
        {ConvColor, 0.25f, true, " fill-opacity=\"0.25\">", "<path fill=\"#FFFFFF\" d=\""},
        {ConvColorAlphaBlack, 1.0f, false, ">", "fill-opacity=\"0.50\" d=\""},
        {ConvColorAlphaBlack, 0.5f, false, ">", "fill-opacity=\"0.25\" d=\""},
        {ConvGray, 0.5f, true, " fill-opacity=\"0.50\">", "<path fill=\"#FFFFFF\" d=\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Group);
        const std::string doc = ItemXsSvgText(items, 100, 100, c.Conv, c.Opacity, c.Opaque);
        EXPECT_NE(doc.find(std::string("<g shape-rendering=\"crispEdges\"") + c.Group),
                  std::string::npos);
        EXPECT_NE(doc.find(c.Path), std::string::npos);
        EXPECT_NE(doc.find("d=\"M0.0,0.0 L32.0,-55.4 L96.0,-55.4 L128.0,0.0 L96.0,55.4 "
                           "L32.0,55.4 z\" />"),
                  std::string::npos);
    }
}

TEST(Svg, AllEmptyGivesEmptyGroup) {
    TItemXs items;
    InitHexagon(QImage(), 16, items);
    const std::string doc = ItemXsSvgText(items, 0, 0, ConvColor, 1.0f, true);
    EXPECT_NE(doc.find("width=\"0px\" height=\"0px\" viewBox=\"0 0 0 0\""), std::string::npos);
    EXPECT_TRUE(
        doc.ends_with("<g shape-rendering=\"crispEdges\" fill-opacity=\"1.00\"></g></svg>\r\n"));
}

// Switches to a German locale, compiling one into a temporary folder when none is installed.
bool UseCommaLocale(const QTemporaryDir& ADir) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
        return true;
    const QString target = ADir.filePath("de_DE.UTF-8");
    const QString cmd = QString("localedef -i de_DE -f UTF-8 '%1' >/dev/null 2>&1").arg(target);
    if (std::system(cmd.toLocal8Bit().constData()) != 0)
        return false;
    setenv("LOCPATH", ADir.path().toLocal8Bit().constData(), 1);
    return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(Svg, CommaLocaleStillWritesPoints) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    const std::string reference = SquareDocument(ConvColorAlphaWhite, false);
    QTemporaryDir dir;
    if (!UseCommaLocale(dir))
        GTEST_SKIP() << "no locale with a decimal comma could be had";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5"); // the locale is really in force
    const std::string doc = SquareDocument(ConvColorAlphaWhite, false);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(doc, reference);
    EXPECT_NE(doc.find("fill-opacity=\"0.75\""), std::string::npos);
}

TEST(Svg, WriteFailureNamesTheFileAndLeavesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("missing-folder/out.svg");
    try {
        WriteItemXsSvg(path, {}, 10, 10, ConvColor, 1.0f, true);
        FAIL() << "no error";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("out.svg")) << e.message().toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

// A full disk, simulated by a file-size limit in a child process: the save must fail, keep the
// earlier file intact and leave no partial or temporary file.
TEST(Svg, FullDiskKeepsTheEarlierFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.svg");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier");
    }
    const QImage img = SolidImage(400, 400, 0xFF336699);
    TItemXs items;
    InitHexagon(img, 4, items);
    for (TItemX& t : items)
        t.Count = 1;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WriteItemXsSvg(path, items, 400, 400, ConvColor, 1.0f, true);
        } catch (const EVormError& e) {
            _exit(e.message().contains("out.svg") ? 3 : 4);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "earlier");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.svg"});
}

} // namespace
