#!/usr/bin/env bash
# Sets up a Debian 12 machine for VORM, builds it, and then either starts it or tests it.
#   scripts/setup.sh run    install what is missing, build, start VORM on a sample picture
#   scripts/setup.sh test   install what is missing, build, run every test
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# ISA-L deflates PNG files and TurboJPEG decodes JPEG; the build falls back to zlib and Qt
# without them.
build_pkgs=(g++ cmake ninja-build pkg-config qt6-base-dev zlib1g-dev libspng-dev libisal-dev
    libturbojpeg0-dev)
# Japanese captions need a font with Japanese glyphs, and Qt's own dialogs their translations.
run_pkgs=(fonts-noto-cjk qt6-translations-l10n)
# clang and its runtime build the codec fuzzers that .ci/run starts. The tests also draw the
# Japanese captions, and build a locale with a decimal comma from the locale sources.
# vorm-bench-stream times vorm-cli beside libvips (vips) under GNU time.
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev "${run_pkgs[@]}"
    locales time libvips-tools)

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
