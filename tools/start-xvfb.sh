# Sourced: start_xvfb FOLDER starts an Xvfb display of its own and exports
# DISPLAY for it; xvfb_pid is its process, for the caller to end. Xvfb picks
# a free display number itself and writes it once it accepts connections, so
# another X server on the machine (or a test beside this one) is no
# obstacle. Returns 1 when no display came.
start_xvfb() {
    local number_file number
    number_file="$(mktemp "$1/display.XXXXXX")"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$number_file" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    number="$(head -n 1 "$number_file" | tr -d '[:space:]')"
    rm -f "$number_file"
    [[ "$number" =~ ^[0-9]+$ ]] || return 1
    export DISPLAY=":$number"
    unset XAUTHORITY
}
