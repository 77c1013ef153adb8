#!/usr/bin/env bash
# Runs every fuzz target for a fixed number of runs from its seed corpus in fuzz/corpus/.
# New inputs go to a temporary folder, so the seeds stay as committed.
set -euo pipefail
build=${1:?fuzz build folder}
runs=${2:-100000}
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$build"/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target" _fuzz)
  seeds=$src/fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=$src/fuzz/corpus/${name%%_*}
  mkdir -p "$work/$name"
  args=("$work/$name")
  [ -d "$seeds" ] && args+=("$seeds")
  start=$(date +%s)
  if "$target" -runs="$runs" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/" "${args[@]}" >"$work/$name.log" 2>&1; then
    echo "fuzz $name: $runs runs, clean ($(( $(date +%s) - start )) s)"
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work/$name.log"; status=1
  fi
done
exit $status
