#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the project's own
# sources, JOBS at a time (default 2); exits non-zero on any finding.
#   scripts/tidy.sh            every source of the programs, libraries and benchmarks
#   scripts/tidy.sh FILE...    just these
# Needs a configured build for its compile_commands.json (BUILD, default
# build/dev; configured here when missing). Tests and the fuzz target are not
# checked.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/dev}
jobs=${JOBS:-2}
[ -f "$build/compile_commands.json" ] || cmake --preset dev >/dev/null

if (($#)); then
  files=("$@")
else
  mapfile -t files < <(python3 - "$build/compile_commands.json" "$PWD" <<'PY'
import json, os, re, sys
root = os.path.realpath(sys.argv[2])
own = re.compile(r"(alarms|app|bench|codec|config|text|records|link|sim|cli|monitor|gateway|mqtt|site|system|profile)/")
names = {os.path.realpath(os.path.join(e["directory"], e["file"])) for e in json.load(open(sys.argv[1]))}
for name in sorted(names):
    rel = os.path.relpath(name, root)
    if own.match(rel):
        print(rel)
PY
  )
fi
echo "clang-tidy: ${#files[@]} files, $jobs at a time"

# Each file's findings are printed whole, once it is done; the count lines
# clang-tidy adds are dropped. The compiler's warnings are the build's
# business (GCC, -Werror): clang's own differ, so they are not errors here.
check_one() {
  local out
  if ! out=$(clang-tidy -p "$1" --quiet --extra-arg=-Wno-error "$2" 2>&1); then
    grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' <<<"$out"
    return 1
  fi
}
export -f check_one
if printf '%s\n' "${files[@]}" | xargs -P "$jobs" -I{} bash -c 'check_one "$0" "$1"' "$build" {}; then
  echo "clang-tidy: no findings"
else
  echo "clang-tidy: findings above" >&2
  exit 1
fi
