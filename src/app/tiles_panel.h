// The "Tiles" panel beside the picture: the maker options (palette, colour count, dithering,
// grout and outline) and the bill of materials of the last mosaic. Hidden until asked for, and
// with every option at its default the mosaic is exactly the plain one.
#pragma once

#include "maker.h"
#include "maker_outputs.h"

#include <QFrame>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;
class TBomModel;
class QToolButton;
class TIniFile;

class TTilesPanel : public QFrame {
    Q_OBJECT
public:
    TTilesPanel(bool AJapanese, QWidget* AParent = nullptr);

    // The options as set; no side files.
    TMakerOptions Options() const;
    // Whether every option is at its default.
    bool IsDefault() const;

    // From and to the settings file's own section; a file without the section leaves the
    // defaults. A palette that can no longer be read is quietly dropped.
    void Load(const TIniFile& AIni);
    void Save(TIniFile& AIni) const;

    // Reads a palette file and makes it the chosen one. On failure it throws EVormError naming
    // the file and the line, and the panel keeps its earlier palette.
    void UsePaletteFile(const QString& AFileName);
    const TPalette& Palette() const { return FPalette; }

    // A photo without a palette has a row for each of its many colours: the table is a model
    // that makes only the rows shown.
    void ShowBom(std::vector<TBomRow> ARows, int AWidth, int AHeight);
    void ClearBom();
    // The table's text in a cell, as shown.
    QString BomText(int ARow, int AColumn) const;
    int BomRows() const;

    // The controls, for the window and its tests.
    QComboBox* cbPalette = nullptr;
    QSpinBox* seColors = nullptr;
    QCheckBox* chDither = nullptr;
    QDoubleSpinBox* seGrout = nullptr;
    QToolButton* btGroutColor = nullptr;
    QDoubleSpinBox* seOutline = nullptr;
    QToolButton* btOutlineColor = nullptr;
    QTableView* tbBom = nullptr;
    QPushButton* btExport = nullptr;
    QLabel* lbTitle = nullptr;

    TAlphaColor GroutColor() const { return FGroutColor; }
    TAlphaColor OutlineColor() const { return FOutlineColor; }
    void SetGroutColor(TAlphaColor AColor);
    void SetOutlineColor(TAlphaColor AColor);

signals:
    void ExportRequested();
    // A palette could not be read; the message names the file and the line.
    void PaletteFailed(const QString& AMessage);

protected:
    void showEvent(QShowEvent* AEvent) override;

private:
    void FillPalettes();
    void PaletteChosen(int AIndex);
    void PickColor(bool AGrout);
    void ShowColor(QToolButton* AButton, TAlphaColor AColor);
    int EntryOf(const QString& AFileName) const;

    bool FJapanese;
    TBomModel* FBom = nullptr;
    bool FListed = false;  // the installed palettes are in the list
    TPalette FPalette;     // the chosen one; no entries for "None"
    int FPaletteIndex = 0; // the list entry it came from
    TAlphaColor FGroutColor = 0;
    TAlphaColor FOutlineColor = 0xFF000000;
};
