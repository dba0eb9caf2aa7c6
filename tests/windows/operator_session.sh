#!/usr/bin/env bash
# The Windows program as an operator meets it, under Wine: the installer installs silently into
# the prefix in $WINEPREFIX; the installed korvalen.exe starts on a virtual X server with COM1 one
# end of a pseudo-terminal pair, with the engineer's settings file asking for --reconnect as a
# program started from the Start menu has no options; real clicks on Connect (port 1), the position
# slider's right arrow and Stop must reach the other end as exactly their frames, in order; then
# COM1's pair goes and comes back, as an adapter pulled out and plugged in again, and the program
# must reopen COM1 by itself, so that the next arrow click and Exit reach the new pair's far end; the
# program must end; the uninstaller must then take it all away again. A screenshot of the connected
# panel is left in OUT_DIR.
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
# This user's settings file, where the program looks for it: %APPDATA%\korvalen\korvalen.conf.
# This wine starts the Wine server the program uses too, and the server keeps its error output.
# COM1 becomes the server's terminal, so when the pair goes the server is sent the hang-up and
# prints its whole state there: noise, not the session's.
appdata=$(winepath -u "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')")
settings="$appdata/korvalen/korvalen.conf"
mkdir -p "$(dirname "$settings")"
printf 'reconnect=true\r\n' >"$settings"
trap '"$here/com_port.sh" stop "$com"; rm -f "$settings"' EXIT

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

# The adapter pulled out: COM1's pair goes. Feedback's frame finds it gone, and the program says so
# in a box of its own.
"$here/com_port.sh" stop "$com"
click 64 76    # Feedback
box=$(timeout 20 bash -c "until xdotool search --onlyvisible --name '^Korvalen\$' | grep -vx '$window'; do
  sleep 0.2; done" | head -n 1) || fail "no box about the lost COM1 within 20 s"
# Plugged in again: a new pair under the same names. The program reopens COM1 by itself, without
# a click: a process of Wine's holds the new pseudo-terminal open.
"$here/com_port.sh" again "$com"
pts=$(readlink -f "$com/com1")
socat_pid=$(cat "$com/socat.pid")
timeout 20 bash -c "until find /proc/[0-9]*/fd -lname '$pts' 2>/dev/null | grep -vq '^/proc/$socat_pid/'; do
  sleep 0.2; done" || fail "the program did not reopen COM1 within 20 s of its return"
# The box answered with Return over it (Wine may leave its window mapped a while after it closes),
# then the next click reaches the new far end: a click the box still held off would send nothing.
xdotool mousemove --window "$box" 20 20 key Return
sleep 1
click 244 98   # HScroll2's right arrow: 1510 to 1520
wait_for_bytes 21
click 180 190  # Exit
wait_for_bytes 28
timeout 10 tail --pid="$program" -f /dev/null || fail "the program did not end after Exit"
wait "$program" || fail "the program ended with status $?"
sleep 0.2

expected="80 00 05 e6 95 00 00 80 eb 00 00 95 00 00 80 00 05 f0 8b 00 00 80 ef 00 00 91 00 00"
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
echo "operator session: installed $version; Connect, arrow, Stop, COM1 gone and back (reopened by itself), arrow and Exit sent: $got; uninstalled"
