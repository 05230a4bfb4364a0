#!/usr/bin/env bash
# Style checks that CI enforces: clang-format (the committed .clang-format)
# on every C++ file, shellcheck at warning level on every shell script, and
# the naming check (scripts/naming.sh: clang-tidy with the committed
# .clang-tidy over the Linux and Windows sources). Exits non-zero when any
# of them found something, after running all of them.
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

# QUORVANE_NAMING=0 leaves the naming check out (said in the last line).
if [ "${QUORVANE_NAMING:-1}" = 0 ]; then
  names="names not checked (QUORVANE_NAMING=0)"
else
  naming_log=$(mktemp)
  trap 'rm -f "$naming_log"' EXIT
  if ! scripts/naming.sh 2>&1 | tee "$naming_log"; then
    echo "lint: names that do not follow the scheme (fix them, then scripts/naming.sh)" >&2
    status=1
  fi
  units=$(sed -n 's/^naming: \([0-9]*\) translation units.*/\1/p' "$naming_log" | tail -n 1)
  names="the names of ${units:-no} translation units"
fi
echo "lint: checked ${#sources[@]} C++ files, ${#scripts[@]} shell scripts, $names"
exit "$status"
