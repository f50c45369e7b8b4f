#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when
# they are missing. Quick and silent when everything is there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools libqt6opengl6-dev
  qt6-declarative-dev qml6-module-qttest qml6-module-qtquick
  qml6-module-qtquick-window qml6-module-qtqml-workerscript
  qt6-image-formats-plugins
  libpixman-1-dev libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libwebp-dev libhwy-dev libtiff-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libavfilter-dev
  libgtest-dev libbenchmark-dev doxygen clang python3
  frei0r-plugins-dev melt
  kdenlive frei0r-plugins libobs-dev obs-studio
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-bad
  xvfb xdotool x11-apps x11-xserver-utils imagemagick ffmpeg
  dbus dbus-x11 chromium
  libx11-dev libxss-dev libjpeg-turbo-progs
  xscreensaver desktop-file-utils libglib2.0-bin
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Install them as root with:" >&2
  echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
