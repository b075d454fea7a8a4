#include "frm_about.h"

#include "ui_texts.h"
#include "utils.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 256;
constexpr int kTopBand = 60;
constexpr int kBottomBand = 40;

struct TAboutColors {
    const char* Skin;
    TAlphaColor Top, Bottom, Url;
};
constexpr TAboutColors kLight = {"ABOUT_SKINW", 0x88222222, 0x88888888, 0xFF0000FF};
constexpr TAboutColors kDark = {"ABOUT_SKINB", 0x88444444, 0x88222222, 0xFFAAAAFF};

QLabel* CentredLabel(QWidget* AParent, const QString& AName, double APixelSize) {
    auto* label = new QLabel(AParent);
    label->setObjectName(AName);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(UiFont(QStringLiteral("Tahoma"), APixelSize, AParent->logicalDpiY()));
    return label;
}

} // namespace

void TFMXColorRect::setFillColor(TAlphaColor AValue) {
    if (AValue == FFill)
        return;
    FFill = AValue;
    update();
}

void TFMXColorRect::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgba(FFill));
}

TFMXFrmAbout::TFMXFrmAbout(QWidget* AParent)
    : TFMXFrmAbout(AParent, IsJapanese(), FileVersionString()) {}

TFMXFrmAbout::TFMXFrmAbout(QWidget* AParent, bool AJapanese, const QString& AFileVersion)
    // Only the close box: window managers that follow the Motif hints (mutter, KWin, xfwm4)
    // then offer neither minimise nor maximise; the fixed size rules out maximising elsewhere.
    : QDialog(AParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint) {
    setFixedSize(kWidth, kHeight);
    setModal(true);

    Image2 = new QLabel(this);
    Image2->setObjectName("Image2");
    Image2->setGeometry(0, 0, kWidth, kHeight);
    Image2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    RectTop = new TFMXColorRect(Image2);
    RectTop->setObjectName("RectTop");
    RectTop->setGeometry(0, 0, kWidth, kTopBand);
    Image1 = new QLabel(RectTop);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, kTopBand, kTopBand);
    Image1->setAlignment(Qt::AlignCenter);
    // The title keeps clear of the icon on the left and as much on the right, so that it stands
    // centred on the dialog.
    LbTitle = CentredLabel(RectTop, "LbTitle", 20);
    LbTitle->setGeometry(kTopBand, 0, kWidth - 2 * kTopBand, kTopBand);
    QPalette white = LbTitle->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    LbTitle->setPalette(white);

    RectBottom = new TFMXColorRect(Image2);
    RectBottom->setObjectName("RectBottom");
    RectBottom->setGeometry(0, kHeight - kBottomBand, kWidth, kBottomBand);
    ButtonOK = new QPushButton(RectBottom);
    ButtonOK->setObjectName("ButtonOK");
    ButtonOK->setGeometry(0, 0, kWidth, kBottomBand);
    ButtonOK->setFocusPolicy(Qt::NoFocus);
    ButtonOK->setDefault(true); // Enter closes the dialog though the button takes no focus
    QFont okFont = ButtonOK->font();
    okFont.setFamily(UiFont(QStringLiteral("Tahoma"), 12, logicalDpiY()).family());
    ButtonOK->setFont(okFont);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* middle = new QWidget(Image2);
    middle->setGeometry(0, kTopBand, kWidth, kHeight - kTopBand - kBottomBand);
    auto* grid = new QGridLayout(middle);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    LbVersion = CentredLabel(middle, "LbVersion", 15);
    LbProduct = CentredLabel(middle, "LbProduct", 15);
    LbURL = CentredLabel(middle, "LbURL", 15);
    LbURL->setCursor(Qt::PointingHandCursor);
    QFont link = LbURL->font(); // underlined, as links are everywhere else
    link.setUnderline(true);
    LbURL->setFont(link);
    LbURL->installEventFilter(this);
    grid->addWidget(LbVersion, 0, 0);
    grid->addWidget(LbProduct, 1, 0);
    grid->addWidget(LbURL, 2, 0);
    // The rows stand as 27.82 : 23.12 : 24.45.
    grid->setRowStretch(0, 2782);
    grid->setRowStretch(1, 2312);
    grid->setRowStretch(2, 2445);
    for (int row = 0; row < 3; ++row)
        grid->setRowMinimumHeight(row, 0);

    FormCreate(AJapanese, AFileVersion);
}

void TFMXFrmAbout::FormCreate(bool AJapanese, const QString& AFileVersion) {
    setWindowTitle(AboutCaption(AJapanese));
    LbVersion->setText(AboutVersionLine(AFileVersion));
    LbTitle->setText(AboutTitle());
    LbProduct->setText(AboutMaker());
    FUrl = AboutUrl(AJapanese);
    LbURL->setText(FUrl);
    LbURL->setToolTip(FUrl);
    ButtonOK->setText(AboutOkCaption());
}

int TFMXFrmAbout::Execute() {
    ThemeUpdate();
    return exec();
}

void TFMXFrmAbout::ThemeUpdate() {
    const TAboutColors& c = IsLightTheme ? kLight : kDark;
    const QImage icon = LoadBitmapResource(QStringLiteral("ABOUT_ICN60"));
    const QImage skin = LoadBitmapResource(QLatin1String(c.Skin));
    Image1->setPixmap(QPixmap::fromImage(icon));
    Image2->setPixmap(QPixmap::fromImage(skin));
    RectTop->setFillColor(c.Top);
    RectBottom->setFillColor(c.Bottom);
    QPalette p = LbURL->palette();
    p.setColor(QPalette::WindowText, QColor::fromRgba(c.Url));
    LbURL->setPalette(p);
}

void TFMXFrmAbout::changeEvent(QEvent* AEvent) {
    // openbox keeps a minimise box on every dialog, whatever the hints say, and minimising a
    // dialog takes its main window along, leaving nothing on screen to come back to. A
    // minimised About dialog is therefore closed, and the window it belongs to shown again.
    if (AEvent->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        isVisible()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        reject();
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr) {
            QPointer<QWidget> guard(owner);
            // After the window manager has told Qt that the owner went too.
            QMetaObject::invokeMethod(
                owner,
                [guard] {
                    if (!guard)
                        return;
                    guard->setWindowState(guard->windowState() & ~Qt::WindowMinimized);
                    guard->show();
                    guard->raise();
                    guard->activateWindow();
                },
                Qt::QueuedConnection);
        }
    }
    QDialog::changeEvent(AEvent);
}

void TFMXFrmAbout::LbURLClick() {
    ShellOpen(FUrl);
}

bool TFMXFrmAbout::eventFilter(QObject* AWatched, QEvent* AEvent) {
    // The label takes the press, so that the release comes back to it.
    if (AWatched == LbURL && AEvent->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton)
        return true;
    if (AWatched == LbURL && AEvent->type() == QEvent::MouseButtonRelease) {
        const auto* e = static_cast<QMouseEvent*>(AEvent);
        if (e->button() == Qt::LeftButton && LbURL->rect().contains(e->position().toPoint())) {
            LbURLClick();
            return true;
        }
    }
    return QDialog::eventFilter(AWatched, AEvent);
}
