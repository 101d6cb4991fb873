# Checks a tarnwell-sim dump: structure, every value finite, every particle and body centre
# within `slack` of the box [h, field_size] on both axes. Prints what is wrong, exits 1 if any.
# Variables: h, field_size (box), slack; body_slack (optional, default slack) widens the box for
# body centres, whose corners may touch the wall while the centre stays half a body away.
function num(s) { return s ~ /^[-+]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][-+]?[0-9]+)?$/ }
function bad(msg) { if (errors < 20) print "FAIL: line " NR ": " msg; errors++ }
function inside(x, s) { return x >= h - s && x <= field_size + s }
BEGIN { errors = 0; particles = 0; bodies = 0; if (body_slack == "") body_slack = slack }
NR == 1 {
    if ($0 !~ /^# tarnwell-sim state: step=[0-9]+ time=[^ ]+ scene=[^ ]+ count=[0-9]+ bodies=[0-9]+$/)
        bad("header: " $0)
    split($5, t, "="); if (!num(t[2])) bad("header's time is not a finite number: " t[2])
    split($7, c, "="); split($8, b, "="); want_p = c[2]; want_b = b[2]
    next
}
{ for (i = 2; i <= NF; i++) if (!num($i)) bad("not a finite number: " $i) }
$1 == "p" {
    if (NF != 13) bad("particle line with " NF " fields")
    if ($2 != particles) bad("particle index " $2 ", want " particles)
    if (!inside($3, slack) || !inside($4, slack)) bad("particle " $2 " outside the box: " $3 " " $4)
    particles++; next
}
$1 == "b" {
    if (NF != 8) bad("body line with " NF " fields")
    if (!inside($3, body_slack) || !inside($4, body_slack)) bad("body " $2 " centre outside the box: " $3 " " $4)
    bodies++; next
}
$1 == "s" || $1 == "v" { next }
{ bad("unknown line: " $0) }
END {
    if (particles != want_p) bad("header says " want_p " particles, found " particles)
    if (bodies != want_b) bad("header says " want_b " bodies, found " bodies)
    if (particles == 0) bad("no particles")
    exit errors > 0
}
