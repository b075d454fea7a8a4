#!/usr/bin/env bash
# Sets up a Debian 12 machine for VORM, builds it, and then either starts it or tests it.
#   scripts/setup.sh run    install what is missing, build, start VORM on a sample picture
#   scripts/setup.sh test   install what is missing, build, run every test
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# libspng and giflib read PNG and GIF pictures. ISA-L deflates PNG files and libjpeg-turbo decodes
# JPEG; the build falls back to zlib and Qt without them. help2man writes the manual pages from
# the programs' --help.
build_pkgs=(g++ cmake ninja-build pkg-config qt6-base-dev zlib1g-dev libspng-dev libgif-dev
    libisal-dev libjpeg62-turbo-dev help2man)
# Japanese captions need a font with Japanese glyphs, and Qt's own dialogs their translations.
# Qt's image plugins let vorm-cli read WebP, TIFF and more by their content.
run_pkgs=(fonts-noto-cjk qt6-translations-l10n qt6-image-formats-plugins)
# clang and its runtime build the codec fuzzers that .ci/run starts. The tests also draw the
# Japanese captions, and build a locale with a decimal comma from the locale sources.
# scripts/check-package.sh validates the desktop entry and the metainfo, and cpack's Debian
# package needs file and dpkg-shlibdeps; zsh checks the zsh completion. rsvg-convert renders
# the maker options' SVG to compare it with their PNG. vorm-bench-stream measures vorm-cli's
# peak memory with GNU time (and times libvips beside it when libvips-tools is installed).
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev "${run_pkgs[@]}"
    locales desktop-file-utils appstream dpkg-dev file man-db zsh librsvg2-bin time)

case "$mode" in
run) want=("${build_pkgs[@]}" "${run_pkgs[@]}") ;;
test) want=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
*)
    echo "usage: scripts/setup.sh run|test" >&2
    exit 2
    ;;
esac

"$root/scripts/install-missing.sh" "${want[@]}"

jobs=$(nproc 2>/dev/null || echo 2)
if [ "$mode" = test ]; then
    # Explicitly on: an earlier "run" leaves them off in the build's cache.
    # CI sets VORM_WERROR=ON so that a warning fails the build.
    cmake --preset default -DVORM_BUILD_TESTS=ON -DVORM_BUILD_BENCH=ON \
        -DVORM_WERROR="${VORM_WERROR:-OFF}"
    cmake --build --preset default -j "$jobs"
    ctest --preset default -j "$jobs"
    exit 0
fi

# The tests stay configured when their packages are here, so that a later "test" (or a plain
# ctest) still finds them; only the window and its sample picture are built now.
have_test_pkgs=yes
for p in "${test_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || have_test_pkgs=no
done
if [ "$have_test_pkgs" = yes ]; then
    cmake --preset default -DVORM_BUILD_TESTS=ON -DVORM_BUILD_BENCH=ON
else
    cmake --preset default -DVORM_BUILD_TESTS=OFF -DVORM_BUILD_BENCH=OFF
fi
cmake --build --preset default -j "$jobs" --target vorm vorm-sample
bin="$root/build/default"
sample="$bin/sample/sample.png"
mkdir -p "$(dirname "$sample")"
[ -f "$sample" ] || "$bin/tools/vorm-sample" "$sample"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "VORM is built, but there is no desktop to show its window on." >&2
    echo "Start it from a desktop session with: $bin/src/app/vorm $sample" >&2
    exit 1
fi
echo "Starting VORM with a sample picture: $bin/src/app/vorm $sample"
exec "$bin/src/app/vorm" "$sample"
