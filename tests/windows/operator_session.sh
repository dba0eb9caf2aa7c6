#!/usr/bin/env bash
# The Windows program as an operator meets it, under Wine: the installer installs silently into
# the prefix in $WINEPREFIX; the installed korvalen.exe starts on a virtual X server with COM1 one
# end of a pseudo-terminal pair; real clicks on Connect (port 1), the position slider's right arrow,
# Stop and Exit must reach the other end as exactly their three frames, in order, and the program
# must end; the uninstaller must then take it all away again. A screenshot of the connected panel
# is left in OUT_DIR.
#   operator_session.sh SETUP_EXE VERSION OUT_DIR
set -euo pipefail

setup=$1
version=$2
out=$(realpath "$3")
here=$(dirname "$(realpath "$0")")

if [ "${KORVALEN_SESSION_DISPLAY:-}" != yes ]; then
  # Wine's window must not open on whatever display the caller has. -noreset: Xvfb otherwise
  # resets when its last client leaves and refuses connections meanwhile.
  export KORVALEN_SESSION_DISPLAY=yes
  exec xvfb-run --auto-servernum --server-args="-screen 0 800x600x24 -noreset" "$0" "$@"
fi

fail() {
  echo "operator session: $*" >&2
  exit 1
}

# The installer, as an operator's silent install runs it.
wine "$setup" /S
installed="$WINEPREFIX/drive_c/Program Files/Korvalen"
[ -f "$installed/korvalen.exe" ] || fail "the installer left no korvalen.exe in C:\\Program Files\\Korvalen"
[ -f "$installed/Uninstall.exe" ] || fail "the installer left no uninstaller"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvalen"
[ -f "$menu/Korvalen.lnk" ] || fail "no Start-menu entry in $menu"
# The entry shows the first icon of the exe it starts.
wrestool --list --type=group_icon "$installed/korvalen.exe" | grep -q . ||
  fail "korvalen.exe carries no icon for its Start-menu entry"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalen'
listed=$(wine reg query "$uninstall_key" /v DisplayVersion)
grep -q "DisplayVersion *REG_SZ *$version" <<<"$listed" || fail "the program list shows no version $version: $listed"

com="$out/com1"
"$here/com_port.sh" start "$com"
trap '"$here/com_port.sh" stop "$com"' EXIT

received() { stat -c %s "$com/received"; }
wait_for_bytes() {
  timeout 10 bash -c "until [ \$(stat -c %s '$com/received') -ge $1 ]; do sleep 0.05; done" ||
    fail "$(received) bytes reached the device end, expected $1"
}

# Without WINEPATH: the program runs on the DLLs and plugins it was installed with, nothing else.
# Wine 8.0 draws no text in line edits through Qt's default Windows font engine (labels and buttons
# are fine), so the screenshot would show empty fields; Qt's own FreeType engine draws them. Wine
# hands WINEQT_ variables to the program without the WINE.
env -u WINEPATH WINEQT_QPA_PLATFORM=windows:fontengine=freetype wine "$installed/korvalen.exe" &
program=$!

window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Korvalen$' | head -n 1) ||
  fail "no Korvalen window within 60 s"
# The client area is 262 x 238 pixels (the design's twips at 96 dpi); whatever frame Wine draws
# around it without a window manager is the same width left, right and below.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(((WIDTH - 262) / 2))
left=$border
top=$((HEIGHT - 238 - border))
click() {
  xdotool mousemove --window "$window" $((left + $1)) $((top + $2)) click 1
}

# Each control's middle, from its design rectangle; the slider's right arrow is its last pixels.
click 72 190   # Connect, with the port field's 1
sleep 1
[ "$(received)" -eq 0 ] || fail "connecting sent bytes"
click 244 98   # HScroll2's right arrow: 1500 to 1510
wait_for_bytes 7
click 64 108   # Stop
wait_for_bytes 14
sleep 0.5
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$out/korvalen-connected.png"
click 180 190  # Exit
wait_for_bytes 21
timeout 10 tail --pid="$program" -f /dev/null || fail "the program did not end after Exit"
wait "$program" || fail "the program ended with status $?"
sleep 0.2

expected="80 00 05 e6 95 00 00 80 eb 00 00 95 00 00 80 ef 00 00 91 00 00"
got=$(od -An -tx1 -v "$com/received" | xargs)
[ "$got" = "$expected" ] || fail "the device end received '$got', expected '$expected'"

# The uninstaller, as the program list runs it: it copies itself away and returns at once, then
# takes the program, its Start-menu entry and its line in the program list.
wine "$installed/Uninstall.exe" /S
timeout 30 bash -c "while [ -e '$installed' ] || [ -e '$menu' ]; do sleep 0.2; done" ||
  fail "the uninstaller left $(find "$installed" "$menu" 2>/dev/null)"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then
  fail "the uninstaller left the program list's entry"
fi

# Wine's own processes (its desktop among them) end with the session, before the X server goes.
wineboot --shutdown >/dev/null 2>&1 || true
wineserver -w
echo "operator session: installed $version; Connect, arrow, Stop and Exit sent: $got; uninstalled"
