// The "Tiles" panel: its settings, its outputs against vorm-cli's, its bill of materials, a bad
// palette, the context menu's copy and the first start it must leave as it was.
#include "app_test_support.h"
#include "ini_file.h"
#include "tiles_panel.h"
#include "vorm_error.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QByteArray kPalette = "GIMP Palette\nName: Test tiles\n#\n"
                            "  0   0   0 Black\n255 255 255 White\n200  40  40 Brick red\n"
                            " 40 120 200 Sky\n";

class TilesPanelTest : public TWindowTest {
protected:
    void SetUp() override {
        TWindowTest::SetUp();
        PaletteFile = Dir.filePath("tiles.gpl");
        Write(PaletteFile, kPalette);
    }
    static void Write(const QString& AFile, const QByteArray& AData) {
        QFile f(AFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(AData);
    }
    static QByteArray Read(const QString& AFile) {
        QFile f(AFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // The options a maker would set, through the panel's own controls.
    void SetOptions(TTilesPanel& APanel) {
        APanel.UsePaletteFile(PaletteFile);
        APanel.seColors->setValue(3);
        APanel.chDither->setChecked(true);
        APanel.seGrout->setValue(2);
        APanel.SetGroutColor(0xFFFFFFFF);
        APanel.seOutline->setValue(0.5);
        APanel.SetOutlineColor(0x80102030);
    }
    QStringList CliOptions() const {
        return {
            "--palette",     PaletteFile, "--colors",  "3",   "--dither",        "--grout",  "2",
            "--grout-color", "#FFFFFF",   "--outline", "0.5", "--outline-color", "#10203080"};
    }
    struct TCli {
        int Code;
        QString Err;
    };
    static TCli Cli(const QStringList& AArgs) {
        QProcess p;
        p.start(QStringLiteral(VORM_CLI), AArgs);
        p.waitForFinished(120000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString PaletteFile;
};

// The first start shows no panel, and a run that never touches it writes the settings file as it
// always was; an older file reads as before.
TEST_F(TilesPanelTest, FirstStartAndOlderFilesAreAsBefore) {
    {
        auto frm = NewWindow();
        EXPECT_FALSE(frm->IsPanelVisible());
        EXPECT_TRUE(frm->TilesPanel->IsDefault());
    }
    EXPECT_FALSE(Read(Ini).contains("[Tiles]"));
    const QByteArray older = "\xEF\xBB\xBF[System]\r\nInitIndex=3\r\nWidthIndex=2\r\n\r\n";
    Write(Ini, older);
    {
        auto frm = NewWindow();
        EXPECT_FALSE(frm->IsPanelVisible());
        EXPECT_EQ(frm->cbInit->currentIndex(), 3);
        EXPECT_TRUE(frm->TilesPanel->IsDefault());
    }
    EXPECT_FALSE(Read(Ini).contains("[Tiles]"));
}

TEST_F(TilesPanelTest, SettingsSurviveARestart) {
    {
        auto frm = NewWindow();
        QTest::keyClick(frm.get(), Qt::Key_F9);
        EXPECT_TRUE(frm->IsPanelVisible());
        SetOptions(*frm->TilesPanel);
    }
    auto frm = NewWindow();
    EXPECT_TRUE(frm->IsPanelVisible());
    const TMakerOptions o = frm->TilesPanel->Options();
    EXPECT_EQ(o.Palette.File, PaletteFile);
    EXPECT_EQ(o.Palette.Entries.size(), 4u);
    EXPECT_EQ(o.Colors, 3);
    EXPECT_TRUE(o.Dither);
    EXPECT_EQ(o.Grout, 2);
    EXPECT_EQ(o.GroutColor, 0xFFFFFFFFu);
    EXPECT_EQ(o.Outline, 0.5);
    EXPECT_EQ(o.OutlineColor, 0x80102030u);
    QTest::keyClick(frm.get(), Qt::Key_F9);
    EXPECT_FALSE(frm->IsPanelVisible());
}

// Preview and save go through the engine calls that vorm-cli makes: the same options give the
// same SVG bytes and PNG pixels, and the table holds vorm-cli's bill of materials.
TEST_F(TilesPanelTest, OutputsAndBillEqualTheCommandLines) {
    auto frm = NewWindow();
    SetOptions(*frm->TilesPanel);
    ASSERT_TRUE(frm->OpenFile(Picture));
    for (const char* ext : {"svg", "png"}) {
        SCOPED_TRACE(ext);
        const QString mine = Dir.filePath(QStringLiteral("window.%1").arg(ext));
        const QString theirs = Dir.filePath(QStringLiteral("cli.%1").arg(ext));
        const QString bom = Dir.filePath(QStringLiteral("bom-%1.csv").arg(ext));
        frm->SaveFile(mine);
        ASSERT_TRUE(WaitConversion(*frm));
        const TCli r =
            Cli(QStringList{"--quiet", "--bom", bom} + CliOptions() + QStringList{Picture, theirs});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        if (QByteArray(ext) == "svg")
            EXPECT_EQ(Read(mine), Read(theirs));
        else
            EXPECT_EQ(QImage(mine).convertToFormat(QImage::Format_ARGB32),
                      QImage(theirs).convertToFormat(QImage::Format_ARGB32));
        const QList<QByteArray> lines = Read(bom).trimmed().split('\n');
        ASSERT_EQ(lines.size() - 1, frm->TilesPanel->BomRows());
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines[i].trimmed().split(',');
            ASSERT_GE(cells.size(), 5);
            EXPECT_EQ(frm->TilesPanel->BomText(i - 1, 1), QString::fromUtf8(cells[0]));
            EXPECT_EQ(frm->TilesPanel->BomText(i - 1, 3).remove(QLocale().groupSeparator()),
                      QString::fromUtf8(cells[3]));
            EXPECT_EQ(frm->TilesPanel->BomText(i - 1, 4).remove(QLocale().groupSeparator()),
                      QString::fromUtf8(cells[4]));
        }
        // The export writes what vorm-cli wrote, beside an earlier file it moves aside.
        const QString exported = Dir.filePath(QStringLiteral("exported-%1.csv").arg(ext));
        Write(exported, "earlier");
        TDialogDriver watch;
        frm->ExportTo(exported, TFrmMain::TExportKind::BomCsv);
        EXPECT_EQ(Read(exported), Read(bom));
        EXPECT_EQ(Read(Dir.filePath(QStringLiteral("exported-%1 (1).csv").arg(ext))), "earlier");
        EXPECT_EQ(watch.Messages.size(), 1);
    }
}

// With every option at its default the preview is the plain mosaic, and the table lists its
// colours.
TEST_F(TilesPanelTest, DefaultsGiveThePlainMosaic) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    frm->Preview();
    ASSERT_TRUE(WaitConversion(*frm));
    QImage plain;
    frm->ParamSet();
    MosaicPreview(frm->gBitmapToItemXsInit, frm->gWidth, Source, plain, frm->gColorConv,
                  frm->gAlpha, nullptr);
    EXPECT_EQ(frm->Image1->Bitmap(), plain);
    EXPECT_GT(frm->TilesPanel->BomRows(), 1);
}

// A palette that cannot be read is named with its line, and the panel keeps what it had.
TEST_F(TilesPanelTest, ABadPaletteLeavesThePanelAsItWas) {
    auto frm = NewWindow();
    frm->SetPanelVisible(true);
    frm->TilesPanel->UsePaletteFile(PaletteFile);
    const QString bad = Dir.filePath("bad.gpl");
    Write(bad, "GIMP Palette\n0 0 0 Black\n300 0 0 Too red\n");
    try {
        frm->TilesPanel->UsePaletteFile(bad);
        ADD_FAILURE() << "accepted";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("bad.gpl")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("line 3")) << e.message().toStdString();
    }
    EXPECT_EQ(frm->TilesPanel->Palette().File, PaletteFile);
    // Through the list's "Open palette file…": the message box names it, nothing changes.
    QComboBox* list = frm->TilesPanel->cbPalette;
    const int before = list->currentIndex(), count = list->count();
    TDialogDriver watch([&](QDialog* ADialog) {
        auto* dialog = qobject_cast<QFileDialog*>(ADialog);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(bad);
        static_cast<QDialog*>(dialog)->accept();
    });
    list->setCurrentIndex(count - 1);
    emit list->activated(count - 1);
    ASSERT_EQ(watch.Messages.size(), 1);
    EXPECT_TRUE(watch.Messages[0].contains("bad.gpl"));
    EXPECT_EQ(list->currentIndex(), before);
    EXPECT_EQ(list->count(), count);
    EXPECT_EQ(frm->TilesPanel->Palette().File, PaletteFile);
}

// The colour buttons open Qt's colour dialog with alpha; from "transparent" it starts at opaque
// white, so that what is picked there is seen.
TEST_F(TilesPanelTest, AColourPickedFromTransparentIsOpaque) {
    auto frm = NewWindow();
    frm->SetPanelVisible(true);
    TDialogDriver watch([](QDialog* ADialog) { ADialog->accept(); });
    frm->TilesPanel->btGroutColor->click();
    EXPECT_EQ(frm->TilesPanel->GroutColor(), 0xFFFFFFFFu);
    frm->TilesPanel->btOutlineColor->click();
    EXPECT_EQ(frm->TilesPanel->OutlineColor(), 0xFF000000u); // kept as it was
}

// Ctrl+C copies the picture before a preview, and the mosaic after it, alpha kept.
TEST_F(TilesPanelTest, CopyPutsWhatIsShownOnTheClipboard) {
    auto frm = NewWindow();
    ASSERT_TRUE(frm->OpenFile(Picture));
    QTest::keyClick(frm.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32),
              Source.convertToFormat(QImage::Format_ARGB32));
    frm->Preview();
    ASSERT_TRUE(WaitConversion(*frm));
    frm->CopyMosaic();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_TRUE(copied.hasAlphaChannel());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_ARGB32),
              frm->Image1->Bitmap().convertToFormat(QImage::Format_ARGB32));
}

} // namespace
