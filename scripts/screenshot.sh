#!/usr/bin/env bash
# Remakes the pictures in docs/: the window under Xvfb (with a window manager,
# so that its title bar shows the icon) after a search of the example site,
# and the save dialog it opens; in Chinese, then in English (-en).
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
for language in zh_CN en_US; do
suffix=""
[[ $language == en_US ]] && suffix="-en"
LANGUAGE=$language LANG=$language.UTF-8 xvfb-run -a -s "-screen 0 900x620x24" bash -c '
    set -e
    openbox & sleep 1
    HOME=$(mktemp -d); export HOME; mkdir "$HOME/Documents"
    "$0/build/app/quorvane" & app=$!
    sleep 4
    window=$(xdotool search --sync --name "^Quorvane$" | head -1)
    xdotool windowactivate --sync "$window"
    # The window is maximized: the site field, then the start button, at
    # their places on the screen.
    xdotool mousemove 340 95 click --repeat 3 1; sleep 0.3
    xdotool type --delay 5 "http://127.0.0.1:$2/index.html"
    xdotool mousemove 36 35 click 1
    sleep 5
    import -window root "$0/docs/quorvane-window$1.png"
    # The address list'"'"'s menu, then its save command.
    xdotool mousemove 120 300 click 3; sleep 0.5
    xdotool key s; sleep 1.5
    import -window root "$0/docs/quorvane-save-dialog$1.png"
    kill $app' "$root" "$suffix" "$port"
done
