#!/usr/bin/env bash
# Starts the program against a simulated board. Where no display is there for the window, it
# says so and shows what works here: tr805q-cli on a simulated board.
set -euo pipefail
build=${1:-build}
have_display() {
  [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]
}
if [ -x "$build/app/tr805q" ] && have_display; then
  exec "$build/app/tr805q" --simulate
fi
cli="$build/cli/tr805q-cli"
if [ -x "$build/app/tr805q" ]; then
  echo "No display here for the tr805q window (DISPLAY is not set); showing $cli --simulate info instead (try $cli --help)."
else
  echo "The tr805q window is not built; showing $cli --simulate info instead (try $cli --help)."
fi
exec "$cli" --simulate info
