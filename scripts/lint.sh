#!/usr/bin/env bash
# Style checks that CI enforces: clang-format (the committed .clang-format)
# on every C++ file, shellcheck at warning level on every shell script.
# Exits non-zero on the first kind of finding, after listing all of them.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
if ((${#sources[@]})); then
  existing=()
  for f in "${sources[@]}"; do [ -f "$f" ] && existing+=("$f"); done
  if ! clang-format --dry-run --Werror "${existing[@]}"; then
    echo "lint: clang-format differences (run clang-format -i on the files above)" >&2
    status=1
  fi
fi

mapfile -t scripts < <(git ls-files --cached --others --exclude-standard -- '*.sh' .ci/run | sort -u)
existing=()
for f in "${scripts[@]}"; do [ -f "$f" ] && existing+=("$f"); done
if ((${#existing[@]})) && ! shellcheck -S warning "${existing[@]}"; then
  echo "lint: shellcheck findings" >&2
  status=1
fi
echo "lint: checked ${#sources[@]} C++ files, ${#scripts[@]} shell scripts"
exit "$status"
