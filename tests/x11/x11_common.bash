# Shared by the window tests: a private Xvfb, a private copy of the program, and helpers to
# find, watch, photograph and close its window. Sourced, never run on its own.
#   $1: folder of the built tarnwell   $2: source folder
# TARNWELL_SHOT_DIR, if set, receives copies of the screenshots the tests judge.

# Re-enter under a virtual X server of our own. xvfb-run -a searches upwards from -n for a free
# display; a random start keeps tests that run side by side from racing for the same one.
# -noreset: by default the server resets whenever its last client disconnects (each xdotool
# call, each closed program) and refuses connections while it does, so a program starting at
# that moment fails with "failed to open display".
if [ -z "${TARNWELL_UNDER_XVFB:-}" ]; then
    export TARNWELL_UNDER_XVFB=1
    exec xvfb-run -a -n $(( 100 + RANDOM % 800 )) -s "-screen 0 1280x1024x24 -noreset" \
        bash "$0" "$@"
fi

set -u
# In the sanitizer build, the GL driver is unloaded before the leak check runs, so its own
# small allocations show up as leaks with unknown frames that no suppression can name. Leak
# checking of our code is done by the unit tests; here ASan still stops on any memory error.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
bin_dir=$(cd "$1" && pwd)
src_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
app_pid=""

cleanup() {
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid"; fi
    rm -rf "$work"
}
trap cleanup EXIT

# Make sure the server accepts clients before the program is started.
for (( i = 0; i < 100; ++i )); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

fail() {
    echo "FAIL: $*" >&2
    for f in "$work"/out.txt "$work"/err.txt; do
        [ -f "$f" ] && { echo "--- $(basename "$f") (first 20 lines)" >&2; head -20 "$f" >&2; }
    done
    exit 1
}

# The program with its data files in a folder of its own, without a config.ini.
install_program() {
    mkdir -p "$work/app"
    cp "$bin_dir/tarnwell" "$work/app/"
    for f in vs.glsl fs.glsl; do
        [ -f "$bin_dir/$f" ] && cp "$bin_dir/$f" "$work/app/"
    done
    rm -f "$work/app/config.ini"
}

# Starts the program (arguments are passed on) from another working folder, so that only its
# own folder can supply config.ini. Output goes to $work/out.txt and $work/err.txt.
start_program() {
    mkdir -p "$work/elsewhere"
    (cd "$work/elsewhere" && exec "$work/app/tarnwell" "$@" >"$work/out.txt" 2>"$work/err.txt") &
    app_pid=$!
}

# Runs the program to its end (it is given --frames) like start_program; sets exit_status.
# Fails after $1 seconds.
run_program() {
    local limit=$1
    shift
    start_program "$@"
    wait_for_exit "$limit"
}

# Prints the id of the program's top-level window once it is mapped; fails after $1 seconds.
wait_for_window() {
    local limit=$(( $1 * 10 )) i id
    for (( i = 0; i < limit; ++i )); do
        id=$(xdotool search --onlyvisible --name '^Tarnwell SPH' 2>/dev/null | head -1)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        kill -0 "$app_pid" 2>/dev/null || fail "program ended before its window appeared"
        sleep 0.1
    done
    fail "no window within $1 s"
}

# Waits until the window title matches the extended regex $2; fails after $3 seconds.
wait_for_title() {
    local window=$1 pattern=$2 limit=$(( $3 * 10 )) i name=""
    for (( i = 0; i < limit; ++i )); do
        name=$(xdotool getwindowname "$window" 2>/dev/null) || true
        if [[ $name =~ $pattern ]]; then echo "$name"; return 0; fi
        sleep 0.1
    done
    fail "title never matched /$pattern/ in $3 s; last title: '$name'"
}

# Sets exit_status once the program ends; fails if it is still running after $1 seconds.
# (Not to be called in a subshell: only this shell can collect its child's status.)
wait_for_exit() {
    local limit=$(( $1 * 10 )) i
    for (( i = 0; i < limit; ++i )); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            exit_status=0
            wait "$app_pid" || exit_status=$?
            app_pid=""
            return 0
        fi
        sleep 0.1
    done
    fail "program still running after $1 s"
}

