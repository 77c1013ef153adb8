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
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
echo "Benchmark report, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($cpu), $memory, $(uname -m)"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/report_bench" 2>/dev/null
