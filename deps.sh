#!/bin/sh
# Installs the Debian packages the build, the game and the tests need, when missing.
# Run by run.sh and test.sh; every package the project uses is listed here.
set -e
ZT_PACKAGES="build-essential cmake ninja-build pkg-config git
 libgtest-dev libgmock-dev libbenchmark-dev libbullet-dev
 libsdl2-dev libgl-dev libopengl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
 libopenal-dev libopenal1 libvorbis-dev
 libfreetype-dev libfontconfig-dev fonts-dejavu-core
 libstb-dev libjpeg62-turbo-dev libimgui-dev libglm-dev zlib1g-dev
 libassimp-dev libirrlicht-dev
 clang libclang-rt-14-dev locales python3
 sox vorbis-tools xvfb xauth xdotool x11-apps"
missing=""
for p in $ZT_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
