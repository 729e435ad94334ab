#!/bin/bash
# The first process of the desktop virtual machine (boot_desktop_vm.sh boots it): brings up
# udev, seatd and the compositor with wev as its one window, lets the installed velmarin type
# and click into it as the user at the seat, by "velmarin --fire-event" and by the foot switch
# of a headless run, and reads what wev received. Prints "velmarin-vm: ..." lines, then
# "velmarin-vm-result N" (0: every case held), and powers off. A failed step is named (GPU,
# udev, switch, seat, compositor, client, settings, delivery) and shown with the last lines of
# every log: the compositor's, the client's, the program's.
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8

user=station
runtime=/run/user/1000
logs=/tmp/logs
cases=/tmp/cases
say() { echo "velmarin-vm: $*"; }
uptime_s() { cut -d' ' -f1 /proc/uptime; }
finish() {
  echo "velmarin-vm-result $1"
  echo o >/proc/sysrq-trigger
  sleep 60
}
# The last lines of every log; of wev's, the last events that matter here (it repeats its
# keyboard state at length). The whole of each follows, kept only in the console's log file.
show_logs() {
  local log
  for log in "$logs"/*.log; do
    [ -s "$log" ] || continue
    say "--- last lines of $(basename "$log")"
    if [ "$log" = "$logs/wev.log" ]; then
      grep -E 'capabilities|key:|sym:|button:|enter:|motion:|activated' "$log" | tail -n 30
    else
      tail -n 20 "$log"
    fi | sed 's/^/    /'
  done
  for log in "$logs"/*.log; do sed "s|^|$(basename "$log")> |" "$log"; done
}
# The input devices there are, as udev sees them (the compositor takes only those it marked).
show_input_devices() {
  local node
  say "--- input devices"
  for node in /dev/input/event*; do
    echo "    $node: $(cat "/sys/class/input/$(basename "$node")/device/name" 2>/dev/null)" \
      "$(udevadm info --query=property "$node" 2>/dev/null | grep '^ID_INPUT' | tr '\n' ' ')"
  done
}
fail() { # fail STEP TEXT
  say "FAILED $1: $2"
  show_input_devices
  show_logs
  finish 1
}
# wait_until SECONDS COMMAND...: true once COMMAND holds, false when the time is out.
wait_until() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  shift
  until "$@"; do
    ((${EPOCHREALTIME/./} < deadline)) || return 1
    read -r -t 0.05 -u 9 || true
  done
}
# A command as the user at the seat; with WAYLAND_DISPLAY, in the Wayland session (no DISPLAY).
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups
  env -i PATH="$PATH" LANG=C.UTF-8 HOME="/home/$user" XDG_RUNTIME_DIR="$runtime")
as_user() { "${as_user[@]}" "$@"; }

# Did wev get a press of the key SYM (with Control held where asked)? wev reports each key on
# every keyboard object it holds, so one is enough.
key_arrived() { # key_arrived SYM [Control]
  awk -v sym="$1" -v control="${2:-}" '
    /wl_keyboard\] modifiers:/ { object = $1 }
    /depressed:/ { held[object] = /Control/ }
    /wl_keyboard\] key: .*state: 1 \(pressed\)/ { pressed = $1; next }
    pressed != "" && /sym: / {
      if ($2 == sym && (control == "" || held[pressed])) found = 1
      pressed = ""
    }
    END { exit !found }' "$logs/wev.log"
}
# How many left-button presses came at (X, Y), give or take a pixel, in surface coordinates.
# wev reports each press on every pointer object it holds, with one serial.
clicks_at() { # clicks_at X Y
  awk -v x="$1" -v y="$2" '
    function off(a, b) { return a > b ? a - b : b - a }
    /wl_pointer\] (enter|motion):/ {
      split(substr($0, index($0, "x, y: ") + 6), at, ", ")
      px[$1] = at[1]; py[$1] = at[2]
    }
    /wl_pointer\] button: .*272 \(left\), state: 1/ {
      serial = $0; sub(/.*serial: /, "", serial); sub(/;.*/, "", serial)
      if ((px[$1] != "") && off(px[$1], x) <= 1 && off(py[$1], y) <= 1) presses[serial] = 1
    }
    END { n = 0; for (s in presses) n++; print n }' "$logs/wev.log"
}
clicks_at_least() { [ "$(clicks_at "$1" "$2")" -ge "$3" ]; }

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
ln -s /proc/self/fd /dev/fd
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
# Without a shared-memory folder the compositor cannot hand its keymap to clients.
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /tmp
# A pipe that this shell holds both ends of: "read -t" on it waits without starting a process,
# which on this emulated machine takes longer than the waits themselves. (Without it every wait
# would spin and starve the machine's one processor.)
exec 9<> <(:) || { echo "velmarin-vm: FAILED boot: no pipe to wait on"; finish 1; }
mkdir -p "$logs" "$cases"
chown "$user" "$logs" "$cases"
say "booted at $(uptime_s) s"

