#!/usr/bin/env bash
# Sets up a Debian 12 machine for VORM, builds it, and then either starts it or tests it.
#   scripts/setup.sh run    install what is missing, build, start VORM
#   scripts/setup.sh test   install what is missing, build, run every test
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build_pkgs=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev)
# clang and its runtime build the codec fuzzers that .ci/run starts.
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev)
run_pkgs=()

case "$mode" in
run) want=("${build_pkgs[@]}" "${run_pkgs[@]}") ;;
test) want=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
*)
    echo "usage: scripts/setup.sh run|test" >&2
    exit 2
    ;;
esac

# Only what is missing, so a prepared machine needs no network and no root.
missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)
if [ "$mode" = test ]; then
    cmake --preset default
    cmake --build --preset default -j "$jobs"
    ctest --preset default -j "$jobs"
    exit 0
fi

cmake --preset default -DVORM_BUILD_TESTS=OFF -DVORM_BUILD_BENCH=OFF
cmake --build --preset default -j "$jobs"
bin="$root/build/default"
out="$bin/sample"
mkdir -p "$out"
"$bin/tools/vorm-sample" "$out/sample.png"
"$bin/src/cli/vorm-cli" --shape hexagon --cell 32 "$out/sample.png" "$out/sample-mosaic.png"
"$bin/src/cli/vorm-cli" --shape hexagon --cell 32 "$out/sample.png" "$out/sample-mosaic.svg"
echo "VORM turned $out/sample.png into:"
echo "  $out/sample-mosaic.png"
echo "  $out/sample-mosaic.svg"
echo "Convert your own pictures with: $bin/src/cli/vorm-cli --help"
