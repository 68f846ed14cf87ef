#!/usr/bin/env bash
# Drives the vornctl bash completion as bash would, word by word, and checks that it offers
# exactly the commands that vornctl --help lists.
set -uo pipefail
completion=${1:?the vornctl bash completion}
vornctl=${2:?path to vornctl}

# shellcheck source=/dev/null
source "$completion"
failures=0

# complete "LINE": completes the last word of LINE (a trailing space starts a new word), the
# way bash splits it, with "=" as a word of its own.
complete_line() {
  local line=$1
  line=${line//=/ = }
  read -r -a COMP_WORDS <<<"$line"
  [[ $1 == *" " || $1 == *"=" ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vornctl
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
  local line=$1 expected=$2 actual
  actual=$(complete_line "$line")
  if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: '$line' offers '$actual', expected '$expected'"
    failures=$((failures + 1))
  fi
}

# A command by its first letters, wherever the options stand.
expect "vornctl se" "select-slot set-clocks set-time"
expect "vornctl --json --port emu-vorn4 tarvik-s" "tarvik-select-slot tarvik-status"
expect "vornctl --port=emu-vorn8 di" "display-test"
# Options, also after the command; none after "--".
expect "vornctl info --j" "--json"
expect "vornctl --" "--help --json --port --trace --version"
expect "vornctl text -- -" ""
# The ports always include the emulated readers.
expect "vornctl --port emu" "emu-vorn4 emu-vorn8"
expect "vornctl --port=emu-vorn" "emu-vorn4 emu-vorn8"
expect "vornctl --port rf" "rfc2217://"
# A command's values, counted past options.
expect "vornctl select-slot " "1 2 3 4 5 6 7 8"
expect "vornctl --port emu-vorn8 tarvik-select-slot " "1 2 3 4 5 6 7 8"
expect "vornctl dtr o" "off on"
expect "vornctl rts --trace " "off on"
expect "vornctl set-clocks 3.57 3.68 --json 6.00 " "3.57 3.68 6.00 8.00"
expect "vornctl store-clocks 3" "3.57 3.68"
# Nothing past a command's last argument, and nothing for free-form arguments.
expect "vornctl select-slot 3 " ""
expect "vornctl set-clocks 3.57 3.57 3.57 3.57 3.57 3.57 3.57 3.57 " ""
expect "vornctl set-time " ""
expect "vornctl info " ""
# The records commands and their filters.
expect "vornctl records " "certificate history list publish repair report setup show sync verify"
expect "vornctl records verify --hea" "--heads"
expect "vornctl records repair 1234 --c" "--cause --cfx-handle --checkout"
expect "vornctl records report --pareto " "cause step"
# The yield report's own options and its groupings; the model's values as for checkout.
expect "vornctl records report --u" "--until"
expect "vornctl --records sqlite:r.sqlite records report --since 2026-12-01 --b" "--by"
expect "vornctl records report --by " "day firmware hour lot model operator plan station"
expect "vornctl records report --by=s" "station"
expect "vornctl records report --station line-1 --by h" "hour"
expect "vornctl records report --model " "4 8"
expect "vornctl records report --lot L1 --o" "--operator"
expect "vornctl records list --u" "--until"
expect "vornctl records list --b" ""
expect "vornctl records list --outcome " "error fail pass"
expect "vornctl records publish --pe" "--pending"
# The broker's URL is free text, and does not count as the command.
expect "vornctl --publish amqp://broker/queue/line1 rec" "records"
expect "vornctl checkout --publish amqp://broker/queue/line1 --cfx" "--cfx-handle"
expect "vornctl checkout --publish " ""
expect "vornctl plan " "check list show"
expect "vornctl checkout --pl" "--plan"

# The completion knows every command vornctl has, and no other.
# The records commands have a section of their own, each line starting "  records SUBCOMMAND".
listed=$("$vornctl" --help | { sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }'
  "$vornctl" --help | awk '$1 == "records" { print $1; exit }'
  "$vornctl" --help | awk '$1 == "plan" { print $1; exit }'; } |
  LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
[[ -n "$listed" ]] || { echo "FAIL: vornctl --help lists no commands"; failures=$((failures + 1)); }
expect "vornctl " "$listed"

if ((failures)); then
  echo "$failures completion check(s) failed"
  exit 1
fi
echo "completion checks passed"
