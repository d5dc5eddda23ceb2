#!/usr/bin/env bash
# Installs what building and testing Tidewell needs on Debian 12, and nothing when all is there.
set -euo pipefail

packages=(
    cmake ninja-build
    gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    # The unit tests keep the posix-thread compilers: GoogleTest needs std::mutex.
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
    wine64 xvfb xauth x11-utils imagemagick
    googletest python3 python3-pytest locales
    # chmcmd and chmls: the help file KORVANE.CHM is built and checked with them.
    fp-utils
    # A Japanese font, so that the Japanese windows show their texts (and their screenshots too).
    fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the Unix locale, so the Japanese tests need ja_JP.UTF-8 to exist.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "Generating the ja_JP.UTF-8 locale"
    as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
