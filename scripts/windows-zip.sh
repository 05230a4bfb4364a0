#!/usr/bin/env bash
# Makes the Windows zip from the Windows build (scripts/windows-test.sh builds it):
#   scripts/windows-zip.sh [BUILD-DIR]      (default build-windows)
# The zip holds quorvane.exe, quorvane-inicheck.exe (both stripped), README.txt
# (the README's "Windows" section) and Quorvane.ini.sample. Every program in it
# must import only DLLs that come with Windows: it is checked here, and the zip
# is not made otherwise. Prints the zip's path and the programs' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-windows}
objdump=x86_64-w64-mingw32-objdump
strip=x86_64-w64-mingw32-strip
version=$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "windows-zip: no version in CMakeLists.txt" >&2; exit 1; }

find_exe() {
  find "$build" -name "$1" -type f -not -path '*/CMakeFiles/*' | sort | head -n 1
}
app=$(find_exe quorvane.exe)
inicheck=$(find_exe quorvane-inicheck.exe)
[ -n "$app" ] || { echo "windows-zip: no quorvane.exe in $build" >&2; exit 1; }
[ -n "$inicheck" ] || { echo "windows-zip: no quorvane-inicheck.exe in $build" >&2; exit 1; }

# DLLs every Windows 10 has; anything else (libstdc++-6.dll, libwinpthread-1.dll,
# ...) would have to be shipped beside the program.
system_dll='^(kernel32|user32|gdi32|shell32|advapi32|comctl32|comdlg32|ole32|oleaut32|setupapi|hid|ws2_32|msvcrt|uxtheme|dwmapi|shcore|imm32|version|bcrypt|shlwapi|winmm|api-ms-win-[a-z0-9-]+)\.dll$'

stage=$(mktemp -d "${TMPDIR:-/tmp}/qv-zip.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Quorvane"
status=0
for exe in "$app" "$inicheck"; do
  name=$(basename "$exe")
  "$strip" -o "$stage/Quorvane/$name" "$exe"
  mapfile -t dlls < <("$objdump" -p "$stage/Quorvane/$name" | sed -n 's/^\s*DLL Name: //p')
  for dll in "${dlls[@]}"; do
    if ! printf '%s\n' "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$system_dll"; then
      echo "windows-zip: $name imports $dll, which does not come with Windows" >&2
      status=1
    fi
  done
  printf 'windows-zip: %s %s bytes, imports %s\n' "$name" \
    "$(stat -c %s "$stage/Quorvane/$name")" "$(IFS=,; echo "${dlls[*]}")"
done
((status == 0)) || exit 1

# The README's Windows section, with Windows line ends for Notepad.
awk '/^## Windows$/ {on = 1} /^## / && !/^## Windows$/ {on = 0} on' README.md \
  | sed 's/$/\r/' >"$stage/Quorvane/README.txt"
[ -s "$stage/Quorvane/README.txt" ] || { echo "windows-zip: README.md has no '## Windows' section" >&2; exit 1; }
cp windows/Quorvane.ini.sample "$stage/Quorvane/Quorvane.ini.sample"

zip="$(cd "$build" && pwd)/quorvane-$version-windows-x86_64.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip Quorvane)
printf 'windows-zip: %s (%s bytes)\n' "$zip" "$(stat -c %s "$zip")"
