#!/usr/bin/env bash
# Writes the parameter table in README.md from the plug-in's own
# declarations, as `prismora params` shows them, between the two marker
# lines that hold it. Run after changing the parameters; --check only tells
# whether the README is up to date (exit 1 when it is not).
#   scripts/readme_params.sh [--check] [PRISMORA]   (default build/release/prismora)
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
tool=${1:-build/release/prismora}
readme=README.md
begin='<!-- prismora params: begin -->'
end='<!-- prismora params: end -->'

table=$(mktemp)
updated=$(mktemp)
trap 'rm -f "$table" "$updated"' EXIT

# The table alone: from its header line to the blank line after it.
"$tool" params | awk '/^index /{on=1} on && /^$/{exit} on' > "$table"
if [ ! -s "$table" ]; then
  echo "readme_params: '$tool params' printed no table" >&2
  exit 1
fi

awk -v begin="$begin" -v end="$end" -v table="$table" '
  $0 == begin { print; print "```text"; while ((getline line < table) > 0) print line; print "```"; skip = 1; next }
  $0 == end { skip = 0 }
  !skip { print }
' "$readme" > "$updated"

if ! grep -qF "$begin" "$readme" || ! grep -qF "$end" "$readme"; then
  echo "readme_params: $readme lacks the marker lines" >&2
  exit 1
fi
if cmp -s "$readme" "$updated"; then
  exit 0
fi
if [ "$check" -eq 1 ]; then
  echo "readme_params: the parameter table in $readme is out of date; run scripts/readme_params.sh" >&2
  exit 1
fi
cp "$updated" "$readme"
echo "readme_params: updated the parameter table in $readme"
