#!/usr/bin/env bash
# Checks what an installation holds and builds the Debian package, in a build folder that is
# already built (CI runs it after the tests):
#   scripts/check-package.sh [BUILD_DIR]      default build/default
# The files are installed into a staging folder under /usr, the desktop entry and the metainfo
# validated as software centres and desktops read them, the manual pages formatted, and
# "cpack -G DEB" makes the package, whose dependencies dpkg-shlibdeps found.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
id=io.github.orvante.vorm

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr

expected=(
    bin/vorm bin/vorm-cli
    "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
    "share/icons/hicolor/scalable/apps/$id.svg"
    share/man/man1/vorm.1.gz share/man/man1/vorm-cli.1.gz
    share/bash-completion/completions/vorm-cli share/zsh/vendor-completions/_vorm-cli
    share/doc/vorm/copyright
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
missing=0
for f in "${expected[@]}"; do
    [ -s "$usr/$f" ] || {
        echo "check-package: not installed: /usr/$f" >&2
        missing=1
    }
done
((missing == 0)) || exit 1

echo "desktop-file-validate $id.desktop"
desktop-file-validate "$usr/share/applications/$id.desktop"
echo "appstreamcli validate --no-net $id.metainfo.xml"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml"

# Each manual page formats without a warning and names every option of the program's help.
for program in vorm vorm-cli; do
    page=$usr/share/man/man1/$program.1.gz
    warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || {
        echo "check-package: $program.1: $warnings" >&2
        exit 1
    }
    text=$(MANWIDTH=100 man -l "$page" 2>/dev/null)
    for option in $("$usr/bin/$program" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
        grep -qF -- "$option" <<<"$text" || {
            echo "check-package: $program.1 does not name $option" >&2
            exit 1
        }
    done
done

echo "cpack -G DEB"
rm -f "$build"/vorm_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vorm_*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
# dpkg-shlibdeps found Qt's libraries and the C++ runtime.
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 qt6-qpa-plugins; do
    grep -q "$lib" <<<"$depends" || {
        echo "check-package: Depends lacks $lib" >&2
        exit 1
    }
done
# The package holds exactly what the installation does.
diff <(cd "$stage" && find . -type f | sed 's|^\.||' | sort) \
    <(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\.||' | sort)
