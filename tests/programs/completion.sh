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
# Device text is data: a serial number that is a command substitution, a
# glob or an escape is neither run, expanded nor offered; what can be typed
# is, from every line of a port.
stub="$(mktemp -d)"
trap 'rm -rf "$stub"' EXIT
cat >"$stub/brevik" <<'STUB'
#!/bin/sh
cat <<'PORTS'
COM1  /dev/ttyUSB0  USB 0403:6001 Brevik Bridge serial $(touch${IFS}pwned) (ftdi_sio)
      usb:$(touch${IFS}pwned)  usb-path:1-1.2  `touch${IFS}pwned2`  *  usb:A\x01B
COM2  /dev/ttyUSB1  USB 0403:6001 Brevik Bridge serial B2 (ftdi_sio)
      usb:B2  usb-path:1-1.3  id:0403:6001:B2  /dev/serial/by-id/usb-Brevik_Bridge_B2-if00-port0
PORTS
STUB
chmod +x "$stub/brevik"
offered="$(cd "$stub" && PATH="$stub:$PATH" complete_line "brevik detect --port ")"
[ ! -e "$stub/pwned" ] && [ ! -e "$stub/pwned2" ] ||
    { echo "completing a port ran a device's serial number"; exit 1; }
[ "$offered" = "COM1 usb-path:1-1.2 COM2 usb:B2 usb-path:1-1.3 id:0403:6001:B2 /dev/serial/by-id/usb-Brevik_Bridge_B2-if00-port0" ] ||
    { echo "ports offered: $offered"; exit 1; }
[ "$(cd "$stub" && PATH="$stub:$PATH" complete_line "brevik detect -p usb:")" = "usb:B2" ] ||
    { echo "ports offered for usb:"; exit 1; }
# The script knows what the command table knows: the commands of
# 'brevik --help', each command's own flags, the options of every command.
brevik="$2"
sorted() { tr ' ' '\n' | { grep -v '^$' || true; } | sort | tr '\n' ' '; }
help_commands="$("$brevik" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR>1 && NF {print $1}' | sorted)"
script_commands="$(sed -n 's/^ *local commands="\(.*\)"/\1/p' "$completion" | sorted)"
[ "$help_commands" = "$script_commands" ] ||
    { echo "commands: help has '$help_commands', the script '$script_commands'"; exit 1; }
# The flags in the first column of a help section.
flags_in() {
    sed -n "/^$1/,/^\$/p" | awk '/^  -/ {print $1}' | tr ',' ' ' | tr ' ' '\n' |
        { grep -v -- '^-h$\|^--help$\|^--version$' || true; } | sorted
}
help_common="$("$brevik" --help | flags_in Options: )"
script_common="$(sed -n 's/^ *local common="\(.*\)"/\1/p' "$completion" | tr ' ' '\n' |
    grep -v -- '^-h$\|^--help$\|^--version$' | sorted)"
[ "$help_common" = "$script_common" ] ||
    { echo "options of every command: help has '$help_common', the script '$script_common'"; exit 1; }
for command in $help_commands; do
    own="$("$brevik" "$command" --help | flags_in Options: )"
    scripted="$(sed -n "s/^ *\([a-z |]*\)) extra=\"\(.*\)\" ;;/\1=\2/p" "$completion" |
        awk -F= -v c="$command" '{n = split($1, names, " *[|] *"); for (i = 1; i <= n; i++) if (names[i] == c) print $2}' |
        sorted)"
    [ "$own" = "$scripted" ] || { echo "$command: help has '$own', the script '$scripted'"; exit 1; }
done
echo "completion: fine"
