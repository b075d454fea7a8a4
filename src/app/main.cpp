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
#include <cstring>

namespace {

void SetNames() {
    QCoreApplication::setApplicationName(QStringLiteral("vorm"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORM_VERSION));
}

void SetUpParser(QCommandLineParser& AParser) {
    AParser.setApplicationDescription(QStringLiteral("Turns a picture into a polygon mosaic."));
    AParser.addHelpOption();
    AParser.addVersionOption();
    AParser.addPositionalArgument(QStringLiteral("picture"),
                                  QStringLiteral("A picture to open at start."),
                                  QStringLiteral("[PICTURE]"));
}

// Whether the arguments ask only for text (the help or the version), which needs no display:
// a QApplication without one would abort before the text is printed.
bool AsksForTextOnly(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0)
            return false;
        for (const char* o : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(a, o) == 0)
                return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (AsksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        SetNames();
        QCommandLineParser parser;
        SetUpParser(parser);
        parser.process(app); // prints and exits
        return 0;
    }

    QApplication app(argc, argv);
    SetNames();
    QGuiApplication::setDesktopFileName(QStringLiteral(VORM_APP_ID));

    QCommandLineParser parser;
    SetUpParser(parser);
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