# Starts the program like start_program and waits for its window, left in $window: mapped
# within 15 s, moved fully on screen (GLUT leaves the placement to the server, which puts it at
# (-1, -1)) so that pixel (x, y) of a screenshot is window pixel (x, y), and its first frame
# drawn within 10 s ($work/start.png).
open_window() {
    start_program "$@"
    window=$(wait_for_window 15) || exit 1
    xdotool windowmove "$window" 0 0 || fail "xdotool could not move the window"
    first_frame "$window" "$work/start.png" 10
}

# Gives the window the keyboard, then presses the keys named.
focus_window() { xdotool windowfocus --sync "$window" || fail "xdotool could not focus the window"; }
press() { xdotool key --delay 0 "$@" || fail "xdotool could not press $*"; }

# Screenshot of the window into $work/$1.png; fails if the program has ended.
shot() {
    kill -0 "$app_pid" 2>/dev/null || fail "program ended while running"
    import -window "$window" "$work/$1.png" 2>/dev/null || fail "no screenshot"
}

# Whether two pictures differ in any pixel.
differ() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" != 0 ]; }

# Polls screenshots named $1 until the shell condition $2 holds; fails with $3 after $4 seconds.
wait_for() {
    local name=$1 cond=$2 what=$3 limit=$(( $4 * 5 )) i
    for (( i = 0; i < limit; ++i )); do
        shot "$name"
        eval "$cond" && return 0
        sleep 0.2
    done
    fail "$what"
}

# Polls screenshots named $1 until the awk condition $2 over "lit" (region_lit of the
# rectangle $3..$6) holds; leaves the last value in $lit. Returns 1 after $7 seconds.
wait_lit() {
    local name=$1 cond=$2 x=$3 y=$4 w=$5 h=$6 limit=$(( $7 * 5 )) i
    for (( i = 0; i < limit; ++i )); do
        shot "$name"
        lit=$(region_lit "$work/$name.png" "$x" "$y" "$w" "$h")
        awk -v lit="$lit" "BEGIN { exit !($cond) }" && return 0
        sleep 0.2
    done
    return 1
}

# Closes the window the way a window manager's close button does (WM_DELETE_WINDOW); there is
# no window manager on the virtual server to do it for us.
close_window() { python3 "$src_dir/tests/x11/close_window.py" "$1" || fail "could not send WM_DELETE_WINDOW"; }

# Takes screenshots into $2 until one shows anything at all (the first frame has been drawn);
# fails after $3 seconds.
first_frame() {
    local limit=$(( $3 * 10 )) i
    for (( i = 0; i < limit; ++i )); do
        if import -window "$1" "$2" 2>/dev/null; then
            local brightest
            brightest=$(convert "$2" -colorspace Gray -format '%[fx:maxima]' info:)
            awk -v v="$brightest" 'BEGIN { exit !(v > 0) }' && return 0
        fi
        sleep 0.1
    done
    fail "nothing drawn within $3 s"
}

# Largest grey level (0..1) inside the rectangle w x h at (x, y) of a screenshot, origin top left.
region_max() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:maxima]' info:
}

# Fraction (0..1) of pixels in the rectangle brighter than 10% grey.
region_lit() {
    convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -threshold 10% \
        -format '%[fx:mean]' info:
}

# Rows of a screenshot, 0 at the top: prints the mean row of lit pixels and the first and last
# row more than half lit (the fluid's band), each as a fraction of the height.
rows() {
    local height
    height=$(identify -format '%h' "$1")
    convert "$1" -colorspace Gray -threshold 10% -scale "1x$height!" -depth 8 txt:- |
        awk -F'[,:( ]+' -v n="$height" '
            NR > 1 { v = $4 / 255; sum += v; mean += v * $2
                     if (v > 0.5) { if (first == "") first = $2; last = $2 } }
            END { if (sum == 0) { print "1 1 1"; exit }
                  if (first == "") first = last = n - 1
                  printf "%.4f %.4f %.4f\n", mean / sum / n, first / n, last / n }'
}

# Pixel counts of a screenshot in any format ImageMagick reads (see ppm_stats.py); $2 is the
# top fraction. Prints key=value lines.
picture_stats() {
    convert "$1" "$work/stats.ppm" && python3 "$src_dir/tests/x11/ppm_stats.py" "$work/stats.ppm" "${2:-0.25}"
}

# Value of one key of picture_stats' output ($1) for key $2.
stat_of() { sed -n "s/^$2=//p" <<<"$1"; }
