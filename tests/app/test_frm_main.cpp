#include "app_test_support.h"
#include "atomic_file.h"
#include "catalog.h"
#include "drivers.h"
#include "file_names.h"
#include "flat_btn.h"
#include "ini_file.h"
#include "memory_budget.h"
#include "vorm_error.h"

#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kGrey = 0xFFDDDDDD, kBlack = 0xFF000000;

class FrmMainTest : public TWindowTest {
protected:
    void WriteIni(const QByteArray& AText) {
        QFile f(Ini);
        f.open(QIODevice::WriteOnly);
        f.write(AText);
    }
    QByteArray ReadIni() {
        QFile f(Ini);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
};

QMimeData* FilesMime(const QStringList& AFiles) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& f : AFiles)
        urls << (f.startsWith("http") ? QUrl(f) : QUrl::fromLocalFile(f));
    mime->setUrls(urls);
    return mime;
}

// Sends a drag enter and, when it is taken, a drop; returns whether the drag was taken.
bool DragAndDrop(TFrmMain& AFrm, const QStringList& AFiles) {
    std::unique_ptr<QMimeData> mime(FilesMime(AFiles));
    const QPoint at = AFrm.Image1->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AFrm.Image1, &enter);
    if (!enter.isAccepted() || enter.dropAction() != Qt::CopyAction)
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(AFrm.Image1, &drop);
    return true;
}

void Click(QWidget* AButton, Qt::MouseButton AWhich = Qt::LeftButton) {
    QTest::mouseClick(AButton, AWhich, Qt::NoModifier, AButton->rect().center());
}

// As a user types a name into the dialog's name field.
void TypeFileName(QFileDialog* ADialog, const QString& AName) {
    auto* edit = ADialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(AName);
}

QString SvgFilter() {
    return "SVG FIle (*.svg *.SVG)";
}
QString PngSaveFilter() {
    return "PNG File (*.png *.PNG)";
}

} // namespace

TEST_F(FrmMainTest, FirstStartDefaults) {
    auto frm = NewWindow();
    EXPECT_EQ(frm->windowTitle(), "VORM");
    EXPECT_EQ(frm->size(), QSize(860, 530));
    EXPECT_EQ(frm->minimumSize(), QSize(860, 400));
    EXPECT_EQ(frm->cbInit->currentText(), "Equilateral Triangle 1");
    EXPECT_EQ(frm->cbColor->currentText(), "Color");
    EXPECT_EQ(frm->cbWidth->currentText(), "16px");
    EXPECT_EQ(frm->cbAlpha->currentText(), "100%");
    EXPECT_EQ(frm->cbInit->count(), 7);
    EXPECT_EQ(frm->cbColor->count(), 10);
    EXPECT_EQ(frm->gOpenIndex, 0);
    EXPECT_EQ(frm->gSaveIndex, 0);
    EXPECT_EQ(frm->OpenDialog->selectedNameFilter(), "All");
    EXPECT_EQ(frm->SaveDialog->selectedNameFilter(), "SVG FIle");
    EXPECT_TRUE(frm->gFileName.isEmpty());
    EXPECT_EQ(frm->gWidth, 16);
    EXPECT_EQ(frm->gAlpha, 1.0f);
    EXPECT_EQ(frm->gImage2Index, 0);
    // Checkerboard of 8-unit squares, white in the top-left corner.
    const QImage bg = frm->Image2->Bitmap();
    EXPECT_EQ(bg.size(), frm->Image2->size());
    EXPECT_EQ(Pixel(bg, 0, 0), kWhite);
    EXPECT_EQ(Pixel(bg, 8, 0), kGrey);
    EXPECT_EQ(Pixel(bg, 0, 8), kGrey);
    EXPECT_EQ(Pixel(bg, 15, 15), kWhite);
    EXPECT_EQ(frm->LayoutT->height(), 60);
    EXPECT_EQ(frm->ProgressBar->height(), 8);
    EXPECT_EQ(frm->fbAbout->geometry(), QRect(800, 0, 60, 60));
}

