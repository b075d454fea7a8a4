// Shows the flat button in every design and state, and the About dialog, so that they can be
// looked at on a real desktop (scripts/ui-screenshots.sh photographs it under Xvfb).
//   vorm-ui-gallery [--theme light|dark] [--about] [--quit-after MS]
// The language follows the locale, as in the program: LANG=ja_JP.UTF-8 shows Japanese.
#include "flat_btn.h"
#include "frm_about.h"
#include "theme.h"
#include "tool_icons.h"
#include "ui_texts.h"
#include "utils.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

namespace {

enum TState { Normal, Hovered, Pressed, Down, DownHovered, Disabled };
const char* const kStateNames[] = {"normal", "hovered",    "pressed",
                                   "down",   "down+hover", "disabled"};

void Force(TFMXFlatBtn* b, TState s) {
    const QPointF at(b->width() / 2.0, b->height() / 2.0);
    if (s == Hovered || s == DownHovered) {
        QEnterEvent enter(at, at, at);
        QCoreApplication::sendEvent(b, &enter);
    }
    if (s == Pressed) {
        QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(b, &press);
    }
    if (s == Down || s == DownHovered)
        b->setIsDown(true);
    if (s == Disabled)
        b->setEnabled(false);
}

void BuildGallery(QWidget& window, bool ja) {
    auto* grid = new QGridLayout(&window);
    grid->setSpacing(10);
    grid->setContentsMargins(12, 12, 12, 12);

    struct TDesign {
        const char* Name;
        TFMXFlatBtnType Single, Double;
    };
    const TDesign designs[] = {{"Metro", mtMetroSingle, mtMetroDouble},
                               {"Fluent", mtFluentSingle, mtFluentDouble},
                               {"Win11", mtWin11Single, mtWin11Double},
                               {"iOS", mtiOSSingle, mtiOSDouble}};
    const struct {
        const char* Icon;
        TToolButton Caption;
    } tools[] = {{IconOpen, TToolButton::Open},       {IconSave, TToolButton::Save},
                 {IconPreview, TToolButton::Preview}, {IconBgColor, TToolButton::BgColor},
                 {IconAbout, TToolButton::About},     {IconOpen, TToolButton::Open}};

    int column = 1;
    for (const char* name : kStateNames)
        grid->addWidget(new QLabel(QString::fromLatin1(name)), 0, column++, Qt::AlignCenter);
    for (const char* name : {"orange", "swatch", "swatch down", "rainbow", "double", "double down"})
        grid->addWidget(new QLabel(QString::fromLatin1(name)), 0, column++, Qt::AlignCenter);

    int row = 1;
    for (const TDesign& d : designs) {
        grid->addWidget(new QLabel(QString::fromLatin1(d.Name)), row, 0);
        column = 1;
        for (int s = Normal; s <= Disabled; ++s) {
            const auto& t = tools[s];
            auto* b =
                TFMXFlatBtn::CreateParam(&window, d.Single, t.Icon, ButtonCaption(t.Caption, ja),
                                         FlatBtnTypeColor(d.Single), 0, 0, {}, {}, false, false);
            grid->addWidget(b, row, column++);
            Force(b, TState(s));
        }
        auto* orange = TFMXFlatBtn::CreateParam(&window, d.Single, IconAbout,
                                                ButtonCaption(TToolButton::About, ja),
                                                FlatBtnColorOrange, 0, 0, {}, {}, false, false);
        orange->setIsColorDot(true);
        grid->addWidget(orange, row, column++);
        auto* swatch = TFMXFlatBtn::CreateParam(&window, d.Single, {}, "#E81123", 0xFFE81123, 0, 0,
                                                {}, {}, false, false);
        grid->addWidget(swatch, row, column++);
        auto* swatchDown = TFMXFlatBtn::CreateParam(&window, d.Single, {}, "#FFF100", 0xFFFFF100, 0,
                                                    0, {}, {}, true, false);
        grid->addWidget(swatchDown, row, column++);
        auto* rainbow = TFMXFlatBtn::CreateParam(&window, d.Single, {}, "#Rainbow",
                                                 FlatBtnColorRainbow, 0, 0, {}, {}, false, false);
        grid->addWidget(rainbow, row, column++);
        auto* wide = TFMXFlatBtn::CreateParam(
            &window, d.Double, IconPreview, ButtonCaption(TToolButton::Preview, ja),
            FlatBtnTypeColor(d.Double), 0, 0, {}, {}, false, false);
        grid->addWidget(wide, row, column++);
        auto* wideDown = TFMXFlatBtn::CreateParam(&window, d.Double, {}, "#Rainbow",
                                                  FlatBtnColorRainbow, 0, 0, {}, {}, true, false);
        grid->addWidget(wideDown, row, column++);
        ++row;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ThemeInit();
    bool about = false;
    int quitAfter = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--theme" && i + 1 < args.size())
            IsLightTheme = args[++i] != "dark";
        else if (args[i] == "--about")
            about = true;
        else if (args[i] == "--quit-after" && i + 1 < args.size())
            quitAfter = args[++i].toInt();
        else {
            std::fputs("usage: vorm-ui-gallery [--theme light|dark] [--about] [--quit-after MS]\n",
                       stderr);
            return 2;
        }
    }
    QApplication::setWindowIcon(AppIcon());
    StyleSet();
    // Keep the pointer off the buttons, so that only the forced states show.
    QCursor::setPos(0, 0);

    const bool ja = IsJapanese();
    QWidget window;
    window.setWindowTitle(WindowCaption());
    if (about) {
        // The tool bar as the main window lays it out, with the dialog over it.
        window.resize(860, 530);
        const struct {
            const char* Icon;
            TToolButton Caption;
            int X;
            TAlphaColor Color;
        } bar[] = {{IconOpen, TToolButton::Open, 0, 0},
                   {IconSave, TToolButton::Save, 60, 0},
                   {IconPreview, TToolButton::Preview, 120, 0},
                   {IconBgColor, TToolButton::BgColor, 740, 0},
                   {IconAbout, TToolButton::About, 800, FlatBtnColorOrange}};
        for (const auto& b : bar)
            TFMXFlatBtn::CreateParam(&window, mtFluentSingle, b.Icon, ButtonCaption(b.Caption, ja),
                                     b.Color, b.X, 0, {}, {}, false, false);
        window.move(40, 40);
        window.show();
        auto* dialog = new TFMXFrmAbout(&window); // the window owns it
        dialog->ThemeUpdate();
        dialog->open();
    } else {
        BuildGallery(window, ja);
        window.move(40, 40);
        window.show();
    }
    if (quitAfter > 0)
        QTimer::singleShot(quitAfter, &app, &QApplication::quit);
    return app.exec();
}
