// The picture area of the window: zoom, pan, what the view keeps, how it draws, and the keys.
#include "app_test_support.h"
#include "flat_btn.h"
#include "frm_about.h"

#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr QSize kArea(860, 462); // the picture area of a window at its first size

// An opaque picture with something different in every pixel, saved as AFileName.
QImage MakeOpaque(const QString& AFileName, int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x / 3) ^ (y / 2)) & 255));
    img.save(AFileName);
    return img;
}

void Activate(QWidget& AWindow);

class ViewTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Large = Dir.filePath("large.png");
        LargeSource = MakeOpaque(Large, 2000, 1500);
    }
    std::unique_ptr<TFrmMain> NewWindow() {
        auto frm = std::make_unique<TFrmMain>(Dir.filePath("vorm.ini"));
        frm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        Activate(*frm);
        return frm;
    }
    QTemporaryDir Dir;
    QString Large;
    QImage LargeSource;
};

// The window's keys work in the active window. The offscreen platform has no window manager to
// hand activation back when a dialog closes: the application keeps the closed dialog as its
// active window, though the platform already counts the main window active again.
void Activate(QWidget& AWindow) {
    AWindow.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&AWindow));
    if (QApplication::activeWindow() != &AWindow) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(&AWindow);
        QT_WARNING_POP
    }
}

void Wheel(QWidget* AWidget, QPointF AAt, int ANotches) {
    QWheelEvent e(AAt, AWidget->mapToGlobal(AAt), QPoint(), QPoint(0, 120 * ANotches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(AWidget, &e);
}

void Drag(QWidget* AWidget, QPoint AFrom, QPoint ATo) {
    QTest::mousePress(AWidget, Qt::LeftButton, {}, AFrom);
    QTest::mouseMove(AWidget, (AFrom + ATo) / 2);
    QTest::mouseMove(AWidget, ATo);
    QTest::mouseRelease(AWidget, Qt::LeftButton, {}, ATo);
}

void ExpectPoint(QPointF AActual, QPointF AExpected, double ATolerance = 1e-6) {
    EXPECT_NEAR(AActual.x(), AExpected.x(), ATolerance);
    EXPECT_NEAR(AActual.y(), AExpected.y(), ATolerance);
}

// Waits for the reduction a view below 100 % shows, made by a worker for a large picture.
bool WaitReduction(TImageView& AView) {
    if (!AView.IsReductionPending())
        return true;
    QEventLoop loop;
    QObject::connect(&AView, &TImageView::ReductionFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit); // a bound for a failure only
    loop.exec();
    return !AView.IsReductionPending();
}

TEST_F(ViewTest, FirstStartShowsTheBackgroundOnly) {
    auto frm = NewWindow();
    EXPECT_EQ(frm->Image1->parentWidget(), frm->Image2);
    EXPECT_EQ(frm->Image1->geometry(), frm->Image2->rect());
    EXPECT_EQ(frm->Image1->size(), kArea);
    EXPECT_TRUE(frm->Image1->Bitmap().isNull());
    EXPECT_TRUE(frm->Image1->IsFit());
    EXPECT_TRUE(frm->Image1->ZoomText().isEmpty());
    // Zoom keys without a picture change nothing.
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_TRUE(frm->Image1->IsFit());
}

TEST_F(ViewTest, AnOpenedPictureIsFittedProportionsKeptAndCentred) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    const TImageView& v = *frm->Image1;
    EXPECT_TRUE(v.IsFit());
    EXPECT_DOUBLE_EQ(v.Zoom(), 462.0 / 1500);
    ExpectPoint(v.MapFromPicture(QPointF(1000, 750)), QPointF(430, 231));
    ExpectPoint(v.MapFromPicture(QPointF(0, 0)), QPointF(430 - 1000 * v.Zoom(), 0));
}

TEST_F(ViewTest, TheWheelZoomsAboutThePointer) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    const struct {
        QPointF At;
        int Notches;
        double Zoom; // from 100 %
    } cases[] = {
        {{100, 100}, 1, 1.5},
        {{800, 400}, 2, 2},
        {{430, 231}, -1, 0.75},
        {{12, 450}, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Notches);
        QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
        ASSERT_DOUBLE_EQ(v->Zoom(), 1);
        const QPointF under = v->MapToPicture(c.At);
        Wheel(v, c.At, c.Notches);
        EXPECT_DOUBLE_EQ(v->Zoom(), c.Zoom);
        ExpectPoint(v->MapToPicture(c.At), under);
        EXPECT_EQ(v->ZoomText(), ZoomPercentText(c.Zoom));
    }
}

