#!/usr/bin/env bash
# Builds the Windows packages into build-windows/: a portable .zip and an
# NSIS installer (installs nsis when missing).
# Usage: tools/package-windows.sh                 the packages
#        tools/package-windows.sh --install-test  then, under Wine (in the
#            sandbox of tools/wine.sh), runs brevik.exe from the unpacked
#            .zip, installs silently, runs the installed programs, checks the
#            Start-menu entry, and uninstalls
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" windows-packages
"$root/tools/build-windows.sh"
dir="$root/build-windows"
(cd "$dir" && cpack >/dev/null)
version="$(sed -n 's/^project(Brevik VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
zip="$dir/brevik-$version-win64.zip"
installer="$dir/brevik-$version-win64.exe"
ls -l "$zip" "$installer"

[ "${1:-}" = "--install-test" ] || exit 0
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
export UNPACKED="$unpacked/brevik-$version-win64" INSTALLER="$installer" VERSION="$version"
"$root/tools/wine.sh" bash -c '
    set -euo pipefail
    [ "$("$WINE" "$UNPACKED/bin/brevik.exe" --version | tr -d "\r")" = "brevik $VERSION" ] ||
        { echo "brevik.exe from the .zip"; exit 1; }
    "$WINE" "$INSTALLER" /S
    home="$WINEPREFIX/drive_c/Program Files/Brevik"
    [ "$("$WINE" "C:\\Program Files\\Brevik\\bin\\brevik.exe" --version | tr -d "\r")" = "brevik $VERSION" ] ||
        { echo "the installed brevik.exe"; exit 1; }
    "$WINE" "C:\\Program Files\\Brevik\\bin\\brevik.exe" detect --port COM7 | grep -q "on COM7" ||
        { echo "the installed brevik.exe finds no device on COM7"; exit 1; }
    [ "$("$WINE" "C:\\Program Files\\Brevik\\bin\\brevik-updater.exe" --version | tr -d "\r")" = "brevik-updater $VERSION" ] ||
        { echo "the installed brevik-updater.exe"; exit 1; }
    ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"*Brevik*/"Brevik Firmware Updater.lnk" >/dev/null ||
        { echo "no Start-menu entry for the updater"; exit 1; }
    "$WINE" "$home/Uninstall.exe" /S
    for _ in $(seq 50); do [ -e "$home/bin/brevik.exe" ] || break; sleep 0.2; done
    [ ! -e "$home/bin/brevik.exe" ] || { echo "the uninstaller left brevik.exe"; exit 1; }
    echo "windows packages: the .zip runs, the installer installs, runs and uninstalls"'
