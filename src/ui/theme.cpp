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

namespace {

// One appearance's colours, $RRGGBB; the highlight is the accent colour in both.
struct TPaletteColors {
    QRgb Window, Text, Base, AlternateBase, ToolTipBase, PlaceholderText, Button, BrightText;
    QRgb Light, Midlight, Mid, Dark, Shadow, Link, LinkVisited;
    // Disabled controls: the text, and the grounds that change with it (0: as when enabled).
    QRgb DisabledText, DisabledHighlight, DisabledBase, DisabledButton;
};

QPalette MakePalette(const TPaletteColors& C, TAlphaColor AAccent) {
    QPalette p;
    const QColor text(C.Text);
    const std::pair<QPalette::ColorRole, QRgb> roles[] = {
        {QPalette::Window, C.Window},
        {QPalette::WindowText, C.Text},
        {QPalette::Base, C.Base},
        {QPalette::AlternateBase, C.AlternateBase},
        {QPalette::ToolTipBase, C.ToolTipBase},
        {QPalette::ToolTipText, C.Text},
        {QPalette::PlaceholderText, C.PlaceholderText},
        {QPalette::Text, C.Text},
        {QPalette::Button, C.Button},
        {QPalette::ButtonText, C.Text},
        {QPalette::BrightText, C.BrightText},
        {QPalette::Light, C.Light},
        {QPalette::Midlight, C.Midlight},
        {QPalette::Mid, C.Mid},
        {QPalette::Dark, C.Dark},
        {QPalette::Shadow, C.Shadow},
    };
    for (const auto& [role, rgb] : roles)
        p.setColor(role, QColor(rgb));
    p.setColor(QPalette::Highlight, Rgb(AAccent));
    p.setColor(QPalette::HighlightedText, TextOn(AAccent));
    p.setColor(QPalette::Link, QColor(C.Link));
    p.setColor(QPalette::LinkVisited, QColor(C.LinkVisited));
    const QColor disabled(C.DisabledText);
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, disabled);
    if (C.DisabledButton)
        p.setColor(QPalette::Disabled, QPalette::Button, QColor(C.DisabledButton));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(C.DisabledBase));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(C.DisabledHighlight));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabled);
    return p;
}

} // namespace

QPalette LightPalette(TAlphaColor AAccent) {
    return MakePalette({0xF0F0F0, 0x000000, 0xFFFFFF, 0xF5F5F5, 0xFFFFFF, 0x6D6D6D, 0xE1E1E1,
                        0xFFFFFF, 0xFFFFFF, 0xE3E3E3, 0xA0A0A0, 0x808080, 0x404040, 0x0066CC,
                        0x551A8B, 0xA0A0A0, 0xCCCCCC, 0xF0F0F0, 0},
                       AAccent);
}

QPalette DarkPalette(TAlphaColor AAccent) {
    return MakePalette({0x202020, 0xFFFFFF, 0x191919, 0x2B2B2B, 0x2B2B2B, 0x9A9A9A, 0x333333,
                        0xFF5555, 0x4A4A4A, 0x3C3C3C, 0x2A2A2A, 0x141414, 0x000000, 0xAAAAFF,
                        0xC8A0FF, 0x7A7A7A, 0x505050, 0x202020, 0x2A2A2A},
                       AAccent);
}

void StyleSet() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(IsLightTheme ? LightPalette(AccentColor) : DarkPalette(AccentColor));
}
