#include "tiles_panel.h"

#include "ini_file.h"
#include "palette.h"
#include "ui_texts.h"
#include "vorm_error.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

const QString kTiles = QStringLiteral("Tiles");
constexpr int kPanelWidth = 300;
constexpr double kMaxWidth = 64; // grout and outline, in pixels
// Data of the palette list's entries: a palette file's path, or one of these.
const QString kNone = QStringLiteral(":none");
const QString kOpen = QStringLiteral(":open");

// As the settings keep it, and as vorm-cli takes it: #RRGGBBAA, or transparent.
QString ColorText(TAlphaColor AColor) {
    if ((AColor >> 24) == 0)
        return QStringLiteral("transparent");
    if ((AColor >> 24) == 0xFF)
        return QString::asprintf("#%06X", unsigned(AColor & 0xFFFFFF));
    return QString::asprintf("#%06X%02X", unsigned(AColor & 0xFFFFFF), unsigned(AColor >> 24));
}

// A swatch over a checkerboard, so that a translucent colour shows as one.
QIcon Swatch(TAlphaColor AColor, int ASize = 16) {
    QPixmap pixmap(ASize, ASize);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    const int half = ASize / 2;
    p.fillRect(0, 0, half, half, QColor(0xCC, 0xCC, 0xCC));
    p.fillRect(half, half, ASize - half, ASize - half, QColor(0xCC, 0xCC, 0xCC));
    p.fillRect(pixmap.rect(), QColor::fromRgba(AColor));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(0, 0, ASize - 1, ASize - 1);
    return QIcon(pixmap);
}

QDoubleSpinBox* WidthBox(QWidget* AParent) {
    auto* box = new QDoubleSpinBox(AParent);
    box->setRange(0, kMaxWidth);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" px"));
    return box;
}

} // namespace

class TBomModel : public QAbstractTableModel {
public:
    TBomModel(bool AJapanese, QObject* AParent) : QAbstractTableModel(AParent) {
        for (TPanelText t : {TPanelText::BomSwatch, TPanelText::BomName, TPanelText::BomCode,
                             TPanelText::BomWhole, TPanelText::BomCut, TPanelText::BomShare})
            FHeaders << PanelText(t, AJapanese);
    }
    void Set(std::vector<TBomRow> ARows, double APixels) {
        beginResetModel();
        FRows = std::move(ARows);
        FPixels = APixels;
        endResetModel();
    }
    int rowCount(const QModelIndex& AParent = {}) const override {
        return AParent.isValid() ? 0 : int(FRows.size());
    }
    int columnCount(const QModelIndex& AParent = {}) const override {
        return AParent.isValid() ? 0 : int(FHeaders.size());
    }
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override {
        if (AOrientation == Qt::Horizontal && ARole == Qt::DisplayRole && ASection >= 0 &&
            ASection < FHeaders.size())
            return FHeaders[ASection];
        return {};
    }
    QVariant data(const QModelIndex& AIndex, int ARole) const override {
        if (!AIndex.isValid() || AIndex.row() >= int(FRows.size()))
            return {};
        const TBomRow& r = FRows[size_t(AIndex.row())];
        const int column = AIndex.column();
        if (ARole == Qt::DecorationRole && column == 0)
            return Swatch(r.Color.Rgb);
        if (ARole == Qt::ToolTipRole && column == 0)
            return ColorText(r.Color.Rgb);
        if (ARole == Qt::TextAlignmentRole && column >= 3)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (ARole != Qt::DisplayRole)
            return {};
        const QLocale locale;
        switch (column) {
        case 1:
            return r.Color.label();
        case 2:
            return r.Color.Code;
        case 3:
            return locale.toString(qlonglong(r.Whole));
        case 4:
            return locale.toString(qlonglong(r.Cut));
        case 5:
            return locale.toString(FPixels > 0 ? 100.0 * double(r.Area) / FPixels : 0.0, 'f', 1) +
                   QStringLiteral(" %");
        default:
            return {};
        }
    }

private:
    QStringList FHeaders;
    std::vector<TBomRow> FRows;
    double FPixels = 0;
};

