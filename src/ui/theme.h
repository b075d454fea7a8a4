// The appearance: light or dark, and the accent colour. Decided once by ThemeInit after the
// QApplication exists and before the first window is made; only read afterwards, so a change of
// the desktop setting takes effect at the next start.
#pragma once

#include "alpha_color.h"

#include <QPalette>
#include <cstdint>
#include <optional>

extern bool IsWindows10;
extern bool IsLightTheme;
extern TAlphaColor AccentColor; // always opaque

// Used when the platform offers no accent colour.
constexpr TAlphaColor DefaultAccentColor = 0xFF0078D7;

// Decides the three values above from the running system.
void ThemeInit();

// The light or dark preference of the desktop. On Windows: the "apps use light theme" setting;
// elsewhere: the freedesktop colour-scheme through the settings portal, else the palette.
bool SystemLightTheme();
TAlphaColor ReadAccentColor();

// The decisions behind SystemLightTheme and ReadAccentColor, fed with what the system answered.
// AColorScheme is the portal's org.freedesktop.appearance color-scheme (0 no preference,
// 1 dark, 2 light), absent when the portal could not be asked.
bool DecideLightTheme(std::optional<std::uint32_t> AColorScheme, const QPalette& APalette);
TAlphaColor DecideAccentColor(const QPalette& APalette);

// Windows keeps these as DWORDs: AppsUseLightTheme (1 light, anything else dark, missing light)
// and the DWM accent colour, stored as $AABBGGRR.
bool LightFromAppsUseLightTheme(std::optional<std::uint32_t> AValue);
TAlphaColor AccentFromDwmColor(std::uint32_t AValue);

// The two appearances of the whole application: Fusion with a light or a dark palette, both
// highlighting in the accent colour.
QPalette LightPalette(TAlphaColor AAccent);
QPalette DarkPalette(TAlphaColor AAccent);

// Applies the light or dark appearance (after IsLightTheme) to every window of the program.
void StyleSet();
