#!/usr/bin/env bash
# vorm-cli's bash completion, as written by the build, offers what the program takes:
# "vorm-cli --shape h<Tab>" gives hexagon.
#   test_completion.sh COMPLETION_FILE
set -uo pipefail
# shellcheck source=/dev/null
source "$1" || exit 1
complete -p vorm-cli >/dev/null || {
    echo "FAIL: no completion for vorm-cli"
    exit 1
}
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
mkdir mosaics
touch photo.jpg photo.png

# The words as readline splits them ("=" is a word of its own), the cursor in the last one; the
# offers, sorted, on one line.
offers() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vorm_cli 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}

failed=0
expect() {
    local want=$1 got
    shift
    got=$(offers "$@")
    if [[ $got != "$want" ]]; then
        echo "FAIL: ${*@Q}: offers \"$got\", not \"$want\""
        failed=1
    fi
}

expect hexagon vorm-cli --shape h
expect hexagon vorm-cli --shape = h
expect "isosceles-right-triangle-1 isosceles-right-triangle-2" vorm-cli --shape i
expect "gray-alpha-black gray-alpha-gray gray-alpha-white" vorm-cli -q --color gray-a
expect "color color-alpha-black color-alpha-gray color-alpha-white color-self-alpha" \
    vorm-cli --color = c
expect "best fast" vorm-cli --png-compression ''
expect "png svg" vorm-cli --format ''
expect mosaics vorm-cli --output-dir m
expect "" vorm-cli --cell 1
expect --shape vorm-cli --sh
expect -q vorm-cli photo.jpg -q
expect --quiet vorm-cli photo.jpg --q
expect "photo.jpg photo.png" vorm-cli --shape hexagon ph
expect "photo.jpg photo.png" vorm-cli --quiet ph
# Without "=" among the word breaks, "--shape=h" is one word.
expect --shape=hexagon vorm-cli --shape=h
exit $failed