TEST_F(FrmMainTest, WideningMovesOnlyTheAboutButton) {
    auto frm = NewWindow();
    const QRect bg = frm->fbBgCol->geometry();
    frm->resize(1000, 600);
    QApplication::processEvents();
    EXPECT_EQ(frm->fbAbout->geometry(), QRect(940, 0, 60, 60));
    EXPECT_EQ(frm->fbBgCol->geometry(), bg);
    EXPECT_EQ(frm->Image2->Bitmap().size(), frm->Image2->size());
}

TEST_F(FrmMainTest, ParamSetForEveryListPosition) {
    auto frm = NewWindow();
    for (int i = 0; i < frm->cbInit->count(); ++i) {
        SCOPED_TRACE(i);
        frm->cbInit->setCurrentIndex(i);
        frm->ParamSet();
        EXPECT_EQ(frm->gBitmapToItemXsInit, kShapes[size_t(i)].Init);
    }
    for (int i = 0; i < frm->cbColor->count(); ++i) {
        SCOPED_TRACE(i);
        frm->cbColor->setCurrentIndex(i);
        frm->ParamSet();
        EXPECT_EQ(frm->gColorConv, kColors[size_t(i)].Conv);
        EXPECT_EQ(frm->gColorConvOpaque, i == 0 || i == 5);
    }
    const float widths[] = {16, 32, 64, 128}, alphas[] = {1, 0.75f, 0.5f, 0.25f};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        frm->cbWidth->setCurrentIndex(i);
        frm->cbAlpha->setCurrentIndex(i);
        frm->ParamSet();
        EXPECT_EQ(frm->gWidth, widths[i]);
        EXPECT_EQ(frm->gAlpha, alphas[i]);
    }
    // No selection keeps the previous choice; unreadable texts give 64 and 100 %.
    frm->cbInit->setCurrentIndex(-1);
    frm->cbWidth->setItemText(0, "wide px");
    frm->cbWidth->setCurrentIndex(0);
    frm->cbAlpha->setItemText(0, "full%");
    frm->cbAlpha->setCurrentIndex(0);
    frm->ParamSet();
    EXPECT_EQ(frm->gBitmapToItemXsInit, kShapes.back().Init);
    EXPECT_EQ(frm->gWidth, 64);
    EXPECT_EQ(frm->gAlpha, 1.0f);
}

TEST_F(FrmMainTest, OpenShowsThePictureAndPreviewShowsTheMosaic) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    EXPECT_EQ(frm->windowTitle(), "VORM -cat.png");
    EXPECT_EQ(frm->gFileName, Picture);
    EXPECT_EQ(frm->gOpenFile, "cat.png");
    EXPECT_EQ(frm->Image1->Bitmap(), Source);

    frm->cbInit->setCurrentIndex(6);
    frm->cbColor->setCurrentIndex(3);
    frm->cbWidth->setCurrentIndex(1);
    frm->cbAlpha->setCurrentIndex(1);
    Click(frm->fbPrev);
    ASSERT_TRUE(WaitConversion(*frm));
    QImage expected;
    MosaicPreview(kShapes[6].Init, 32, Source, expected, kColors[3].Conv, 0.75f, nullptr);
    EXPECT_EQ(frm->Image1->Bitmap(), expected);
    EXPECT_EQ(frm->gBitmap, Source); // the source itself is never converted
}

TEST_F(FrmMainTest, OpensPhotoshopDocumentsThroughTheProgramsReader) {
    const QString data = QDir::cleanPath(QStringLiteral(VORM_TEST_DATA "/../../imaging/data"));
    const QString psd = data + "/rgb-rle.psd";
    const QImage expected(data + "/src-rgb.png");
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(psd));
    EXPECT_EQ(frm->gOpenFile, "rgb-rle.psd");
    EXPECT_EQ(frm->gBitmap.size(), expected.size());
    EXPECT_EQ(frm->gBitmap.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(frm->gBitmap.pixel(3, 2), expected.pixel(3, 2));
}