TEST_F(ViewTest, ActualSizeKeepsTheCentreAndFitComesBack) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    Wheel(v, QPointF(200, 100), 3);
    ASSERT_FALSE(v->IsFit());
    const QPointF centre = v->Centre();
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(v->Zoom(), 1);
    ExpectPoint(v->Centre(), centre);
    EXPECT_EQ(v->ZoomText(), "100 %");
    // Ctrl+0 and a double click fit again.
    QTest::keyClick(frm.get(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_TRUE(v->IsFit());
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    QTest::mouseDClick(v, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_TRUE(v->IsFit());
    EXPECT_DOUBLE_EQ(v->Zoom(), 462.0 / 1500);
}

TEST_F(ViewTest, DraggingPansWithAHandAndStopsAtTheEdges) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    EXPECT_EQ(v->cursor().shape(), Qt::ArrowCursor); // fitted: nothing to pan
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(v->cursor().shape(), Qt::OpenHandCursor);
    const QPointF centre = v->Centre();
    QTest::mousePress(v, Qt::LeftButton, {}, QPoint(400, 200));
    EXPECT_EQ(v->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(v, QPoint(500, 250));
    QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(500, 250));
    EXPECT_EQ(v->cursor().shape(), Qt::OpenHandCursor);
    ExpectPoint(v->Centre(), centre - QPointF(100, 50));
    // However far it is dragged, the picture keeps covering the view.
    const struct {
        QPoint To;
        QPointF Corner, At;
    } cases[] = {
        {{5000, 5000}, {0, 0}, {0, 0}},
        {{-5000, -5000}, {2000, 1500}, {860, 462}},
        {{-5000, 5000}, {2000, 0}, {860, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.To.x());
        for (int i = 0; i < 3; ++i)
            Drag(v, QPoint(430, 231), c.To);
        ExpectPoint(v->MapFromPicture(c.Corner), c.At);
    }
}

TEST_F(ViewTest, ArrowKeysPan) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    const struct {
        Qt::Key Key;
        QPointF Moves; // of the picture point at the centre
    } cases[] = {
        {Qt::Key_Right, {86, 0}},
        {Qt::Key_Left, {-86, 0}},
        {Qt::Key_Down, {0, 46.2}},
        {Qt::Key_Up, {0, -46.2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        const QPointF before = v->Centre();
        QTest::keyClick(frm.get(), c.Key);
        ExpectPoint(v->Centre(), before + c.Moves);
    }
}

TEST_F(ViewTest, APreviewKeepsTheViewAnOpenFitsAgain) {
    auto frm = NewWindow();
    const QString picture = Dir.filePath("picture.png");
    MakeOpaque(picture, 900, 600);
    ASSERT_TRUE(frm->OpenFile(picture));
    TImageView* v = frm->Image1;
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    Drag(v, QPoint(400, 200), QPoint(450, 150));
    const double zoom = v->Zoom();
    const QPointF centre = v->Centre();
    const QImage before = v->Bitmap();
    frm->Preview();
    ASSERT_TRUE(WaitConversion(*frm));
    EXPECT_NE(v->Bitmap(), before); // the mosaic
    EXPECT_DOUBLE_EQ(v->Zoom(), zoom);
    ExpectPoint(v->Centre(), centre);
    // Opening, even a picture of the same size, fits again.
    ASSERT_TRUE(frm->OpenFile(picture));
    EXPECT_TRUE(v->IsFit());
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    ASSERT_TRUE(frm->OpenFile(Large));
    EXPECT_TRUE(v->IsFit());
}

TEST_F(ViewTest, ResizingKeepsTheCentre) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    QTest::keyClick(frm.get(), Qt::Key_1, Qt::ControlModifier);
    Drag(v, QPoint(400, 200), QPoint(600, 300));
    const QPointF centre = v->Centre();
    frm->resize(1100, 700);
    QApplication::processEvents();
    ASSERT_EQ(v->size(), QSize(1100, 632));
    ExpectPoint(v->Centre(), centre);
    ExpectPoint(v->MapFromPicture(centre), QPointF(550, 316));
}

TEST_F(ViewTest, From100PercentUpEveryPicturePixelIsASharpSquare) {
    auto frm = NewWindow();
    const QString picture = Dir.filePath("small.png");
    const QImage source = MakeOpaque(picture, 120, 80);
    ASSERT_TRUE(frm->OpenFile(picture)); // fitted above 100 %: 5.775 ×
    TImageView* v = frm->Image1;
    for (const bool zoomed : {false, true}) {
        SCOPED_TRACE(zoomed);
        if (zoomed)
            QTest::keyClick(frm.get(), Qt::Key_Plus, Qt::ControlModifier);
        const QImage shot = v->grab().toImage();
        ASSERT_EQ(shot.size(), kArea);
        const QRect label = v->findChild<QLabel*>("ZoomLabel")->geometry();
        const QRectF inside =
            QRectF(v->MapFromPicture(QPointF(0, 0)), v->MapFromPicture(QPointF(120, 80)))
                .intersected(QRectF(QPointF(0, 0), QSizeF(kArea)));
        int checked = 0;
        for (int y = int(inside.top()) + 1; y < inside.bottom() - 1; y += 7)
            for (int x = int(inside.left()) + 1; x < inside.right() - 1; x += 7) {
                const QPointF p = v->MapToPicture(QPointF(x + 0.5, y + 0.5));
                // Away from the borders between picture pixels, which rounding may shift.
                const double fx = p.x() - std::floor(p.x()), fy = p.y() - std::floor(p.y());
                if (fx < 0.2 || fx > 0.8 || fy < 0.2 || fy > 0.8 || label.contains(x, y))
                    continue;
                ASSERT_EQ(shot.pixel(x, y) | 0xFF000000,
                          source.pixel(int(p.x()), int(p.y())) | 0xFF000000)
                    << x << "," << y;
                ++checked;
            }
        EXPECT_GT(checked, 100);
    }
}

TEST_F(ViewTest, BelowOneHundredPercentFineDetailIsAveraged) {
    auto frm = NewWindow();
    // Above the size a view reduces at once: its worker makes the reduction.
    const QString picture = Dir.filePath("stripes.png");
    QImage stripes(1300, 900, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y)
        for (int x = 0; x < stripes.width(); ++x)
            stripes.setPixel(x, y, x % 2 ? 0xFFFFFFFF : 0xFF000000);
    stripes.save(picture);
    ASSERT_TRUE(frm->OpenFile(picture));
    TImageView* v = frm->Image1;
    EXPECT_TRUE(v->IsReductionPending());
    ASSERT_TRUE(WaitReduction(*v));
    const QImage shot = v->grab().toImage();
    const QRect inside =
        QRectF(v->MapFromPicture(QPointF(0, 0)), v->MapFromPicture(QPointF(1300, 900)))
            .toAlignedRect()
            .adjusted(2, 2, -2, -2);
    int lo = 255, hi = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            lo = std::min(lo, qGreen(shot.pixel(x, y)));
            hi = std::max(hi, qGreen(shot.pixel(x, y)));
        }
    // About 2 stripes to a screen pixel: an even grey, where sampling gives bands.
    EXPECT_GE(lo, 100);
    EXPECT_LE(hi, 155);
}

// A reduction that fails (no memory) on the worker is not rethrown in the window: the view goes
// on with the picture, smoothly scaled, and does not ask for that reduction again.
TEST_F(ViewTest, AFailedReductionLeavesThePictureShown) {
    auto frm = NewWindow();
    const QString picture = Dir.filePath("grey.png");
    QImage grey(1300, 900, QImage::Format_RGB32);
    grey.fill(0xFF808080);
    grey.save(picture);
    static int calls = 0;
    calls = 0;
    TImageView::Reducer = [](const QImage&, QSize) -> QImage {
        ++calls;
        throw std::bad_alloc();
    };
    const bool opened = frm->OpenFile(picture);
    TImageView* v = frm->Image1;
    const bool done = WaitReduction(*v);
    const int callsBefore = calls;
    const QImage shot = v->grab().toImage(); // paints, which asks for what is pending
    TImageView::Reducer = ReduceAreaAverage;
    ASSERT_TRUE(opened);
    EXPECT_TRUE(done);
    EXPECT_GE(callsBefore, 1);
    EXPECT_EQ(calls, callsBefore);
    EXPECT_FALSE(v->IsReductionPending());
    const QPointF centre = v->MapFromPicture(QPointF(650, 450));
    EXPECT_EQ(qGreen(shot.pixel(centre.toPoint())), 0x80);
}

TEST_F(ViewTest, EachKeyReachesItsCommand) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    TImageView* v = frm->Image1;
    const struct {
        const char* Name;
        int Key;
        Qt::KeyboardModifiers Mods;
        QWidget* Dialog;
    } dialogs[] = {
        {"Ctrl+O opens", Qt::Key_O, Qt::ControlModifier, frm->OpenDialog},
        {"Ctrl+S saves", Qt::Key_S, Qt::ControlModifier, frm->SaveDialog},
        {"F1 shows About", Qt::Key_F1, Qt::NoModifier, nullptr},
    };
    for (const auto& c : dialogs) {
        SCOPED_TRACE(c.Name);
        QDialog* shown = nullptr;
        TDialogDriver driver([&](QDialog* ADialog) {
            shown = ADialog;
            ADialog->reject();
        });
        QTest::keyClick(frm.get(), Qt::Key(c.Key), c.Mods);
        Activate(*frm);
        EXPECT_EQ(driver.OtherDialogs, 1);
        if (c.Dialog)
            EXPECT_EQ(shown, c.Dialog);
        else
            EXPECT_NE(qobject_cast<TFMXFrmAbout*>(shown), nullptr);
    }
    {
        SCOPED_TRACE("F5 previews");
        TProgressGate gate;
        frm->ProgressObserver = &gate;
        QTest::keyClick(frm.get(), Qt::Key_F5);
        EXPECT_TRUE(frm->IsConverting());
        gate.Open();
        ASSERT_TRUE(WaitConversion(*frm));
        frm->ProgressObserver = nullptr;
        EXPECT_NE(v->Bitmap(), LargeSource);
    }
    const struct {
        const char* Name;
        int Key;
        Qt::KeyboardModifiers Mods;
        double From, To;
    } zooms[] = {
        {"Ctrl+plus", Qt::Key_Plus, Qt::ControlModifier, 1, 1.5},
        {"Ctrl+=", Qt::Key_Equal, Qt::ControlModifier, 1, 1.5},
        {"Ctrl+minus", Qt::Key_Minus, Qt::ControlModifier, 1, 0.75},
        {"Ctrl+1", Qt::Key_1, Qt::ControlModifier, 0.75, 1},
    };
    for (const auto& c : zooms) {
        SCOPED_TRACE(c.Name);
        v->ZoomActual();
        if (c.From != 1)
            v->ZoomOut();
        ASSERT_DOUBLE_EQ(v->Zoom(), c.From);
        QTest::keyClick(frm.get(), Qt::Key(c.Key), c.Mods);
        EXPECT_DOUBLE_EQ(v->Zoom(), c.To);
    }
}

