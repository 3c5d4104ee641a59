#!/bin/sh
# Runs a Windows program under Wine for the build's tests:
#   wine-run.sh WINE WINEBOOT PROGRAM [ARGS...]
# The prefix is initialised first with no pipe of the caller's open: the
# background processes that Wine starts with a prefix's first program would
# otherwise inherit the caller's output pipe and keep ctest waiting on it long
# after the program ends. A caller that has started Wine's server and
# initialised the prefix itself sets PRISMORA_WINE_READY=1 to skip this.
set -e
wine=$1
wineboot=$2
shift 2
: "${WINEDEBUG:=-all}"
export WINEDEBUG
if [ "${PRISMORA_WINE_READY:-}" != 1 ]; then
  if ! "$wineboot" --init </dev/null >/dev/null 2>&1; then
    echo "wine-run.sh: '$wineboot --init' failed (WINEPREFIX=${WINEPREFIX:-~/.wine})" >&2
    exit 125
  fi
fi
exec "$wine" "$@"