TEST_F(FrmMainTest, PreviewAndSaveBeforeAnOpenDoNothing) {
    auto frm = NewWindow();
    const QImage bg = frm->Image2->Bitmap();
    TDialogDriver watch;
    Click(frm->fbPrev);
    Click(frm->fbSave);
    QApplication::processEvents();
    EXPECT_FALSE(frm->IsConverting());
    EXPECT_EQ(watch.OtherDialogs + watch.Messages.size(), 0);
    EXPECT_TRUE(frm->Image1->Bitmap().isNull());
    EXPECT_EQ(frm->Image2->Bitmap(), bg);
}

TEST_F(FrmMainTest, OpenThroughTheDialogRemembersFolderAndFilter) {
    auto frm = NewWindow();
    TDialogDriver watch([&](QDialog* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_EQ(d, frm->OpenDialog);
        d->selectNameFilter(d->nameFilters()[3]); // PNG File
        TypeFileName(d, Picture);
        static_cast<QDialog*>(d)->accept();
    });
    Click(frm->fbOpen);
    EXPECT_EQ(watch.OtherDialogs, 1);
    EXPECT_EQ(frm->gFileName, Picture);
    EXPECT_EQ(frm->gOpenPath, QFileInfo(Picture).absolutePath() + '/');
    EXPECT_EQ(frm->gOpenIndex, 4);
}

TEST_F(FrmMainTest, SaveNameTakesTheFiltersExtensionWhenItHasNoneOfOurs) {
    const struct {
        const char* Typed;
        int Filter;
        const char* Saved;
    } cases[] = {
        {"/d/out", 1, "/d/out.svg"},     {"/d/out", 0, "/d/out.svg"},
        {"/d/out.jpg", 2, "/d/out.png"}, {"/d/out.PNG", 1, "/d/out.PNG"},
        {"/d/out.svg", 2, "/d/out.svg"}, {"/d/my.photo", 2, "/d/my.png"},
        {"/d.x/out", 2, "/d.x/out.png"}, {"/d/.svg", 1, "/d/.svg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        EXPECT_EQ(TFrmMain::SaveNameFor(c.Typed, c.Filter), c.Saved);
    }
}

TEST_F(FrmMainTest, SaveWritesSvgOrPngAndMovesAnEarlierFileAside) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    const QString out = Dir.filePath("out");
    QString typed, filter;
    TDialogDriver watch([&](QDialog* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_EQ(d, frm->SaveDialog);
        d->selectNameFilter(filter);
        TypeFileName(d, typed);
        static_cast<QDialog*>(d)->accept();
    });
    const struct {
        QString Typed, Filter, Written, MovedTo;
    } steps[] = {
        {out, SvgFilter(), out + ".svg", ""},
        {out, SvgFilter(), out + ".svg", out + " (1).svg"},
        {out + ".jpg", PngSaveFilter(), out + ".png", ""},
        // Linux names differ by case: out.PNG is a file of its own.
        {out + ".PNG", SvgFilter(), out + ".PNG", ""},
        {out + ".PNG", PngSaveFilter(), out + ".PNG", out + " (1).PNG"},
    };
    QImage expected;
    MosaicPreview(kShapes[0].Init, 16, Source, expected, kColors[0].Conv, 1, nullptr);
    int messages = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.Written.toStdString());
        typed = s.Typed;
        filter = s.Filter;
        frm->Image1->SetBitmap(QImage());
        Click(frm->fbSave);
        ASSERT_TRUE(WaitConversion(*frm));
        ASSERT_TRUE(QFileInfo::exists(s.Written));
        if (!s.MovedTo.isEmpty()) {
            EXPECT_TRUE(QFileInfo::exists(s.MovedTo));
            ASSERT_EQ(watch.Messages.size(), ++messages);
            EXPECT_EQ(watch.Messages.back(), RenameMessage(QFileInfo(s.Written).fileName(),
                                                           QFileInfo(s.MovedTo).fileName(), false));
            EXPECT_EQ(watch.Icons.back(), QMessageBox::Information);
        }
        ASSERT_EQ(watch.Messages.size(), messages);
        QFile f(s.Written);
        f.open(QIODevice::ReadOnly);
        const QByteArray head = f.read(64);
        if (s.Written.endsWith(".svg"))
            EXPECT_TRUE(head.contains("<svg") || head.startsWith("<?xml"));
        else
            EXPECT_EQ(
                QImageReader(s.Written).read().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                expected);
        EXPECT_EQ(frm->Image1->Bitmap(), expected); // the window shows what it saved
        EXPECT_EQ(frm->gSavePath, Dir.path() + '/');
        EXPECT_EQ(frm->gSaveIndex, s.Filter == SvgFilter() ? 1 : 2);
    }
}

