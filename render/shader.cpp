#include "render/shader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/printable_text.h"
#include "io/small_file.h"
#include "platform/gl_proc.h"

ArbShaderApi* arb_shader_api = nullptr;
GLhandleARB shader_program = 0;
float shader_scalar = 0.0f;
float shader_height = 0.0f;

namespace {

constexpr int info_log_size = 2048;

// Without any one of them the program could neither be built nor switched off again.
bool has_every_entry(const ArbShaderApi& api) {
    return api.glDeleteObjectARB && api.glCreateShaderObjectARB && api.glShaderSourceARB &&
           api.glCompileShaderARB && api.glCreateProgramObjectARB && api.glAttachObjectARB &&
           api.glLinkProgramARB && api.glUseProgramObjectARB && api.glUniform1fARB &&
           api.glGetObjectParameterivARB && api.glGetInfoLogARB && api.glGetUniformLocationARB;
}

// The whole file as zero-terminated text with bare line feeds, or an empty text when the
// file cannot be used (named on stderr with the reason): compiling that fails with the
// driver's log, and rendering goes on.
char* read_shader_text(const std::string& path) {
    std::string text;
    const SmallFileRead read = read_small_file(path.c_str(), &text);
    if (read.status != SmallFileRead::ok)
        std::fprintf(stderr,
                     "cannot read the shader file '%s': %s; it is compiled as an empty text\n",
                     printable_text(path.c_str()).c_str(), small_file_reason(read).c_str());
    strip_cr_before_lf(&text);
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy != nullptr ? copy : static_cast<char*>(std::calloc(1, 1));
}

// Compiles one shader object and prints the driver's log when that fails.
void compile_and_report(GLhandleARB shader) {
    arb_shader_api->glCompileShaderARB(shader);
    GLint status = 0;
    arb_shader_api->glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 0) print_info_log(shader);
}

} // namespace

ArbShaderApi* load_arb_shader_api() {
    ArbShaderApi* api = new (std::nothrow) ArbShaderApi{};
    if (api == nullptr) return nullptr;
#define TARNWELL_LOOKUP(name)                                                                      \
    api->name = reinterpret_cast<decltype(api->name)>(gl_get_proc_address(#name))
    TARNWELL_LOOKUP(glDeleteObjectARB);
    TARNWELL_LOOKUP(glCreateShaderObjectARB);
    TARNWELL_LOOKUP(glShaderSourceARB);
    TARNWELL_LOOKUP(glCompileShaderARB);
    TARNWELL_LOOKUP(glCreateProgramObjectARB);
    TARNWELL_LOOKUP(glAttachObjectARB);
    TARNWELL_LOOKUP(glLinkProgramARB);
    TARNWELL_LOOKUP(glUseProgramObjectARB);
    TARNWELL_LOOKUP(glUniform1fARB);
    TARNWELL_LOOKUP(glGetObjectParameterivARB);
    TARNWELL_LOOKUP(glGetInfoLogARB);
    TARNWELL_LOOKUP(glGetUniformLocationARB);
#undef TARNWELL_LOOKUP
    // GLX hands out a dispatch stub for any "gl..." name, offered or not, so a non-null address
    // proves nothing. Every name belongs to GL_ARB_shader_objects: when the context does not
    // list that extension, none of them is offered and every entry is empty.
    if (!gl_extension_offered("GL_ARB_shader_objects")) *api = ArbShaderApi{};
    return api;
}

void build_shader_program(const char* program_folder, float scalar, float height) {
    const std::string vs_path = std::string(program_folder) + "vs.glsl";
    const std::string fs_path = std::string(program_folder) + "fs.glsl";

    arb_shader_api = load_arb_shader_api();
    if (arb_shader_api == nullptr) return;
    if (!has_every_entry(*arb_shader_api)) {
        // Plain points instead.
        delete arb_shader_api;
        arb_shader_api = nullptr;
        return;
    }
    const ArbShaderApi& gl = *arb_shader_api;

    char* vs_text = read_shader_text(vs_path);
    char* fs_text = read_shader_text(fs_path);

    GLhandleARB vs = gl.glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    GLhandleARB fs = gl.glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    // A text that could not be held at all (no memory even for the empty one) is sent as "".
    const GLcharARB* vs_source = vs_text != nullptr ? vs_text : "";
    const GLcharARB* fs_source = fs_text != nullptr ? fs_text : "";
    gl.glShaderSourceARB(vs, 1, &vs_source, nullptr);
    gl.glShaderSourceARB(fs, 1, &fs_source, nullptr);
    compile_and_report(vs);
    compile_and_report(fs);

    shader_program = gl.glCreateProgramObjectARB();
    gl.glAttachObjectARB(shader_program, vs);
    gl.glAttachObjectARB(shader_program, fs);
    gl.glLinkProgramARB(shader_program);
    GLint linked = 0;
    gl.glGetObjectParameterivARB(shader_program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (linked == 0) print_info_log(shader_program);

    // Attached objects live on inside the program; these only drop our references.
    gl.glDeleteObjectARB(vs);
    gl.glDeleteObjectARB(fs);
    std::free(vs_text);
    std::free(fs_text);

    shader_scalar = scalar;
    shader_height = height;
}

void print_info_log(GLhandleARB object) {
    if (arb_shader_api == nullptr || arb_shader_api->glGetInfoLogARB == nullptr) return;
    char log[info_log_size] = {};
    arb_shader_api->glGetInfoLogARB(object, info_log_size, nullptr, log);
    log[info_log_size - 1] = '\0';
    // Drivers end their logs with or without a line break; the next line must start on its own.
    const std::size_t length = std::strlen(log);
    std::printf("%s%s", log, length > 0 && log[length - 1] != '\n' ? "\n" : "");
    std::fflush(stdout); // the log must survive the process being killed from outside
}

bool shader_program_linked() {
    if (shader_program == 0 || arb_shader_api == nullptr) return false;
    GLint linked = 0;
    arb_shader_api->glGetObjectParameterivARB(shader_program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    return linked != 0;
}

void release_shader_program() {
    if (arb_shader_api == nullptr) return;
    if (shader_program != 0) {
        arb_shader_api->glDeleteObjectARB(shader_program);
        shader_program = 0;
    }
    delete arb_shader_api;
    arb_shader_api = nullptr;
}
