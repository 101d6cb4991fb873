#version 120
// A soft drop: opaque in the middle, fading to nothing at the rim, lit from the upper left
// with a small highlight and a darker lower-right edge so overlapping drops read as a volume.

void main()
{
    // -1..1 across the sprite; gl_PointCoord runs downwards, so flip y to point up.
    vec2 p = vec2(gl_PointCoord.x * 2.0 - 1.0, 1.0 - gl_PointCoord.y * 2.0);
    float d2 = dot(p, p);
    if (d2 >= 1.0)
        discard;

    float alpha = (1.0 - d2) * (1.0 - d2) * 0.85 + 0.15 * (1.0 - d2);
    float shade = 0.78 + 0.22 * dot(normalize(vec3(p, sqrt(1.0 - d2))), normalize(vec3(-0.5, 0.6, 0.62)));
    vec2 h = p - vec2(-0.32, 0.36);
    float highlight = 0.55 * exp(-dot(h, h) * 14.0);

    vec3 colour = gl_Color.rgb * shade + vec3(highlight);
    gl_FragColor = vec4(min(colour, vec3(1.0)), alpha);
}