TEST_F(FrmMainTest, BackgroundCyclesAndResets) {
    auto frm = NewWindow();
    const struct {
        bool Right;
        int Index;
        QRgb Corner, Next;
    } clicks[] = {
        {false, 1, kWhite, kWhite}, {false, 2, kBlack, kBlack}, {false, 1, kWhite, kWhite},
        {false, 2, kBlack, kBlack}, {true, 0, kWhite, kGrey},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.Index);
        Click(frm->fbBgCol, c.Right ? Qt::RightButton : Qt::LeftButton);
        EXPECT_EQ(frm->gImage2Index, c.Index);
        EXPECT_EQ(Pixel(frm->Image2->Bitmap(), 0, 0), c.Corner);
        EXPECT_EQ(Pixel(frm->Image2->Bitmap(), 8, 0), c.Next);
    }
}

TEST_F(FrmMainTest, CheckerSquaresFollowTheCellWidthOfTheLastConversion) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    for (const auto& [index, side] : {std::pair{3, 64}, std::pair{0, 8}}) {
        SCOPED_TRACE(side);
        frm->cbWidth->setCurrentIndex(index);
        frm->Preview();
        ASSERT_TRUE(WaitConversion(*frm));
        const QImage bg = frm->Image2->Bitmap();
        EXPECT_EQ(Pixel(bg, side - 1, side - 1), kWhite);
        EXPECT_EQ(Pixel(bg, side, 0), kGrey);
        EXPECT_EQ(Pixel(bg, 0, side), kGrey);
        EXPECT_EQ(Pixel(bg, side, side), kWhite);
    }
    // Another width alone converts nothing and keeps the squares, even through a resize.
    frm->cbWidth->setCurrentIndex(2);
    frm->resize(900, 560);
    QApplication::processEvents();
    EXPECT_EQ(Pixel(frm->Image2->Bitmap(), 8, 0), kGrey);
    EXPECT_EQ(Pixel(frm->Image2->Bitmap(), 16, 0), kWhite);
}

TEST_F(FrmMainTest, DragAndDropTakesExactlyOneAcceptedFile) {
    auto frm = NewWindow();
    const QString jpeg = Dir.filePath("b.jpeg"), other = Dir.filePath("other.png");
    MakePicture(jpeg, 10, 10);
    MakePicture(other, 30, 20);
    frm->gOpenPath = "/kept/";
    frm->gOpenIndex = 3;
    const struct {
        QStringList Files;
        bool Taken;
    } cases[] = {
        {{Picture, other}, false},
        {{jpeg}, false},
        {{Dir.filePath("c.tga")}, false},
        {{"https://example.org/d.png"}, false},
        {{}, false},
        {{Picture}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Files.join(", ").toStdString());
        EXPECT_EQ(DragAndDrop(*frm, c.Files), c.Taken);
        EXPECT_EQ(frm->gFileName, c.Taken ? Picture : QString());
    }
    EXPECT_EQ(frm->Image1->Bitmap(), Source);
    EXPECT_EQ(frm->gOpenPath, "/kept/");
    EXPECT_EQ(frm->gOpenIndex, 3);
}

