#!/usr/bin/env bash
# Starts the window under Xvfb, waits, and saves a screenshot of the screen:
#   tools/screenshot.sh OUT.png [seconds] [program args...]
set -euo pipefail
out=$(realpath -m "$1"); shift
wait_s=${1:-3}; shift || true
bin="$(dirname "$0")/../build-release/src/app/ui/vantorix"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    QT_QPA_PLATFORM=xcb '$bin' $* & pid=\$!
    sleep $wait_s
    xwd -root -silent | convert xwd:- '$out'
    kill \$pid"
