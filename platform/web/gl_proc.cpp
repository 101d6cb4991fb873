// WebGL has no GL_ARB_shader_objects. Its core shader functions do the same work under other
// names, with programs and shaders as separate kinds of object, so the ARB entry points the
// program calls are served by small adapters onto them. Names nothing calls get no entry.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <string>

#include "platform/gl_proc.h"

namespace {

// The runtime's shader emulation puts its own declarations in front of the source, so a
// "#version" line would no longer come first; GLSL ES 1.00 (the default without one) has
// everything the sprite shaders use, gl_PointCoord included.
std::string without_version_line(std::string text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || text.compare(start, 8, "#version") != 0) return text;
    const std::size_t end = text.find('\n', start);
    text.erase(start, end == std::string::npos ? std::string::npos : end - start);
    return text;
}

void shader_source(GLhandleARB shader, GLsizei count, const GLcharARB** strings,
                   const GLint* lengths) {
    std::string text;
    for (GLsizei i = 0; i < count; ++i) {
        if (strings[i] == nullptr) continue;
        if (lengths != nullptr && lengths[i] >= 0)
            text.append(strings[i], static_cast<std::size_t>(lengths[i]));
        else
            text.append(strings[i]);
    }
    text = without_version_line(std::move(text));
    const GLchar* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
}

void delete_object(GLhandleARB object) {
    if (glIsProgram(object))
        glDeleteProgram(object);
    else
        glDeleteShader(object);
}

GLhandleARB create_shader_object(GLenum type) {
    return glCreateShader(type);
}
void compile_shader(GLhandleARB shader) {
    glCompileShader(shader);
}
GLhandleARB create_program_object() {
    return glCreateProgram();
}
void attach_object(GLhandleARB program, GLhandleARB shader) {
    glAttachShader(program, shader);
}
void link_program(GLhandleARB program) {
    glLinkProgram(program);
}
void use_program_object(GLhandleARB program) {
    glUseProgram(program);
}
void uniform_1f(GLint location, GLfloat value) {
    glUniform1f(location, value);
}

// The ARB status names have the core values (GL_COMPILE_STATUS, GL_LINK_STATUS).
void get_object_parameteriv(GLhandleARB object, GLenum name, GLint* value) {
    if (glIsProgram(object))
        glGetProgramiv(object, name, value);
    else
        glGetShaderiv(object, name, value);
}

void get_info_log(GLhandleARB object, GLsizei size, GLsizei* length, GLcharARB* log) {
    if (glIsProgram(object))
        glGetProgramInfoLog(object, size, length, log);
    else
        glGetShaderInfoLog(object, size, length, log);
}

GLint get_uniform_location(GLhandleARB program, const GLcharARB* name) {
    return glGetUniformLocation(program, name);
}

// Mode 3 draws into a texture: WebGL has framebuffer objects in its core, under the names
// without the EXT.
void gen_framebuffers(GLsizei n, GLuint* ids) {
    glGenFramebuffers(n, ids);
}
void delete_framebuffers(GLsizei n, const GLuint* ids) {
    glDeleteFramebuffers(n, ids);
}
void bind_framebuffer(GLenum target, GLuint id) {
    glBindFramebuffer(target, id);
}
void framebuffer_texture_2d(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                            GLint level) {
    glFramebufferTexture2D(target, attachment, textarget, texture, level);
}
GLenum check_framebuffer_status(GLenum target) {
    return glCheckFramebufferStatus(target);
}

struct Entry {
    const char* name;
    GlProc proc;
};

template <typename F> GlProc as_proc(F* f) {
    return reinterpret_cast<GlProc>(f);
}

const Entry entries[] = {
    {"glDeleteObjectARB", as_proc(delete_object)},
    {"glCreateShaderObjectARB", as_proc(create_shader_object)},
    {"glShaderSourceARB", as_proc(shader_source)},
    {"glCompileShaderARB", as_proc(compile_shader)},
    {"glCreateProgramObjectARB", as_proc(create_program_object)},
    {"glAttachObjectARB", as_proc(attach_object)},
    {"glLinkProgramARB", as_proc(link_program)},
    {"glUseProgramObjectARB", as_proc(use_program_object)},
    {"glUniform1fARB", as_proc(uniform_1f)},
    {"glGetObjectParameterivARB", as_proc(get_object_parameteriv)},
    {"glGetInfoLogARB", as_proc(get_info_log)},
    {"glGetUniformLocationARB", as_proc(get_uniform_location)},
    {"glGenFramebuffersEXT", as_proc(gen_framebuffers)},
    {"glDeleteFramebuffersEXT", as_proc(delete_framebuffers)},
    {"glBindFramebufferEXT", as_proc(bind_framebuffer)},
    {"glFramebufferTexture2DEXT", as_proc(framebuffer_texture_2d)},
    {"glCheckFramebufferStatusEXT", as_proc(check_framebuffer_status)},
};

} // namespace

GlProc gl_get_proc_address(const char* name) {
    if (name == nullptr) return nullptr;
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0) return e.proc;
    return nullptr;
}

bool gl_extension_offered(const char* name) {
    // The adapters above stand in for the extension; everything else is what WebGL lists.
    // Point sprites (gl_PointCoord) and framebuffer objects are WebGL's own.
    if (name != nullptr && (std::strcmp(name, "GL_ARB_shader_objects") == 0 ||
                            std::strcmp(name, "GL_EXT_framebuffer_object") == 0 ||
                            std::strcmp(name, "GL_ARB_point_sprite") == 0))
        return true;
    return extension_listed(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}
