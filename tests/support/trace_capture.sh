#!/usr/bin/env bash
# Captures the normalised --trace of the window's start-up and of each operator command:
#   tests/support/trace_capture.sh BIN-DIR OUT-DIR
# One file per command in OUT-DIR. Timestamps are stripped; a received line keeps its first
# four bytes and its length (live samples and the firmware clock differ from run to run), the
# transmitted bytes and the status texts are kept whole. Two captures compare with diff -r.
set -euo pipefail
bin=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A measurement file whose table comes out as entry n = 4 * n + 3.
awk 'BEGIN { for (k = 0; k < 1024; k++) printf "%d\t%d\n", 4 * (1023 - k) + 3, k }' \
    >"$work/TARconfig.dat"
normalise() {
    sed -E 's/^[0-9]+\.[0-9]+ //' |
        awk '/^rx: / { printf "rx: %s... %d bytes\n", substr($2, 1, 8), length($2) / 2; next }
             { print }'
}
capture() { # name, command...
    local name=$1
    shift
    (cd "$work" && QT_QPA_PLATFORM=offscreen "$bin/ovx_window_session" "$@" 2>&1 >/dev/null) |
        normalise >"$out/$name.trace"
}
capture startup startup
capture get get
capture get-eeprom get eeprom
capture send send
capture send-eeprom send eeprom
capture teach teach
capture reset reset
capture run run 25
capture data data
capture data-raw data raw
capture flash flash "$work/TARconfig.dat"
wc -l "$out"/*.trace
