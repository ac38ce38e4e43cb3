# Shared by the on-screen scripts: a virtual X server for Wine's windows, and the helpers that find
# windows, type keys into them and take screenshots. The caller sets `out` (the screenshot folder),
# `wine` and WINEPREFIX, and keeps the program it starts in `program_pid`.

# Skipped (exit code 77) without the virtual screen's tools or Wine.
for tool in Xvfb xdotool import "$wine"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "onScreen: skipped, $tool is not installed"
    exit 77
  fi
done

wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# A display number nobody uses; each run starts looking at its own place, so that two suites starting
# at once do not pick the same one.
display=
for n in $(seq $((91 + $$ % 40)) 140) $(seq 91 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "onScreen: no free display number"; exit 1; }

xvfb_pid=
program_pid=
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  "$wineserver" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 1' INT TERM

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { echo "onScreen: Xvfb did not start"; exit 1; }

failures=0
fail() { echo "onScreen: FAIL: $*"; failures=$((failures + 1)); }

# The probe's report file, as a Windows path (Wine's Z: drive is the root).
windows_path() { echo "Z:${1//\//\\}"; }

# wait_window REGEX [SECONDS]: the id of a visible window whose name matches, or nothing.
wait_window() {
  local id
  for _ in $(seq $((${2:-20} * 10))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# wait_gone ID [SECONDS]: true once the window is gone or hidden.
wait_gone() {
  for _ in $(seq $((${2:-10} * 10))); do
    xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  return 1
}

shoot() {  # shoot NAME: the whole screen
  sleep 0.7  # let Wine finish drawing (and the animation move on)
  import -window root "$out/$1.png"
}

# keys ID KEY...: gives the window the keyboard and types the keys.
keys() {
  local id=$1; shift
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  sleep 0.2
  xdotool key --delay 150 "$@"
}

# answer ID KEY...: types the keys into the window and waits until it has gone.
answer() {
  local id=$1
  keys "$@"
  wait_gone "$id" || fail "window $id stayed after the keys ${*:2}"
}

# expect_window CASE STAGE REGEX: waits for the window, screenshots it, prints its id.
expect_window() {
  local id
  if ! id=$(wait_window "$3" 30); then
    fail "$1: no window named '$3' at $2"
    shoot "$1-$2-missing"
    return 1
  fi
  shoot "$1-$2"
  echo "$id"
}

# finish CASE EXPECTED_CODE: waits for the program and checks its exit code and that no window is left.
finish() {
  local code=0
  for _ in $(seq 300); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$program_pid" 2>/dev/null; then
    fail "$1: the program did not end"
    shoot "$1-hung"
    kill "$program_pid" 2>/dev/null
  fi
  wait "$program_pid"; code=$?
  program_pid=
  [ "$code" = "$2" ] || fail "$1: exit code $code, expected $2"
  echo "onScreen: $1 ended with $code"
}