TEST_F(FrmMainTest, AFailedOpenKeepsThePreviousPicture) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    const QString broken = Dir.filePath("broken.png");
    QFile f(broken);
    f.open(QIODevice::WriteOnly);
    f.write("\x89PNG\r\n\x1a\n not really");
    f.close();
    try {
        frm->OpenFile(broken);
        FAIL() << "no error";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("broken.png"));
    }
    // By drop the error is shown in a box, and the window goes on.
    TDialogDriver watch;
    EXPECT_TRUE(DragAndDrop(*frm, {broken}));
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_TRUE(watch.Messages[0].contains("broken.png"));
    EXPECT_EQ(watch.Icons[0], QMessageBox::Critical);
    EXPECT_EQ(frm->gFileName, Picture);
    EXPECT_EQ(frm->gOpenFile, "cat.png");
    EXPECT_EQ(frm->windowTitle(), "VORM -cat.png");
    EXPECT_EQ(frm->gBitmap, Source);
    EXPECT_EQ(frm->Image1->Bitmap(), Source);
}

// A FIFO dropped on the window is refused at once, not opened: that would wait for a writer and
// freeze the window.
TEST_F(FrmMainTest, ADroppedFifoIsRefusedWithoutWaiting) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    const QString fifo = Dir.filePath("pipe.psd");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    TDialogDriver watch;
    EXPECT_TRUE(DragAndDrop(*frm, {fifo}));
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_EQ(watch.Messages[0],
              QStringLiteral("Cannot read \"%1\": it is not a regular file.").arg(fifo));
    EXPECT_EQ(frm->gFileName, Picture);
    EXPECT_EQ(frm->Image1->Bitmap(), Source);
}

// A picture too big for the memory budget is refused before it is read, with its figures; the
// window keeps what it showed.
TEST_F(FrmMainTest, APictureTooBigForTheMemoryIsRefusedWithItsFigures) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    const QString other = Dir.filePath("other.png");
    MakePicture(other, 120, 80);
    // The window's conversion holds the picture, the mosaic shown and the one being painted.
    SetMemoryLimit(100'000);
    TDialogDriver watch;
    EXPECT_TRUE(DragAndDrop(*frm, {other}));
    SetMemoryLimit(0);
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_EQ(watch.Messages[0],
              QStringLiteral("\"%1\" is 120 × 80 pixels (0.010 megapixels) and needs 135 kB to "
                             "convert; the memory limit is 100 kB.")
                  .arg(QDir::toNativeSeparators(other)));
    EXPECT_EQ(watch.Icons[0], QMessageBox::Critical);
    EXPECT_EQ(frm->gFileName, Picture);
    EXPECT_EQ(frm->Image1->Bitmap(), Source);
}

// A JPEG cut short is shown as far as it goes, and a box says that it is cut short.
TEST_F(FrmMainTest, AJpegCutShortIsShownWithAWarning) {
    auto frm = NewWindow();
    const QString whole = Dir.filePath("whole.jpg"), cut = Dir.filePath("cut.jpg");
    ASSERT_TRUE(Source.save(whole, "JPEG"));
    QFile f(whole);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    WriteFileAtomically(cut, f.readAll().left(int(f.size() / 2)));
    TDialogDriver watch;
    EXPECT_TRUE(DragAndDrop(*frm, {cut}));
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_EQ(watch.Messages[0],
              QStringLiteral("\"%1\" is cut short: it is read as far as it goes, and what is "
                             "missing comes out grey or blurred.")
                  .arg(QDir::toNativeSeparators(cut)));
    EXPECT_EQ(watch.Icons[0], QMessageBox::Warning);
    EXPECT_EQ(frm->gFileName, cut);
    EXPECT_EQ(frm->gBitmap.size(), Source.size());
    EXPECT_EQ(frm->Image1->Bitmap(), frm->gBitmap);
}

