# One screenshot of the default scene per render mode after 300 frames from a fixed seed,
# checked by what must be on it. Set TARNWELL_SHOTS=<folder> to keep the screenshots there as PNG.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

declare -A lit white coloured white_top blob
install_program
for mode in 0 1 2; do
    printf '[graph]\nrender_type=%d\n' "$mode" >"$work/app/config.ini"
    # A fixed scene and frame count: the same picture on every run, however fast the machine.
    shot="$work/mode$mode.png"
    run_program 120 --seed 20261207 --frames 300 --screenshot "$shot"
    [ "$exit_status" = 0 ] || fail "mode $mode: exit status $exit_status"
    [ -s "$shot" ] || fail "mode $mode: no screenshot"
    # The extension list may name "error" itself.
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
    done < <(picture_stats "$shot" 0.25)
    echo "mode $mode: lit=${lit[$mode]} white=${white[$mode]} coloured=${coloured[$mode]} white_top=${white_top[$mode]} median_blob=${blob[$mode]}"
    if [[ -n "${TARNWELL_SHOTS:-}" ]]; then
        mkdir -p "$TARNWELL_SHOTS"
        cp "$shot" "$TARNWELL_SHOTS/mode$mode.png"
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
