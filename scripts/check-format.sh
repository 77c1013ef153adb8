#!/usr/bin/env bash
# Checks that every C++ source file in the repository is in the house format (.clang-format);
# with --fix, rewrites the files that are not. Lists the files that differ and fails if any do.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
[[ "${1:-}" == "--fix" ]] && fix=1
format=clang-format-14
command -v "$format" >/dev/null || { echo "$format is missing (make deps installs it)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ((fix)); then
    "$format" -i "${files[@]}"
    exit 0
fi
# clang-format names each file that differs in its warnings ("FILE:LINE:COL: error: ...").
mapfile -t bad < <(printf '%s\0' "${files[@]}" |
    xargs -0 -n 25 -P "$(nproc)" "$format" --dry-run -Werror 2>&1 |
    sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error:.*/\1/p' | sort -u)
if ((${#bad[@]})); then
    echo "Not in the house format (scripts/check-format.sh --fix rewrites them):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "All ${#files[@]} source files are in the house format."
