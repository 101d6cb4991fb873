#!/usr/bin/env bash
# Tries the README's two commands as a new user would: bootstraps a minimal Debian 12 root from
# the Debian mirror this machine is configured with, installs only git in it, clones this
# repository's committed HEAD and runs ./run.sh (which must build the window program and nothing
# else), then ./test.sh, inside it, then builds the Debian package, installs it with apt-get and
# starts the installed program from PATH. Fails when any of these fails or when a screenshot is
# not the whole 740 x 740 window.
#
#   sudo tools/fresh_root_check.sh
#
# TARNWELL_ROOT_CACHE (default /var/cache/tarnwell-root) keeps, outside the repository, the
# freshly bootstrapped root as a tarball and the packages apt downloads in it. A run that finds
# no cache (a clean machine) makes it; every later run still starts from the untouched minimal
# root and installs every package itself; only the bootstrap and the downloads are spared.
# The root itself lives in a fresh folder under TMPDIR (or /var/tmp) and is removed afterwards;
# everything mounted in it is unmounted, also when a step fails or the script is interrupted.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || {
    echo "fresh_root_check.sh must run as root: debootstrap, mount and chroot need it" >&2
    exit 1
}
command -v debootstrap >/dev/null || {
    echo "fresh_root_check.sh needs debootstrap (Debian: apt-get install debootstrap)" >&2
    exit 1
}

src=$(cd "$(dirname "$0")/.." && pwd)
suite=bookworm
cache=${TARNWELL_ROOT_CACHE:-/var/cache/tarnwell-root}

# The first Debian mirror apt uses here, from either source list format.
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
         grep -v -e security -e '^$' | head -n 1 || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 !~ /security/ { print $2; exit }' \
                                 /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true)
mirror=${mirror:-http://deb.debian.org/debian}

root=$(mktemp -d "${TMPDIR:-/var/tmp}/tarnwell-root.XXXXXX")
chmod 755 "$root"  # a root's / is world-readable; apt downloads as its own user
mounted=()

mounts_below() { awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/mounts; }

cleanup() {
    local status=$? m p
    # Whatever still runs inside the root (an interrupted test run, its X server) holds mounts.
    for p in /proc/[0-9]*; do
        if [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ]; then kill -KILL "${p#/proc/}" 2>/dev/null || true; fi
    done
    # Innermost first; a lazy unmount for anything a stray process still holds.
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
    done
    for m in $(mounts_below | sort -r); do umount -l "$m" 2>/dev/null || true; done
    if [ -n "$(mounts_below)" ]; then
        # Removing the folder now would reach through a bind mount into the machine's /dev.
        echo "still mounted below $root, left in place:" >&2
        mounts_below >&2
        exit 1
    fi
    rm -rf "$root"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

bind() {  # source target [options]
    mkdir -p "$root$2"
    mount "${@:3}" "$1" "$root$2"
    mounted+=("$root$2")
}

stage_start=$SECONDS
stage() {
    printf '[fresh root] %-44s %4d s\n' "$1" $((SECONDS - stage_start))
    stage_start=$SECONDS
}

# The bootstrapped root is kept as a tarball: unpacking it takes seconds, bootstrapping more
# than a minute. Without one (a clean machine) the root is bootstrapped and the tarball made.
mkdir -p "$cache/archives"
tarball="$cache/minbase-$suite.tar"
if [ -s "$tarball" ]; then
    tar -C "$root" -xf "$tarball"
    stage "unpacked minimal Debian 12 ($tarball)"
else
    debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.log" 2>&1 ||
        { tail -n 20 "$root.log"; rm -f "$root.log"; exit 1; }
    rm -f "$root.log"
    tar -C "$root" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
    stage "bootstrapped minimal Debian 12 from $mirror"
fi

bind proc /proc -t proc
bind sysfs /sys -t sysfs
bind /dev /dev --bind
bind /dev/pts /dev/pts --bind
bind /dev/shm /dev/shm --bind
bind "$cache/archives" /var/cache/apt/archives --bind
cp /etc/resolv.conf "$root/etc/resolv.conf"
git -C "$src" bundle create "$root/root/tarnwell.bundle" HEAD 2>/dev/null

# In the background, so that a signal reaches the cleanup at once rather than after the command.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        TERM=dumb DEBIAN_FRONTEND=noninteractive bash -c "$1" &
    wait $!
}

in_root 'apt-get update -q && apt-get install -y -q --no-install-recommends git' >"$root/root/git.log" 2>&1 ||
    { cat "$root/root/git.log"; exit 1; }
in_root 'git -c advice.detachedHead=false clone -q /root/tarnwell.bundle /root/tarnwell'
stage "installed git, cloned the repository"

# ./run.sh first, as a new player would: on the fresh clone it must build only the program.
in_root 'cd /root/tarnwell && ./run.sh' >"$root/root/run.log" 2>&1 || {
    cat "$root/root/run.log"
    echo "FAIL: ./run.sh in a fresh root" >&2
    exit 1
}
size=$(in_root 'identify -format "%wx%h" /root/tarnwell/build/screenshot.png')
stage "./run.sh (screenshot $size)"
[ "$size" = 740x740 ] || { echo "FAIL: run.sh's screenshot is $size, not the whole 740x740 window" >&2; exit 1; }
# A player's first command builds what it runs and nothing more.
built=$(in_root 'cd /root/tarnwell/build/release && ls -d tarnwell-sim tarnwell-bench tests/tarnwell_tests 2>/dev/null' || true)
[ -z "$built" ] || { echo "FAIL: ./run.sh on a fresh clone built $built" >&2; exit 1; }

# What this check adds is the installing; the long soak runs already ran in CI's own ./test.sh.
in_root 'cd /root/tarnwell && TARNWELL_SOAK_STEPS=2000 ./test.sh' >"$root/root/test.log" 2>&1 || {
    tail -n 60 "$root/root/test.log"
    echo "FAIL: ./test.sh in a fresh root" >&2
    exit 1
}
grep -E 'tests passed|tests failed' "$root/root/test.log" || true
stage "./test.sh"

# The package as a user installs it: apt works out what it needs; the program then runs from
# PATH, away from the source and build folders.
in_root 'cd /root/tarnwell/build/release && cpack -G DEB -B /root/package &&
         apt-get install -y -q /root/package/tarnwell_*.deb &&
         cd / && tarnwell-sim --scene dam_break --steps 10 &&
         xvfb-run -a tarnwell --frames 30 --screenshot /root/package.png' >"$root/root/package.log" 2>&1 || {
    tail -n 40 "$root/root/package.log"
    echo "FAIL: the package in a fresh root" >&2
    exit 1
}
size=$(in_root 'identify -format "%wx%h" /root/package.png')
stage "installed the package, ran tarnwell (screenshot $size)"
[ "$size" = 740x740 ] || { echo "FAIL: the installed program's screenshot is $size" >&2; exit 1; }
echo "fresh root: both commands work, and so does the package"
