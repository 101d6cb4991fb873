# Where the programs' outputs may go. Each row names a destination, the run, the exit status and
# message wanted, and what must be left on disk: nothing a refused or failed output points at may
# be changed, replaced or removed, and no temporary file may stay behind.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

install_program
sim="$bin_dir/tarnwell-sim"
d="$work/d"
mkdir -p "$d"
cat >"$d/s.ini" <<'INI'
[graph]
window_size=200
[phys]
count=500
INI
cp "$d/s.ini" "$d/s.ini.orig"
echo "old picture" >"$d/old.png"
mkdir "$d/folder" "$d/folder.gif"
mkfifo "$d/fifo"
ln -s nowhere.png "$d/dangling.png"
ln -s s.ini "$d/settings-link.ini"
root=0; [ "$(id -u)" = 0 ] && root=1
# A device node of our own (the one of /dev/full), so that a wrong delete costs nothing.
[ $root = 1 ] && mknod "$d/device" c 1 7

# row NAME STATUS MESSAGE-REGEX PROGRAM ARGS...: runs in $d, checks the status and stderr.
row() {
    local name=$1 want=$2 message=$3
    shift 3
    (cd "$d" && exec timeout 60 "$@" >"$work/out.txt" 2>"$work/err.txt" </dev/null)
    local got=$?
    [ "$got" = "$want" ] || fail "$name: exit status $got, want $want"
    grep -qE -- "$message" "$work/err.txt" || fail "$name: no /$message/ on stderr"
    grep -q 'Vendor:' "$work/out.txt" && [ "$want" != 0 ] && [[ $name != "full disk"* ]] &&
        fail "$name: refused only after the window opened"
    echo "ok: $name -> $got: $(head -1 "$work/err.txt")"
}
app="$work/app/tarnwell"
row "screenshot on a folder" 1 "cannot write the screenshot 'folder': it is a folder, not a regular file" \
    "$app" --config s.ini --seed 1 --frames 3 --screenshot folder
row "recording on a folder" 1 "cannot write the recording 'folder.gif': it is a folder, not a regular file" \
    "$app" --config s.ini --seed 1 --frames 3 --record folder.gif
row "recording that is no GIF" 2 "--record writes an animated GIF: give a path ending in .gif, got 'movie.mp4'" \
    "$app" --config s.ini --seed 1 --frames 3 --record movie.mp4
row "recording over the screenshot" 2 "--screenshot 'same.gif' and --record 'same.gif' are the same file" \
    "$app" --config s.ini --seed 1 --frames 3 --screenshot same.gif --record same.gif
row "dump on a FIFO" 1 "cannot write the dump 'fifo': it is a FIFO \(named pipe\)" \
    "$app" --config s.ini --seed 1 --frames 3 --dump fifo
row "sim dump on a FIFO" 1 "cannot write the dump 'fifo': it is a FIFO" \
    "$sim" --config s.ini --seed 1 --steps 3 --dump fifo
row "screenshot through a dangling link" 1 "a symbolic link to 'nowhere.png', which does not exist" \
    "$app" --config s.ini --seed 1 --frames 3 --screenshot dangling.png
row "dump over the settings file" 2 "the settings file 's.ini' and --dump 's.ini' are the same file" \
    "$app" --config s.ini --seed 1 --frames 3 --dump s.ini
row "screenshot over the settings file, through a link" 2 "and --screenshot 'settings-link.ini' are the same file" \
    "$app" --config s.ini --seed 1 --frames 3 --screenshot settings-link.ini
row "sim dump over the settings file" 2 "the settings file '\./s.ini' and --dump 's.ini' are the same file" \
    "$sim" --config ./s.ini --seed 1 --steps 3 --dump s.ini
row "screenshot and dump on one new file" 2 "--dump 'new.out' and --screenshot '\./new.out' are the same file" \
    "$app" --config s.ini --seed 1 --frames 3 --dump new.out --screenshot ./new.out
