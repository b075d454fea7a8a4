// vorm: the desktop program.
//   vorm [PICTURE]
#include "frm_main.h"
#include "ini_location.h"
#include "theme.h"
#include "utils.h"
#include "vorm_error.h"
#include "vorm_version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vorm"));
    QApplication::setApplicationVersion(QStringLiteral(VORM_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("vorm"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Turns a picture into a polygon mosaic."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("picture"),
                                 QStringLiteral("A picture to open at start."),
                                 QStringLiteral("[PICTURE]"));
    parser.process(app);

    // Qt's own dialogs speak the program's language.
    InstallQtTranslations(IsJapanese());

    // The appearance is decided once, before the first window.
    ThemeInit();
    QApplication::setWindowIcon(AppIcon());

    TFrmMain FrmMain(IniFileName());
    FrmMain.show();

    // A picture named at start (by the file manager too) opens once the window is up. Any
    // format the loader reads is taken, since the desktop hands over whole MIME types.
    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty()) {
        const QString picture = args.front();
        QTimer::singleShot(0, &FrmMain, [&FrmMain, picture] {
            try {
                FrmMain.OpenFile(picture);
            } catch (const EVormError& e) {
                ReportCommandError(&FrmMain, e.message());
            }
        });
    }
    return QApplication::exec();
}
