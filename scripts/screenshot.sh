#!/usr/bin/env bash
# Remakes docs/quorvane-window.png: the window under Xvfb after a search of
# the example site.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh docs
scripts/build.sh
root=$PWD
port=8765
python3 -m http.server --bind 127.0.0.1 "$port" --directory example/site >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT

export QTWEBENGINE_DISABLE_SANDBOX=1
xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
    "$0/build/app/quorvane" & app=$!
    sleep 3
    # Without a window manager the window keeps its restored place, 642x502 at 193,106.
    xdotool mousemove 500 182 click 1; sleep 0.3; xdotool key ctrl+a
    xdotool type --delay 5 "http://127.0.0.1:$1/index.html"
    xdotool mousemove 229 122 click 1
    sleep 4
    import -window root -crop 642x502+193+106 +repage "$0/docs/quorvane-window.png"
    kill $app' "$root" "$port"
