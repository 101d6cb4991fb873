# The seeded scenes every same-bits comparison runs (sourced): stirring both ways, density
# colours, ten bodies (contacts between bodies), the outline lattice, and the largest count
# accepted for a few steps; three built-in scenes: the moving wall and a fixed obstacle, the drain
# and the jet, bodies weighed by their density; and water (solver 1) with floating bodies and
# among obstacles (the kept boundary, particles pushed out of an obstacle). The
# flow is chaotic, so one differently rounded operation anywhere grows into visibly different
# dumps within these step counts.

# Writes the settings file of every scene (NAME.ini) into folder $1.
write_scene_settings() {
    printf '' >"$1/defaults.ini"
    printf '[graph]\npoint_colors=2\n' >"$1/density.ini"
    printf '[phys]\ngeom_count=10\n' >"$1/bodies10.ini"
    printf '[graph]\nrender_type=1\n' >"$1/mode1.ini"
    printf '[phys]\ncount=65536\n' >"$1/big.ini"
}

# One line per scene: name, settings file (without .ini), seed, steps, further arguments.
seeded_scenes() {
    cat <<'SCENES'
defaults_stir defaults 7 600 --stir 0.3,0.2,1
defaults_push defaults 8 400 --stir 0.5,0.3,-1
density density 9 500
bodies10 bodies10 10 800
mode1 mode1 11 400 --surface
big big 12 5
wave defaults 13 500 --scene wave_machine
fountain defaults 14 400 --scene fountain
floating defaults 15 400 --scene floating
water defaults 16 150 --scene floating --solver 1
water_obstacles defaults 17 300 --scene obstacles --solver 1
SCENES
}
