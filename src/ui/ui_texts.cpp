#include "ui_texts.h"

#include <iterator>

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

// In the order of TPanelText.
constexpr TPair kPanel[] = {
    {"Tiles", "タイル"},
    {"Palette, colours, grout and outlines for a mosaic you can build (%1)",
     "作れるモザイクのためのパレット、色数、目地、輪郭 (%1)"},
    {"Palette", "パレット"},
    {"None", "なし"},
    {"Open palette file\u2026", "パレットファイルを開く\u2026"},
    {"Open palette file", "パレットファイルを開く"},
    {"Palette files", "パレットファイル"},
    {"Colours", "色数"},
    {"All", "すべて"},
    {"Dithering", "ディザリング"},
    {"Grout", "目地"},
    {"Grout colour", "目地の色"},
    {"Outline", "輪郭"},
    {"Outline colour", "輪郭の色"},
    {"transparent", "透明"},
    {"Bill of materials", "部材表"},
    {"", ""},
    {"Name", "名前"},
    {"Code", "品番"},
    {"Whole", "完全"},
    {"Cut", "カット"},
    {"Share", "割合"},
    {"Export\u2026", "書き出し\u2026"},
    {"Export", "書き出し"},
    {"Bill of materials, CSV", "部材表 CSV"},
    {"Bill of materials, JSON", "部材表 JSON"},
    {"Tile list, JSON", "タイル一覧 JSON"},
    {"Cut lines, SVG", "カットライン SVG"},
    {"Preview or save a mosaic first.", "先にプレビューまたは保存してください。"},
    {"Tiles panel", "タイルパネル"},
    {"Fit", "全体表示"},
    {"100 %", "100 %"},
    {"Copy mosaic", "モザイクをコピー"},
};
static_assert(std::size(kPanel) == size_t(TPanelText::Count));

} // namespace

QString OptionListName(TOptionList AList, bool AJapanese) {
    const TPair& p = kLists[int(AList)];
    return QString::fromUtf8(AJapanese ? p.Ja : p.En);
}

QString PanelText(TPanelText AText, bool AJapanese) {
    const TPair& p = kPanel[int(AText)];
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
