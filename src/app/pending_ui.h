// Stand-ins for the shared UI library until it is part of the build: the same names and texts,
// with plain buttons in place of the flat ones.
#pragma once

#include <QLocale>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QToolButton>

inline bool IsJapanese() {
    return QLocale::system().name().startsWith(QLatin1String("ja"));
}

inline QStringList TilingTexts(bool AJapanese) {
    if (AJapanese)
        return {QString::fromUtf8("正三角形 1"),
                QString::fromUtf8("正三角形 2"),
                QString::fromUtf8("直角二等辺三角形 1"),
                QString::fromUtf8("直角二等辺三角形 2"),
                QString::fromUtf8("正方形 芋目地"),
                QString::fromUtf8("正方形 馬目地"),
                QString::fromUtf8("六角形")};
    return {"Equilateral Triangle 1",
            "Equilateral Triangle 2",
            "Isosceles Right Triangle 1",
            "Isosceles Right Triangle 2",
            "Square",
            "Square Alternate",
            "Hexagon"};
}

inline QStringList ColorTexts(bool AJapanese) {
    if (AJapanese)
        return {QString::fromUtf8("カラー"),          QString::fromUtf8("カラー 白強調"),
                QString::fromUtf8("カラー 黒強調"),   QString::fromUtf8("カラー 白黒強調"),
                QString::fromUtf8("カラー アルファ"), QString::fromUtf8("グレー"),
                QString::fromUtf8("グレー 白強調"),   QString::fromUtf8("グレー 黒強調"),
                QString::fromUtf8("グレー 白黒強調"), QString::fromUtf8("グレー アルファ")};
    return {
        "Color", "Color Alpha White", "Color Alpha Black", "Color Alpha Gray", "Color Self Alpha",
        "Gray",  "Gray Alpha White",  "Gray Alpha Black",  "Gray Alpha Gray",  "Gray Self Alpha"};
}

enum class TToolButton { Open, Save, Preview, BgColor, About };
inline QString ButtonCaption(TToolButton AButton, bool AJapanese) {
    static const char* const en[] = {"Open", "Save", "Preview", "bgColor", "About"};
    static const char* const ja[] = {"開く", "保存", "プレビュー", "背景色", "\u2026について"};
    return QString::fromUtf8((AJapanese ? ja : en)[int(AButton)]);
}

inline QStringList CellWidthTexts() {
    return {"16px", "32px", "64px", "128px"};
}
inline QStringList OpacityTexts() {
    return {"100%", "75%", "50%", "25%"};
}
inline QString WindowCaption(const QString& AOpenFileName = {}) {
    return AOpenFileName.isEmpty() ? QStringLiteral("VORM") : "VORM -" + AOpenFileName;
}

inline void StyleSet() {}

// A tool-bar button with a left action (clicked) and a right action (right-button release).
class TPendingBtn : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
signals:
    void rightClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* AEvent) override {
        if (AEvent->button() == Qt::RightButton && rect().contains(AEvent->position().toPoint()))
            emit rightClicked();
        QToolButton::mouseReleaseEvent(AEvent);
    }
};
