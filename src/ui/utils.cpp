#include "utils.h"

#include "vorm_error.h"
#include "vorm_version.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QUrl>
#include <QWidget>

bool IsJapanese() {
    return IsJapanese(QLocale::system());
}

bool IsJapanese(const QLocale& ALocale) {
    return QLocale::languageToCode(ALocale.language(), QLocale::ISO639Part1) == QLatin1String("ja");
}

QTranslator* InstallQtTranslations(bool AJapanese) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!AJapanese || !app)
        return nullptr;
    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

QString FileVersionString() {
    return QStringLiteral(VORM_FILE_VERSION);
}

void ShellOpen(const QString& ATarget) {
    if (ATarget.trimmed().isEmpty())
        return;
    const QUrl url = QUrl::fromUserInput(ATarget, QDir::currentPath(), QUrl::AssumeLocalFile);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

QImage LoadBitmapResource(const QString& AName) {
    const QString path = ":/vorm/" + AName + ".png";
    QImage img(path, "PNG");
    if (img.isNull())
        throw EVormError(QStringLiteral("The program's picture \"%1\" is missing or damaged. "
                                        "Please reinstall VORM.")
                             .arg(AName));
    return img;
}

namespace {
TErrorReporter& Reporter() {
    static TErrorReporter reporter;
    return reporter;
}
} // namespace

void ReportCommandError(QWidget* AParent, const QString& AMessage) {
    if (Reporter()) {
        Reporter()(AParent, AMessage);
        return;
    }
    QMessageBox::critical(AParent ? AParent->window() : nullptr, QStringLiteral("VORM"), AMessage);
}

void SetErrorReporter(TErrorReporter AReporter) {
    Reporter() = std::move(AReporter);
}

QIcon AppIcon() {
    QIcon icon;
    for (const char* name : {"ABOUT_ICN60", "APP_ICON256"})
        icon.addPixmap(QPixmap::fromImage(LoadBitmapResource(QLatin1String(name))));
    return icon;
}

QFont UiFont(const QString& AFamily, double APixelSize, int ALogicalDpi) {
    QFont f;
    if (QFontDatabase::hasFamily(AFamily))
        f.setFamily(AFamily);
    else
        f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // setPixelSize takes whole pixels only, and the caption's 9.6 matters.
    f.setPointSizeF(APixelSize * 72.0 / (ALogicalDpi > 0 ? ALogicalDpi : 96));
    return f;
}
