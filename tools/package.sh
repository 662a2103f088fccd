#!/usr/bin/env bash
# Builds the Debian package into build/ (the same build the tests use).
# Usage: tools/package.sh                 the .deb, in build/
#        tools/package.sh --install-test  then installs it with dpkg, runs the
#                                         installed programs, checks the files
#                                         the package put in place, removes it
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
dir="$root/build"
"$root/tools/build.sh" "$dir" -DBREVIK_SANITIZE= -DBREVIK_BUILD_TESTS=ON -DBREVIK_BUILD_BENCH=ON
(cd "$dir" && cpack -G DEB >/dev/null)
deb="$(ls -t "$dir"/brevik_*.deb | head -n 1)"
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
# The description's continuation lines start with a blank, never a list's ';'.
if dpkg-deb --field "$deb" Description | grep -q '^ *;'; then
    echo "the package's description has lines that start with ';'"; exit 1
fi

[ "${1:-}" = "--install-test" ] || exit 0
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -qq "$deb" >/dev/null
trap '"${sudo_cmd[@]}" dpkg -r brevik >/dev/null || true' EXIT
export BREVIK_PORTS=  # the installed programs are tried, not the machine's ports
[ "$(/usr/bin/brevik --version)" = "brevik 1.7" ] || { echo "installed brevik --version"; exit 1; }
/usr/bin/brevik-sim --help | grep -q -- "--replay" || { echo "installed brevik-sim --help"; exit 1; }
env -u DISPLAY /usr/bin/brevik-updater --version | grep -q "brevik-updater 1.7"
for f in /usr/share/man/man1/brevik.1.gz /usr/share/man/man1/brevik-updater.1.gz \
         /usr/share/man/man1/brevik-sim.1.gz /usr/share/bash-completion/completions/brevik \
         /usr/lib/udev/rules.d/70-brevik.rules /usr/share/applications/brevik-updater.desktop \
         /usr/share/icons/hicolor/scalable/apps/brevik-updater.svg \
         /usr/share/mime/packages/brevik.xml /usr/lib/cmake/Brevik/BrevikConfig.cmake \
         /usr/include/brevik/devicelink/BKQuillex.h; do
    [ -e "$f" ] || [ -e "${f%.gz}" ] || { echo "the package did not install $f"; exit 1; }
done
grep -q 'TAG+="uaccess"' /usr/lib/udev/rules.d/70-brevik.rules
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
echo "package: installs, runs, and builds a consumer"
