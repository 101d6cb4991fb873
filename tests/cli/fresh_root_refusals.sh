#!/usr/bin/env bash
# The fresh-root check refuses, with a message saying what it needs, to run without root or
# without debootstrap, before it creates or mounts anything.
#   $1: build folder (unused)   $2: source folder
set -u
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
# A copy the ordinary user can read wherever the checkout lives (often a home only root enters).
script="$tmp/fresh_root_check.sh"
install -m 755 "$2/tools/fresh_root_check.sh" "$script"
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# The root would be made under TMPDIR: a folder of our own shows whether anything was.
mkdir "$tmp/roots" && chmod 777 "$tmp" "$tmp/roots"
export TMPDIR="$tmp/roots"

expect_refusal() {  # what message command...
    local what=$1 message=$2; shift 2
    "$@" >"$tmp/out" 2>&1 && { fail "$what: ran on"; return; }
    grep -qF "$message" "$tmp/out" || fail "$what: said \"$(head -c 200 "$tmp/out")\""
}

if [ "$(id -u)" -eq 0 ]; then
    expect_refusal "as an ordinary user" "must run as root" \
        setpriv --reuid=65534 --regid=65534 --clear-groups bash "$script"
    # Root, but a PATH that finds nothing besides id: no debootstrap.
    mkdir "$tmp/bin" && ln -s "$(command -v id)" "$tmp/bin/id"
    expect_refusal "without debootstrap" "needs debootstrap" \
        env PATH="$tmp/bin" "$BASH" "$script"
else
    expect_refusal "as an ordinary user" "must run as root" bash "$script"
fi

[ -z "$(ls -A "$tmp/roots")" ] || fail "a refused run left a root folder behind"
grep -F "$tmp/roots" /proc/mounts && fail "a refused run left mounts behind"
exit $failed
