#include "dialog_driver.h"
#include "frm_about.h"
#include "ui_test_support.h"
#include "ui_texts.h"
#include "utils.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QLabel* Label(const QWidget& AParent, const char* AName) {
    auto* l = AParent.findChild<QLabel*>(QString::fromLatin1(AName));
    EXPECT_NE(l, nullptr) << AName;
    return l;
}

TEST(About, TextsInBothLanguages) {
    const struct {
        bool Japanese;
        const char* Version;
        const char* Caption;
        const char* VersionLine;
    } cases[] = {
        {false, "1.12.8318.18741", "About this program", "Ver.1.12.8318.18741"},
        {true, "1.12.8318.18741", "このプログラムについて", "Ver.1.12.8318.18741"},
        {false, "", "About this program", "Ver.1.0"}, // no version information
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Caption);
        TFMXFrmAbout dlg(nullptr, c.Japanese, QString::fromLatin1(c.Version));
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(c.Caption));
        EXPECT_EQ(Label(dlg, "LbVersion")->text(), QString::fromLatin1(c.VersionLine));
        EXPECT_EQ(Label(dlg, "LbTitle")->text(), "VORM");
        EXPECT_EQ(Label(dlg, "LbProduct")->text(), "ORVANTE");
        EXPECT_EQ(Label(dlg, "LbURL")->text(), AboutUrl(c.Japanese));
        EXPECT_EQ(dlg.Url(), AboutUrl(c.Japanese));
    }
    TFMXFrmAbout own;
    EXPECT_EQ(Label(own, "LbVersion")->text(), "Ver." + FileVersionString());
}

TEST(About, FixedLayout) {
    TFMXFrmAbout dlg(nullptr, false, "1.0.0.0");
    dlg.ThemeUpdate();
    dlg.show();
    EXPECT_EQ(dlg.size(), QSize(512, 256));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_TRUE(dlg.isModal());
    EXPECT_EQ(dlg.findChild<TFMXColorRect*>("RectTop")->geometry(), QRect(0, 0, 512, 60));
    EXPECT_EQ(dlg.findChild<TFMXColorRect*>("RectBottom")->geometry(), QRect(0, 216, 512, 40));
    EXPECT_EQ(Label(dlg, "Image1")->geometry(), QRect(0, 0, 60, 60));
    // The title keeps 60 units clear on both sides, so it stands centred on the dialog.
    EXPECT_EQ(Label(dlg, "LbTitle")->geometry(), QRect(60, 0, 392, 60));
    // The three lines share the 156 units between the bands as 27.82 : 23.12 : 24.45.
    const double total = 27.82 + 23.12 + 24.45;
    const struct {
        const char* Name;
        double Share;
    } rows[] = {{"LbVersion", 27.82}, {"LbProduct", 23.12}, {"LbURL", 24.45}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.Name);
        const QLabel* l = Label(dlg, r.Name);
        EXPECT_NEAR(l->height(), 156 * r.Share / total, 1.0);
        EXPECT_EQ(l->width(), 512);
        EXPECT_EQ(l->alignment(), Qt::AlignCenter);
    }
    auto* ok = dlg.findChild<QPushButton*>("ButtonOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(ok->geometry(), QRect(0, 0, 512, 40));
    EXPECT_EQ(ok->focusPolicy(), Qt::NoFocus);
}

