#!/usr/bin/env bash
# Runs every benchmark and prints its report; each ends with a table of ratios against the
# physical or raw baseline measured in the same run.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_color=false
  echo
done
