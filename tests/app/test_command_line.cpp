// vorm's help and version need no display: a packager's help2man and a user on a text console
// run them where a window cannot open.
#include "vorm_version.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int Code = -1;
    QString Out;
};

TRun RunWithoutDisplay(const QStringList& AArgs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VORM_APP), AArgs);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

TEST(CommandLine, HelpAndVersionNeedNoDisplay) {
    for (const char* help : {"--help", "-h"}) {
        const TRun r = RunWithoutDisplay({help});
        EXPECT_EQ(r.Code, 0) << help;
        EXPECT_TRUE(r.Out.contains("[PICTURE]")) << r.Out.toStdString();
    }
    const TRun r = RunWithoutDisplay({"--version"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Out, "vorm " VORM_VERSION "\n");
}

} // namespace
