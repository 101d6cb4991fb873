# One screenshot of the default scene per render mode after a few seconds, checked by what
# must be on it. Set TARNWELL_SHOTS=<folder> to keep the screenshots there as PNG.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

declare -A lit white coloured white_top blob
install_program
for mode in 0 1 2; do
    printf '[graph]\nrender_type=%d\n' "$mode" >"$work/app/config.ini"
    start_program
    window=$(wait_for_window 15)
    wait_for_title "$window" 'FPS: [1-9]' 30 >/dev/null
    sleep 4
    kill -0 "$app_pid" 2>/dev/null || fail "mode $mode: program ended"
    shot="$work/mode$mode.ppm"
    import -window "$window" "$shot" || fail "mode $mode: screenshot"
    close_window "$window"
    wait_for_exit 15
    # Closing lets the output reach the file; the extension list may name "error" itself.
    grep -qx 'OpenGL Info:' "$work/out.txt" || fail "mode $mode: no OpenGL information printed"
    if grep -v '^GL_' "$work/out.txt" | grep -qi 'error'; then fail "mode $mode printed errors"; fi
    while IFS='=' read -r key value; do
        case $key in
            lit) lit[$mode]=$value ;;
            white) white[$mode]=$value ;;
            coloured) coloured[$mode]=$value ;;
            white_top) white_top[$mode]=$value ;;
            median_blob) blob[$mode]=$value ;;
        esac
    done < <(python3 "$src_dir/tests/x11/ppm_stats.py" "$shot" 0.25)
    echo "mode $mode: lit=${lit[$mode]} white=${white[$mode]} coloured=${coloured[$mode]} white_top=${white_top[$mode]} median_blob=${blob[$mode]}"
    if [[ -n "${TARNWELL_SHOTS:-}" ]]; then
        mkdir -p "$TARNWELL_SHOTS"
        convert "$shot" "$TARNWELL_SHOTS/mode$mode.png"
    fi
done

# Mode 0: coloured points (a lone one a few pixels in size), and the two body outlines, the only
# white on the picture.
[[ ${coloured[0]} -ge 20000 ]] || fail "mode 0: too few coloured particle pixels"
[[ ${blob[0]} -le 20 ]] || fail "mode 0: particles are not drawn as small points"
[[ ${white[0]} -ge 40 ]] || fail "mode 0: no white body outlines"

# Mode 1: white iso-lines around the fluid, nothing in the empty top quarter, no colours and
# no bodies.
[[ ${white[1]} -ge 400 ]] || fail "mode 1: no fluid outline"
[[ ${white_top[1]} -eq 0 ]] || fail "mode 1: outline pixels in the empty upper part"
[[ ${coloured[1]} -le 50 ]] || fail "mode 1: coloured pixels although colours are off"

# Mode 2: coloured drops, a lone one some ten pixels across, so the shader program is in use
# (without it the particles would be plain one-pixel points), and the white body outlines on
# top (drops never turn white).
[[ ${coloured[2]} -ge 20000 ]] || fail "mode 2: too few coloured sprite pixels"
[[ ${blob[2]} -ge 50 ]] || fail "mode 2: particles are not drawn as drops"
[[ ${white[2]} -ge 40 ]] || fail "mode 2: no white body outlines"

echo "PASS"
