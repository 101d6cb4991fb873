#include "render/shader.h"

void begin_shader_pass() {
    if (shader_program == 0 || arb_shader_api == nullptr) return;
    const ArbShaderApi& gl = *arb_shader_api;
    // Sprites sized by the vertex shader, with texture coordinates running 0..1 across each one
    // so the fragment shader can shape a round drop; blending lets the soft edges overlap.
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE_ARB);
    glEnable(GL_POINT_SPRITE_ARB);
    glTexEnvi(GL_POINT_SPRITE_ARB, GL_COORD_REPLACE_ARB, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glUseProgramObjectARB(shader_program);
    gl.glUniform1fARB(gl.glGetUniformLocationARB(shader_program, "scalar"), shader_scalar);
    gl.glUniform1fARB(gl.glGetUniformLocationARB(shader_program, "height"), shader_height);
}