TEST_F(FrmMainTest, EscCancelsAConversionAndACancelledSaveLeavesTheFolderAsItWas) {
    auto frm = NewWindow();
    const QString big = Dir.filePath("big.png");
    const QImage bigSource = MakePicture(big, 300, 200);
    ASSERT_TRUE(frm->OpenFile(big));
    const QString out = Dir.filePath("out.svg");
    WriteFileAtomically(out, "earlier work");
    TDialogDriver watch([&](QDialog* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        d->selectNameFilter(SvgFilter());
        TypeFileName(d, out);
        static_cast<QDialog*>(d)->accept();
    });
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save);
        TProgressGate gate;
        frm->ProgressObserver = &gate;
        Click(save ? frm->fbSave : frm->fbPrev);
        ASSERT_TRUE(frm->IsConverting());
        // Everything that would replace the source or start another conversion is refused.
        EXPECT_FALSE(frm->fbOpen->isEnabled());
        EXPECT_FALSE(frm->fbSave->isEnabled());
        EXPECT_FALSE(frm->fbPrev->isEnabled());
        EXPECT_FALSE(DragAndDrop(*frm, {Picture}));
        EXPECT_FALSE(frm->OpenFile(Picture));
        QTest::keyClick(frm.get(), Qt::Key_Escape);
        gate.Open();
        ASSERT_TRUE(WaitConversion(*frm));
        frm->ProgressObserver = nullptr;
        EXPECT_TRUE(frm->fbPrev->isEnabled());
        EXPECT_EQ(frm->ProgressBar->value(), 0);
        EXPECT_EQ(frm->Image1->Bitmap(), bigSource);
        EXPECT_EQ(frm->gFileName, big);
    }
    // One message for the move aside, none for the cancel; the earlier file is back.
    EXPECT_EQ(watch.Messages.size(), 1);
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    EXPECT_EQ(f.readAll(), "earlier work");
    EXPECT_EQ(QDir(Dir.path()).entryList({"out*"}), QStringList{"out.svg"});
    EXPECT_TRUE(frm->gSavePath.isEmpty());
}

TEST_F(FrmMainTest, ClosingDuringAConversionCancelsItAndThenCloses) {
    auto frm = NewWindow();
    const QString big = Dir.filePath("big.png");
    MakePicture(big, 300, 200);
    ASSERT_TRUE(frm->OpenFile(big));
    TProgressGate gate;
    frm->ProgressObserver = &gate;
    frm->Preview();
    ASSERT_TRUE(frm->IsConverting());
    EXPECT_FALSE(frm->close());
    EXPECT_TRUE(frm->isVisible());
    gate.Open();
    ASSERT_TRUE(WaitConversion(*frm));
    EXPECT_FALSE(frm->isVisible());
    EXPECT_EQ(frm->Image1->Bitmap(), frm->gBitmap); // the cancelled preview is not shown
}

TEST_F(FrmMainTest, ASaveThatFailsIsReportedAndKeepsTheSaveFolder) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    const QString missing = Dir.filePath("gone/out.png");
    TDialogDriver watch;
    frm->SaveFile(missing);
    ASSERT_TRUE(WaitConversion(*frm));
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_TRUE(watch.Messages[0].contains("out.png"));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(frm->gSavePath.isEmpty());
}

