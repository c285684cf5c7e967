#!/usr/bin/env bash
# clang-format over every C++ file, clang-tidy over the project's own sources, using the
# debug build's compile database.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${files[@]}"

[ -f build/debug/compile_commands.json ] || cmake --preset debug >/dev/null
mapfile -t sources < <(git ls-files 'src/*.cpp' 'tools/*.cpp')
printf '%s\n' "${sources[@]}" |
  xargs -P "$(nproc)" -n 4 clang-tidy -p build/debug --quiet --extra-arg=-Wno-unknown-warning-option 2>/dev/null |
  { grep -E 'warning:|error:' && exit 1 || exit 0; }
