#!/usr/bin/env bash
# Photographs the tool-bar buttons and the About dialog on a real X server (Xvfb), in the light
# and dark appearances and in English and Japanese, for a person to look at.
#   scripts/ui-screenshots.sh [OUTPUT_DIR]      (default: build/screenshots)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/build/screenshots}
cd "$root"

# openbox draws the title bars, so that the dialog's caption shows too.
want=(xvfb imagemagick fonts-noto-cjk openbox)
"$root/scripts/install-missing.sh" "${want[@]}"

[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target vorm-ui-gallery -j 2 >/dev/null
gallery=$root/build/default/tools/vorm-ui-gallery
mkdir -p "$out"

# A display number nobody else uses.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1400x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wm=
trap 'kill $wm "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
DISPLAY=":$display" openbox >/dev/null 2>&1 &
wm=$!
sleep 1

# shot NAME LANGUAGE GALLERY-ARGUMENTS...
shot() {
    local name=$1 lang=$2
    shift 2
    env -u LANGUAGE DISPLAY=":$display" QT_QPA_PLATFORM=xcb LANG="$lang" LC_ALL="$lang" \
        "$gallery" --quit-after 4000 "$@" &
    local app=$!
    sleep 2.5
    DISPLAY=":$display" import -window root "$out/$name.raw.png"
    wait "$app" || true
    # Everything outside the windows is the server's black root.
    convert "$out/$name.raw.png" -trim +repage "$out/$name.png"
    rm -f "$out/$name.raw.png"
    echo "$out/$name.png"
}

shot buttons-light en_US.UTF-8 --theme light
shot buttons-dark en_US.UTF-8 --theme dark
shot buttons-light-ja ja_JP.UTF-8 --theme light
shot about-light en_US.UTF-8 --theme light --about
shot about-dark en_US.UTF-8 --theme dark --about
shot about-light-ja ja_JP.UTF-8 --theme light --about
shot about-dark-ja ja_JP.UTF-8 --theme dark --about
