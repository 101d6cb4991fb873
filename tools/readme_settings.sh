#!/usr/bin/env bash
# Writes the settings tables of README.md anew from the settings table (config/settings_table.h),
# between the two marker lines that hold them, with the given build's tarnwell-sim; the unit test
# SettingsTable.ShippedFileAndReadmeSayWhatTheTableSays fails until this has been run after a
# setting changes. data/config.ini comes from the same table: tarnwell-sim --print-settings.
#   tools/readme_settings.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sim="${1:-$root/build/release}/tarnwell-sim"
[ -x "$sim" ] || { echo "no $sim: build the release preset first" >&2; exit 1; }
readme="$root/README.md"
begin='<!-- settings: written by tools/readme_settings.sh from config/settings_table.h -->'
end='<!-- end of settings -->'
grep -qxF "$begin" "$readme" && grep -qxF "$end" "$readme" ||
    { echo "README.md lacks the marker lines '$begin' and '$end'" >&2; exit 1; }
tables="$(mktemp)"
trap 'rm -f "$tables" "$readme.part"' EXIT
"$sim" --print-settings-table >"$tables"
awk -v begin="$begin" -v end="$end" -v tables="$tables" '
    $0 == begin { print; print ""; while ((getline line < tables) > 0) print line; print ""
                  skipping = 1; next }
    $0 == end { skipping = 0 }
    !skipping' "$readme" >"$readme.part"
mv "$readme.part" "$readme"
echo "README.md: settings tables written"
