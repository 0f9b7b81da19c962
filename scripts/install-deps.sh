#!/usr/bin/env bash
# Installs the Debian packages that are missing: "build" for building and running the program and
# its Debian package, "test" adds what the tests and benchmarks need. npm fetches the SQLCipher
# the build compiles in (scripts/fetch-sqlcipher.sh); a Node.js installed with its own npm is kept.
set -euo pipefail

build_packages=(cmake g++ pkgconf qt6-base-dev qt6-wayland libssl-dev libxcb1-dev fonts-dejavu-core librsvg2-bin dpkg-dev
                file patch)
# clang and libsqlcipher-dev: the build on the system's SQLCipher; sqlcipher: its shell, which reads the files the tests
# write.
test_packages=(clang libsqlcipher-dev libbenchmark-dev sqlcipher xvfb openbox trayer xdotool xclip x11-utils
               desktop-file-utils imagemagick python3 python3-pyatspi python3-dbus at-spi2-core dbus-daemon dbus-bin
               libglib2.0-bin appstream lintian
               # GNOME Shell with its AppIndicator extension and the settings portal, run headless.
               gnome-shell gnome-shell-extension-appindicator gsettings-desktop-schemas dconf-service
               dconf-gsettings-backend xauth xdg-desktop-portal xdg-desktop-portal-gnome
               # The screen reader, heard through a speech server with a silent module.
               orca speech-dispatcher)

packages=("${build_packages[@]}")
command -v npm >/dev/null || packages+=(npm)
if [ "${1:-build}" = test ]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
