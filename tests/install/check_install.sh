#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and checks that a desktop can find and start the
# program: binary, launcher, icons and metainfo present, launcher and metainfo valid.
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
  "usr/share/applications/$id.desktop" \
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
launcher_exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$scratch/usr/share/applications/$id.desktop")
[ -x "$scratch/usr/bin/$launcher_exec" ] || { echo "the launcher starts '$launcher_exec', which is not installed"; status=1; }

desktop-file-validate "$scratch/usr/share/applications/$id.desktop" || status=1
appstreamcli validate --no-net --explain "$scratch/usr/share/metainfo/$id.metainfo.xml" || status=1
exit $status
