# Sourced: start_xvfb FOLDER starts an Xvfb display of its own and exports
# DISPLAY for it; xvfb_pid is its process, for the caller to end. Xvfb picks
# a free display number itself and writes it once it accepts connections, so
# another X server on the machine (or a test beside this one) is no
# obstacle. A display that a client then cannot reach (xdpyinfo) is ended
# and another started, up to three times; Xvfb's own words are kept in
# FOLDER/xvfb.log. Returns 1 when no display came.
start_xvfb() {
    local attempt
    for attempt in 1 2 3; do
        if start_xvfb_once "$1" "$attempt"; then
            return 0
        fi
        echo "start-xvfb: attempt $attempt gave no reachable display; Xvfb said:" >&2
        sed 's/^/  /' "$1/xvfb.log" >&2 || true
    done
    return 1
}

start_xvfb_once() {
    local number_file number
    number_file="$(mktemp "$1/display.XXXXXX")"
    xvfb_pid=""
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >"$1/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    number="$(head -n 1 "$number_file" | tr -d '[:space:]')"
    rm -f "$number_file"
    if [[ "$number" =~ ^[0-9]+$ ]] &&
        DISPLAY=":$number" env -u XAUTHORITY xdpyinfo >/dev/null 2>>"$1/xvfb.log"; then
        export DISPLAY=":$number"
        unset XAUTHORITY
        return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
    return 1
}