TEST(About, AppearanceColours) {
    const struct {
        bool Light;
        const char* Skin;
        TAlphaColor Top, Bottom, Url;
        QColor Text;
    } cases[] = {
        {true, "ABOUT_SKINW", 0x88222222, 0x88888888, 0xFF0000FF, Qt::black},
        {false, "ABOUT_SKINB", 0x88444444, 0x88222222, 0xFFAAAAFF, Qt::white},
    };
    const QPalette before = QApplication::palette();
    TFMXFrmAbout dlg(nullptr, false, "1.0.0.0");
    for (int round = 0; round < 2; ++round) // and back again: nothing sticks from the other
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Skin);
            TThemeGuard theme(c.Light, 0xFF0078D7);
            StyleSet();
            QCoreApplication::processEvents(); // Qt hands the new palette on through its queue
            dlg.ThemeUpdate();
            EXPECT_EQ(dlg.findChild<TFMXColorRect*>("RectTop")->FillColor(), c.Top);
            EXPECT_EQ(dlg.findChild<TFMXColorRect*>("RectBottom")->FillColor(), c.Bottom);
            EXPECT_EQ(Label(dlg, "LbURL")->palette().color(QPalette::WindowText).rgba(), c.Url);
            EXPECT_EQ(Label(dlg, "LbVersion")->palette().color(QPalette::WindowText), c.Text);
            EXPECT_EQ(Label(dlg, "LbProduct")->palette().color(QPalette::WindowText), c.Text);
            EXPECT_EQ(Label(dlg, "LbTitle")->palette().color(QPalette::WindowText),
                      QColor(Qt::white));
            EXPECT_EQ(
                Label(dlg, "Image2")->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                LoadBitmapResource(QString::fromLatin1(c.Skin))
                    .convertToFormat(QImage::Format_ARGB32));
            EXPECT_EQ(Label(dlg, "Image1")->pixmap().size(), QSize(60, 60));
            // The translucent band lies over the picture.
            const QImage shot = dlg.grab().toImage();
            const QRgb ground = LoadBitmapResource(QString::fromLatin1(c.Skin)).pixel(500, 5);
            const double a = (c.Top >> 24) / 255.0;
            const int band = int((c.Top & 0xFF) * a + qRed(ground) * (1 - a) + 0.5);
            EXPECT_NEAR(qRed(shot.pixel(500, 5)), band, 2);
        }
    QApplication::setPalette(before);
}

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& AUrl) { Urls << AUrl; }
};

TEST(About, UrlClickOpensThePageAndOkCloses) {
    for (bool ja : {false, true}) {
        SCOPED_TRACE(ja);
        TUrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "Open");
        TFMXFrmAbout dlg(nullptr, ja, "1.0.0.0");
        dlg.ThemeUpdate();
        dlg.show();
        QLabel* url = Label(dlg, "LbURL");
        QTest::mouseClick(url, Qt::LeftButton, {}, url->rect().center());
        QTest::mouseClick(url, Qt::RightButton, {}, url->rect().center()); // not a link click
        QDesktopServices::unsetUrlHandler("https");
        ASSERT_EQ(catcher.Urls.size(), 1);
        EXPECT_EQ(catcher.Urls[0], QUrl(AboutUrl(ja)));
        EXPECT_TRUE(dlg.isVisible()); // the dialog stays open
        QTest::mouseClick(dlg.findChild<QPushButton*>("ButtonOK"), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
}

TEST(About, KeysAndCloseBox) {
    TFMXFrmAbout dlg(nullptr, false, "1.0.0.0");
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Return); // Enter is OK, though the button takes no focus
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dlg.show();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

TEST(About, ExecuteShowsModallyUntilClosed) {
    TThemeGuard theme(false, 0xFF0078D7);
    TFMXFrmAbout dlg(nullptr, false, "1.0.0.0");
    bool wasVisible = false;
    TDialogDriver driver([&](QDialog* ADialog) {
        wasVisible = ADialog == &dlg && QApplication::activeModalWidget() == &dlg;
        auto* ok = dlg.findChild<QPushButton*>("ButtonOK");
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    EXPECT_EQ(dlg.Execute(), QDialog::Accepted);
    EXPECT_EQ(driver.OtherDialogs, 1);
    EXPECT_TRUE(wasVisible);
    EXPECT_EQ(dlg.findChild<TFMXColorRect*>("RectTop")->FillColor(), 0x88444444u);
}

TEST(About, OnlyTheCloseBoxAndAMinimiseClosesIt) {
    QWidget owner;
    owner.show();
    TFMXFrmAbout dlg(&owner, false, "1.0.0.0");
    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    // As openbox does it: the dialog is minimised, and its owner with it.
    TDialogDriver driver([&](QDialog* ADialog) {
        owner.setWindowState(Qt::WindowMinimized);
        ADialog->setWindowState(Qt::WindowMinimized);
    });
    EXPECT_EQ(dlg.Execute(), QDialog::Rejected);
    EXPECT_EQ(driver.OtherDialogs, 1);
    QCoreApplication::processEvents(); // the owner comes back through the event queue
    EXPECT_TRUE(owner.isVisible());
    EXPECT_FALSE(owner.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(dlg.windowState() & Qt::WindowMinimized); // and the next Execute shows it
}

} // namespace

#include "test_about.moc"
