#version 120
// A soft drop: dense in the middle, fading to nothing at the rim, lit from the upper left with
// a darker lower-right side and a small highlight, so overlapping drops read as a volume.
// The highlight mixes the colour at most 40 % towards white: coloured drops never turn white,
// which keeps them apart from the white body outlines.

void main()
{
    // -1..1 across the sprite; gl_PointCoord runs downwards, so flip y to point up.
    vec2 p = vec2(gl_PointCoord.x * 2.0 - 1.0, 1.0 - gl_PointCoord.y * 2.0);
    float d2 = dot(p, p);
    if (d2 >= 1.0)
        discard;

    float rim = 1.0 - d2;
    float alpha = rim * rim * 0.85 + rim * 0.15;
    vec3 normal = vec3(p, sqrt(rim));
    float shade = 0.75 + 0.25 * dot(normal, normalize(vec3(-0.5, 0.6, 0.62)));
    vec2 h = p - vec2(-0.32, 0.36);
    float highlight = 0.4 * exp(-dot(h, h) * 12.0);

    gl_FragColor = vec4(mix(gl_Color.rgb * shade, vec3(1.0), highlight), alpha);
}
