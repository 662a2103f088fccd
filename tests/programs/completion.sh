#!/usr/bin/env bash
# The bash completion of brevik: commands, the options of a command, and the
# COMn names that `brevik ports` lists (with the virtual device's table).
set -euo pipefail
completion="$1"
brevik_dir="$(dirname "$2")"
export PATH="$brevik_dir:$PATH"
export BREVIK_PORTS=/dev/null:/dev/zero
source /usr/share/bash-completion/bash_completion
source "$completion"
complete_line() {
    read -r -a COMP_WORDS <<<"$1"
    [ "${1: -1}" = " " ] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$1"
    COMP_POINT=${#1}
    COMPREPLY=()
    _brevik
    echo "${COMPREPLY[*]}"
}
[ "$(complete_line "brevik up")" = "update" ] || { echo "commands"; exit 1; }
[ "$(complete_line "brevik update --a")" = "--all --allow-reinstall --allow-older" ] ||
    { echo "options of update: $(complete_line "brevik update --a")"; exit 1; }
[ "$(complete_line "brevik detect --port ")" = "COM1 COM2" ] ||
    { echo "port names: $(complete_line "brevik detect --port ")"; exit 1; }
echo "completion: fine"
