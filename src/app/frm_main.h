// The main window: the loaded picture, the four conversion options, the open, preview and save
// commands, and the background the picture is shown over.
#pragma once

#include "drivers.h"
#include "image_view.h"
#include "mosaic_model.h"

#include <QFutureWatcher>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

class QComboBox;
class TFMXFlatBtn;
class TFMXFrmAbout;
class QFileDialog;
class QMimeData;
class QProgressBar;
class QAction;
class TTilesPanel;

class TFrmMain : public QWidget {
    Q_OBJECT
public:
    // AIniFileName is where the settings are read now and written when the window goes.
    explicit TFrmMain(const QString& AIniFileName, QWidget* AParent = nullptr);
    ~TFrmMain() override;

    void ParamSet();
    // False, with the window unchanged, when the picture cannot be loaded (the reason is
    // thrown as EVormError) or while a conversion runs.
    bool OpenFile(const QString& AFileName);
    void Preview();
    // AFilterIndex, when not negative, becomes gSaveIndex once the file is written. AMovedTo
    // names where an earlier file of that name was moved aside; a save that fails or is
    // cancelled moves it back.
    void SaveFile(const QString& AFileName, int32_t AFilterIndex = -1,
                  const QString& AMovedTo = {});
    void Image2Redraw();

    void Image1DragOver(const QMimeData* AData, Qt::DropAction& AOperation);
    void Image1DragDrop(const QMimeData* AData);
    void Image1Resize();

    void fbOpenExecute();
    void fbSaveExecute();
    void fbPrevExecute();
    void fbBgColExecuteL();
    void fbBgColExecuteR();
    void fbAboutExecute();

    void IniRead();
    void IniWrite();
    static int IndexClamp(int AIndex, const QComboBox* AList);

    void ItemsSetEn();
    void ItemsSetJa();

    // The "Tiles" panel: shown and hidden by F9 and from the picture area's context menu.
    void SetPanelVisible(bool AVisible);
    bool IsPanelVisible() const;
    // Puts the mosaic shown, or the picture before any preview, on the clipboard (Ctrl+C).
    void CopyMosaic();
    // Writes what the last conversion gave, as AKind asks, to AFileName, moving an earlier file
    // aside; throws EVormError.
    enum class TExportKind { BomCsv, BomJson, Tiles, CutLines };
    void ExportTo(const QString& AFileName, TExportKind AKind);
    void ExportExecute();
    // The last conversion's report; null before the first.
    const TMakerReport* LastReport() const { return FReport.get(); }

    // The file a save writes when the dialog returns AName with filter AFilterIndex (1 SVG,
    // 2 PNG, 0 also SVG): a name that ends neither in .svg nor .png gets the filter's extension.
    static QString SaveNameFor(const QString& AName, int AFilterIndex);

    // From the start of a conversion until the window has shown its outcome.
    bool IsConverting() const { return FBusy; }
    // Asks a running conversion to stop; it stops within one pixel row of the sum pass.
    void CancelConversion() { FCancel = true; }
    // When set, the worker of each conversion started from then on also reports to it, from its
    // own thread, and stops when it asks to; tests hold a conversion here.
    TProgress* ProgressObserver = nullptr;

    // Controls.
    QWidget* LayoutT = nullptr;
    TBackgroundView* Image2 = nullptr;
    TImageView* Image1 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QFileDialog* OpenDialog = nullptr;
    QFileDialog* SaveDialog = nullptr;
    QComboBox* cbInit = nullptr;
    QComboBox* cbColor = nullptr;
    QComboBox* cbWidth = nullptr;
    QComboBox* cbAlpha = nullptr;
    TTilesPanel* TilesPanel = nullptr;
    QAction* PanelAction = nullptr;

    // Working state.
    QImage gBitmap;
    QString gFileName;
    TBitmapToItemXsInit gBitmapToItemXsInit = nullptr;
    float gWidth = 0;
    TColorConv gColorConv = nullptr;
    float gAlpha = 1;
    QString gOpenPath;
    QString gSavePath;
    QString gOpenFile;
    int32_t gOpenIndex = 0;
    int32_t gSaveIndex = 0;
    int32_t gImage2Index = 0;
    // Whether the chosen treatment is one of the two always-opaque ones; the SVG writer leaves
    // out their opacity attributes.
    bool gColorConvOpaque = false;

    TFMXFlatBtn* fbSave = nullptr;
    TFMXFlatBtn* fbOpen = nullptr;
    TFMXFlatBtn* fbPrev = nullptr;
    TFMXFlatBtn* fbBgCol = nullptr;
    TFMXFlatBtn* fbAbout = nullptr;
    // Made when first asked for, kept until the window goes.
    TFMXFrmAbout* FrmAbout = nullptr;

signals:
    // A conversion has ended, finished or not; the window shows its outcome first.
    void ConversionFinished();

protected:
    void showEvent(QShowEvent* AEvent) override;
    void closeEvent(QCloseEvent* AEvent) override;
    // Esc cancels a running conversion.
    void keyPressEvent(QKeyEvent* AEvent) override;
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    enum class TJobKind { Preview, Svg, Png };
    struct TJobResult {
        QImage Painted;
        std::shared_ptr<TMakerReport> Report;
        QString Error; // empty on success
        bool Canceled = false;
    };
    // What a finished save still has to do, or undo.
    struct TPendingSave {
        QString FileName;
        int32_t FilterIndex = 0;
        QString MovedTo; // where an earlier file of that name was moved, if one was
    };

    void FormCreate();
    void CreateLayout();
    void CreateDialogs();
    void CreateLists();
    void CreateButtons();
    void CreateKeys();
    void FormShow();
    void FormDestroy();
    void StartConversion(TJobKind AKind, const QString& AFileName);
    // Shows the outcome of the ended conversion, or undoes what a failed save had begun.
    TJobResult FinishConversion();
    void ConversionDone();
    void UpdateProgress();
    void SetBusy(bool ABusy);
    void ShowError(const QString& AMessage);
    void ShowContextMenu(const QPoint& AGlobalPos);
    // Runs a command, showing any error it throws in an error box.
    template <typename F> void Command(F&& AFunc);

    QString FIniFileName;
    std::shared_ptr<const TMakerReport> FReport;
    TMakerOptions FReportOptions; // what made FReport
    int FReportShape = 0;
    float FReportCell = 0;
    bool FShown = false;
    bool FBusy = false;
    bool FCloseWhenDone = false;
    TPendingSave FPendingSave;
    QFutureWatcher<TJobResult> FWatcher;
    QTimer FProgressTimer;
    // Shared with the worker thread.
    std::atomic<bool> FCancel{false};
    std::atomic<double> FProgressMax{0};
    std::atomic<double> FProgressValue{0};
    std::atomic<bool> FSampled{false};
};
