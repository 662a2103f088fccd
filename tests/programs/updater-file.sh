#!/usr/bin/env bash
# brevik-updater FILE opens the file the user named, byte for byte: a name
# that is not UTF-8 and a name after Qt's own options or --port. A port
# choice it cannot take, on the line or in the settings, is refused with
# exit 2 before any window. What is watched is the
# open of that file (inotify), so the test needs neither a device nor a look
# inside the dialog.
set -euo pipefail
updater="$1"
dir="$(mktemp -d)"
watcher=""
trap '[ -n "$watcher" ] && kill "$watcher" 2>/dev/null; rm -rf "$dir"' EXIT

opens_named() {  # opens_named NAME [UPDATER OPTIONS...]
    local name="$1"
    shift
    : >"$dir/events"
    printf 'BKPK not a package' >"$dir/$name"
    inotifywait -m -e open --format '%f' "$dir" >"$dir/events" 2>"$dir/watch.log" &
    watcher=$!
    # inotifywait says when its watch is set; opens before that are not seen.
    for _ in $(seq 200); do
        grep -q "Watches established" "$dir/watch.log" 2>/dev/null && break
        sleep 0.05
    done
    BREVIK_PORTS= QT_QPA_PLATFORM=offscreen "$updater" "$@" "$dir/$name" 2>>"$dir/updater.log" &
    local program=$!
    local found=1
    for _ in $(seq 200); do
        if grep -qxF "$name" "$dir/events"; then found=0; break; fi
        sleep 0.05
    done
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    watcher=""
    rm -f "$dir/$name"
    return "$found"
}

failed=0
while IFS='|' read -r label name options; do
    # shellcheck disable=SC2086  # the options are words
    if opens_named "$(printf "$name")" $options; then
        echo "ok: $label"
    else
        echo "FAIL: $label: the updater did not open $(printf "$name" | od -An -c | tr -s ' ')"
        failed=1
    fi
done <<'EOF'
a name with a byte that is not UTF-8|pak\377.bfw|
a name after Qt's own option|plain.bfw|-platform offscreen
a name in UTF-8|p\303\244ckage.bfw|
a name after --port|plain.bfw|--port COM9
EOF

mkdir -p "$dir/settings/brevik"
printf 'port = "id:zz"\nquiet = true\n[update]\nfast = true\n' >"$dir/settings/brevik/config"
while IFS='|' read -r label settings options; do
    code=0
    # shellcheck disable=SC2086  # the options are words
    XDG_CONFIG_HOME="$dir/$settings" BREVIK_PORT= BREVIK_PORTS= QT_QPA_PLATFORM=offscreen \
        timeout 20 "$updater" $options >/dev/null 2>"$dir/refused.log" || code=$?
    if [ "$code" = 2 ] && grep -q "^brevik-updater: " "$dir/refused.log"; then
        echo "ok: $label"
    else
        echo "FAIL: $label: exit $code, $(cat "$dir/refused.log")"
        failed=1
    fi
done <<'EOF'
a selector that names nothing|none|--port usb:
an option it does not have|none|--bogus
a malformed port in the settings|settings|
EOF
exit "$failed"
