#!/usr/bin/env bash
# Configures and builds into a build folder. Usage: build.sh DIR [cmake args...]
# BREVIK_TARGETS, when set, names the targets to build (default: all).
# A native build without a sanitizer is the one the Debian packages are made
# from (debian/rules builds build/ through this script): it takes Debian's
# hardening flags and the multiarch library folder, so the tests run on the
# very programs that are packaged.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$(realpath -m "$1")"
shift
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

distribution=yes
for arg in "$@"; do
    case "$arg" in
        -DBREVIK_SANITIZE=?* | -DBREVIK_FUZZ=ON | -DCMAKE_TOOLCHAIN_FILE=*) distribution=no ;;
    esac
done
flags=()
if [ "$distribution" = yes ] && command -v dpkg-buildflags >/dev/null; then
    # From the source folder: the flags map it to '.' in debug information.
    cd "$root"
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cppflags="$(dpkg-buildflags --get CPPFLAGS)"
    ldflags="$(dpkg-buildflags --get LDFLAGS)"
    flags=(-DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)"
           -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)"
           -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
           -DCMAKE_INSTALL_LIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)")
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIK_WERROR="$werror" \
    "${flags[@]}" "$@" >/dev/null
targets=()
for t in ${BREVIK_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
