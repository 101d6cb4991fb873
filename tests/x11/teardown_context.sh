# The GL objects are released inside the main loop, while the window's context is current,
# and the simulation after the loop; a close still ends the program cleanly. Watched from gdb,
# which notes the current context and the call stack of each release.
source "$(dirname "$0")/x11_common.bash"

install_program
cat >"$work/app/config.ini" <<'INI'
[graph]
window_size=200
render_type=2
[phys]
count=500
geom_count=0
INI
# The current context is asked of the program itself, a call gdb makes in it. gdb 13 cannot
# make such calls on a processor with AMX state ("Couldn't write extended state status"); there
# the releases are still watched for where they run, without the context.
calls=yes
gdb -batch -ex 'break main' -ex 'run --version >/dev/null' -ex 'print ((int (*)(void)) getpid)()' \
    "$work/app/tarnwell" >"$work/probe.txt" 2>&1
grep -q '^\$1 = [0-9]' "$work/probe.txt" || calls=no
if [ "$calls" = yes ]; then
    ask='printf "release with context %lu\n", (unsigned long) ((void* (*)(void)) glXGetCurrentContext)()'
else
    echo "note: gdb cannot call functions in the program here; the context is not checked"
    ask='printf "release with context unknown\n"'
fi
# The program's own output goes to a file of its own, so that it cannot split gdb's lines.
cat >"$work/watch.gdb" <<GDB
set pagination off
set confirm off
break release_shader_program
commands
  silent
  $ask
  backtrace
  continue
end
break sim_free
commands
  silent
  printf "sim_free\\n"
  backtrace
  continue
end
run >"$work/program.txt"
GDB
mkdir -p "$work/elsewhere"
(cd "$work/elsewhere" &&
    exec gdb -batch -x "$work/watch.gdb" "$work/app/tarnwell" >"$work/out.txt" 2>"$work/err.txt") &
app_pid=$!
window=$(wait_for_window 60) || exit 1
wait_for_title "$window" 'FPS: [1-9]' 60 >/dev/null || exit 1
close_window "$window"
wait_for_exit 60
[ "$exit_status" = 0 ] || fail "gdb exit status $exit_status"
out="$work/out.txt"
grep -q 'exited normally' "$out" || fail "the program did not end normally"

# Each stop: its first line, then the frames up to the next stop or the end.
awk '/^release with context|^sim_free$/ { stop = $0; n++ } /^#/ && n { print n "\t" stop "\t" $0 }' \
    "$out" >"$work/frames.txt"
releases=$(grep -c '^release with context' "$out")
[ "$releases" -ge 1 ] || fail "release_shader_program never ran"
grep -q '^release with context 0$' "$out" && fail "GL objects released with no current context"
for i in $(awk -F'\t' '$2 ~ /^release/ { print $1 }' "$work/frames.txt" | sort -u); do
    awk -F'\t' -v i="$i" '$1 == i' "$work/frames.txt" | grep -q 'glutMainLoop' ||
        fail "a release ran outside the main loop"
done
last=$(awk -F'\t' '{ print $1 }' "$work/frames.txt" | tail -1)
awk -F'\t' -v i="$last" '$1 == i' "$work/frames.txt" | grep -q $'\tsim_free\t' ||
    fail "the simulation was not the last thing torn down"
awk -F'\t' -v i="$last" '$1 == i' "$work/frames.txt" | grep -q 'glutMainLoop' &&
    fail "the simulation was torn down inside the main loop"
echo "PASS: $releases release(s) with a current context inside the loop, simulation after it"
