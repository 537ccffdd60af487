#!/usr/bin/env bash
# Fails when a tracked C++ source or header is not laid out as .clang-format
# says; `scripts/check-format.sh --fix` lays them out.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests bench fuzz -name '*.cpp' -o -name '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/tovra-format.$$; then
  grep -E '^[^ ].*: (warning|error):' /tmp/tovra-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  rm -f /tmp/tovra-format.$$
  echo "run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/tovra-format.$$
echo "format: ${#files[@]} files laid out as .clang-format says"
