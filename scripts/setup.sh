#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Quiet and quick when everything is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n qt6-serialport-dev
  libsqlite3-dev libzip-dev libpugixml-dev
  googletest libgtest-dev libbenchmark-dev
  python3 python3-ezdxf python3-openpyxl python3-pil
  libreoffice-calc-nogui poppler-utils
  fonts-wqy-microhei
  xvfb xauth locales desktop-file-utils
  # The window journeys (tests/window): a D-Bus session with the
  # accessibility bus, its Python client, a window manager, the mouse and
  # keyboard (python3-pil, above, judges the pictures).
  dbus-daemon at-spi2-core python3-pyatspi openbox xdotool x11-utils
  # A Chinese input method, to show the sample boxes take none.
  fcitx5 fcitx5-pinyin fcitx5-frontend-qt6
)
# Fuzzing, when ./test is asked for it: Debian's clang and libFuzzer.
if [ "${DIMMARK_FUZZ_SECONDS:-0}" != 0 ]; then
  packages+=(clang libfuzzer-14-dev libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The DWG converter runs on Node.js; Debian's nodejs and npm when there is
# no Node.js yet.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  node_pkgs=(npm)
  command -v node >/dev/null 2>&1 || node_pkgs=(nodejs npm)
  echo "Installing: ${node_pkgs[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${node_pkgs[@]}" >/dev/null ||
    echo "warning: could not install ${node_pkgs[*]}; DWG drawings will not open" >&2
fi

# Its pinned packages, installed again only when the lock changed.
dwg_dir="$(dirname "$0")/../cadhost/dwg"
dwg_stamp="$dwg_dir/node_modules/.dimmark-lock"
if command -v npm >/dev/null 2>&1 && ! cmp -s "$dwg_dir/package-lock.json" "$dwg_stamp"; then
  echo "Installing the DWG converter's packages (npm ci)"
  (cd "$dwg_dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  cp "$dwg_dir/package-lock.json" "$dwg_stamp"
fi
