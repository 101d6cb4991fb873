# ./run.sh on a copy of the sources with no build folder, as on a fresh clone: it builds the
# window program and the files beside it and nothing else (no tests, no benchmark, no
# tarnwell-sim), says one line a step, and without a display leaves its screenshot. A build that
# fails shows the compiler's message from the log and the status is not 0.
#   $1: build folder (unused: the copy builds its own)   $2: source folder
set -u
src_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/terminal.txt" ] && cat "$work/terminal.txt" >&2; exit 1; }

clone="$work/tarnwell"
mkdir -p "$clone"
tar -C "$src_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$clone" -xf - ||
    fail "could not copy the sources"

# No display: the screenshot run, never a window someone must close.
(cd "$clone" && env -u DISPLAY ./run.sh --seed 3) >"$work/terminal.txt" 2>&1 ||
    fail "./run.sh: status $?"
release="$clone/build/release"
[ -x "$release/tarnwell" ] || fail "no tarnwell built"
for f in config.ini vs.glsl fs.glsl scenes/dam_break.ini; do
    [ -f "$release/$f" ] || fail "$f is not beside the program"
done
for t in tarnwell-sim tarnwell-bench tests/tarnwell_tests; do
    [ ! -e "$release/$t" ] || fail "./run.sh built $t, which it does not run"
done
[ -s "$clone/build/screenshot.png" ] || fail "no screenshot"
lines=$(wc -l <"$work/terminal.txt")
[ "$lines" -le 10 ] || fail "$lines lines on the terminal, want one a step"
for step in "installing packages" configuring building starting; do
    grep -q "^$step" "$work/terminal.txt" || fail "no line for '$step'"
done
grep -q "run-build.log" "$work/terminal.txt" || fail "the log's path is not named"
echo "fresh copy: only the program built, $lines lines on the terminal:"
cat "$work/terminal.txt"

# A source that does not compile: the compiler's words on the terminal, a status that says so.
echo 'this does not compile' >>"$clone/app/main/tarnwell.cpp"
status=0
(cd "$clone" && env -u DISPLAY ./run.sh) >"$work/terminal.txt" 2>&1 || status=$?
[ "$status" != 0 ] || fail "./run.sh succeeded with a broken source"
grep -q "building.*failed" "$work/terminal.txt" || fail "no failed building step"
grep -q "tarnwell.cpp.*error" "$work/terminal.txt" || fail "the compiler's error is not shown"
lines=$(wc -l <"$work/terminal.txt")
[ "$lines" -le 45 ] || fail "$lines lines on the terminal after a failure, want the log's last 30"
echo "broken source: status $status, the error shown in $lines lines"
echo PASS
