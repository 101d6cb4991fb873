// Placeholder until the surface modes land; delete with that change.
#include "render/shader.h"
ArbShaderApi* arb_shader_api = nullptr;
GLhandleARB shader_program = 0;
float shader_scalar = 0.0f;
float shader_height = 0.0f;
ArbShaderApi* load_arb_shader_api() { return nullptr; }
void build_shader_program(float, float) {}
void print_info_log(GLhandleARB) {}
void release_shader_program() {}
void begin_shader_pass() {}
