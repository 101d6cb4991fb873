# Every code block of README.md and docs/*.md marked runnable (the line `<!-- runnable -->`
# just above its fence) runs as written and succeeds, from a fresh folder in which build/release
# is this build, with a virtual X server for the ones that open a window. A marker that does not
# stand above a fenced block is a mistake in the document, and fails too.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

mkdir -p "$work/blocks" "$work/clone/build"
ln -s "$bin_dir" "$work/clone/build/release"

# Writes each runnable block of $1 to $work/blocks/<name>-<n>.sh; prints how many.
extract() {
    awk -v out="$work/blocks/$(basename "$1" .md)" '
        function bad(why) { print FILENAME ":" NR ": " why > "/dev/stderr"; failed = 1 }
        state == "marked" { if ($0 ~ /^```(sh|bash)?$/) { state = "in"; n++; next }
                            bad("<!-- runnable --> is not followed by a ```sh block"); state = "" }
        state == "in" { if ($0 ~ /^```$/) { state = ""; next }
                        print > (out "-" n ".sh"); next }
        $0 == "<!-- runnable -->" { state = "marked" }
        END { if (state == "in") bad("runnable block never closed"); print n + 0; exit failed }
    ' "$1"
}

total=0
for doc in "$src_dir/README.md" "$src_dir"/docs/*.md; do
    found=$(extract "$doc") || fail "$(basename "$doc"): a runnable marker out of place"
    total=$((total + found))
done
# The README's own: a picture from the command line and a settings file to start from.
[ -n "$(ls "$work"/blocks/README-*.sh 2>/dev/null)" ] || fail "no runnable block in README.md"

for block in "$work"/blocks/*.sh; do
    name=$(basename "$block" .sh)
    start=$SECONDS
    (cd "$work/clone" && timeout 300 bash -euo pipefail "$block") >"$work/$name.out" 2>&1 || {
        status=$?
        echo "--- $name:" >&2
        cat "$block" >&2
        echo "--- its output (last 30 lines):" >&2
        tail -n 30 "$work/$name.out" >&2
        fail "$name: status $status"
    }
    echo "$name: ran in $((SECONDS - start)) s: $(head -c 70 "$block" | head -1)"
done
echo "PASS: $total runnable blocks"