TTilesPanel::TTilesPanel(bool AJapanese, QWidget* AParent) : QFrame(AParent), FJapanese(AJapanese) {
    const auto text = [this](TPanelText AText) { return PanelText(AText, FJapanese); };
    setObjectName(QStringLiteral("TilesPanel"));
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(kPanelWidth);
    setAutoFillBackground(true);

    lbTitle = new QLabel(text(TPanelText::Title), this);
    QFont bold = lbTitle->font();
    bold.setBold(true);
    lbTitle->setFont(bold);
    lbTitle->setToolTip(
        text(TPanelText::ToolTip).arg(QKeySequence(Qt::Key_F9).toString(QKeySequence::NativeText)));

    cbPalette = new QComboBox(this);
    cbPalette->setAccessibleName(text(TPanelText::Palette));
    FillPalettes();
    connect(cbPalette, &QComboBox::activated, this, &TTilesPanel::PaletteChosen);

    seColors = new QSpinBox(this);
    seColors->setRange(1, 256); // 1 shows "All": a count of one colour makes no mosaic
    seColors->setSpecialValueText(text(TPanelText::ColorsAll));
    seColors->setAccessibleName(text(TPanelText::Colors));

    chDither = new QCheckBox(text(TPanelText::Dither), this);

    seGrout = WidthBox(this);
    seGrout->setAccessibleName(text(TPanelText::Grout));
    btGroutColor = new QToolButton(this);
    btGroutColor->setAccessibleName(text(TPanelText::GroutColor));
    btGroutColor->setToolTip(text(TPanelText::GroutColor));
    connect(btGroutColor, &QToolButton::clicked, this, [this] { PickColor(true); });

    seOutline = WidthBox(this);
    seOutline->setAccessibleName(text(TPanelText::Outline));
    btOutlineColor = new QToolButton(this);
    btOutlineColor->setAccessibleName(text(TPanelText::OutlineColor));
    btOutlineColor->setToolTip(text(TPanelText::OutlineColor));
    connect(btOutlineColor, &QToolButton::clicked, this, [this] { PickColor(false); });
    for (QToolButton* b : {btGroutColor, btOutlineColor})
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SetGroutColor(FGroutColor);
    SetOutlineColor(FOutlineColor);

    FBom = new TBomModel(FJapanese, this);
    tbBom = new QTableView(this);
    tbBom->setModel(FBom);
    tbBom->setAccessibleName(text(TPanelText::Bom));
    tbBom->verticalHeader()->hide();
    tbBom->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbBom->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbBom->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tbBom->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    // Rows of one height: the view then never measures the many rows of a photo's colours.
    tbBom->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tbBom->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

    btExport = new QPushButton(text(TPanelText::Export), this);
    btExport->setEnabled(false);
    connect(btExport, &QPushButton::clicked, this, &TTilesPanel::ExportRequested);

    auto* form = new QFormLayout();
    form->addRow(text(TPanelText::Palette), cbPalette);
    form->addRow(text(TPanelText::Colors), seColors);
    form->addRow(QString(), chDither);
    auto row = [](QWidget* AWidth, QWidget* AColor) {
        auto* h = new QHBoxLayout();
        h->addWidget(AWidth, 1);
        h->addWidget(AColor);
        return h;
    };
    form->addRow(text(TPanelText::Grout), row(seGrout, btGroutColor));
    form->addRow(text(TPanelText::Outline), row(seOutline, btOutlineColor));

    auto* column = new QVBoxLayout(this);
    column->addWidget(lbTitle);
    column->addLayout(form);
    column->addWidget(new QLabel(text(TPanelText::Bom), this));
    column->addWidget(tbBom, 1);
    column->addWidget(btExport, 0, Qt::AlignRight);
}