# settings: each case has a program folder whose velmarin.ini the installed program writes;
# made while the desktop comes up.
settings() { # settings CASE NAME=VALUE...
  local name=$1 setting
  shift
  local sets=()
  for setting in "$@"; do sets+=(--set "$setting"); done
  as_user velmarin --dir "$cases/$name" "${sets[@]}" >"$logs/settings-$name.log" 2>&1 &&
    rm "$logs/settings-$name.log"
}
(
  as_user mkdir "$cases/letter" "$cases/digit" "$cases/function-key" "$cases/ctrl-enter" \
    "$cases/click" "$cases/foot-switch" || exit 1
  status=0
  settings letter KeyCode=A Modifiers=000 || status=1
  settings digit KeyCode=5 Modifiers=000 || status=1
  settings function-key KeyCode=7B Modifiers=000 || status=1
  settings ctrl-enter KeyCode=0D Modifiers=100 || status=1
  settings click KeyCode= MouseX=300 MouseY=200 || status=1
  settings foot-switch SwitchDevice=USB-IO TriggerEdge=ON PollIntervalMs=20 EventDelayMs=0 \
    RestAfterEventMs=0 KeyCode= MouseX=500 MouseY=300 || status=1
  exit "$status"
) &
settings_job=$!

# GPU: the virtio GPU's kernel driver gives the compositor a display.
modprobe virtio-gpu 2>"$logs/modules.log" || fail GPU "the virtio-gpu module does not load"
wait_until 10 test -e /dev/dri/card0 || fail GPU "no /dev/dri/card0 after the virtio-gpu module loaded"

