#!/usr/bin/env bash
# The completion scripts brevik makes from its command table, each run
# through its own shell (bash always; zsh and fish where installed): the
# commands, the options of a command, the operands, and the port names that
# `brevik ports` lists. A port's names hold text from devices: a serial
# number that is a command substitution, a glob or an escape is neither run,
# expanded nor offered; the names that can be typed are.
# Usage: completion.sh BREVIK
set -euo pipefail
brevik="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for shell in bash zsh fish; do
    "$brevik" completion "$shell" >"$work/brevik.$shell"
done
! "$brevik" completion tcsh >/dev/null 2>&1 || { echo "a shell without a script"; exit 1; }

# A stand-in brevik whose 'ports' carries hostile device text.
mkdir "$work/stub"
cat >"$work/stub/brevik" <<'STUB'
#!/bin/sh
cat <<'PORTS'
COM1  /dev/ttyUSB0  USB 0403:6001 Brevik Bridge serial $(touch${IFS}pwned) (ftdi_sio)
      usb:$(touch${IFS}pwned)  usb-path:1-1.2  `touch${IFS}pwned2`  *  usb:A\x01B
COM2  /dev/ttyUSB1  USB 0403:6001 Brevik Bridge serial B2 (ftdi_sio)
      usb:B2  usb-path:1-1.3  id:0403:6001:B2  /dev/serial/by-id/usb-Brevik_Bridge_B2-if00-port0
PORTS
STUB
chmod +x "$work/stub/brevik"
ports_offered="COM1 usb-path:1-1.2 COM2 usb:B2 usb-path:1-1.3 id:0403:6001:B2 /dev/serial/by-id/usb-Brevik_Bridge_B2-if00-port0"
touch "$work/stub/a.bfw" "$work/stub/b.bin"

# complete_in SHELL LINE: what the shell's script offers for LINE, sorted,
# one line; run in the stub's folder with the stub first on PATH.
complete_bash() {
    bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        read -r -a COMP_WORDS <<<"$2"
        [ "${2: -1}" = " " ] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE="$2" COMP_POINT=${#2}
        COMPREPLY=()
        _brevik
        printf "%s\n" "${COMPREPLY[@]}"' _ "$work/brevik.bash" "$1"
}
# zsh's completion system needs a terminal; its offers are caught by
# stand-ins for the calls that offer (compadd, _describe, _files).
complete_zsh() {
    zsh -f -c '
        __offers=()
        compadd() { while [[ $1 == -* && $1 != -- ]]; do shift; done; [[ $1 == -- ]] && shift; __offers+=("$@") }
        _describe() { local entry; for entry in "${(@P)4}"; do __offers+=("${entry%%:*}"); done }
        _files() { __offers+=("files${2:+:$2}") }
        compdef() { }
        source "$1"
        words=(${(z)2})
        [[ $2 == *" " ]] && words+=("")
        CURRENT=${#words}
        _brevik
        local cur=${words[CURRENT]} o
        for o in "${__offers[@]}"; do [[ $o == "$cur"* || $o == files* ]] && print -r -- "$o"; done
        true' _ \
        "$work/brevik.zsh" "$1"
}
complete_fish() {
    fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$work/brevik.fish" "$1" |
        cut -f1
}
complete_in() {
    (cd "$work/stub" && PATH="$work/stub:$PATH" "complete_$1" "$2") | sort | paste -sd ' ' -
}
sorted() { tr ' ' '\n' | sort | paste -sd ' ' -; }

shells=(bash)
for shell in zsh fish; do
    if command -v "$shell" >/dev/null; then shells+=("$shell"); else echo "completion: no $shell here"; fi
done
for shell in "${shells[@]}"; do
    expect() {  # expect LINE OFFERED...
        local line="$1" got want
        shift
        got="$(complete_in "$shell" "$line")"
        want="$(echo "$*" | sorted)"
        [ "$got" = "$want" ] || { echo "$shell: '$line' offers '$got', not '$want'"; exit 1; }
    }
    expect "brevik up" update
    expect "brevik update --a" --all --allow-older --allow-reinstall --approved
    expect "brevik write --n" --no-bulk
    expect "brevik read --w"
    expect "brevik completion f" fish
    expect "brevik --progress " json
    expect "brevik --signatures " check off require
    expect "brevik detect -p usb:" usb:B2
    expect "brevik detect --port " $ports_offered
    [ ! -e "$work/stub/pwned" ] && [ ! -e "$work/stub/pwned2" ] ||
        { echo "$shell: completing a port ran a device's serial number"; exit 1; }
    # A package operand offers .bfw files (fish offers them first, then the
    # rest, as its suffix completion does).
    case "$shell" in
        bash) expect "brevik update " a.bfw ;;
        zsh) expect "brevik update " "files:*.bfw" ;;
        fish) [ "$(cd "$work/stub" && complete_fish "brevik update " | head -n 1)" = a.bfw ] ||
            { echo "fish: 'brevik update ' does not offer a.bfw first"; exit 1; } ;;
    esac
done
echo "completion: fine in ${shells[*]}"
