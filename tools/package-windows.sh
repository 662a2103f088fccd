#!/usr/bin/env bash
# Builds the Windows packages into build-windows/: a portable .zip and an
# NSIS installer (installs nsis when missing).
# Usage: tools/package-windows.sh                 the packages
#        tools/package-windows.sh --install-test  then, under Wine (in the
#            sandbox of tools/wine.sh), runs brevik.exe from the unpacked
#            .zip, installs silently (/S /PATH), runs the installed programs,
#            checks the Start-menu entry, the .bfw file type and the PATH
#            entry, uninstalls and checks that exactly those went away
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
    reg() { "$WINE" reg "$@" 2>/dev/null | tr -d "\r"; }
    value() { reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
    default() { reg query "$1" /ve | sed -n "s/^ *(Default) *REG_SZ *//p"; }
    path_type() { reg query "HKCU\\Environment" /v Path | sed -n "s/^ *Path *\(REG_[A-Z_]*\).*/\1/p"; }
    home="$WINEPREFIX/drive_c/Program Files/Brevik"
    bin="C:\\Program Files\\Brevik\\bin"
    # Round 1: the user has a PATH and .bfw belongs to another program; the
    # installer adds to both, the uninstaller puts both back as they were.
    reg add "HKCU\\Environment" /v Path /t REG_EXPAND_SZ /d "C:\\tools;C:\\more" /f >/dev/null
    reg add "HKLM\\Software\\Classes\\.bfw" /ve /d Other.Package /f >/dev/null
    "$WINE" "$INSTALLER" /S /PATH
    [ "$("$WINE" "C:\\Program Files\\Brevik\\bin\\brevik.exe" --version | tr -d "\r")" = "brevik $VERSION" ] ||
        { echo "the installed brevik.exe"; exit 1; }
    "$WINE" "C:\\Program Files\\Brevik\\bin\\brevik.exe" detect --port COM7 | grep -q "on COM7" ||
        { echo "the installed brevik.exe finds no device on COM7"; exit 1; }
    [ "$("$WINE" "C:\\Program Files\\Brevik\\bin\\brevik-updater.exe" --version | tr -d "\r")" = "brevik-updater $VERSION" ] ||
        { echo "the installed brevik-updater.exe"; exit 1; }
    grep -q "Register-ArgumentCompleter -Native -CommandName brevik" "$home/completion/brevik.ps1" ||
        { echo "no PowerShell completion installed"; exit 1; }
    ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"*Brevik*/"Brevik Firmware Updater.lnk" >/dev/null ||
        { echo "no Start-menu entry for the updater"; exit 1; }
    [ "$(value "HKCU\\Environment" Path)" = "C:\\tools;C:\\more;$bin" ] ||
        { echo "PATH after install: $(value "HKCU\\Environment" Path)"; exit 1; }
    [ "$(default "HKCR\\.bfw")" = Brevik.FirmwarePackage ] || { echo ".bfw is not registered"; exit 1; }
    [ "$(default "HKCR\\Brevik.FirmwarePackage\\shell\\open\\command")" = "\"$bin\\brevik-updater.exe\" \"%1\"" ] ||
        { echo "opening a .bfw: $(default "HKCR\\Brevik.FirmwarePackage\\shell\\open\\command")"; exit 1; }
    uninstall() {
        "$WINE" "$home/Uninstall.exe" /S
        # The uninstaller runs on from a copy of itself after this returns:
        # wait until its folder and its Start-menu entry are gone, or 20 s.
        for _ in $(seq 100); do
            [ -e "$home" ] || ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"*Brevik* \
                >/dev/null 2>&1 || break
            sleep 0.2
        done
        [ ! -e "$home" ] || { echo "the uninstaller left $(find "$home" | head -n 3)"; exit 1; }
        ! ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/"*Brevik* >/dev/null 2>&1 ||
            { echo "the uninstaller left the Start-menu folder"; exit 1; }
        ! reg query "HKCR\\Brevik.FirmwarePackage" >/dev/null || { echo "the file type is left"; exit 1; }
        ! reg query "HKLM\\Software\\Brevik\\Installer" >/dev/null || { echo "HKLM\\Software\\Brevik\\Installer is left"; exit 1; }
        [ "${1:-}" = keeps-path-marks ] ||
            ! reg query "HKCU\\Software\\Brevik" >/dev/null || { echo "HKCU\\Software\\Brevik is left"; exit 1; }
        ! reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" | grep -qi brevik ||
            { echo "the uninstall entry is left"; exit 1; }
    }
    # Another administrator uninstalls: the replaced type is not theirs to
    # have remembered.
    reg delete "HKCU\\Software\\Brevik\\Installer" /v ReplacedFileType /f >/dev/null || true
    uninstall
    [ "$(value "HKCU\\Environment" Path)" = "C:\\tools;C:\\more" ] ||
        { echo "PATH after uninstall: $(value "HKCU\\Environment" Path)"; exit 1; }
    [ "$(default "HKCR\\.bfw")" = Other.Package ] || { echo ".bfw was not given back"; exit 1; }
    # Round 2: no PATH and no .bfw before; none after.
    reg delete "HKCU\\Environment" /v Path /f >/dev/null
    reg delete "HKLM\\Software\\Classes\\.bfw" /f >/dev/null
    "$WINE" "$INSTALLER" /S /PATH
    [ "$(value "HKCU\\Environment" Path)" = "$bin" ] || { echo "PATH made by the install"; exit 1; }
    uninstall
    ! reg query "HKCU\\Environment" /v Path >/dev/null || { echo "the uninstaller left a PATH"; exit 1; }
    ! reg query "HKCR\\.bfw" >/dev/null || { echo "the uninstaller left .bfw"; exit 1; }
    # Round 3: a PATH of type REG_SZ keeps its type both ways. The PATH of the user
    # grows past what the uninstaller can edit: the entry and its marks stay,
    # and once the PATH is short again a reinstall and uninstall take it away.
    reg add "HKCU\\Environment" /v Path /t REG_SZ /d "C:\\tools" /f >/dev/null
    "$WINE" "$INSTALLER" /S /PATH
    [ "$(path_type)" = REG_SZ ] || { echo "PATH written back as $(path_type)"; exit 1; }
    long="C:\\tools"
    for i in $(seq 120); do long+=";C:\\dir$i"; done
    long+=";$bin"
    reg add "HKCU\\Environment" /v Path /t REG_SZ /d "$long" /f >/dev/null
    uninstall keeps-path-marks
    [ "$(value "HKCU\\Environment" Path)" = "$long" ] || { echo "a long PATH was changed"; exit 1; }
    [ "$(value "HKCU\\Software\\Brevik\\Installer" PathEntry)" = "$bin" ] ||
        { echo "the uninstaller forgot the PATH entry it could not remove"; exit 1; }
    reg add "HKCU\\Environment" /v Path /t REG_SZ /d "C:\\tools;$bin" /f >/dev/null
    "$WINE" "$INSTALLER" /S /PATH
    uninstall
    [ "$(value "HKCU\\Environment" Path)" = "C:\\tools" ] && [ "$(path_type)" = REG_SZ ] ||
        { echo "PATH after the second uninstall: $(path_type) $(value "HKCU\\Environment" Path)"; exit 1; }
    echo "windows packages: the .zip runs; the installer installs, registers .bfw and PATH, and its uninstaller takes exactly that away and keeps what it cannot"'
