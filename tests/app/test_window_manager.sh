#!/usr/bin/env bash
# The window on a real X display with a window manager and a notification area, driven
# from outside as a user would: dialogs without minimise and maximise, the tray around a
# modal dialog, the menus from the keyboard, and the window state across runs.
# Run under xvfb-run; $1 is the build folder holding the program and its data.
# Screenshots go to $TESSERON_SHOTS when it names a folder.
set -euo pipefail

build=$1
work=$(mktemp -d)
wm_pid=
app_pid=
cleanup() {
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    # TESSERON_KEEP=1 keeps the folder, with the program's and the manager's output.
    if [[ -n ${TESSERON_KEEP:-} ]]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    shot "failure"
    exit 1
}
shot() {
    [[ -n ${TESSERON_SHOTS:-} ]] && import -window root "$TESSERON_SHOTS/$1.png" 2>/dev/null || true
}
# Retries a check for up to $1 seconds.
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# A copy of the program with its data, and a home of its own: nothing of the user's is read.
mkdir -p "$work/prog" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/tesseron" "$build/whois.xml" "$work/prog/"
cp -r "$build/languages" "$build/rdap" "$work/prog/"
printf '[Defaults]\nDetermineIpAddress=0\nDetermineReverseName=0\n' >"$work/prog/tesseron.ini"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS

icewm >"$work/wm.log" 2>&1 &
wm_pid=$!
within 10 wmctrl -m >/dev/null 2>&1 || fail "the window manager did not start"

start() {
    "$work/prog/tesseron" "$@" >>"$work/app.log" 2>&1 &
    app_pid=$!
}
main_window() { xdotool search --name '^Tesseron [0-9]' 2>/dev/null | head -1; }
dialog() { xdotool search --name "^$1\$" 2>/dev/null | head -1; }
tray_icon() {
    xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Tesseron": ("tesseron" "Tesseron").*/\1/p' | head -1
}
state_of() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }
is_state() { [[ $(state_of "$1") == "$2" ]]; }
is_withdrawn() { local s; s=$(state_of "$1"); [[ $s != Normal && $s != Iconic ]]; }
is_active() { (($(xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | awk '{print $NF}') == $1)); }
allowed() { xprop -id "$1" _NET_WM_ALLOWED_ACTIONS; }
click_tray() { xdotool mousemove --window "$(tray_icon)" 4 4 click 1; }
has_main() { [[ -n $(main_window) ]]; }
has_tray() { [[ -n $(tray_icon) ]]; }
has_dialog() { [[ -n $(dialog "$1") ]]; }
ini_state() { sed -n 's/^WindowState=//p' "$work/prog/tesseron.ini"; }
ended() { ! kill -0 "$app_pid" 2>/dev/null; }
stop_app() {
    kill -TERM "$app_pid"
    within 15 ended || fail "the window did not end on SIGTERM"
    wait "$app_pid" || true
    app_pid=
}

start
within 15 has_main || fail "no main window"
main=$(main_window)
within 10 is_state "$main" Normal || fail "the main window is not shown"
within 10 has_tray || fail "no tray icon"
shot "main-window"

# Alt+F opens the File menu, O its Options item.
# A loaded machine may be slow to open the menu: a few tries, each from the start.
open_options() {
    local try
    for try in 1 2 3; do
        xdotool windowactivate --sync "$main"
        xdotool key --clearmodifiers alt+f
        sleep 0.5
        shot "file-menu"
        xdotool key o
        within 3 has_dialog 'Program settings' && return 0
        xdotool key Escape Escape
    done
    return 1
}
open_options || fail "Alt+F, O did not open the options"
options=$(dialog 'Program settings')
within 10 is_state "$options" Normal || fail "the options are not shown"
shot "options"
actions=$(allowed "$options")
[[ $actions != *MINIMIZE* && $actions != *MAXIMIZE* ]] ||
    fail "the options dialog can be minimised or maximised: $actions"
[[ $(allowed "$main") == *MINIMIZE* ]] || fail "the main window cannot be minimised"

# Minimising the window under a modal dialog does not send it to the tray; the tray icon
# brings the dialog back in front.
xdotool windowminimize "$main"
within 10 is_state "$main" Iconic || fail "the main window did not minimise"
sleep 0.5
is_state "$main" Iconic || fail "the main window left for the tray under a modal dialog"
click_tray
within 10 is_state "$main" Normal || fail "the tray did not restore the window"
within 10 is_state "$options" Normal || fail "the tray did not restore the dialog"
within 10 is_active "$options" || fail "the dialog is not in front after the tray click"

# A -minimize hand-over leaves the window and its dialog where they are.
"$work/prog/tesseron" -minimize || fail "the hand-over was not taken"
sleep 0.5
is_state "$main" Normal || fail "the hand-over hid the window under the dialog"
within 10 is_active "$options" || fail "the hand-over did not bring the dialog to the front"
xdotool key Escape
within 10 eval "! has_dialog 'Program settings'" || fail "Esc did not close the options"

# F10 opens the File menu too.
xdotool windowactivate --sync "$main"
xdotool key F10
sleep 0.3
shot "f10"
xdotool key Escape

# Without a dialog, minimising goes to the tray; closed from there, the next start is in
# the tray again, and the tray icon brings it back as a normal window.
xdotool windowminimize "$main"
within 10 is_withdrawn "$main" || fail "minimising did not go to the tray"
stop_app
[[ $(ini_state) == 1 ]] || fail "WindowState=$(ini_state) written after a run ended in the tray"
start
within 15 has_tray || fail "no tray icon on the second start"
sleep 0.5
main=$(main_window)
[[ -z $main ]] || is_withdrawn "$main" || fail "the second start did not stay in the tray"
click_tray
within 10 has_main || fail "the tray did not show the window"
main=$(main_window)
within 10 is_state "$main" Normal || fail "the window came back $(state_of "$main")"
shot "from-tray"
stop_app

# Started with -minimize and closed from the tray unseen: the state the user last saw stays.
sed -i 's/^WindowState=.*/WindowState=0/' "$work/prog/tesseron.ini"
start -minimize
within 15 has_tray || fail "no tray icon for -minimize"
stop_app
[[ $(ini_state) == 0 ]] || fail "WindowState=$(ini_state) written after an unseen run"
echo "1 passed, 0 failed"
