#include "ui_texts.h"

namespace {

struct TPair {
    const char* En;
    const char* Ja;
};

constexpr TPair kButtons[] = {
    {"Open", "開く"},
    {"Save", "保存"},
    {"Preview", "プレビュー"},
    {"bgColor", "背景色"},
    {"About", "\u2026について"},
};

constexpr TPair kLists[] = {
    {"Tile shape", "タイルの形"},
    {"Colour", "色"},
    {"Cell size", "セルの大きさ"},
    {"Opacity", "不透明度"},
};

} // namespace

QString OptionListName(TOptionList AList, bool AJapanese) {
    const TPair& p = kLists[int(AList)];
    return QString::fromUtf8(AJapanese ? p.Ja : p.En);
}

QString ButtonCaption(TToolButton AButton, bool AJapanese) {
    const TPair& p = kButtons[int(AButton)];
    return QString::fromUtf8(AJapanese ? p.Ja : p.En);
}

QString ButtonToolTip(TToolButton AButton, bool AJapanese, const QString& AKeys) {
    QString tip = ButtonCaption(AButton, AJapanese);
    // The right action is found by nobody who is not told.
    if (AButton == TToolButton::BgColor)
        tip += AJapanese ? QString::fromUtf8(" (右クリックで市松模様)")
                         : QStringLiteral(" (right-click: checkerboard)");
    if (!AKeys.isEmpty())
        tip += " (" + AKeys + ')';
    return tip;
}

QStringList CellWidthTexts() {
    return {"16px", "32px", "64px", "128px"};
}

QStringList OpacityTexts() {
    return {"100%", "75%", "50%", "25%"};
}

QString WindowCaption(const QString& AOpenFileName) {
    return AOpenFileName.isEmpty() ? QStringLiteral("VORM") : "VORM -" + AOpenFileName;
}

QString AboutCaption(bool AJapanese) {
    return AJapanese ? QString::fromUtf8("このプログラムについて")
                     : QStringLiteral("About this program");
}

QString AboutVersionLine(const QString& AFileVersion) {
    // Without version information the dialog still shows a plausible version.
    return "Ver." + (AFileVersion.isEmpty() ? QStringLiteral("1.0") : AFileVersion);
}

QString AboutTitle() {
    return QStringLiteral("VORM");
}

QString AboutMaker() {
    return QStringLiteral("ORVANTE");
}

QString AboutUrl(bool AJapanese) {
    return AJapanese ? QStringLiteral("https://orvante.github.io/vorm/ja/")
                     : QStringLiteral("https://orvante.github.io/vorm/");
}

QString AboutOkCaption() {
    return QStringLiteral("OK");
}
