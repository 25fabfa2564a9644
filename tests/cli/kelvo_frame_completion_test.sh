#!/usr/bin/env bash
# kelvo-frame's bash completion, driven as bash drives it (COMP_WORDS and
# COMP_CWORD), checked against what the program itself lists in --help, so
# that a command or an option added to one and not the other fails here.
#   kelvo_frame_completion_test.sh COMPLETION_FILE KELVO_FRAME
set -uo pipefail
completion=$1
program=$2
# shellcheck source=/dev/null
source "$completion"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The completions of a command line, sorted, on one line; the last word is the
# one being completed, "" for a new word.
completions() {
  COMP_WORDS=(kelvo-frame "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _kelvo_frame kelvo-frame "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}

expect() {
  local want=$1 got
  shift
  got=$(completions "$@")
  [[ $got == "$want" ]] || fail "kelvo-frame $* -> '$got', expected '$want'"
}

# What --help lists: the long options, and the commands.
help_options() {
  "$program" "$@" --help | grep -oE '^ +(-h,)?--[a-z][a-z-]*' | sed -E 's/^ +(-h,)?//' | sort | paste -sd ' '
}
commands=$("$program" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[[ -n $commands ]] || fail "kelvo-frame --help lists no commands"

# A pseudo-terminal that exists while the test runs: the simulated unit's.
exec 3< <(exec "$program" simulate 2>/dev/null)
simulator=$!
trap 'kill "$simulator" 2>/dev/null' EXIT
read -r -t 10 pty <&3 || fail "kelvo-frame simulate printed no pseudo-terminal"

# Commands and options, as the program lists them.
expect "$(sort <<<"$commands" | paste -sd ' ')" ""
expect "$(help_options)" -
for command in $commands; do
  expect "$(help_options "$command")" "$command" -
done

# --format's values, as poll --help lists them ("{text,json,csv}").
formats=$("$program" poll --help | grep -oE -- '--format [A-Z]+:\{[a-z,]+\}' | sed -E 's/.*\{(.*)\}/\1/')
[[ -n $formats ]] || fail "poll --help lists no formats"
expect "$(tr ',' '\n' <<<"$formats" | sort | paste -sd ' ')" poll --format ""

# Rows: expected completions, then the command line.
while IFS='|' read -r want line; do
  read -ra words <<<"$line"
  [[ $line == *' ' ]] && words+=("")
  expect "$want" "${words[@]}"
done <<'ROWS'
poll ports|po
json|poll --format = j
csv json text|poll --format =
tcp://|send --port t
tcp://|listen --port tc
|simulate --port t
tcp://|simulate --listen 
delay= drop=|simulate --fault d
|send --timeout 
|send 0 
--json|send --port tcp : //127.0.0.1 : 4001 --j
--retries|poll --port /dev/ttyUSB0 --r
115200|send --baud 11
none|decode --profile non
ROWS

# --port offers the serial devices present, the pseudo-terminal among them.
if [[ -n ${pty:-} ]]; then
  for command in send poll listen simulate; do
    got=$(completions "$command" --port /dev/pts/)
    [[ " $got " == *" $pty "* ]] || fail "kelvo-frame $command --port /dev/pts/ -> '$got', missing $pty"
  done
fi

((failures == 0)) && echo "kelvo-frame completion: all rows pass"
exit $((failures > 0))
