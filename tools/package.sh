#!/usr/bin/env bash
# Builds the Debian packages brevik and libbrevik-dev (with brevik-dbgsym)
# with dpkg-buildpackage, from build/ (the build the tests use; tools/test.sh
# runs the tests, so they are not run again here), checks them with lintian
# and the AppStream data with appstreamcli, and puts them in build/packages/.
# Usage: tools/package.sh                 the packages
#        tools/package.sh --install-test  then installs them, runs the
#                                         installed programs, builds a program
#                                         on the library, removes them and
#                                         checks that nothing is left
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh" package
cd "$root"
# -nc: build/ is kept (a clean first would delete the tests' build). The
# stamp of an earlier package build goes, or dh would not build again.
rm -f debian/debhelper-build-stamp
DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -b -us -uc -nc >build/dpkg-buildpackage.log 2>&1 ||
    { tail -n 40 build/dpkg-buildpackage.log; exit 1; }
# dpkg-buildpackage writes beside the source folder: what it wrote there is
# moved into build/packages/ (the names are listed in debian/files).
out="$root/build/packages"
mkdir -p "$out"
version="$(dpkg-parsechangelog -S Version)"
arch="$(dpkg-architecture -qDEB_HOST_ARCH)"
made=("brevik_${version}_${arch}.changes")
while read -r file _; do made+=("$file"); done <debian/files
for file in "${made[@]}"; do mv -f "../$file" "$out/"; done
changes="$out/brevik_${version}_${arch}.changes"
appstreamcli validate --no-net build/packaging/invalid.brevik.Updater.metainfo.xml >/dev/null
debs=("$out/brevik_${version}_${arch}.deb" "$out/libbrevik-dev_${version}_${arch}.deb")
lintian --fail-on error,warning --info "$changes" 2>&1 | { grep -v "running with root privileges" || true; }
for deb in "${debs[@]}"; do
    printf '%s: %s bytes, installed %s KiB\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
        "$(dpkg-deb --field "$deb" Installed-Size)"
done

[ "${1:-}" = "--install-test" ] || exit 0
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -qq "${debs[@]}" >/dev/null
trap '"${sudo_cmd[@]}" dpkg --purge brevik libbrevik-dev >/dev/null || true' EXIT
installed="$(dpkg -L brevik libbrevik-dev)"
export BREVIK_PORTS=  # the installed programs are tried, not the machine's ports
[ "$(/usr/bin/brevik --version)" = "brevik $version" ] || { echo "installed brevik --version"; exit 1; }
/usr/bin/brevik-sim --help | grep -q -- "--replay" || { echo "installed brevik-sim --help"; exit 1; }
env -u DISPLAY /usr/bin/brevik-updater --version | grep -q "brevik-updater $version"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
for f in /usr/share/man/man1/brevik.1.gz /usr/share/man/man1/brevik-updater.1.gz \
         /usr/share/man/man1/brevik-sim.1.gz /usr/share/bash-completion/completions/brevik \
         /usr/share/zsh/vendor-completions/_brevik /usr/share/fish/vendor_completions.d/brevik.fish \
         /lib/udev/rules.d/70-brevik.rules /usr/share/applications/brevik-updater.desktop \
         /usr/share/icons/hicolor/scalable/apps/brevik-updater.svg \
         /usr/share/metainfo/invalid.brevik.Updater.metainfo.xml \
         /usr/share/mime/packages/brevik.xml /usr/share/doc/brevik/copyright \
         "/usr/lib/$multiarch/cmake/Brevik/BrevikConfig.cmake" \
         /usr/include/brevik/devicelink/BKQuillex.h; do
    [ -e "$f" ] || { echo "the packages did not install $f"; exit 1; }
done
grep -q 'TAG+="uaccess"' /lib/udev/rules.d/70-brevik.rules
# The man page has each command's own options, from the command table.
page="$(zcat /usr/share/man/man1/brevik.1.gz | sed 's/\\-/-/g')"
for option in allow-older allow-reinstall force no-bulk reflash; do
    grep -qF -- "--$option" <<<"$page" ||
        { echo "man brevik lacks --$option"; exit 1; }
done
# Another program builds on the installed library.
consumer="$(mktemp -d)"
cat >"$consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Brevik 1.7 REQUIRED)
add_executable(consumer main.cpp)
target_link_libraries(consumer PRIVATE Brevik::brevik_core)
CMAKE
cat >"$consumer/main.cpp" <<'CPP'
#include <cstdio>
#include "devicelink/BKQuillex.h"
int main() {
    BKQuillex device;
    std::printf("%s\n", ResultCodeName(device.UpdateFirmware(nullptr, nullptr)));
}
CPP
cmake -S "$consumer" -B "$consumer/build" -G Ninja >/dev/null
cmake --build "$consumer/build" >/dev/null
[ "$("$consumer/build/consumer")" = "QX_E_GENERAL_ERROR" ] || { echo "the consumer did not run"; exit 1; }
rm -rf "$consumer"
# Removed, the packages leave none of their files behind.
"${sudo_cmd[@]}" dpkg --purge brevik libbrevik-dev >/dev/null
trap - EXIT
while read -r path; do
    if [ -e "$path" ] && [ ! -d "$path" ]; then echo "left after removal: $path"; exit 1; fi
done <<<"$installed"
echo "packages: install, run, build a consumer, and go without a trace"
