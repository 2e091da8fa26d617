#!/usr/bin/env bash
# Takes the screenshots of the help pages: the road of one drawing through
# the window, under Xvfb at 1280x800, driven with xdotool.
#   scripts/help_shots.sh [BUILD_DIR]
# Needs xvfb, xdotool and imagemagick (apt-get install xvfb xdotool
# imagemagick). The clicks are at the places the workspace gives the
# controls at that screen size with fresh settings; look at the pictures
# before committing them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
shots=$here/dimdata/DIMENHELP.files/shots
work=$(mktemp -d /tmp/dimmark-shots-XXXXXX)
display=:$((90 + RANDOM % 9))
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$here/samples/bracket.dxf" "$work/"
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
sleep 2
export DISPLAY=$display HOME=$work XDG_CONFIG_HOME=$work/.config
"$build/bin/dimmark" >"$work/log" 2>&1 &
app=$!
sleep 5
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-1.5}"; }
# The workspace takes the top-left 90% of the screen (no window manager).
shot() {
  import -window root -crop 1152x720+0+0 +repage "$shots/$1.png"
  echo "$shots/$1.png"
}
mkdir -p "$shots"
shot 01-start
click 821 85                 # 浏览: the file type window
click 637 443 2              # 确定: the file dialog
xdotool mousemove 560 472 click 1 type --delay 20 "$work/bracket.dxf"
xdotool key Return
sleep 1.5
click 1088 85 4              # 确定: the drawing opens
shot 02-opened
click 855 133 3              # 自动标号
shot 03-numbered
click 722 267 0.5            # 后一尺寸
click 672 397 2              # 浏览
xdotool mousemove 967 231 click 1 type "45.3"
shot 04-browse
click 655 438 4              # 创建 FAI
shot 05-fai
click 1012 85 2              # 公差编辑
shot 06-toler
