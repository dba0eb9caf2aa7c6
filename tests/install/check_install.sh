#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks that a desktop can find and start both
# programs: binaries, launchers, icons and metainfo present, launchers and metainfo valid; and that
# each manual page is clean and tells of every option the program's --help-all lists.
#   check_install.sh BUILD_DIR SCRATCH_DIR APP_ID
set -euo pipefail
build=$1
scratch=$2
id=$3

rm -rf "$scratch"
cmake --install "$build" --prefix "$scratch/usr" >/dev/null

status=0
for file in \
  "usr/bin/korvalen" \
  "usr/bin/korvalen-demo" \
  "usr/share/applications/$id.desktop" \
  "usr/share/applications/$id.Demo.desktop" \
  "usr/share/man/man1/korvalen.1.gz" \
  "usr/share/man/man1/korvalen-demo.1.gz" \
  "usr/share/icons/hicolor/scalable/apps/$id.svg" \
  "usr/share/icons/hicolor/64x64/apps/$id.png" \
  "usr/share/metainfo/$id.metainfo.xml"; do
  if [ ! -s "$scratch/$file" ]; then
    echo "missing from the install tree: $file"
    status=1
  fi
done
[ -x "$scratch/usr/bin/korvalen" ] || { echo "usr/bin/korvalen is not executable"; status=1; }

if ! file "$scratch/usr/share/icons/hicolor/64x64/apps/$id.png" | grep -q '64 x 64'; then
  echo "the PNG icon is not 64 x 64 px"
  status=1
fi
for launcher in "$scratch/usr/share/applications/"*.desktop; do
  launcher_exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$launcher")
  [ -x "$scratch/usr/bin/$launcher_exec" ] || { echo "$launcher starts '$launcher_exec', which is not installed"; status=1; }
  desktop-file-validate "$launcher" || status=1
done

for program in korvalen korvalen-demo; do
  page="$scratch/usr/share/man/man1/$program.1.gz"
  [ -s "$page" ] || continue
  warnings=$(zcat "$page" | groff -ww -man -z 2>&1)
  [ -z "$warnings" ] || { echo "groff warns about $program.1: $warnings"; status=1; }
  text=$(zcat "$page" | groff -man -rHY=0 -Tascii -P-cbou 2>/dev/null)
  options=$(ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 "$scratch/usr/bin/$program" --help-all |
    grep -oE '^  +-[^ ]+(, -[^ ]+)*' | tr ',' '\n' | tr -d ' ')
  [ -n "$options" ] || { echo "$program --help-all lists no options"; status=1; }
  for option in $options; do
    pattern="(^|[^-[:alnum:]])$(sed 's/[?]/[?]/' <<<"$option")([^-[:alnum:]]|$)"
    grep -qE -- "$pattern" <<<"$text" || { echo "$program.1 does not tell of $option"; status=1; }
  done
  sections=("EXIT STATUS" "FILES")
  [ "$program" = korvalen-demo ] || sections+=("PORT NUMBERS")
  for section in "${sections[@]}"; do
    grep -qx "$section" <<<"$text" || { echo "$program.1 has no $section section"; status=1; }
  done
done

appstreamcli validate --no-net --explain "$scratch/usr/share/metainfo/$id.metainfo.xml" || status=1
exit $status
