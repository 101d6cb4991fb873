#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

// The GL_ARB_shader_objects entry points the program calls, looked up at run time; an entry is
// null when the driver does not offer the name. Mode 2 needs every one of them.
struct ArbShaderApi {
    PFNGLDELETEOBJECTARBPROC glDeleteObjectARB;
    PFNGLCREATESHADEROBJECTARBPROC glCreateShaderObjectARB;
    PFNGLSHADERSOURCEARBPROC glShaderSourceARB;
    PFNGLCOMPILESHADERARBPROC glCompileShaderARB;
    PFNGLCREATEPROGRAMOBJECTARBPROC glCreateProgramObjectARB;
    PFNGLATTACHOBJECTARBPROC glAttachObjectARB;
    PFNGLLINKPROGRAMARBPROC glLinkProgramARB;
    PFNGLUSEPROGRAMOBJECTARBPROC glUseProgramObjectARB;
    PFNGLUNIFORM1FARBPROC glUniform1fARB;
    PFNGLGETOBJECTPARAMETERIVARBPROC glGetObjectParameterivARB;
    PFNGLGETINFOLOGARBPROC glGetInfoLogARB;
    PFNGLGETUNIFORMLOCATIONARBPROC glGetUniformLocationARB;
};

extern ArbShaderApi* arb_shader_api;
extern GLhandleARB shader_program;
extern float shader_scalar;
extern float shader_height;

ArbShaderApi* load_arb_shader_api();
// Compiles and links vs.glsl and fs.glsl from `program_folder` ('/' included, or empty).
void build_shader_program(const char* program_folder, float scalar, float height);
void print_info_log(GLhandleARB object);
void release_shader_program();
// Whether a shader program exists and linked, so that drawing through it shows sprites.
bool shader_program_linked();
// Mode 2, before draw_particles: point sprites, blending, program current, both uniforms.
void begin_shader_pass();
