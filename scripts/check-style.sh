#!/usr/bin/env bash
# Checks what the compiler does not: every C++ file is clang-formatted, and the engine layers
# (text helpers, platform adapters, remote source, FTP client, zip engine, command line)
# include no Qt header.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

unformatted=$(git ls-files '*.cpp' '*.h' | while read -r f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [[ -n $unformatted ]]; then
  echo "Not clang-formatted (run clang-format -i on them):"
  echo "$unformatted"
  status=1
fi

engine_files=$(git ls-files 'app/*.cpp' 'app/*.h' 'platform/*.cpp' 'platform/*.h' \
  'remote/*' 'zip/*' 'cli/*' | grep -vE '^(platform/qt|app/settings)/' | grep -E '\.(cpp|h)$')
if qt=$(grep -nE '#include\s*[<"]Q[A-Za-z]*(/|>|")' $engine_files); then
  echo "Qt headers in the engine layers:"
  echo "$qt"
  status=1
fi

[[ $status == 0 ]] && echo "style: clang-format clean, engine free of Qt"
exit $status