void TTilesPanel::FillPalettes() {
    cbPalette->clear();
    cbPalette->addItem(PanelText(TPanelText::PaletteNone, FJapanese), kNone);
    cbPalette->addItem(PanelText(TPanelText::PaletteOpen, FJapanese), kOpen);
    cbPalette->setCurrentIndex(0);
    FPaletteIndex = 0;
}

void TTilesPanel::showEvent(QShowEvent* AEvent) {
    QFrame::showEvent(AEvent);
    // Listed when first shown: reading every installed palette costs time that a window whose
    // panel stays hidden should not spend.
    if (FListed)
        return;
    FListed = true;
    int at = 1;
    for (const TPaletteListing& p : ListPalettes())
        if (p.Colors > 0 && EntryOf(p.File) < 0)
            cbPalette->insertItem(at++, QStringLiteral("%1 (%2)").arg(p.Name).arg(p.Colors),
                                  p.File);
    FPaletteIndex = FPalette.File.isEmpty() ? 0 : std::max(0, EntryOf(FPalette.File));
    cbPalette->setCurrentIndex(FPaletteIndex);
}

int TTilesPanel::EntryOf(const QString& AFileName) const {
    for (int i = 0; i < cbPalette->count(); ++i)
        if (cbPalette->itemData(i).toString() == AFileName)
            return i;
    return -1;
}

void TTilesPanel::UsePaletteFile(const QString& AFileName) {
    TPalette palette = LoadPalette(AFileName); // throws, and nothing changes
    int index = EntryOf(AFileName);
    if (index < 0) {
        // A file of the user's own: listed before "Open palette file…".
        index = cbPalette->count() - 1;
        cbPalette->insertItem(index,
                              QStringLiteral("%1 (%2)")
                                  .arg(QFileInfo(AFileName).completeBaseName())
                                  .arg(palette.Entries.size()),
                              AFileName);
    }
    FPalette = std::move(palette);
    FPaletteIndex = index;
    cbPalette->setCurrentIndex(index);
}

void TTilesPanel::PaletteChosen(int AIndex) {
    const QString data = cbPalette->itemData(AIndex).toString();
    QString file = data;
    if (data == kNone) {
        FPalette = {};
        FPaletteIndex = AIndex;
        return;
    }
    // Back on the earlier entry until a new palette is read.
    cbPalette->setCurrentIndex(FPaletteIndex);
    if (data == kOpen) {
        QFileDialog dialog(this, PanelText(TPanelText::PaletteDialog, FJapanese));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(PanelText(TPanelText::PaletteFilter, FJapanese) +
                             QStringLiteral(" (*.gpl *.hex *.csv *.GPL *.HEX *.CSV)"));
        if (!FPalette.File.isEmpty())
            dialog.setDirectory(QFileInfo(FPalette.File).absolutePath());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        file = dialog.selectedFiles().front();
    }
    try {
        UsePaletteFile(file);
    } catch (const EVormError& e) {
        emit PaletteFailed(e.message());
    }
}

void TTilesPanel::ShowColor(QToolButton* AButton, TAlphaColor AColor) {
    AButton->setIcon(Swatch(AColor));
    AButton->setText((AColor >> 24) == 0 ? PanelText(TPanelText::Transparent, FJapanese)
                                         : ColorText(AColor));
}

void TTilesPanel::SetGroutColor(TAlphaColor AColor) {
    FGroutColor = AColor;
    ShowColor(btGroutColor, AColor);
}

void TTilesPanel::SetOutlineColor(TAlphaColor AColor) {
    FOutlineColor = AColor;
    ShowColor(btOutlineColor, AColor);
}

