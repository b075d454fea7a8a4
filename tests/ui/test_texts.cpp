#include "catalog.h"
#include "ui_texts.h"

#include <gtest/gtest.h>

namespace {

QStringList AllTexts(bool AJapanese) {
    QStringList all = TilingTexts(AJapanese) + ColorTexts(AJapanese);
    for (TToolButton b : {TToolButton::Open, TToolButton::Save, TToolButton::Preview,
                          TToolButton::BgColor, TToolButton::About})
        all << ButtonCaption(b, AJapanese);
    for (TOptionList l :
         {TOptionList::Shape, TOptionList::Color, TOptionList::CellSize, TOptionList::Opacity})
        all << OptionListName(l, AJapanese);
    all << AboutCaption(AJapanese) << AboutUrl(AJapanese);
    return all;
}

TEST(Texts, TheListsNamesInBothLanguages) {
    EXPECT_EQ(OptionListName(TOptionList::Shape, false), "Tile shape");
    EXPECT_EQ(OptionListName(TOptionList::Opacity, false), "Opacity");
    EXPECT_EQ(OptionListName(TOptionList::Shape, true), QString::fromUtf8("タイルの形"));
    EXPECT_EQ(OptionListName(TOptionList::Color, true), QString::fromUtf8("色"));
    EXPECT_EQ(OptionListName(TOptionList::CellSize, true), QString::fromUtf8("セルの大きさ"));
    EXPECT_EQ(OptionListName(TOptionList::Opacity, true), QString::fromUtf8("不透明度"));
}

TEST(Texts, EnglishListsFollowTheEngineOrder) {
    // The window acts on list positions; a list out of the engine's order converts wrongly.
    const QStringList tilings = TilingTexts(false);
    ASSERT_EQ(tilings.size(), int(kShapes.size()));
    for (size_t i = 0; i < kShapes.size(); ++i)
        EXPECT_EQ(tilings[int(i)], QString::fromUtf8(kShapes[i].Text)) << i;
    const QStringList colors = ColorTexts(false);
    ASSERT_EQ(colors.size(), int(kColors.size()));
    for (size_t i = 0; i < kColors.size(); ++i)
        EXPECT_EQ(colors[int(i)], QString::fromUtf8(kColors[i].Text)) << i;
}

TEST(Texts, JapaneseListsHaveTheSameLengths) {
    EXPECT_EQ(TilingTexts(true).size(), TilingTexts(false).size());
    EXPECT_EQ(ColorTexts(true).size(), ColorTexts(false).size());
    EXPECT_EQ(TilingTexts(true)[4], QString::fromUtf8("正方形 芋目地"));
    EXPECT_EQ(TilingTexts(true)[5], QString::fromUtf8("正方形 馬目地"));
    EXPECT_EQ(ColorTexts(true)[8], QString::fromUtf8("グレー 白黒強調"));
}

TEST(Texts, EveryBlankIsAnOrdinarySpace) {
    // An ideographic space slips in easily when typing Japanese.
    for (bool ja : {false, true})
        for (const QString& text : AllTexts(ja)) {
            SCOPED_TRACE(text.toStdString());
            EXPECT_FALSE(text.isEmpty());
            EXPECT_EQ(text, text.trimmed());
            for (QChar c : text) {
                if (c.isSpace()) {
                    EXPECT_EQ(c.unicode(), u' ');
                }
            }
        }
}

TEST(Texts, ButtonCaptions) {
    EXPECT_EQ(ButtonCaption(TToolButton::BgColor, false), "bgColor");
    EXPECT_EQ(ButtonCaption(TToolButton::Preview, true), QString::fromUtf8("プレビュー"));
    const QString about = ButtonCaption(TToolButton::About, true);
    ASSERT_FALSE(about.isEmpty());
    EXPECT_EQ(about.at(0).unicode(), 0x2026); // one ellipsis character, not three dots
    EXPECT_EQ(about, QString::fromUtf8("…について"));
}

TEST(Texts, CaptionsAndVersionLine) {
    EXPECT_EQ(WindowCaption(), "VORM");
    EXPECT_EQ(WindowCaption("cat.png"), "VORM -cat.png");
    EXPECT_EQ(AboutCaption(false), "About this program");
    EXPECT_EQ(AboutCaption(true), QString::fromUtf8("このプログラムについて"));
    EXPECT_EQ(AboutVersionLine("1.12.8318.18741"), "Ver.1.12.8318.18741");
    EXPECT_EQ(AboutVersionLine(""), "Ver.1.0");
    EXPECT_EQ(CellWidthTexts(), QStringList({"16px", "32px", "64px", "128px"}));
    EXPECT_EQ(OpacityTexts(), QStringList({"100%", "75%", "50%", "25%"}));
    EXPECT_TRUE(AboutUrl(false).startsWith("https://"));
    EXPECT_NE(AboutUrl(true), AboutUrl(false));
}

} // namespace