TEST_F(FrmMainTest, SettingsRoundTrip) {
    const struct {
        const char* Name;
        QByteArray Stored;
        int Init, Color, Width, Alpha, OpenIndex, SaveIndex;
    } cases[] = {
        {"wide and bad", "[System]\nWidthIndex=9\nColorIndex=abc\nInitIndex=6\n", 6, 0, 3, 0, 0, 0},
        {"negative", "[System]\nWidthIndex=-3\nAlphaIndex=-1\nOpenIndex=-1\nSaveIndex=-2\n", 0, 0,
         0, 0, 0, 0},
        {"every open filter survives", "[System]\nOpenIndex=4\nSaveIndex=2\nAlphaIndex=3\n", 0, 0,
         0, 3, 4, 2},
        {"open filter 6", "[System]\nOpenIndex=6\nSaveIndex=1\nColorIndex=9\n", 0, 9, 0, 0, 6, 1},
        {"beyond the filters", "[System]\nOpenIndex=7\nSaveIndex=3\n", 0, 0, 0, 0, 0, 0},
        {"any spelling", "\xEF\xBB\xBF[system]\nopenpath=/p/\nSAVEPATH=/s/\nOPENINDEX=2\n", 0, 0, 0,
         0, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteIni(c.Stored);
        {
            auto frm = NewWindow();
            EXPECT_EQ(frm->cbInit->currentIndex(), c.Init);
            EXPECT_EQ(frm->cbColor->currentIndex(), c.Color);
            EXPECT_EQ(frm->cbWidth->currentIndex(), c.Width);
            EXPECT_EQ(frm->cbAlpha->currentIndex(), c.Alpha);
            EXPECT_EQ(frm->gOpenIndex, c.OpenIndex);
            EXPECT_EQ(frm->gSaveIndex, c.SaveIndex);
            // The dialogs show the filters by name.
            EXPECT_EQ(
                frm->OpenDialog->selectedNameFilter(),
                frm->OpenDialog->nameFilters()[std::max(c.OpenIndex - 1, 0)].section(" (", 0, 0));
            EXPECT_EQ(
                frm->SaveDialog->selectedNameFilter(),
                frm->SaveDialog->nameFilters()[std::max(c.SaveIndex - 1, 0)].section(" (", 0, 0));
        }
        const TIniFile back(Ini);
        EXPECT_EQ(back.ReadInteger("System", "InitIndex", -9), c.Init);
        EXPECT_EQ(back.ReadInteger("System", "OpenIndex", -9), c.OpenIndex);
        EXPECT_EQ(back.ReadInteger("System", "SaveIndex", -9), c.SaveIndex);
    }
    // The last case's folders, and the whole file as written.
    EXPECT_EQ(ReadIni(), "\xEF\xBB\xBF[system]\nOpenPath=/p/\nSavePath=/s/\nOpenIndex=2\n"
                         "InitIndex=0\nColorIndex=0\nWidthIndex=0\nAlphaIndex=0\n"
                         "SaveIndex=0\n\n");
}

TEST_F(FrmMainTest, ListsChangedAfterTheLastConversionAreStoredAndOtherEntriesSurvive) {
    WriteIni("; hand-written\n[Extra]\nKeep=yes\n\n[System]\nOpenPath=/pics/\n");
    {
        auto frm = NewWindow();
        EXPECT_EQ(frm->gOpenPath, "/pics/");
        frm->cbInit->setCurrentIndex(5);
        frm->cbWidth->setCurrentIndex(2);
        frm->gSavePath = "/out/";
        frm->gOpenIndex = 1;
        frm->gSaveIndex = 2;
    }
    EXPECT_EQ(ReadIni(), "\xEF\xBB\xBF[Extra]\nKeep=yes\n\n[System]\nOpenPath=/pics/\n"
                         "SavePath=/out/\nInitIndex=5\nColorIndex=0\nWidthIndex=2\n"
                         "AlphaIndex=0\nOpenIndex=1\nSaveIndex=2\n\n");
}

TEST_F(FrmMainTest, AnUnwritableSettingsFileIsSkippedAtExit) {
    WriteIni("a file where a folder should be");
    Ini = Ini + "/sub/vorm.ini";
    auto frm = NewWindow();
    frm->cbInit->setCurrentIndex(3);
    EXPECT_NO_THROW(frm.reset());
    EXPECT_FALSE(QFileInfo::exists(Ini));
}