# udev: the input devices get their properties (the compositor takes only what udev marked
# as a keyboard or a mouse), and the package's rule tags /dev/uinput for the user at the seat.
# The package's modules-load.d entry loads uinput, as systemd would at boot.
modprobe -a evdev virtio_input 2>>"$logs/modules.log" || fail udev "the evdev or virtio_input module does not load"
for module in $(sed 's/#.*//' /usr/lib/modules-load.d/*.conf); do
  modprobe "$module" 2>>"$logs/modules.log" || fail udev "the package's module $module does not load"
done
/lib/systemd/systemd-udevd --daemon 2>"$logs/udev.log" || fail udev "systemd-udevd does not start"
udevadm trigger --type=subsystems --action=add && udevadm trigger --type=devices --action=add &&
  udevadm settle --timeout=30 || fail udev "udev does not settle"
udevadm info --query=property /dev/uinput | grep -q '^TAGS=.*:uaccess:' ||
  fail udev "the package's udev rule did not tag /dev/uinput uaccess"
# What logind does for a uaccess tag on a seat: the user at the seat may open the node.
chown "$user" /dev/uinput
say "udev settled at $(uptime_s) s"

# switch: the USB-IO board the foot switch is wired to, made through uhid; the program finds
# and reads it through hidraw as it would a real one. The board takes its pin byte from a pipe.
modprobe -a uhid hid-generic 2>>"$logs/modules.log" || fail switch "the uhid module does not load"
mkfifo /tmp/board-pins
/run/usb_io_board </tmp/board-pins >"$logs/board.log" 2>&1 &
exec 7>/tmp/board-pins
board_says() { grep -qx "$1" "$logs/board.log"; }
board_said() { grep -cx "$1" "$logs/board.log"; }
hidraw_made() { ls /dev/hidraw* >/dev/null 2>&1; }
wait_until 10 board_says ready && wait_until 10 hidraw_made ||
  fail switch "the USB-IO board made through uhid has no hidraw node"
# What the package's rule and logind give a real board at the seat (the rule matches the board's
# USB attributes, which one made through uhid does not have).
chown "$user" /dev/hidraw*

# seat: seatd opens the GPU and the input devices for the compositor, which runs as the user.
seatd -u "$user" -g "$user" >"$logs/seatd.log" 2>&1 &
wait_until 10 test -S /run/seatd.sock || fail seat "seatd made no socket"

# compositor: the one the kernel's command line names (velmarin.compositor=cage or sway), on
# the virtio GPU, showing wev. No X server exists anywhere in this machine (the root has no
# Xwayland), so a click's place can come from the compositor alone.
for server in Xwayland Xorg Xvfb; do
  ! command -v "$server" >/dev/null || fail compositor "an X server is installed: $(command -v "$server")"
done
mkdir -p "$runtime"
chown "$user:$user" "$runtime"
chmod 0700 "$runtime"
compositor=$(sed -n 's/.*velmarin\.compositor=\([a-z]*\).*/\1/p' /proc/cmdline)
wev="exec stdbuf -oL wev >$logs/wev.log 2>&1"
case $compositor in
  cage)
    # One output, wev full screen on it. Debian's cage will not start without an Xwayland
    # program to start on demand.
    as_user LIBSEAT_BACKEND=seatd WLR_RENDERER=pixman WLR_XWAYLAND=/bin/false \
      cage -- sh -c "$wev" >"$logs/cage.log" 2>&1 &
    ;;
  sway)
    # Two outputs of different scales, one fractional: the virtio GPU's at 2 (640 x 400 logical
    # pixels) with wev on it, and beside it a headless one at 1.5 (1280 x 720).
    cat >/tmp/sway.config <<SWAY
output Virtual-1 scale 2 position 0 0
output HEADLESS-1 mode 1920x1080 scale 1.5 position 640 0
for_window [app_id="wev"] move container to output Virtual-1, focus
default_border none
focus_follows_mouse no
xwayland disable
exec $wev
SWAY
    as_user LIBSEAT_BACKEND=seatd WLR_RENDERER=pixman WLR_BACKENDS=drm,libinput,headless \
      WLR_HEADLESS_OUTPUTS=1 sway --config /tmp/sway.config >"$logs/sway.log" 2>&1 &
    ;;
  *) fail compositor "no compositor named on the kernel's command line" ;;
esac
compositor_pid=$!
wayland_socket() { ls "$runtime"/wayland-[0-9] >/dev/null 2>&1; }
wait_until 20 wayland_socket || fail compositor "$compositor made no Wayland socket"
display=$(basename "$(ls "$runtime"/wayland-[0-9] | head -n1)")
say "compositor up at $(uptime_s) s"

# client: wev's window is shown and has the keyboard focus.
wev_active() { grep -q 'activated' "$logs/wev.log" 2>/dev/null; }
wait_until 20 wev_active || {
  kill -0 "$compositor_pid" 2>/dev/null || fail compositor "$compositor ended"
  fail client "wev's window was not activated"
}
say "wev activated at $(uptime_s) s"
wait "$settings_job" || fail settings "velmarin --set did not write a case's settings"

