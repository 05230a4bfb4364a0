#!/usr/bin/env bash
# The naming check: clang-tidy's readability-identifier-naming with the rules
# of .clang-tidy (tests/ and bench/ add their frameworks' names) over every C++
# translation unit of the Linux tree (fuzzers included) and the Windows-only
# ones of the MinGW-w64 tree (their own files, and the portable ones with
# _WIN32 parts), headers through them.
#   scripts/naming.sh        (scripts/lint.sh runs it after clang-format)
#
# The compile databases come from trees of their own, configured but not built
# (only the headers the build generates are made): build-lint/ with clang and
# the fuzzers on, build-lint-windows/ with the MinGW-w64 toolchain (left out,
# with a note, where that compiler is missing). A translation unit whose
# text, project headers, command and rules are what they were at its last
# check is not checked again: its result comes from build-lint/naming-cache/.
#
# Exit status: 0 every name follows the rules, 1 names to fix (listed with
# their place and the name clang-tidy suggests), 2 the check could not run.
# The last line counts what was checked: "naming: N translation units ...".
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
root=$(pwd)
started=$SECONDS

jobs=${QUORVANE_NAMING_JOBS:-$(nproc)}
linux_tree=${QUORVANE_LINT_DIR:-build-lint}
windows_tree=${QUORVANE_LINT_WINDOWS_DIR:-build-lint-windows}
cache="$linux_tree/naming-cache"
mingw=x86_64-w64-mingw32-g++-posix

fail() {
  echo "naming: $*" >&2
  exit 2
}
command -v clang-tidy >/dev/null || fail "clang-tidy is missing (scripts/install-deps.sh installs it)"
command -v cmake >/dev/null && command -v ninja >/dev/null || fail "cmake and ninja are needed"

work=$(mktemp -d "${TMPDIR:-/tmp}/qv-naming.XXXXXX")
trap 'rm -rf "$work"' EXIT

