#!/usr/bin/env bash
# Checks the files an installation adds, as the build made them:
#   data_files_test.sh SOURCE-DIR BUILD-DIR QUORVANE QUORVANE-INICHECK
# - the desktop entry and the autostart entry `quorvane --autostart on`
#   writes pass desktop-file-validate; `--autostart off` removes the entry;
# - the AppStream metainfo passes appstreamcli validate --no-net;
# - each man page renders without a warning and has a NAME line (lexgrog);
# - the sample configuration loads without a problem (quorvane-inicheck).
set -euo pipefail
src=$1 build=$2 quorvane=$3 inicheck=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

desktop-file-validate "$src/data/quorvane.desktop" || fail "the desktop entry does not validate"

# The autostart entry, in a private XDG_CONFIG_HOME, with a path that needs
# quoting for --config.
entry=$work/config/autostart/quorvane.desktop
XDG_CONFIG_HOME=$work/config "$quorvane" --autostart on --config "$work/my dir/Quorvane.ini" \
  >"$work/on.out" || fail "--autostart on ended with $?"
if [ -f "$entry" ]; then
  desktop-file-validate "$entry" || fail "the autostart entry does not validate"
  grep -qxF "Exec=$(realpath "$quorvane") --config \"$work/my dir/Quorvane.ini\"" "$entry" ||
    fail "the autostart entry starts something else: $(grep '^Exec=' "$entry")"
else
  fail "--autostart on wrote no $entry: $(cat "$work/on.out")"
fi
XDG_CONFIG_HOME=$work/config "$quorvane" --autostart off >/dev/null || fail "--autostart off ended with $?"
[ ! -e "$entry" ] || fail "--autostart off left $entry"

metainfo=("$build"/data/*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" || fail "the metainfo does not validate"

for page in "$build"/data/man/*.1; do
  # As lintian renders them: every warning of man/groff is printed.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
  lexgrog "$page" >/dev/null || fail "$(basename "$page") has no NAME line lexgrog understands"
done
[ "$(find "$build/data/man" -name '*.1' | wc -l)" -eq 3 ] || fail "not three man pages"

"$inicheck" "$src/data/Quorvane.ini.sample" >"$work/inicheck.out" ||
  fail "quorvane-inicheck could not read the sample"
grep -qx 'No problems found.' "$work/inicheck.out" || fail "the sample has problems: $(cat "$work/inicheck.out")"

if ((failures)); then exit 1; fi
echo PASS
