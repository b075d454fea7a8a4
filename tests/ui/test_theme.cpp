#include "theme.h"
#include "ui_test_support.h"
#include "utils.h"
#include "vorm_error.h"
#include "vorm_version.h"

#include <QApplication>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QStyle>
#include <QTranslator>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

TEST(Language, JapaneseOnlyForJapaneseLocales) {
    const struct {
        const char* Locale;
        bool Japanese;
    } cases[] = {
        {"ja_JP", true},  {"ja", true},     {"en_US", false}, {"de_DE", false},
        {"zh_CN", false}, {"zh_TW", false}, {"C", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Locale);
        EXPECT_EQ(IsJapanese(QLocale(QString::fromLatin1(c.Locale))), c.Japanese);
    }
}

QPalette WithWindow(QColor AWindow) {
    QPalette p;
    p.setColor(QPalette::Window, AWindow);
    return p;
}

TEST(Theme, LightOrDarkDecision) {
    const QColor light(0xEF, 0xEF, 0xEF), dark(0x2A, 0x2A, 0x2A);
    const struct {
        std::optional<std::uint32_t> Scheme;
        QColor Window;
        bool Light;
    } cases[] = {
        {1u, light, false},          // the desktop prefers dark, whatever the palette
        {2u, dark, true},            // and light
        {0u, dark, false},           // no preference: the palette decides
        {0u, light, true},           //
        {std::nullopt, dark, false}, // no portal
        {std::nullopt, light, true}, //
        {7u, dark, false},           // an answer of a later portal version
        {std::nullopt, QColor(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "scheme " << (c.Scheme ? int(*c.Scheme) : -1)
                                        << ", window " << c.Window.name().toStdString());
        EXPECT_EQ(DecideLightTheme(c.Scheme, WithWindow(c.Window)), c.Light);
    }
}

TEST(Theme, AccentFromThePalette) {
    QPalette p;
    p.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
    EXPECT_EQ(DecideAccentColor(p), 0xFF3DAEE9u);
    p.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9, 0x40));
    EXPECT_EQ(DecideAccentColor(p), 0xFF3DAEE9u); // always opaque
    p.setColor(QPalette::Highlight, QColor());
    EXPECT_EQ(DecideAccentColor(p), DefaultAccentColor);
}

TEST(Theme, WindowsSettings) {
    EXPECT_EQ(AccentFromDwmColor(0xFFD77800), 0xFF0078D7u);
    EXPECT_EQ(AccentFromDwmColor(0x00332211), 0xFF112233u);
    const struct {
        std::optional<std::uint32_t> Value;
        bool Light;
    } cases[] = {{std::nullopt, true}, {1u, true}, {0u, false}, {2u, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value ? int(*c.Value) : -1);
        EXPECT_EQ(LightFromAppsUseLightTheme(c.Value), c.Light);
    }
}

TEST(Theme, StyleSetAppliesTheAppearance) {
    TThemeGuard guard(false, 0xFF0078D7);
    const QPalette before = QApplication::palette();
    StyleSet();
    QPalette p = QApplication::palette();
    EXPECT_LT(p.color(QPalette::Window).lightness(), 64);
    EXPECT_LT(p.color(QPalette::Base).lightness(), 64);
    EXPECT_LT(p.color(QPalette::Button).lightness(), 80);
    EXPECT_EQ(p.color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(p.color(QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(p.color(QPalette::Highlight).rgba(), 0xFF0078D7u);
    // Disabled text must look disabled, yet stay readable on the dark ground.
    const QColor disabled = p.color(QPalette::Disabled, QPalette::Text);
    EXPECT_LT(disabled.lightness(), 200);
    EXPECT_GT(disabled.lightness(), p.color(QPalette::Window).lightness() + 60);
    EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");

    IsLightTheme = true;
    StyleSet();
    p = QApplication::palette();
    EXPECT_GT(p.color(QPalette::Window).lightness(), 200);
    EXPECT_EQ(p.color(QPalette::Text), QColor(Qt::black));
    QApplication::setPalette(before);
}

TEST(Utils, FileVersionIsTheProjectVersionInFourNumbers) {
    const QString v = FileVersionString();
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+\\.\\d+\\.\\d+$").match(v).hasMatch())
        << v.toStdString();
    EXPECT_TRUE(v.startsWith(VORM_VERSION)) << v.toStdString();
}

TEST(Utils, QtsOwnTextsFollowAJapaneseInterface) {
    EXPECT_EQ(InstallQtTranslations(false), nullptr);
    QTranslator* translator = InstallQtTranslations(true);
    ASSERT_NE(translator, nullptr) << "qtbase_ja.qm is missing: install qt6-translations-l10n";
    // The file dialog's buttons and the message boxes take their words from here.
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    const QString open = QCoreApplication::translate("QFileDialog", "Open");
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(cancel, QString::fromUtf8("キャンセル"));
    EXPECT_EQ(open, QString::fromUtf8("開く"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");
}

TEST(Utils, PictureResources) {
    const struct {
        const char* Name;
        int W, H;
        bool Alpha;
    } cases[] = {{"ABOUT_ICN60", 60, 60, true},
                 {"ABOUT_SKINW", 512, 256, false},
                 {"ABOUT_SKINB", 512, 256, false},
                 {"APP_ICON256", 256, 256, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QImage img = LoadBitmapResource(QString::fromLatin1(c.Name));
        EXPECT_EQ(img.size(), QSize(c.W, c.H));
        if (c.Alpha) {
            // Transparent around the mark, opaque in its middle.
            EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);
            EXPECT_EQ(qAlpha(img.pixel(c.W / 2, c.H / 2)), 255);
        }
    }
    EXPECT_FALSE(AppIcon().isNull());
}

TEST(Utils, MissingPictureIsAClearError) {
    for (const char* name : {"ABOUT_NOPE", "", "../ABOUT_ICN60"}) {
        SCOPED_TRACE(name);
        try {
            LoadBitmapResource(QString::fromLatin1(name));
            ADD_FAILURE() << "no error";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromLatin1(name))) << e.what();
        }
    }
}

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& AUrl) { Urls << AUrl; }
};

TEST(Utils, ShellOpenHandsTheAddressToTheDesktop) {
    TUrlCatcher catcher;
    for (const char* scheme : {"https", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "Open");
    ShellOpen("https://example.org/vorm?a=1&b=2");
    ShellOpen("");
    ShellOpen("   ");
    ShellOpen("/tmp/some picture.png");
    for (const char* scheme : {"https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    ASSERT_EQ(catcher.Urls.size(), 2);
    EXPECT_EQ(catcher.Urls[0], QUrl("https://example.org/vorm?a=1&b=2"));
    EXPECT_EQ(catcher.Urls[1], QUrl::fromLocalFile("/tmp/some picture.png"));
}

} // namespace

#include "test_theme.moc"