TEST_F(ViewTest, TooltipsNameTheKeys) {
    auto frm = NewWindow();
    const struct {
        TFMXFlatBtn* Button;
        QString Tip;
    } cases[] = {
        {frm->fbOpen, "Open (Ctrl+O)"},
        {frm->fbSave, "Save (Ctrl+S)"},
        {frm->fbPrev, "Preview (F5)"},
        {frm->fbAbout, "About (F1)"},
        {frm->fbBgCol, "bgColor (right-click: checkerboard)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Button->toolTip(), c.Tip);
}

// The darkest grey within the button's square of the tool bar as drawn.
int Darkest(const QImage& ABar, const QWidget* AButton) {
    int darkest = 255;
    const QRect r = AButton->geometry();
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            darkest = std::min(darkest, qGray(ABar.pixel(x, y)));
    return darkest;
}

TEST_F(ViewTest, RefusedButtonsLookDisabledDuringAConversion) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Large));
    const QImage idle = frm->LayoutT->grab().toImage();
    TProgressGate gate;
    frm->ProgressObserver = &gate;
    frm->Preview();
    ASSERT_TRUE(frm->IsConverting());
    const QImage busy = frm->LayoutT->grab().toImage();
    gate.Open();
    ASSERT_TRUE(WaitConversion(*frm));
    frm->ProgressObserver = nullptr;
    for (TFMXFlatBtn* refused : {frm->fbOpen, frm->fbSave, frm->fbPrev}) {
        SCOPED_TRACE(refused->Text().toStdString());
        EXPECT_GT(Darkest(busy, refused), Darkest(idle, refused) + 80);
    }
    for (TFMXFlatBtn* taken : {frm->fbBgCol, frm->fbAbout}) {
        SCOPED_TRACE(taken->Text().toStdString());
        EXPECT_EQ(Darkest(busy, taken), Darkest(idle, taken));
    }
    const QImage after = frm->LayoutT->grab().toImage();
    EXPECT_EQ(Darkest(after, frm->fbOpen), Darkest(idle, frm->fbOpen));
}

} // namespace
