#!/usr/bin/env bash
# COM1 of the Wine prefix in $WINEPREFIX as one end of a socat pseudo-terminal pair; everything
# that reaches the other end, where a device would sit, is recorded in DIR/received.
#   com_port.sh start DIR    maps COM1 and starts the pair and the recorder
#   com_port.sh stop DIR     ends the two processes start began: COM1's device is gone
#   com_port.sh again DIR    a new pair under the same names, as an adapter plugged in again; the
#                            recorder goes on appending to DIR/received
set -euo pipefail

action=$1
dir=$2

stop() {
  for name in recorder socat; do
    if [ -f "$dir/$name.pid" ]; then
      kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
      rm -f "$dir/$name.pid"
    fi
  done
}

pair() {
  rm -f "$dir/com1" "$dir/device"
  # Detached, with no inherited output, so a caller that waits for its children's output (ctest)
  # does not wait for these.
  setsid socat pty,raw,echo=0,link="$dir/com1" pty,raw,echo=0,link="$dir/device" \
    </dev/null >/dev/null 2>"$dir/socat.log" &
  echo $! >"$dir/socat.pid"
  timeout 5 bash -c "until [ -e '$dir/com1' ] && [ -e '$dir/device' ]; do sleep 0.05; done"
  setsid cat "$dir/device" </dev/null >>"$dir/received" 2>/dev/null &
  echo $! >"$dir/recorder.pid"
}

case $action in
  start)
    mkdir -p "$dir"
    stop
    : >"$dir/received"
    pair
    # COM1 is the link's name, not the pseudo-terminal it points to now, so that a new pair
    # under the same name is the same COM1 again.
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$(realpath -s "$dir/com1")" /f >/dev/null
    # Wine reads its port mapping when its server starts; a running one keeps the old device.
    # COM1's default there is /dev/ttyS0, a UART this machine may not have, and opening that waits
    # for a first byte that never comes. A pty end opens at once: the device side need not send
    # anything first.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w
    ;;
  stop)
    stop
    ;;
  again)
    stop
    pair
    ;;
  *)
    echo "usage: $0 start|stop|again DIR" >&2
    exit 2
    ;;
esac
