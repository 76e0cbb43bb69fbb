#!/bin/sh
# The player's footprint and idle cost, on every core and on two:
#  - peak resident memory of the headless demo (goal: at most 120 MB);
#  - the longest frame at a MIDI song's start (goal: at most 50 ms), in the
#    demo and with a song on the first page (build/song_start);
#  - CPU and thread wake-ups while a page waits for a click (goal: at most
#    0.5 % of a core; build/idle_page).
#   bench/player_resources.sh [build folder]
set -eu
build=${1:-build}
stats=$(mktemp)
trap 'rm -f "$stats"' EXIT
for cores in all 0,1; do
    if [ "$cores" = all ]; then run=""; else run="taskset -c $cores"; fi
    echo "== cores: $cores"
    /usr/bin/time -v -o "$stats" env VORQ_HEADLESS=1 $run "$build/vorqplayer" "$build/demo" >/dev/null 2>&1
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$stats")
    echo "demo peak resident: $((rss / 1024)) MB"
    $run "$build/song_start" 2>/dev/null | grep '^BM_'
    $run "$build/idle_page" 2>/dev/null | grep '^BM_'
done
