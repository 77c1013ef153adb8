#!/usr/bin/env bash
# The benchmark report: one table, every measure beside its baseline, measured in one run.
# With --all, the detailed Google Benchmark programs run first.
set -euo pipefail
build=${1:-build}
if [ "${2:-}" = "--all" ]; then
  for b in "$build"/bench/*_bench; do
    case $(basename "$b") in report_bench|window_bench) continue ;; esac
    echo "== $(basename "$b")"
    "$b" --benchmark_color=false
    echo
  done
fi
echo "Benchmark report, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(uname -m)"
"$build/bench/report_bench" 2>/dev/null
