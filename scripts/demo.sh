#!/usr/bin/env bash
# Builds the demonstration (Release, in build/demo) and runs it in a window,
# from the folder that holds its pictures, until the window is closed.
# Without a display (DISPLAY unset) it runs the demonstration for a few
# seconds on a virtual X server instead, saves a screenshot of its window and
# prints the window's title, which carries the frame rate.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/require-packages.sh "${build_packages[@]}" "${display_packages[@]}"

build=build/demo
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZELVOR_TESTS=OFF -DZELVOR_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target zelvor zelvor-rev1 zelvor-x11-probe
pictures="$PWD/$build/app"

if [ -n "${DISPLAY:-}" ]; then
  cd "$pictures"
  exec ./zelvor
fi

echo "No display: running the demonstration on a virtual X server for a few seconds."
work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  # Only the processes this script started, by their ids.
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$work/display")" -ge 1 ] && break
  sleep 0.1
done
if [ "$(wc -l <"$work/display")" -lt 1 ]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
display=":$(head -n 1 "$work/display")"

(cd "$pictures" && DISPLAY="$display" exec ./zelvor) &
demo_pid=$!
probe=("$PWD/$build/platform/zelvor-x11-probe" --display "$display")

"${probe[@]}" wait >/dev/null
"${probe[@]}" pointer 560 430
# The title shows the frame rate once a second.
sleep 4
title=$("${probe[@]}" title)
screenshot="$PWD/$build/screenshot.png"
"${probe[@]}" screenshot "$screenshot"
"${probe[@]}" close
status=0
wait "$demo_pid" || status=$?
demo_pid=""

echo "Window title: $title"
echo "Screenshot:   $screenshot"
exit "$status"