void TTilesPanel::PickColor(bool AGrout) {
    // From "transparent" the dialog starts at opaque white: a colour picked there is then
    // the colour seen, not an invisible one.
    const TAlphaColor current = AGrout ? FGroutColor : FOutlineColor;
    const QColor chosen = QColorDialog::getColor(
        QColor::fromRgba((current >> 24) == 0 ? 0xFFFFFFFF : current), this,
        PanelText(AGrout ? TPanelText::GroutColor : TPanelText::OutlineColor, FJapanese),
        QColorDialog::ShowAlphaChannel);
    if (!chosen.isValid())
        return;
    if (AGrout)
        SetGroutColor(chosen.rgba());
    else
        SetOutlineColor(chosen.rgba());
}

TMakerOptions TTilesPanel::Options() const {
    TMakerOptions o;
    o.Palette = FPalette;
    o.Colors = seColors->value() >= 2 ? seColors->value() : 0;
    o.Dither = chDither->isChecked();
    o.Grout = seGrout->value();
    o.GroutColor = FGroutColor;
    o.Outline = seOutline->value();
    o.OutlineColor = FOutlineColor;
    return o;
}

bool TTilesPanel::IsDefault() const {
    return FPalette.Entries.empty() && seColors->value() < 2 && !chDither->isChecked() &&
           seGrout->value() == 0 && FGroutColor == 0 && seOutline->value() == 0 &&
           FOutlineColor == 0xFF000000;
}

void TTilesPanel::Load(const TIniFile& AIni) {
    const QString palette = AIni.ReadString(kTiles, QStringLiteral("Palette"), QString());
    if (!palette.isEmpty()) {
        try {
            UsePaletteFile(palette);
        } catch (const EVormError&) {
            // Moved or changed since: the panel starts without it.
        }
    }
    seColors->setValue(std::clamp(AIni.ReadInteger(kTiles, QStringLiteral("Colors"), 0), 1, 256));
    chDither->setChecked(AIni.ReadInteger(kTiles, QStringLiteral("Dither"), 0) != 0);
    const auto width = [&](const char* AKey, QDoubleSpinBox* ABox) {
        bool ok = false;
        const double v =
            AIni.ReadString(kTiles, QLatin1String(AKey), QString()).trimmed().toDouble(&ok);
        ABox->setValue(ok && std::isfinite(v) ? v : 0);
    };
    width("Grout", seGrout);
    width("Outline", seOutline);
    const auto color = [&](const char* AKey, TAlphaColor ADefault) {
        TAlphaColor c = ADefault;
        if (!ParseMakerColor(AIni.ReadString(kTiles, QLatin1String(AKey), QString()), c))
            c = ADefault;
        return c;
    };
    SetGroutColor(color("GroutColor", 0));
    SetOutlineColor(color("OutlineColor", 0xFF000000));
}

void TTilesPanel::Save(TIniFile& AIni) const {
    AIni.WriteString(kTiles, QStringLiteral("Palette"), FPalette.File);
    AIni.WriteInteger(kTiles, QStringLiteral("Colors"),
                      seColors->value() >= 2 ? seColors->value() : 0);
    AIni.WriteInteger(kTiles, QStringLiteral("Dither"), chDither->isChecked() ? 1 : 0);
    AIni.WriteString(kTiles, QStringLiteral("Grout"), QString::number(seGrout->value()));
    AIni.WriteString(kTiles, QStringLiteral("GroutColor"), ColorText(FGroutColor));
    AIni.WriteString(kTiles, QStringLiteral("Outline"), QString::number(seOutline->value()));
    AIni.WriteString(kTiles, QStringLiteral("OutlineColor"), ColorText(FOutlineColor));
}

void TTilesPanel::ShowBom(std::vector<TBomRow> ARows, int AWidth, int AHeight) {
    FBom->Set(std::move(ARows), double(AWidth) * AHeight);
    btExport->setEnabled(true);
}

void TTilesPanel::ClearBom() {
    FBom->Set({}, 0);
    btExport->setEnabled(false);
}

QString TTilesPanel::BomText(int ARow, int AColumn) const {
    return FBom->data(FBom->index(ARow, AColumn), Qt::DisplayRole).toString();
}

int TTilesPanel::BomRows() const {
    return FBom->rowCount();
}