# configure TREE LOG CMAKE-ARGS...: a tree with a compile database and the
# headers and moc files its build generates; nothing is compiled.
configure() {
  local tree=$1 log=$2
  shift 2
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -S . -B "$tree" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >"$log" 2>&1 ||
      { cat "$log" >&2; fail "configuring $tree failed"; }
  fi
  # The build files follow the CMake lists (sources added or gone), then the
  # generated headers and the moc files Qt's sources include are made.
  ninja -C "$tree" build.ninja >>"$log" 2>&1 ||
    { cat "$log" >&2; fail "updating $tree failed"; }
  local generated
  mapfile -t generated < <(ninja -C "$tree" -t targets all 2>/dev/null |
    sed -n -e 's/^\(.*\.h\): CUSTOM_COMMAND$/\1/p' -e 's/^\(.*_autogen\): phony$/\1/p')
  if ((${#generated[@]})); then
    ninja -C "$tree" "${generated[@]}" >>"$log" 2>&1 ||
      { cat "$log" >&2; fail "generating the headers of $tree failed"; }
  fi
}

# The source files of a compile database inside this repository, one a line.
database_files() {
  sed -n 's/^  "file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" |
    grep "^$root/" | grep -v "^$root/build" | sort -u
}

configure "$linux_tree" "$work/linux.log" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug
database_files "$linux_tree" | sed 's/^/linux /' >"$work/units"
windows_note=
if command -v "$mingw" >/dev/null; then
  configure "$windows_tree" "$work/windows.log" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORVANE_BUILD_BENCH=OFF
  # The Windows tree's own units, and the portable ones with Windows parts.
  cut -d' ' -f2 "$work/units" >"$work/linux-files"
  database_files "$windows_tree" | while read -r file; do
    if ! grep -qxF "$file" "$work/linux-files" || grep -q '_WIN32' "$file"; then
      echo "windows $file"
    fi
  done >>"$work/units"
else
  windows_note=" (Windows sources left out: no $mingw)"
fi

# clang reads the MinGW-w64 C++ headers where that compiler keeps them.
windows_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++)
if command -v "$mingw" >/dev/null; then
  while read -r dir; do
    windows_args+=(--extra-arg=-isystem "--extra-arg=$dir")
  done < <("$mingw" -E -x c++ -v - </dev/null 2>&1 |
    sed -n '/<\.\.\.> search starts/,/End of search/p' | sed -n 's/^ *\(.*\/include\/c++.*\)$/\1/p')
fi

# The key of a unit's result: the rules, clang-tidy's version, the tree, the
# unit's compile command, and the text of the unit and of every project file
# it includes (quoted includes, resolved by path suffix, transitively).
git ls-files --cached --others --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.c' |
  grep -v '^build' | sort -u >"$work/project-files"
xargs -d '\n' sha256sum <"$work/project-files" >"$work/project-hashes" 2>/dev/null
rules=$( (
  clang-tidy --version
  cat .clang-tidy tests/.clang-tidy bench/.clang-tidy 2>/dev/null
  printf '%s\n' "${windows_args[@]}"
) | sha256sum | cut -c1-64)

# The project files each unit includes, transitively: "UNIT-NUMBER FILE".
awk -v root="$root/" '
  FILENAME == ARGV[1] { files[++count] = root $0; next }
  { unit[++units] = $2 }
  function dirname(path) { sub(/\/[^\/]*$/, "", path); return path }
  function scan(file,    line, name, i) {
    if (file in scanned) return
    scanned[file] = 1
    while ((getline line < file) > 0) {
      if (line !~ /^[ \t]*#[ \t]*include[ \t]*"/) continue
      name = line; sub(/^[^"]*"/, "", name); sub(/".*$/, "", name)
      for (i = 1; i <= count; i++) {
        if (files[i] == dirname(file) "/" name ||
            substr(files[i], length(files[i]) - length(name)) == "/" name) {
          deps[file] = deps[file] " " files[i]
        }
      }
    }
    close(file)
  }
  function visit(n, file,    parts, k, i) {
    if (file in seen) return
    seen[file] = 1
    print n, file
    scan(file)
    k = split(deps[file], parts, " ")
    for (i = 1; i <= k; i++) visit(n, parts[i])
  }
  END { for (u = 1; u <= units; u++) { delete seen; visit(u, unit[u]) } }
' "$work/project-files" "$work/units" >"$work/unit-includes"

# Each unit's compile command: "KIND FILE<TAB>COMMAND".
db_commands() {
  [ -f "$2/compile_commands.json" ] || return 0
  awk -v kind="$1" '
    /^  "command": / { command = $0 }
    /^  "file": / { f = $0; sub(/^  "file": "/, "", f); sub(/",?$/, "", f); print kind " " f "\t" command }
  ' "$2/compile_commands.json"
}
{ db_commands linux "$linux_tree"; db_commands windows "$windows_tree"; } >"$work/commands"

# unit-keys: "KIND FILE KEY" for every unit.
awk -v root="$root/" '{ print root $2 " " $1 }' "$work/project-hashes" >"$work/hash-by-file"
awk '
  FILENAME == ARGV[1] { hash[$1] = $2; next }
  { print $1, $2 "=" hash[$2] }
' "$work/hash-by-file" "$work/unit-includes" | sort -k1,1n -k2,2 >"$work/unit-hashes"
n=0
while read -r kind file; do
  n=$((n + 1))
  key=$( (
    echo "$rules"
    grep -F "$kind $file"$'\t' "$work/commands" | head -n 1
    awk -v n="$n" '$1 == n { print $2 }' "$work/unit-hashes"
  ) | sha256sum | cut -c1-40)
  echo "$kind $file $key"
done <"$work/units" >"$work/unit-keys"

# Checks the units whose key has no result yet, in parallel.
mkdir -p "$cache"
check_unit() {
  local kind=$1 file=$2 key=$3 tree=$linux_tree extra=()
  [ -f "$cache/$key" ] && return 0
  if [ "$kind" = windows ]; then
    tree=$windows_tree
    extra=("${windows_args[@]}")
  fi
  local out status=0
  out=$(clang-tidy -p "$tree" --quiet "${extra[@]}" \
    "--header-filter=^$root/(src|sim|tools|tests|bench|fuzz)/" "$file" 2>&1) || status=$?
  if ((status != 0)) && ! grep -q 'error: ' <<<"$out"; then
    out="$out"$'\n'"$file: error: clang-tidy ended with status $status [naming-check]"
  fi
  printf '%s\n' "$out" >"$cache/$key.tmp" && mv "$cache/$key.tmp" "$cache/$key"
}
export -f check_unit
export linux_tree windows_tree cache root
export windows_args_text="${windows_args[*]}"
stale=0
while read -r _ _ key; do [ -f "$cache/$key" ] || stale=$((stale + 1)); done <"$work/unit-keys"
# (arrays do not cross into xargs' shells: the Windows arguments are re-split there)
xargs -P "$jobs" -L 1 bash -c 'windows_args=($windows_args_text); check_unit "$@"' _ <"$work/unit-keys"

# The findings, each place once (a header's names show in every unit that includes it).
: >"$work/findings"
while read -r _ _ key; do
  awk '/^[^ ].*: (error|warning): / { keep = 1; print; next } keep && /^ / { print; next } { keep = 0 }' \
    "$cache/$key"
done <"$work/unit-keys" | awk '/: (error|warning): / { place = $0; if (place in seen) { skip = 1; next } seen[place] = 1; skip = 0; print; next } !skip' >"$work/findings"

# Results no unit has any more go (the cache holds one result per unit).
cut -d' ' -f3 "$work/unit-keys" | sort -u >"$work/keys"
find "$cache" -type f | sed 's|.*/||' | sort | comm -23 - "$work/keys" | sed "s|^|$cache/|" |
  xargs -r rm -f

units=$(wc -l <"$work/unit-keys")
names=$(grep -c ': \(error\|warning\): ' "$work/findings" || true)
if ((names > 0)); then
  sed "s|^$root/||" "$work/findings"
  echo "naming: $names names to fix: the rules are in .clang-tidy; scripts/naming.sh checks" \
    "again (one file: clang-tidy -p $linux_tree FILE)"
fi
echo "naming: $units translation units, $stale checked now, $((units - stale)) unchanged since" \
  "their last check, $((SECONDS - started)) s$windows_note"
((names == 0))
