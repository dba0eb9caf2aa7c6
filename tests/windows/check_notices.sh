#!/usr/bin/env bash
# Checks that a Windows zip owes nothing: Korvalen's license, and a third-party notice naming every
# DLL it holds, with Qt's build notes in qt-source/ and the license texts the notice refers to.
#   check_notices.sh ZIP
set -euo pipefail
zip=$1
files=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||')
notices=$(unzip -p "$zip" '*/THIRD-PARTY-NOTICES.txt' | tr -d '\r')

status=0
for needed in LICENSE.txt THIRD-PARTY-NOTICES.txt qt-source/README.md qt-source/qwindows-no-direct2d.patch \
  qt-source/mingw64-posix.cmake; do
  grep -qxF "$needed" <<<"$files" || { echo "check_notices: the zip lacks $needed"; status=1; }
done
# Each component's files are listed in the notice's head, before the license texts begin.
head=$(sed '/^=====/,$d' <<<"$notices")
for dll in $(grep -i '\.dll$' <<<"$files"); do
  if ! grep -qE "(^|[ ,/])$(basename "$dll" | sed 's/[.+]/\\&/g')(,|$)" <<<"$head"; then
    echo "check_notices: the zip holds $dll, which THIRD-PARTY-NOTICES.txt does not name"
    status=1
  fi
done
for text in "GNU LESSER GENERAL PUBLIC LICENSE" "GNU GENERAL PUBLIC LICENSE" "GCC RUNTIME LIBRARY EXCEPTION" \
  "winpthreads" "qt6-base 6.4.2+dfsg-10"; do
  grep -qF "$text" <<<"$notices" || { echo "check_notices: THIRD-PARTY-NOTICES.txt lacks '$text'"; status=1; }
done
license=$(unzip -p "$zip" '*/LICENSE.txt' | tr -d '\r')
if ! grep -q 'Apache License' <<<"$license"; then
  echo "check_notices: LICENSE.txt is not the Apache License"
  status=1
fi
exit $status
