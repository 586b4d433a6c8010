# shellcheck shell=bash
# Sourced by the speed scripts: a private Xvfb, and the timing of a viewer process
# from exec until its CPU use stops after its window is up.
#
# The CPU counts in /proc/PID/stat move in clock ticks (10 ms). A viewer counts as
# settled once the counts have not moved for FLAT_MS after its window is mapped.
# FLAT_MS defaults to 300 ms.

FLAT_MS=${FLAT_MS:-300}

# Starts Xvfb on a free display and exports DISPLAY. XVFB_PID is its process.
# begin_session PREFIX: a private work folder ($work) for the viewer's home and files,
# removed with Xvfb and any viewer ($viewer_pid) when the script ends; then Xvfb.
begin_session() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  viewer_pid=
  trap end_session EXIT
  export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
  mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  start_xvfb
}

end_session() {
  set +e  # a failed kill or wait must not leave Xvfb and the files behind
  if [ -n "$viewer_pid" ]; then
    kill "$viewer_pid"
    wait "$viewer_pid"
  fi 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}

start_xvfb() {
  local fifo
  fifo=$(mktemp -u /tmp/zelk-xvfb.XXXXXX)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
  XVFB_PID=$!
  local number
  read -r -t 15 number <"$fifo" || { echo "Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$number"
}

stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=
  return 0
}

now_us() { echo "${EPOCHREALTIME/./}"; }

# A 10 ms pause without starting a process.
exec {pause_fd}<> <(:)
pause_10ms() { read -r -t 0.01 -u "$pause_fd" _ || true; }

cpu_ticks() {  # utime + stime of $1
  local stat
  read -r stat <"/proc/$1/stat" 2>/dev/null || return 1
  stat=${stat##*) }
  # shellcheck disable=SC2206
  local fields=($stat)
  echo $((fields[11] + fields[12]))
}

window_of() {  # $1 pid, $2 window class: the first visible window, or nothing
  xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1 ||
    true
  if [ -n "$2" ]; then
    xdotool search --onlyvisible --class "$2" 2>/dev/null | head -n 1 || true
  fi
}

# shellcheck disable=SC2034  # SETTLED_MS and WINDOW are for the caller
# wait_settled PID START_US CLASS: waits until the window of PID is mapped and its
# CPU use has stopped; sets SETTLED_MS (from START_US to the last CPU tick seen,
# never earlier than the mapping) and WINDOW.
wait_settled() {
  local pid=$1 start=$2 class=${3:-} ticks last=-1 changed mapped=0 now deadline
  changed=$(now_us)
  deadline=$((changed + 120000000))
  WINDOW=
  while true; do
    now=$(now_us)
    ticks=$(cpu_ticks "$pid") || { echo "viewer $pid ended" >&2; return 1; }
    if [ "$ticks" != "$last" ]; then
      last=$ticks
      changed=$now
    fi
    if [ $mapped -eq 0 ]; then
      WINDOW=$(window_of "$pid" "$class" | head -n 1)
      if [ -n "$WINDOW" ]; then
        mapped=1
        changed=$(now_us)
      fi
    elif [ $((now - changed)) -ge $((FLAT_MS * 1000)) ]; then
      SETTLED_MS=$(((changed - start) / 1000))
      return 0
    fi
    [ "$now" -lt "$deadline" ] || { echo "viewer $pid never settled" >&2; return 1; }
    pause_10ms
  done
}

peak_memory_mb() {  # VmHWM of $1 in MiB
  local kb
  kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$1/status")
  echo $((kb / 1024))
}

median() {  # numbers as arguments
  printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
