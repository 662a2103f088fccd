#!/usr/bin/env bash
# Runs a command with Windows programs under Wine, where Wine cannot reach a
# real serial port: a private mount namespace whose /dev holds no serial
# device, a Wine prefix of our own whose COM ports all point at a path that
# does not exist, except COM7, which reaches a virtual device (the Linux
# brevik-sim) on a pseudo-terminal. Wine's windows go to a virtual display
# (Xvfb, 1024x768x24) of this run's own, up before the first Wine program.
# Refuses to run when any of this fails.
#
# Usage: tools/wine.sh [--sim "OPTIONS"] [--no-sim] [--host-display] COMMAND [ARGS...]
#   COMMAND runs with WINE (the wine64 loader), WINEPREFIX, DISPLAY, BREVIK_SIM
#   (the Linux simulator), BREVIK_COM7_LINK (where COM7 points: start another
#   "$BREVIK_SIM --link $BREVIK_COM7_LINK ..." to serve it differently) and
#   BREVIK_TEST_COM_PORT=COM7 set. --host-display shows the windows on the
#   caller's $DISPLAY instead (to watch them on a desktop).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$root/build-windows/wine"
sim="$root/build/sim/brevik-sim"

if [ "${BREVIK_WINE_SANDBOX:-}" != "inside" ]; then
    [ -x "$sim" ] || BREVIK_TARGETS="brevik-sim brevik-mkpackage" "$root/tools/build.sh" "$root/build"
    [ "$(id -u)" -eq 0 ] || { echo "wine.sh: needs root for its mount namespace" >&2; exit 1; }
    # The namespace this was started in: the sandbox must be another one.
    outer="$(readlink /proc/self/ns/mnt || true)"
    exec env BREVIK_WINE_SANDBOX=inside BREVIK_WINE_OUTER_NS="$outer" \
        unshare --mount --propagation private bash "$0" "$@"
fi

refuse() { echo "wine.sh: refusing to run Wine: $*" >&2; exit 1; }

# 0. Before anything is mounted: a mount namespace other than the one the
# script was started in, or nothing. Fails closed: a namespace that cannot
# be read is refused, never taken for a private one.
inner="$(readlink /proc/self/ns/mnt 2>/dev/null || true)"
[ -n "${BREVIK_WINE_OUTER_NS:-}" ] && [ -n "$inner" ] ||
    refuse "cannot tell whether it runs in a mount namespace of its own"
[ "$inner" != "$BREVIK_WINE_OUTER_NS" ] || refuse "not in a mount namespace of its own"

sim_options=""
serve=true
host_display=false
while [ $# -gt 0 ]; do
    case "$1" in
        --sim) sim_options="$2"; shift 2 ;;
        --no-sim) serve=false; shift ;;
        --host-display) host_display=true; shift ;;
        *) break ;;
    esac
done

# 1. A /dev with only what Wine and the pseudo-terminals need.
mkdir -p "$work"
dev="$(mktemp -d "$work/dev.XXXXXX")"
mount -t tmpfs -o mode=755 tmpfs "$dev"
for node in null zero full random urandom tty; do
    touch "$dev/$node"
    mount --bind "/dev/$node" "$dev/$node"
done
mkdir "$dev/pts" "$dev/shm"
mount --bind /dev/pts "$dev/pts"
ln -s pts/ptmx "$dev/ptmx"
mount -t tmpfs tmpfs "$dev/shm"
mount --rbind "$dev" /dev
if ls /dev | grep -Eq '^(ttyS|ttyUSB|ttyACM|ttyAMA|rfcomm)'; then
    refuse "/dev still shows serial devices"
fi

# 2. A prefix of our own; every COM port but COM7 points nowhere.
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE="$(command -v wine64 || true)"
[ -n "$WINE" ] || WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || refuse "wine64 is not installed (tools/install-deps.sh windows)"
export WINE
link="$work/com7"
nowhere="/nonexistent/brevik-no-port"
# A server of an earlier run on this prefix (one that was killed before it
# could end it) would serve this run with that run's display and devices.
wineserver -k >/dev/null 2>&1 || true

# 3. The display, before any Wine program: Wine's desktop process loads the
# display driver once, when the server's first program starts it, and every
# later window of the server's programs is made through it. A server whose
# desktop started without a display leaves every window of the run without
# a driver ("no driver could be loaded"), whatever display those programs
# are given later.
xvfb_pid=""
sim_pid=""
finish() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap finish EXIT
if $host_display; then
    [ -n "${DISPLAY:-}" ] || refuse "--host-display without a DISPLAY"
else
    command -v Xvfb >/dev/null || refuse "Xvfb is not installed (tools/install-deps.sh)"
    source "$root/tools/start-xvfb.sh"
    start_xvfb "$work" || refuse "Xvfb did not start a display"
fi
unset WAYLAND_DISPLAY

# In CI every run starts from a prefix made for it, so that nothing an
# earlier run left there (a setting, a registry key, a file) can make it pass.
if [ "${CI:-}" = "true" ]; then
    rm -rf "$WINEPREFIX"
fi
if [ ! -d "$WINEPREFIX" ]; then
    "$WINE" wineboot --init >/dev/null 2>&1 || true
fi
reg="$work/ports.reg"
{
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    for n in $(seq 1 256); do
        target="$nowhere"
        [ "$n" -eq 7 ] && target="$link"
        printf '"COM%d"="%s"\r\n' "$n" "$target"
    done
} >"$reg"
"$WINE" regedit /S "$(echo "Z:$reg" | tr / '\\')" >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
# One server for the whole run, its own output out of the way (it dumps its
# objects when told to end); starting again makes the mount manager read
# the COM ports from the table.
wineserver -p >/dev/null 2>&1
"$WINE" cmd /c exit >/dev/null 2>&1 || true
for port in "$WINEPREFIX"/dosdevices/com*; do
    [ -e "$port" ] || [ -L "$port" ] || continue
    target="$(readlink "$port")"
    case "$(basename "$port")" in
        com7) [ "$target" = "$link" ] || refuse "COM7 points at $target" ;;
        *) [ "$target" = "$nowhere" ] || refuse "$(basename "$port") points at $target" ;;
    esac
done

# 4. The virtual device behind COM7.
export BREVIK_SIM="$sim" BREVIK_COM7_LINK="$link" BREVIK_TEST_COM_PORT=COM7
if $serve; then
    rm -f "$link"
    # shellcheck disable=SC2086
    "$sim" --link "$link" $sim_options >/dev/null &
    sim_pid=$!
    for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
    [ -e "$link" ] || refuse "brevik-sim did not start"
fi
status=0
"$@" || status=$?
# The simulator is gone before the next run's takes the link (finish).
exit $status
