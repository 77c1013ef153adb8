#!/usr/bin/env bash
# Starts the program against a simulated board.
set -euo pipefail
build=${1:-build}
if [ -x "$build/app/tr805q" ]; then
  exec "$build/app/tr805q" --simulate
fi
# Without the window: serve a simulated board on a pty and ask it who it is.
portfile=$(mktemp)
trap 'kill $sim 2>/dev/null || true; rm -f "$portfile"' EXIT
"$build/sim/mb805q-sim" --print-port >"$portfile" &
sim=$!
for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.05; done
port=$(head -n1 "$portfile")
"$build/cli/tr805q-cli" --port "$port" info
