# Sourced by the program tests: starts brevik-sim ($1) with the options that
# follow, leaves its pid in sim_pid and its port in sim_port, and stops it on
# exit.
start_sim() {
    local sim="$1" out
    shift
    out="$(mktemp)"
    "$sim" "$@" >"$out" &
    sim_pid=$!
    trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        [ -s "$out" ] && break
        sleep 0.1
    done
    sim_port="$(head -n 1 "$out")"
    rm -f "$out"
    [ -e "$sim_port" ] || { echo "brevik-sim did not print its port"; exit 1; }
}
