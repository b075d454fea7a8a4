#include "ui_texts.h"

namespace {

struct TPair {
    const char* En;
    const char* Ja;
};

constexpr TPair kTilings[] = {
    {"Equilateral Triangle 1", "正三角形 1"},
    {"Equilateral Triangle 2", "正三角形 2"},
    {"Isosceles Right Triangle 1", "直角二等辺三角形 1"},
    {"Isosceles Right Triangle 2", "直角二等辺三角形 2"},
    {"Square", "正方形 芋目地"},
    {"Square Alternate", "正方形 馬目地"},
    {"Hexagon", "六角形"},
};

constexpr TPair kColors[] = {
    {"Color", "カラー"},
    {"Color Alpha White", "カラー 白強調"},
    {"Color Alpha Black", "カラー 黒強調"},
    {"Color Alpha Gray", "カラー 白黒強調"},
    {"Color Self Alpha", "カラー アルファ"},
    {"Gray", "グレー"},
    {"Gray Alpha White", "グレー 白強調"},
    {"Gray Alpha Black", "グレー 黒強調"},
    {"Gray Alpha Gray", "グレー 白黒強調"},
    {"Gray Self Alpha", "グレー アルファ"},
};

// In the order of TToolButton.
constexpr TPair kButtons[] = {
    {"Open", "開く"},
    {"Save", "保存"},
    {"Preview", "プレビュー"},
    {"bgColor", "背景色"},
    {"About", "\u2026について"},
};

template <size_t N> QStringList Column(const TPair (&ATable)[N], bool AJapanese) {
    QStringList list;
    list.reserve(int(N));
    for (const TPair& p : ATable)
        list << QString::fromUtf8(AJapanese ? p.Ja : p.En);
    return list;
}

} // namespace

QStringList TilingTexts(bool AJapanese) {
    return Column(kTilings, AJapanese);
}

QStringList ColorTexts(bool AJapanese) {
    return Column(kColors, AJapanese);
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
