#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(g++ cmake ninja-build libgtest-dev libgmock-dev libbenchmark-dev clang-format
          qt6-base-dev fonts-dejavu-core xvfb xauth libcli11-dev nlohmann-json3-dev help2man dpkg-dev
          bash-completion zsh fish locales libudev-dev umockdev libumockdev-dev pkgconf
          inotify-tools at-spi2-core python3-pyatspi dbus libssl-dev x11-utils srecord binutils)
# tools/install-deps.sh fuzz: also clang with its libFuzzer runtime.
if [ "${1:-}" = "fuzz" ]; then
    packages+=(clang libclang-rt-dev)
fi
# tools/install-deps.sh package: also what builds and checks the Debian packages.
if [ "${1:-}" = "package" ]; then
    packages+=(debhelper lintian appstream)
fi
# tools/install-deps.sh docs: also Doxygen.
if [ "${1:-}" = "docs" ]; then
    packages+=(doxygen)
fi
# tools/install-deps.sh windows: the mingw-w64 cross compiler and Wine.
if [ "${1:-}" = "windows" ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine wine64)
fi
# tools/install-deps.sh windows-packages: also NSIS and zip for the packages.
if [ "${1:-}" = "windows-packages" ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine wine64 nsis zip unzip)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
