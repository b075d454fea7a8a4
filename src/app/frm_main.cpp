#include "frm_main.h"

#include "atomic_file.h"
#include "bitmap_ex.h"

#include "catalog.h"
#include "drivers.h"
#include "file_names.h"
#include "flat_btn.h"
#include "frm_about.h"
#include "ini_file.h"
#include "list_accessible.h"
#include "theme.h"
#include "tiles_panel.h"
#include "tool_icons.h"
#include "ui_texts.h"
#include "utils.h"
#include "vorm_error.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <functional>

namespace {

const QString kSystem = QStringLiteral("System");
const QString kTiles = QStringLiteral("Tiles");

// Qt shows a filter as "text (patterns)". Upper-case patterns too, since Linux file names are
// case-sensitive and cameras write IMG_0001.JPG.
QString Filter(const char* AText, QStringList AExts) {
    QStringList patterns;
    for (const QString& e : AExts)
        patterns << "*." + e << "*." + e.toUpper();
    return QString::fromLatin1(AText) + " (" + patterns.join(u' ') + ')';
}

const QStringList& OpenFilters() {
    static const QStringList f = {
        Filter("All", {"psd", "jpg", "png", "gif", "bmp"}),
        Filter("Photoshop File", {"psd"}),
        Filter("JPEG File", {"jpg"}),
        Filter("PNG File", {"png"}),
        Filter("GIF FIle", {"gif"}),
        Filter("Windows Bitmap File", {"bmp"}),
    };
    return f;
}

const QStringList& SaveFilters() {
    static const QStringList f = {Filter("SVG FIle", {"svg"}), Filter("PNG File", {"png"})};
    return f;
}

// The dialog's filter index counts from 1; a stored 0 also means the first filter.
void SelectFilter(QFileDialog* ADialog, const QStringList& AFilters, int32_t AIndex) {
    const int i = AIndex >= 1 && AIndex <= AFilters.size() ? AIndex - 1 : 0;
    ADialog->selectNameFilter(AFilters[i]);
}

// Hidden pattern details make the dialog report the filter by its name alone.
int32_t SelectedFilter(const QFileDialog* ADialog, const QStringList& AFilters) {
    const QString chosen = ADialog->selectedNameFilter();
    for (qsizetype i = 0; i < AFilters.size(); ++i)
        if (AFilters[i] == chosen || AFilters[i].section(QStringLiteral(" ("), 0, 0) == chosen)
            return int32_t(i + 1);
    return 0;
}

// A folder with its trailing separator, as the settings keep it.
QString FolderOf(const QString& AFileName) {
    QString folder = QFileInfo(AFileName).absolutePath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// Where a dialog opens: the remembered folder while it exists, else the user's pictures.
QString DialogFolder(const QString& APath) {
    if (!APath.isEmpty() && QFileInfo(APath).isDir())
        return APath;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

QString LowerExt(const QString& AFileName) {
    const QString name = QFileInfo(AFileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 ? name.mid(dot).toLower() : QString();
}

// The file names of a drag, or nothing when it carries anything but local files.
QStringList DraggedFiles(const QMimeData* AData) {
    QStringList files;
    if (!AData || !AData->hasUrls())
        return files;
    for (const QUrl& url : AData->urls()) {
        if (!url.isLocalFile())
            return {};
        files << url.toLocalFile();
    }
    return files;
}

// The engine's progress, kept where the window's timer reads it.
class TThreadProgress : public TProgress {
public:
    TThreadProgress(std::atomic<double>& AMax, std::atomic<double>& AValue,
                    std::atomic<bool>& ASampled, const std::atomic<bool>& ACancel,
                    TProgress* AObserver)
        : FMax(AMax), FValue(AValue), FSampled(ASampled), FCancel(ACancel), FObserver(AObserver) {}
    void setMaximum(double AMax) override {
        FMax = AMax;
        if (FObserver)
            FObserver->setMaximum(AMax);
    }
    void setValue(double AValue) override {
        FValue = AValue;
        // The last row is summed; painting and writing follow, and they report nothing.
        if (AValue >= FMax)
            FSampled = true;
        if (FObserver)
            FObserver->setValue(AValue);
    }
    bool isCanceled() const override { return FCancel || (FObserver && FObserver->isCanceled()); }

private:
    std::atomic<double>& FMax;
    std::atomic<double>& FValue;
    std::atomic<bool>& FSampled;
    const std::atomic<bool>& FCancel;
    TProgress* FObserver;
};

// The background of AMode (0 checkerboard of side-AS squares, 1 white, 2 black) at W × H units,
// drawn at ARatio device pixels per unit.
QImage Background(int32_t AMode, int W, int H, float AS, qreal ARatio) {
    QImage bitmap(std::max(int(std::ceil(W * ARatio)), 1), std::max(int(std::ceil(H * ARatio)), 1),
                  QImage::Format_RGB32);
    bitmap.setDevicePixelRatio(ARatio);
    if (AMode == 2) {
        bitmap.fill(QColor::fromRgba(0xFF000000));
        return bitmap;
    }
    bitmap.fill(QColor::fromRgba(0xFFFFFFFF));
    if (AMode == 0) {
        QPainter p(&bitmap);
        for (int r = 0; r <= int(H / AS) + 1; ++r)
            for (int c = 0; c <= int(W / AS) + 1; ++c)
                if (!IsCheckerCell(c, r))
                    p.fillRect(QRectF(c * AS, r * AS, AS, AS), QColor::fromRgba(0xFFDDDDDD));
    }
    return bitmap;
}

} // namespace

template <typename F> void TFrmMain::Command(F&& AFunc) {
    try {
        AFunc();
    } catch (const EVormError& e) {
        ShowError(e.message());
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

TFrmMain::TFrmMain(const QString& AIniFileName, QWidget* AParent)
    : QWidget(AParent), FIniFileName(AIniFileName) {
    FormCreate();
}

TFrmMain::~TFrmMain() {
    // The worker reads the window's state until it ends.
    if (FBusy) {
        FCancel = true;
        FWatcher.waitForFinished();
        FinishConversion();
    }
    FormDestroy();
}

void TFrmMain::FormCreate() {
    gFileName.clear();
    gImage2Index = 0;

    setWindowTitle(WindowCaption());
    resize(860, 530);
    // Before any list exists: the lists, the panel's among them, are named by their purpose.
    InstallNamedListAccessibility();
    CreateLayout();
    CreateDialogs();
    CreateLists();
    CreateButtons();
    CreateKeys();
    setMinimumSize(width(), 400);

    IniRead();
    ParamSet();
    gBitmap = QImage();
    Image2Redraw();

    connect(&FWatcher, &QFutureWatcher<TJobResult>::finished, this, &TFrmMain::ConversionDone);
    FProgressTimer.setInterval(40);
    connect(&FProgressTimer, &QTimer::timeout, this, &TFrmMain::UpdateProgress);
}

// The tool bar, the picture area with the picture over its background, and the progress bar.
void TFrmMain::CreateLayout() {
    LayoutT = new QWidget(this);
    LayoutT->setFixedHeight(60);
    Image2 = new TBackgroundView(this);
    Image2->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Small enough that the 400-unit minimum height of the window decides.
    Image2->setMinimumSize(1, 1);
    Image1 = new TImageView(Image2);
    Image1->setAcceptDrops(true);
    Image1->installEventFilter(this);
    Image2->installEventFilter(this);
    connect(Image2, &TBackgroundView::DevicePixelRatioChanged, this, &TFrmMain::Image2Redraw);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setFixedHeight(8);
    ProgressBar->setTextVisible(false);
    ProgressBar->setRange(0, 1000);
    ProgressBar->setValue(0);
    // Hidden until asked for: the first start looks as it always did.
    TilesPanel = new TTilesPanel(IsJapanese(), this);
    TilesPanel->hide();
    connect(TilesPanel, &TTilesPanel::ExportRequested, this, [this] { ExportExecute(); });
    connect(TilesPanel, &TTilesPanel::PaletteFailed, this, &TFrmMain::ShowError);
    auto* middle = new QHBoxLayout();
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    middle->addWidget(Image2, 1);
    middle->addWidget(TilesPanel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(LayoutT);
    column->addLayout(middle, 1);
    column->addWidget(ProgressBar);
}

void TFrmMain::CreateDialogs() {
    OpenDialog = new QFileDialog(this);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setNameFilters(OpenFilters());
    // The filters read "All", "JPEG File" and so on; the patterns only add noise.
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails);
    SaveDialog = new QFileDialog(this);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setNameFilters(SaveFilters());
    SaveDialog->setOption(QFileDialog::HideNameFilterDetails);
    // An existing file is moved aside, never overwritten, so there is nothing to confirm.
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
}

// The four option lists, filled and named (for screen readers) in the user's language.
void TFrmMain::CreateLists() {
    const bool ja = IsJapanese();
    auto list = [this, ja](int x, int w, TOptionList AName) {
        auto* cb = new QComboBox(LayoutT);
        cb->setGeometry(x, 15, w, 30);
        cb->setFocusPolicy(Qt::NoFocus);
        cb->setAccessibleName(OptionListName(AName, ja));
        return cb;
    };
    cbInit = list(200, 211, TOptionList::Shape);
    cbInit->setMaxVisibleItems(7);
    cbColor = list(420, 150, TOptionList::Color);
    cbWidth = list(580, 70, TOptionList::CellSize);
    cbWidth->addItems(CellWidthTexts());
    cbAlpha = list(660, 70, TOptionList::Opacity);
    cbAlpha->addItems(OpacityTexts());
    if (ja)
        ItemsSetJa();
    else
        ItemsSetEn();
}

void TFrmMain::CreateButtons() {
    const bool ja = IsJapanese();
    auto button = [this, ja](int x, const char* AIcon, TToolButton AKind, TAlphaColor AColor,
                             void (TFrmMain::*AExecuteL)(), void (TFrmMain::*AExecuteR)()) {
        TNotifyEvent right;
        if (AExecuteR)
            right = [this, AExecuteR](QObject*) { (this->*AExecuteR)(); };
        return TFMXFlatBtn::CreateParam(
            LayoutT, mtFluentSingle, QString::fromLatin1(AIcon), ButtonCaption(AKind, ja), AColor,
            x, 0, [this, AExecuteL](QObject*) { (this->*AExecuteL)(); }, right, false, false);
    };
    fbOpen = button(0, IconOpen, TToolButton::Open, 0x00000000, &TFrmMain::fbOpenExecute, nullptr);
    fbSave = button(60, IconSave, TToolButton::Save, 0x00000000, &TFrmMain::fbSaveExecute, nullptr);
    fbPrev = button(120, IconPreview, TToolButton::Preview, 0x00000000, &TFrmMain::fbPrevExecute,
                    nullptr);
    fbBgCol = button(740, IconBgColor, TToolButton::BgColor, 0x00000000, &TFrmMain::fbBgColExecuteL,
                     &TFrmMain::fbBgColExecuteR);
    fbAbout = button(800, IconAbout, TToolButton::About, FlatBtnColorOrange,
                     &TFrmMain::fbAboutExecute, nullptr);
    // Anchored to the top and right edges of the tool bar.
    LayoutT->installEventFilter(this);
}

// The window's keys. The buttons themselves take no keyboard operation; their tooltips name the
// key that does the same.
void TFrmMain::CreateKeys() {
    const bool ja = IsJapanese();
    auto keys = [this](QList<QKeySequence> AKeys, std::function<void()> AFunc) {
        auto* action = new QAction(this);
        action->setShortcuts(AKeys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, AFunc] { Command(AFunc); });
        addAction(action);
        return AKeys.front();
    };
    auto tip = [ja](TFMXFlatBtn* AButton, TToolButton AKind, const QKeySequence& AKey) {
        AButton->setToolTip(ButtonToolTip(AKind, ja, AKey.toString(QKeySequence::NativeText)));
    };
    tip(fbOpen, TToolButton::Open, keys({QKeySequence::Open}, [this] { fbOpenExecute(); }));
    tip(fbSave, TToolButton::Save, keys({QKeySequence::Save}, [this] { fbSaveExecute(); }));
    tip(fbPrev, TToolButton::Preview, keys({Qt::Key_F5}, [this] { fbPrevExecute(); }));
    tip(fbAbout, TToolButton::About, keys({Qt::Key_F1}, [this] { fbAboutExecute(); }));
    tip(fbBgCol, TToolButton::BgColor, QKeySequence());
    // Ctrl+= as well: on most keyboards plus needs Shift.
    keys({QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal}, [this] { Image1->ZoomIn(); });
    keys({QKeySequence::ZoomOut}, [this] { Image1->ZoomOut(); });
    keys({Qt::CTRL | Qt::Key_1}, [this] { Image1->ZoomActual(); });
    keys({Qt::CTRL | Qt::Key_0}, [this] { Image1->ZoomFit(); });
    keys({QKeySequence::Copy}, [this] { CopyMosaic(); });
    // F9, as file managers show and hide their side panels; no standard key of Qt's uses it.
    PanelAction = new QAction(PanelText(TPanelText::MenuPanel, ja), this);
    PanelAction->setCheckable(true);
    PanelAction->setShortcut(Qt::Key_F9);
    PanelAction->setShortcutContext(Qt::WindowShortcut);
    connect(PanelAction, &QAction::triggered, this, [this](bool AOn) { SetPanelVisible(AOn); });
    addAction(PanelAction);
    for (const Qt::ArrowType arrow : {Qt::LeftArrow, Qt::RightArrow, Qt::UpArrow, Qt::DownArrow}) {
        const Qt::Key key = arrow == Qt::LeftArrow    ? Qt::Key_Left
                            : arrow == Qt::RightArrow ? Qt::Key_Right
                            : arrow == Qt::UpArrow    ? Qt::Key_Up
                                                      : Qt::Key_Down;
        keys({key}, [this, arrow] { Image1->ScrollStep(arrow); });
    }
}

void TFrmMain::FormShow() {
    StyleSet();
    // Centred on the screen the window opens on.
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
}

void TFrmMain::FormDestroy() {
    IniWrite();
}

void TFrmMain::showEvent(QShowEvent* AEvent) {
    QWidget::showEvent(AEvent);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TFrmMain::closeEvent(QCloseEvent* AEvent) {
    // Closing cancels a running conversion; the window goes once the worker has stopped.
    if (FBusy) {
        FCloseWhenDone = true;
        FCancel = true;
        AEvent->ignore();
        return;
    }
    QWidget::closeEvent(AEvent);
}

void TFrmMain::keyPressEvent(QKeyEvent* AEvent) {
    if (AEvent->key() == Qt::Key_Escape && FBusy) {
        CancelConversion();
        return;
    }
    QWidget::keyPressEvent(AEvent);
}

bool TFrmMain::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == LayoutT && AEvent->type() == QEvent::Resize) {
        fbAbout->move(LayoutT->width() - fbAbout->width(), 0);
    } else if (AWatched == Image2 && AEvent->type() == QEvent::Resize) {
        Image1->setGeometry(Image2->rect());
    } else if (AWatched == Image1) {
        switch (AEvent->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(AEvent);
            Qt::DropAction op = Qt::IgnoreAction;
            Image1DragOver(e->mimeData(), op);
            if (op == Qt::IgnoreAction) {
                e->ignore();
            } else {
                e->setDropAction(op);
                e->accept();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(AEvent);
            e->setDropAction(Qt::CopyAction);
            e->accept();
            Image1DragDrop(e->mimeData());
            return true;
        }
        case QEvent::Resize:
            Image1Resize();
            break;
        case QEvent::ContextMenu:
            ShowContextMenu(static_cast<QContextMenuEvent*>(AEvent)->globalPos());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(AWatched, AEvent);
}

void TFrmMain::ItemsSetEn() {
    cbInit->clear();
    cbInit->addItems(TilingTexts(false));
    cbColor->clear();
    cbColor->addItems(ColorTexts(false));
}

void TFrmMain::ItemsSetJa() {
    cbInit->clear();
    cbInit->addItems(TilingTexts(true));
    cbColor->clear();
    cbColor->addItems(ColorTexts(true));
}

void TFrmMain::ParamSet() {
    const int init = cbInit->currentIndex();
    if (init >= 0 && init < int(kShapes.size()))
        gBitmapToItemXsInit = kShapes[size_t(init)].Init;
    const int color = cbColor->currentIndex();
    if (color >= 0 && color < int(kColors.size()))
        gColorConv = kColors[size_t(color)].Conv;
    gColorConvOpaque = IsOpaqueColorIndex(color);

    const QLocale locale;
    bool ok = false;
    QString text = cbWidth->currentText();
    text.chop(2); // "px"
    float value = locale.toFloat(text, &ok);
    gWidth = ok ? value : 64;
    text = cbAlpha->currentText();
    text.chop(1); // "%"
    value = locale.toFloat(text, &ok);
    gAlpha = (ok ? value : 100) / 100;
}

bool TFrmMain::OpenFile(const QString& AFileName) {
    if (AFileName.isEmpty() || FBusy)
        return false;
    // Loaded first: a picture that cannot be read leaves the window as it was.
    QString warning;
    const QImage picture = LoadPicture(AFileName, &warning);
    gBitmap = picture;
    gFileName = AFileName;
    gOpenFile = QFileInfo(AFileName).fileName();
    setWindowTitle(WindowCaption(gOpenFile));
    Image1->SetBitmap(gBitmap, true);
    // What the file holds is shown; the box says what it lacks.
    if (!warning.isEmpty())
        QMessageBox::warning(this, WindowCaption(), warning);
    return true;
}

void TFrmMain::Preview() {
    if (gFileName.isEmpty() || FBusy)
        return;
    ParamSet();
    FPendingSave = {};
    StartConversion(TJobKind::Preview, QString());
}

void TFrmMain::SaveFile(const QString& AFileName, int32_t AFilterIndex, const QString& AMovedTo) {
    if (gFileName.isEmpty() || FBusy)
        return;
    ParamSet();
    FPendingSave = {AFileName, AFilterIndex, AMovedTo};
    const QString ext = LowerExt(AFileName);
    if (ext == u".svg")
        StartConversion(TJobKind::Svg, AFileName);
    else if (ext == u".png")
        StartConversion(TJobKind::Png, AFileName);
    else
        Image2Redraw();
}

void TFrmMain::StartConversion(TJobKind AKind, const QString& AFileName) {
    FCancel = false;
    FProgressMax = 0;
    FProgressValue = 0;
    FSampled = false;
    // The worker gets its own copies; QImage shares the pixels without copying them, and the
    // window never changes gBitmap while the worker runs.
    const QImage source = gBitmap;
    const TBitmapToItemXsInit init = gBitmapToItemXsInit;
    const float w = gWidth;
    const TColorConv conv = gColorConv;
    const float alpha = gAlpha;
    const bool opaque = gColorConvOpaque;
    TProgress* const observer = ProgressObserver;
    // The panel's options apply whether it shows or not; at their defaults the mosaic is the
    // plain one.
    const TMakerOptions maker = TilesPanel->Options();
    FReportOptions = maker;
    FReportShape = cbInit->currentIndex();
    FReportCell = w;
    FWatcher.setFuture(QtConcurrent::run([=, this]() {
        TJobResult result;
        TThreadProgress progress(FProgressMax, FProgressValue, FSampled, FCancel, observer);
        try {
            result.Report = std::make_shared<TMakerReport>();
            TMakerReport* report = result.Report.get();
            switch (AKind) {
            case TJobKind::Preview:
                MosaicPreview(init, w, source, result.Painted, conv, alpha, &progress, maker,
                              report);
                break;
            case TJobKind::Svg:
                MosaicSaveSvg(AFileName, init, w, source, result.Painted, conv, alpha, &progress,
                              opaque, maker, report);
                break;
            case TJobKind::Png:
                MosaicSavePng(AFileName, init, w, source, result.Painted, conv, alpha, &progress,
                              TPngCompression::Fast, maker, report);
                break;
            }
        } catch (const ECanceled&) {
            result.Canceled = true;
        } catch (const EVormError& e) {
            result.Error = e.message();
        } catch (const std::exception& e) {
            result.Error = QString::fromLocal8Bit(e.what());
        }
        // Esc while the mosaic was painted: a preview is dropped all the same. A save that got
        // this far has written its file, and says so.
        if (AKind == TJobKind::Preview && FCancel)
            result.Canceled = true;
        if (!result.Error.isEmpty() || result.Canceled) {
            result.Painted = QImage();
            result.Report.reset();
        }
        return result;
    }));
    SetBusy(true);
}

void TFrmMain::UpdateProgress() {
    if (FSampled) {
        ProgressBar->setRange(0, 0); // busy: the painter gives no progress
        return;
    }
    const double max = FProgressMax, value = FProgressValue;
    ProgressBar->setValue(max > 0 ? int(1000 * value / max) : 0);
}

void TFrmMain::SetBusy(bool ABusy) {
    FBusy = ABusy;
    for (TFMXFlatBtn* refused : {fbOpen, fbSave, fbPrev}) {
        refused->setEnabled(!ABusy);
        // The button's own veil for a disabled state is a faint shade that a light surface
        // hides; faded as well, a refused button reads as off at a glance.
        if (ABusy) {
            auto* fade = new QGraphicsOpacityEffect(refused);
            fade->setOpacity(0.35);
            refused->setGraphicsEffect(fade);
        } else {
            refused->setGraphicsEffect(nullptr);
        }
    }
    if (ABusy) {
        FProgressTimer.start();
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        FProgressTimer.stop();
        ProgressBar->setRange(0, 1000);
        ProgressBar->setValue(0);
        QGuiApplication::restoreOverrideCursor();
    }
}

TFrmMain::TJobResult TFrmMain::FinishConversion() {
    const TJobResult result = FWatcher.result();
    SetBusy(false);
    const TPendingSave save = FPendingSave;
    FPendingSave = {};
    if (result.Error.isEmpty() && !result.Canceled) {
        Image1->SetBitmap(result.Painted);
        FReport = result.Report;
        if (FReport)
            TilesPanel->ShowBom(FReport->Bom, FReport->Width, FReport->Height);
        if (!save.FileName.isEmpty()) {
            gSavePath = FolderOf(save.FileName);
            if (save.FilterIndex >= 0)
                gSaveIndex = save.FilterIndex;
        }
    } else {
        PutBackEarlier(save.FileName, save.MovedTo); // nothing was written
    }
    Image2Redraw();
    return result;
}

void TFrmMain::ConversionDone() {
    const TJobResult result = FinishConversion();
    emit ConversionFinished();
    if (FCloseWhenDone)
        close();
    else if (!result.Error.isEmpty())
        ShowError(result.Error);
}

void TFrmMain::Image2Redraw() {
    if (gWidth == 0 || gImage2Index < 0 || gImage2Index > 2)
        return;
    const int W = Image2->width(), H = Image2->height();
    const float s = gWidth / 2;
    const qreal ratio = Image2->devicePixelRatioF();
    Image2->SetBitmap(Background(gImage2Index, W, H, s, 1),
                      ratio == 1 ? QImage() : Background(gImage2Index, W, H, s, ratio));
}

void TFrmMain::Image1DragOver(const QMimeData* AData, Qt::DropAction& AOperation) {
    AOperation = Qt::IgnoreAction;
    const QStringList files = DraggedFiles(AData);
    if (!FBusy && files.size() == 1 && IsAcceptedFile(files.front()))
        AOperation = Qt::CopyAction;
}

void TFrmMain::Image1DragDrop(const QMimeData* AData) {
    const QStringList files = DraggedFiles(AData);
    if (FBusy || files.size() != 1 || !IsAcceptedFile(files.front()))
        return;
    Command([&] { OpenFile(files.front()); });
}

void TFrmMain::Image1Resize() {
    Image2Redraw();
}

void TFrmMain::fbOpenExecute() {
    if (FBusy)
        return;
    OpenDialog->setDirectory(DialogFolder(gOpenPath));
    SelectFilter(OpenDialog, OpenFilters(), gOpenIndex);
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    const QString name = OpenDialog->selectedFiles().front();
    if (!IsAcceptedFile(name))
        return;
    Command([&] {
        if (OpenFile(name)) {
            gOpenPath = FolderOf(name);
            gOpenIndex = SelectedFilter(OpenDialog, OpenFilters());
        }
    });
}

QString TFrmMain::SaveNameFor(const QString& AName, int AFilterIndex) {
    const QString ext = LowerExt(AName);
    if (ext == u".svg" || ext == u".png")
        return AName;
    const QFileInfo info(AName);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot >= 0 ? name.left(dot) : name;
    const QString folder = AName.left(AName.size() - name.size());
    return folder + base + (AFilterIndex == 2 ? QStringLiteral(".png") : QStringLiteral(".svg"));
}

void TFrmMain::fbSaveExecute() {
    if (gFileName.isEmpty() || FBusy)
        return;
    SaveDialog->setDirectory(DialogFolder(gSavePath));
    SaveDialog->selectFile(QFileInfo(gOpenFile).completeBaseName());
    SelectFilter(SaveDialog, SaveFilters(), gSaveIndex);
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
        return;
    const int32_t filter = SelectedFilter(SaveDialog, SaveFilters());
    const QString name = SaveNameFor(SaveDialog->selectedFiles().front(), filter);
    Command([&] {
        const QString movedTo = RenameExisting(name, [&](const QString& AOld, const QString& ANew) {
            QMessageBox::information(this, WindowCaption(),
                                     RenameMessage(AOld, ANew, IsJapanese()));
        });
        SaveFile(name, filter, movedTo);
    });
}

void TFrmMain::fbPrevExecute() {
    if (!gFileName.isEmpty())
        Preview();
}

void TFrmMain::fbBgColExecuteL() {
    ++gImage2Index;
    if (gImage2Index == 3)
        gImage2Index = 1;
    Image2Redraw();
}

void TFrmMain::fbBgColExecuteR() {
    gImage2Index = 0;
    Image2Redraw();
}

void TFrmMain::fbAboutExecute() {
    if (!FrmAbout)
        FrmAbout = new TFMXFrmAbout(this);
    FrmAbout->Execute();
}

void TFrmMain::ShowError(const QString& AMessage) {
    ReportCommandError(this, AMessage);
}

int TFrmMain::IndexClamp(int AIndex, const QComboBox* AList) {
    const int last = AList->count() - 1;
    if (AIndex < 0)
        return 0;
    if (AIndex > last)
        return last;
    return AIndex;
}

void TFrmMain::IniRead() {
    const TIniFile ini(FIniFileName);
    gOpenPath = ini.ReadString(kSystem, QStringLiteral("OpenPath"), QString());
    gSavePath = ini.ReadString(kSystem, QStringLiteral("SavePath"), QString());
    gOpenIndex = ini.ReadInteger(kSystem, QStringLiteral("OpenIndex"), 0);
    gSaveIndex = ini.ReadInteger(kSystem, QStringLiteral("SaveIndex"), 0);
    const int init = ini.ReadInteger(kSystem, QStringLiteral("InitIndex"), 0);
    const int color = ini.ReadInteger(kSystem, QStringLiteral("ColorIndex"), 0);
    const int width = ini.ReadInteger(kSystem, QStringLiteral("WidthIndex"), 0);
    const int alpha = ini.ReadInteger(kSystem, QStringLiteral("AlphaIndex"), 0);
    cbInit->setCurrentIndex(IndexClamp(init, cbInit));
    cbColor->setCurrentIndex(IndexClamp(color, cbColor));
    cbWidth->setCurrentIndex(IndexClamp(width, cbWidth));
    cbAlpha->setCurrentIndex(IndexClamp(alpha, cbAlpha));
    // Each index within its own dialog's filters (counted from 1, 0 also the first).
    if (gOpenIndex < 0 || gOpenIndex > OpenFilters().size())
        gOpenIndex = 0;
    SelectFilter(OpenDialog, OpenFilters(), gOpenIndex);
    if (gSaveIndex < 0 || gSaveIndex > SaveFilters().size())
        gSaveIndex = 0;
    SelectFilter(SaveDialog, SaveFilters(), gSaveIndex);
    // The panel's own section; a file without it reads as before.
    TilesPanel->Load(ini);
    SetPanelVisible(ini.ReadInteger(kTiles, QStringLiteral("Visible"), 0) != 0);
}

void TFrmMain::IniWrite() {
    // Settings that cannot be written (a read-only folder, a full disk) are given up quietly:
    // this runs as the program ends, and there is nobody left to tell.
    try {
        TIniFile ini(FIniFileName);
        ini.WriteString(kSystem, QStringLiteral("OpenPath"), gOpenPath);
        ini.WriteString(kSystem, QStringLiteral("SavePath"), gSavePath);
        ini.WriteInteger(kSystem, QStringLiteral("InitIndex"), cbInit->currentIndex());
        ini.WriteInteger(kSystem, QStringLiteral("ColorIndex"), cbColor->currentIndex());
        ini.WriteInteger(kSystem, QStringLiteral("WidthIndex"), cbWidth->currentIndex());
        ini.WriteInteger(kSystem, QStringLiteral("AlphaIndex"), cbAlpha->currentIndex());
        ini.WriteInteger(kSystem, QStringLiteral("OpenIndex"), gOpenIndex);
        ini.WriteInteger(kSystem, QStringLiteral("SaveIndex"), gSaveIndex);
        // Written once the panel was used: until then the file is the one it always was.
        if (ini.HasSection(kTiles) || IsPanelVisible() || !TilesPanel->IsDefault()) {
            ini.WriteInteger(kTiles, QStringLiteral("Visible"), IsPanelVisible() ? 1 : 0);
            TilesPanel->Save(ini);
        }
        QDir().mkpath(QFileInfo(FIniFileName).absolutePath());
        ini.UpdateFile();
    } catch (const std::exception&) {
    }
}

void TFrmMain::SetPanelVisible(bool AVisible) {
    TilesPanel->setVisible(AVisible);
    PanelAction->setChecked(AVisible);
}

bool TFrmMain::IsPanelVisible() const {
    return !TilesPanel->isHidden();
}

void TFrmMain::CopyMosaic() {
    const QImage& shown = Image1->Bitmap();
    if (!shown.isNull())
        QGuiApplication::clipboard()->setImage(shown);
}

void TFrmMain::ShowContextMenu(const QPoint& AGlobalPos) {
    const bool ja = IsJapanese();
    QMenu menu(this);
    menu.addAction(PanelAction);
    menu.addSeparator();
    const bool picture = !Image1->Bitmap().isNull();
    QAction* fit =
        menu.addAction(PanelText(TPanelText::MenuFit, ja), this, [this] { Image1->ZoomFit(); });
    fit->setShortcut(Qt::CTRL | Qt::Key_0);
    QAction* actual = menu.addAction(PanelText(TPanelText::MenuActual, ja), this,
                                     [this] { Image1->ZoomActual(); });
    actual->setShortcut(Qt::CTRL | Qt::Key_1);
    menu.addSeparator();
    QAction* copy =
        menu.addAction(PanelText(TPanelText::MenuCopy, ja), this, [this] { CopyMosaic(); });
    copy->setShortcut(QKeySequence::Copy);
    for (QAction* a : {fit, actual, copy})
        a->setEnabled(picture);
    menu.exec(AGlobalPos);
}

void TFrmMain::ExportTo(const QString& AFileName, TExportKind AKind) {
    if (!FReport)
        throw EVormError(PanelText(TPanelText::ExportNothing, IsJapanese()));
    const TMakerReport& r = *FReport;
    std::string text;
    switch (AKind) {
    case TExportKind::BomCsv:
        text = BomCsv(r.Bom, r.Width, r.Height);
        break;
    case TExportKind::BomJson:
        text = BomJson(r.Bom, r.Width, r.Height, FReportOptions.Palette.Name);
        break;
    case TExportKind::Tiles:
        EmitTilesJson(r.Items, r.Colors, FReportOptions, kShapes[size_t(FReportShape)].Key,
                      FReportCell, r.Width, r.Height,
                      [&](const std::string& APiece) { text += APiece; });
        break;
    case TExportKind::CutLines:
        text = CutLinesText(r.Items, r.Colors, FReportOptions.Grout, r.Width, r.Height);
        break;
    }
    const QString movedTo = RenameExisting(AFileName, [&](const QString& AOld,
                                                          const QString& ANew) {
        QMessageBox::information(this, WindowCaption(), RenameMessage(AOld, ANew, IsJapanese()));
    });
    try {
        WriteFileAtomically(AFileName, QByteArray::fromStdString(text));
    } catch (...) {
        PutBackEarlier(AFileName, movedTo);
        throw;
    }
}

void TFrmMain::ExportExecute() {
    if (FBusy)
        return;
    const bool ja = IsJapanese();
    if (!FReport) {
        ShowError(PanelText(TPanelText::ExportNothing, ja));
        return;
    }
    const struct {
        TPanelText Text;
        const char* Ext;
        TExportKind Kind;
    } kinds[] = {
        {TPanelText::ExportBomCsv, "csv", TExportKind::BomCsv},
        {TPanelText::ExportBomJson, "json", TExportKind::BomJson},
        {TPanelText::ExportTiles, "json", TExportKind::Tiles},
        {TPanelText::ExportCutLines, "svg", TExportKind::CutLines},
    };
    QStringList filters;
    for (const auto& k : kinds)
        filters << Filter(PanelText(k.Text, ja).toUtf8().constData(), {k.Ext});
    QFileDialog dialog(this, PanelText(TPanelText::ExportDialog, ja));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // moved aside, never overwritten
    dialog.setDirectory(DialogFolder(gSavePath));
    dialog.selectFile(QFileInfo(gOpenFile).completeBaseName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const int chosen = std::max(0, SelectedFilter(&dialog, filters) - 1);
    QString name = dialog.selectedFiles().front();
    if (LowerExt(name) != u'.' + QLatin1String(kinds[chosen].Ext))
        name += u'.' + QLatin1String(kinds[chosen].Ext);
    Command([&] { ExportTo(name, kinds[chosen].Kind); });
}
