#version 120
// Particles as round drops. Sprite diameter in pixels follows the point size setting and the
// window height, so the drops keep their share of the picture at any window size: a 740-pixel
// window and point size 3 give 12-pixel drops, enough for neighbours to overlap into one body.

uniform float scalar;  // point size setting, pixels at the reference height
uniform float height;  // window height in pixels at start-up

void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;  // the particle's colour, or white when colours are off
    gl_PointSize = max(2.0, scalar * height / 185.0);
}
