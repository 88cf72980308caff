#!/usr/bin/env bash
# Starts the window under Xvfb on a screen of the given size and Qt scale factor, waits, and
# saves a screenshot of the whole screen:
#   tools/screenshot.sh OUT.png [WIDTHxHEIGHT] [SCALE] [seconds] [program args...]
# Defaults: 1024x768, scale 1, 3 seconds. The program is build-release's unless VANTORIX_BIN
# names another; VANTORIX_WM names a window manager to start first, to see the window's frame.
# Needs xvfb, x11-apps (xwd) and imagemagick (convert).
set -euo pipefail
out=$(realpath -m "$1"); shift
screen=${1:-1024x768}; shift || true
scale=${1:-1}; shift || true
wait_s=${1:-3}; shift || true
bin=${VANTORIX_BIN:-"$(dirname "$0")/../build-release/src/app/ui/vantorix"}
wm=${VANTORIX_WM:-}
xvfb-run -a -s "-screen 0 ${screen}x24" bash -c "
    if [ -n '$wm' ]; then '$wm' & sleep 1; fi
    QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR='$scale' '$bin' $* & pid=\$!
    sleep $wait_s
    xwd -root -silent | convert xwd:- '$out'
    kill \$pid"
