#include "theme.h"

#include <QApplication>
#include <QColor>
#include <QStyleFactory>

#ifdef Q_OS_WIN
#include <QOperatingSystemVersion>
#include <QSettings>
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#define VORM_HAS_PORTAL 1
#endif

bool IsWindows10 = false;
bool IsLightTheme = true;
TAlphaColor AccentColor = DefaultAccentColor;

namespace {

#ifdef VORM_HAS_PORTAL
// A desktop without a portal answers at once; a hung one must not hold up the start for long.
constexpr int kPortalTimeoutMs = 1000;

std::optional<std::uint32_t> PortalColorScheme() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop",
                                                       "/org/freedesktop/portal/desktop",
                                                       "org.freedesktop.portal.Settings", "Read");
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kPortalTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    // Read answers a variant inside a variant; newer portals may send it unwrapped.
    QVariant v = reply.arguments().constFirst();
    for (int depth = 0; depth < 3 && v.canConvert<QDBusVariant>(); ++depth)
        v = v.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = v.toUInt(&ok);
    if (!ok)
        return std::nullopt;
    return scheme;
}
#endif

QColor Rgb(TAlphaColor c) {
    return QColor::fromRgba(c);
}

// White or near-black text, whichever reads better on the highlight.
QColor TextOn(TAlphaColor c) {
    const double y =
        0.298912 * ((c >> 16) & 0xFF) + 0.586611 * ((c >> 8) & 0xFF) + 0.114478 * (c & 0xFF);
    return y < 127.5 ? QColor(Qt::white) : QColor(0x1B, 0x1B, 0x1B);
}

} // namespace

bool DecideLightTheme(std::optional<std::uint32_t> AColorScheme, const QPalette& APalette) {
    if (AColorScheme == 1u)
        return false;
    if (AColorScheme == 2u)
        return true;
    const QColor window = APalette.color(QPalette::Active, QPalette::Window);
    if (!window.isValid())
        return true;
    return window.lightness() >= 128;
}

TAlphaColor DecideAccentColor(const QPalette& APalette) {
    const QColor c = APalette.color(QPalette::Active, QPalette::Highlight);
    if (!c.isValid())
        return DefaultAccentColor;
    return 0xFF000000u | (c.rgba() & 0x00FFFFFFu);
}

bool LightFromAppsUseLightTheme(std::optional<std::uint32_t> AValue) {
    return !AValue || *AValue == 1;
}

TAlphaColor AccentFromDwmColor(std::uint32_t AValue) {
    return 0xFF000000u | ((AValue & 0xFF) << 16) | (AValue & 0xFF00) | ((AValue >> 16) & 0xFF);
}

#ifdef Q_OS_WIN
namespace {
std::optional<std::uint32_t> RegistryDword(const QString& AKey, const QString& AName) {
    const QSettings key("HKEY_CURRENT_USER\\" + AKey, QSettings::NativeFormat);
    const QVariant v = key.value(AName);
    // A DWORD arrives as a number; a string or binary value of the same name does not count.
    if (v.typeId() != QMetaType::Int && v.typeId() != QMetaType::UInt &&
        v.typeId() != QMetaType::LongLong && v.typeId() != QMetaType::ULongLong)
        return std::nullopt;
    return std::uint32_t(v.toLongLong());
}
} // namespace

bool SystemLightTheme() {
    if (!IsWindows10)
        return true;
    return LightFromAppsUseLightTheme(RegistryDword(
        "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", "AppsUseLightTheme"));
}

TAlphaColor ReadAccentColor() {
    const auto v = RegistryDword("SOFTWARE\\Microsoft\\Windows\\DWM", "AccentColor");
    return v ? AccentFromDwmColor(*v) : DefaultAccentColor;
}

void ThemeInit() {
    IsWindows10 = QOperatingSystemVersion::current() >= QOperatingSystemVersion::Windows10;
    IsLightTheme = IsWindows10 ? SystemLightTheme() : true;
    AccentColor = ReadAccentColor();
}
#else
bool SystemLightTheme() {
#ifdef VORM_HAS_PORTAL
    const std::optional<std::uint32_t> scheme = PortalColorScheme();
#else
    const std::optional<std::uint32_t> scheme;
#endif
    return DecideLightTheme(scheme, QGuiApplication::palette());
}

TAlphaColor ReadAccentColor() {
    return DecideAccentColor(QGuiApplication::palette());
}

void ThemeInit() {
    IsWindows10 = false;
    IsLightTheme = SystemLightTheme();
    AccentColor = ReadAccentColor();
}
#endif

QPalette LightPalette(TAlphaColor AAccent) {
    QPalette p;
    const QColor text(0x00, 0x00, 0x00);
    p.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::AlternateBase, QColor(0xF5, 0xF5, 0xF5));
    p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x6D, 0x6D, 0x6D));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xE1, 0xE1, 0xE1));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::Light, QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::Midlight, QColor(0xE3, 0xE3, 0xE3));
    p.setColor(QPalette::Mid, QColor(0xA0, 0xA0, 0xA0));
    p.setColor(QPalette::Dark, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Shadow, QColor(0x40, 0x40, 0x40));
    p.setColor(QPalette::Highlight, Rgb(AAccent));
    p.setColor(QPalette::HighlightedText, TextOn(AAccent));
    p.setColor(QPalette::Link, QColor(0x00, 0x66, 0xCC));
    p.setColor(QPalette::LinkVisited, QColor(0x55, 0x1A, 0x8B));
    const QColor disabled(0xA0, 0xA0, 0xA0);
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0xCC, 0xCC, 0xCC));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xF0, 0xF0, 0xF0));
    return p;
}

QPalette DarkPalette(TAlphaColor AAccent) {
    QPalette p;
    const QColor text(0xFF, 0xFF, 0xFF);
    p.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(0x19, 0x19, 0x19));
    p.setColor(QPalette::AlternateBase, QColor(0x2B, 0x2B, 0x2B));
    p.setColor(QPalette::ToolTipBase, QColor(0x2B, 0x2B, 0x2B));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x9A));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0x55, 0x55));
    p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4A));
    p.setColor(QPalette::Midlight, QColor(0x3C, 0x3C, 0x3C));
    p.setColor(QPalette::Mid, QColor(0x2A, 0x2A, 0x2A));
    p.setColor(QPalette::Dark, QColor(0x14, 0x14, 0x14));
    p.setColor(QPalette::Shadow, QColor(0x00, 0x00, 0x00));
    p.setColor(QPalette::Highlight, Rgb(AAccent));
    p.setColor(QPalette::HighlightedText, TextOn(AAccent));
    p.setColor(QPalette::Link, QColor(0xAA, 0xAA, 0xFF));
    p.setColor(QPalette::LinkVisited, QColor(0xC8, 0xA0, 0xFF));
    const QColor disabled(0x7A, 0x7A, 0x7A);
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, disabled);
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x2A, 0x2A, 0x2A));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0x20, 0x20, 0x20));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    return p;
}

void StyleSet() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(IsLightTheme ? LightPalette(AccentColor) : DarkPalette(AccentColor));
}