# delivery: "velmarin --fire-event" for each case in turn, as the user at the seat would run
# it, each making its own devices.
# The nodes of the devices the program has made (in the array `nodes`; read without starting a
# process, so a new one is seen at once), and whether the compositor has opened a node (the
# program itself never opens the nodes of the devices it makes).
program_nodes() {
  local device name
  nodes=()
  for device in /sys/class/input/event*; do
    { read -r name <"$device/device/name"; } 2>/dev/null || continue
    case $name in
      "Velmarin foot switch keyboard" | "Velmarin foot switch pointer") nodes+=("/dev/input/${device##*/}") ;;
    esac
  done
}
node_opened() { ls -l /proc/[0-9]*/fd 2>/dev/null | grep -q " -> $1\$"; }
# wait_until_taken [PID]: waits for the two devices a program makes (the nodes not in the array
# `before`) and for the compositor to open both. This emulated machine on a busy host may take
# longer than the program's lead time to open a new device, where a real one takes a fraction
# of a second: the program PID is held (stopped) from the moment its devices exist until then,
# so that the test is of the delivery, not of this machine's speed.
wait_until_taken() {
  local program=${1:-} made=() node old taken=0
  made_both() {
    program_nodes
    made=()
    for node in "${nodes[@]}"; do
      for old in "${before[@]}"; do [ "$node" != "$old" ] || continue 2; done
      made+=("$node")
    done
    [ "${#made[@]}" -eq 2 ]
  }
  wait_until 20 made_both || return 1
  [ -z "$program" ] || kill -STOP "$program"
  for node in "${made[@]}"; do wait_until 20 node_opened "$node" || taken=1; done
  [ -z "$program" ] || kill -CONT "$program"
  return "$taken"
}
fire() { # fire CASE WHAT CHECK...: runs the case, then waits up to 10 s for CHECK to find it
  local name=$1 what=$2 program
  shift 2
  program_nodes
  before=("${nodes[@]}")
  "${as_user[@]}" WAYLAND_DISPLAY="$display" velmarin --dir "$cases/$name" --fire-event \
    >"$logs/velmarin-$name.log" 2>&1 &
  program=$!
  wait_until_taken "$program" ||
    fail delivery "$what: the compositor did not open the devices of velmarin --fire-event"
  wait "$program" || fail delivery "$what: velmarin --fire-event ended with status $?"
  wait_until 10 "$@" || fail delivery "$what: wev did not get it"
  say "ok at $(uptime_s) s: $what"
}
fire letter "KeyCode A types a" key_arrived a
fire digit "KeyCode 5 types 5" key_arrived 5
fire function-key "KeyCode 7B presses F12" key_arrived F12
fire ctrl-enter "KeyCode 0D with Modifiers 100 presses Enter with Ctrl held" key_arrived Return Control

# The foot switch of a headless run clicks twice at one place, with the pointer moved away by
# "velmarin --fire-event" in between: its second click must bring the pointer back.
press() { # press PINS WHAT CHECK...: sets the board's pins, then waits for CHECK
  local pins=$1 what=$2 answers
  shift 2
  answers=$(board_said "answered $pins")
  echo "$pins" >&7
  read_again() { [ "$(board_said "answered $pins")" -gt "$answers" ]; }
  wait_until 10 read_again || fail delivery "$what: the program did not read the board"
  wait_until 10 "$@" || fail delivery "$what: wev did not get it"
  say "ok at $(uptime_s) s: $what"
}
"${as_user[@]}" WAYLAND_DISPLAY="$display" velmarin --dir "$cases/foot-switch" --headless \
  >"$logs/velmarin-foot-switch.log" 2>&1 &
headless=$!
# A foot switch is pressed long after monitoring began: the first press waits until the
# compositor has the run's devices.
before=()
wait_until_taken || fail delivery "the compositor did not open the headless run's devices"
press 01 "the foot switch of a headless run clicks at 500, 300" clicks_at_least 500 300 1
press 00 "the foot switch is let go" true
fire click "KeyCode empty clicks at MouseX 300, MouseY 200" clicks_at_least 300 200 1
press 01 "the foot switch's second click lands at 500, 300 again" clicks_at_least 500 300 2
kill -TERM "$headless"
wait "$headless" || fail delivery "the headless run ended with status $? after SIGTERM"
say "all cases held at $(uptime_s) s"
finish 0