[ -e "$d/new.out" ] && fail "a refused run created new.out"
if [ $root = 1 ]; then
    row "screenshot on a device node" 1 "cannot write the screenshot 'device': it is a device" \
        "$app" --config s.ini --seed 1 --frames 3 --screenshot device
    [ -c "$d/device" ] || fail "the device node is gone or changed"
else
    echo "skipped: device node (mknod needs root)"
fi
[ -d "$d/folder" ] && [ -p "$d/fifo" ] && [ -L "$d/dangling.png" ] && [ ! -e "$d/nowhere.png" ] ||
    fail "a refused destination was changed: $(ls -l "$d")"
cmp -s "$d/s.ini" "$d/s.ini.orig" || fail "the settings file was changed"

# A file its user may not write, in the user's own folder (the rename the folder allows would
# replace it anyway, and hand it to the user): only a user other than root is refused.
if [ $root = 1 ] && command -v setpriv >/dev/null; then
    mkdir "$work/nobody"
    cp "$d/s.ini" "$work/nobody/s.ini"
    echo "read only" >"$work/nobody/ro.txt"
    chmod 0444 "$work/nobody/ro.txt"
    # A copy of the tool where that user can reach it (the build may sit in root's home).
    cp "$sim" "$work/nobody/tarnwell-sim"
    chmod 0755 "$work"
    chown -R nobody "$work/nobody"
    (cd "$work/nobody" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        ./tarnwell-sim --config s.ini --seed 1 --steps 3 --dump ro.txt >/dev/null 2>"$work/err.txt")
    got=$?
    [ "$got" = 1 ] || fail "read-only file: exit status $got, want 1"
    grep -q "cannot write the dump 'ro.txt': the file may not be written (Permission denied)" \
        "$work/err.txt" || fail "read-only file: $(cat "$work/err.txt")"
    [ "$(cat "$work/nobody/ro.txt")" = "read only" ] || fail "the read-only file was replaced"
    echo "ok: read-only file as nobody -> 1"
else
    echo "skipped: read-only file (needs root to become another user)"
fi

# A full disk: the old picture and the old dump stay whole, the reason is named, nothing is left
# behind. (A 1 MiB file system of our own, filled up.)
if [ $root = 1 ] && mkdir "$work/full" && mount -t tmpfs -o size=1m tmpfs "$work/full" 2>/dev/null; then
    trap 'umount "$work/full" 2>/dev/null; cleanup' EXIT
    cp "$d/s.ini" "$work/full/s.ini"
    echo "old picture" >"$work/full/old.png"
    echo "old dump" >"$work/full/old.txt"
    echo "old recording" >"$work/full/old.gif"
    dd if=/dev/zero of="$work/full/filler" bs=4k 2>/dev/null
    d="$work/full"
    row "full disk" 1 "cannot write the screenshot 'old.png': No space left on device" \
        "$app" --config s.ini --seed 1 --frames 3 --screenshot old.png
    row "full disk, recording" 1 "cannot write the recording 'old.gif': No space left on device" \
        "$app" --config s.ini --seed 1 --frames 3 --record old.gif
    row "full disk, sim dump" 1 "cannot write the dump 'old.txt': No space left on device" \
        "$sim" --config s.ini --seed 1 --steps 3 --dump old.txt
    [ "$(cat "$work/full/old.png")" = "old picture" ] || fail "full disk: the old picture was lost"
    [ "$(cat "$work/full/old.txt")" = "old dump" ] || fail "full disk: the old dump was lost"
    [ "$(cat "$work/full/old.gif")" = "old recording" ] || fail "full disk: the old recording was lost"
    [ "$(ls "$work/full" | wc -l)" = 5 ] || fail "full disk: files left behind: $(ls "$work/full")"
    umount "$work/full"
else
    echo "skipped: full disk (mounting a small file system needs root)"
fi
echo "PASS"
