#!/usr/bin/env bash
# The settings file is read once: special files are refused at once (never waited on), a named
# file that cannot be read is status 1 with the reason, an unreadable default file is named and
# the defaults run, a byte-order mark hides nothing, and the tool reads the config.ini of its
# real folder however it is started.
set -u
bin=$(cd "$1" && pwd)
sim="$bin/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
particles() { sed -n 's/.*seed [0-9]*, \([0-9]*\) particles.*/\1/p' "$1"; }

# Each answers within a second: a FIFO with no writer, an endless device, a folder, nothing.
mkfifo "$tmp/fifo"
for f in "$tmp/fifo" /dev/zero "$tmp" "$tmp/absent.ini"; do
    timeout 1 "$sim" --config "$f" --seed 1 --steps 1 >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 1 ] || fail "--config $f gave status $rc, want 1 (124: it hung)"
    grep -qF "cannot read the settings file '$f'" "$tmp/err" || fail "--config $f: $(cat "$tmp/err")"
done

# A byte-order mark before the first section hides nothing.
printf '\xEF\xBB\xBF[phys]\r\ncount=500\r\n' >"$tmp/bom.ini"
"$sim" --config "$tmp/bom.ini" --seed 1 --steps 1 >"$tmp/out" 2>&1
[ "$(particles "$tmp/out")" = 500 ] || fail "byte-order mark: $(cat "$tmp/out")"

# More than 1 MiB is refused, not read.
{ printf '[phys]\ncount=500\n'; head -c 1100000 /dev/zero | tr '\0' ';'; } >"$tmp/big.ini"
"$sim" --config "$tmp/big.ini" --seed 1 --steps 1 >/dev/null 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] && grep -q 'too large' "$tmp/err" || fail "1.1 MB file: status $rc, $(cat "$tmp/err")"

# The tool's own folder, reached by a bare name through PATH and through a link elsewhere.
mkdir -p "$tmp/real" "$tmp/links" "$tmp/cwd"
cp "$sim" "$tmp/real/"
printf '[phys]\ncount=321\n' >"$tmp/real/config.ini"
printf '[phys]\ncount=999\n' >"$tmp/cwd/config.ini"
printf '[phys]\ncount=888\n' >"$tmp/links/config.ini"
ln -s "$tmp/real/tarnwell-sim" "$tmp/links/tarnwell-sim"
(cd "$tmp/cwd" && PATH="$tmp/real:$PATH" tarnwell-sim --seed 1 --steps 1) >"$tmp/out" 2>&1
[ "$(particles "$tmp/out")" = 321 ] || fail "started through PATH: $(cat "$tmp/out")"
(cd "$tmp/cwd" && "$tmp/links/tarnwell-sim" --seed 1 --steps 1) >"$tmp/out" 2>&1
[ "$(particles "$tmp/out")" = 321 ] || fail "started through a link: $(cat "$tmp/out")"

# The default file unreadable (permissions only bind a user other than root): named with the
# reason, and the defaults run.
runner=()
can_test=1
if [ "$(id -u)" -eq 0 ]; then
    if command -v setpriv >/dev/null &&
        setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null; then
        runner=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    else
        can_test=0
        echo "SKIP unreadable file: running as root without setpriv to become another user"
    fi
fi
if [ "$can_test" -eq 1 ]; then
    chmod 755 "$tmp" "$tmp/real"
    chmod 000 "$tmp/real/config.ini"
    (cd / && timeout 5 "${runner[@]}" "$tmp/real/tarnwell-sim" --seed 1 --steps 1) >"$tmp/out" 2>"$tmp/err"; rc=$?
    [ "$rc" -eq 0 ] || fail "unreadable default file gave status $rc: $(cat "$tmp/err")"
    grep -q "cannot read the settings file '$tmp/real/config.ini': Permission denied" "$tmp/err" ||
        fail "unreadable default file not named: $(cat "$tmp/err")"
    [ "$(particles "$tmp/out")" = 10000 ] || fail "unreadable default file: defaults not used"
    (cd / && timeout 5 "${runner[@]}" "$sim" --config "$tmp/real/config.ini" --steps 1) >/dev/null 2>&1; rc=$?
    [ "$rc" -eq 1 ] || fail "unreadable named file gave status $rc, want 1"
fi
exit $failed
