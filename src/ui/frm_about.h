// The About dialog: the program's icon, name, version, maker and web page on a background that
// follows the light or dark appearance. Made once after the main window and kept until the end;
// Execute shows it modally.
#pragma once

#include "theme.h"

#include <QDialog>

class QLabel;
class QPushButton;

// A rectangle filled with one colour, translucent or not, drawn over its parent.
class TFMXColorRect : public QWidget {
    Q_OBJECT

public:
    explicit TFMXColorRect(QWidget* AParent = nullptr) : QWidget(AParent) {}
    TAlphaColor FillColor() const { return FFill; }
    void setFillColor(TAlphaColor AValue);

protected:
    void paintEvent(QPaintEvent* AEvent) override;

private:
    TAlphaColor FFill = 0;
};

class TFMXFrmAbout : public QDialog {
    Q_OBJECT

public:
    // Texts in the user interface's language and the program's own version.
    explicit TFMXFrmAbout(QWidget* AParent = nullptr);
    // The same, with the language and version given.
    TFMXFrmAbout(QWidget* AParent, bool AJapanese, const QString& AFileVersion);

    // Applies the current appearance, then shows the dialog modally until OK or the close box.
    // Throws EVormError when one of its pictures is missing from the program.
    int Execute();

    // The pictures and colours of IsLightTheme; the pictures are loaded anew each time.
    void ThemeUpdate();

    // Opens the product's web page; the dialog stays open.
    void LbURLClick();

    QString Url() const { return FUrl; }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;

private:
    void FormCreate(bool AJapanese, const QString& AFileVersion);

    QString FUrl;
    QLabel* Image2 = nullptr;
    TFMXColorRect* RectTop = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LbTitle = nullptr;
    TFMXColorRect* RectBottom = nullptr;
    QPushButton* ButtonOK = nullptr;
    QLabel* LbVersion = nullptr;
    QLabel* LbProduct = nullptr;
    QLabel* LbURL = nullptr;
};
