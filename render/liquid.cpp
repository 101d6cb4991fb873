// Mode 3, the liquid: every particle is splatted as a soft disc into an offscreen picture of up to
// a third of the window's size, adding its colour weighted by the disc and the weight itself
// (alpha); one pass over the window then keeps where the summed weight passes a threshold, divides
// the colour back out, and shades it from the weight's slope with a lighter rim at the edge. The
// particles' overlapping discs leave no holes inside the fluid, and the threshold of a smooth sum
// gives a smooth edge; drops that fly off stay round.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>

#include "app/input.h"
#include "bodies/rigid_body.h"
#include "config/config.h"
#include "platform/gl_proc.h"
#include "render/render.h"
#include "render/shader.h"
#include "sph/sim_state.h"

namespace {

// The weight one particle adds at its centre. Deep in a settled pool some fifteen discs overlap
// a pixel, so the sum stays below 1 even where the fluid is pressed together: the eight bits of
// the picture never clip, which would shift the colours.
constexpr float splat_peak = 0.06f;
// The edge: where the summed weight passes this. A lone particle's disc passes it out to about
// half its radius, so spray shows as round drops of about a smoothing radius.
constexpr float edge_weight = 0.25f * splat_peak;
// A disc's radius in smoothing radii: large enough that neighbours at rest overlap into one body.
constexpr float splat_radius_h = 1.4f;

// GLSL 1.20 for the desktop; the page drops the #version line and its emulation puts the
// precision of GLSL ES in front (a precision line here would come after its own declarations).
const char* const splat_vertex = R"(#version 120
uniform float size;
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_PointSize = size;
}
)";

// Colour times weight in rgb, the weight in alpha; the sums come from additive blending.
const char* const splat_fragment = R"(#version 120
uniform float peak;
void main()
{
    vec2 p = gl_PointCoord * 2.0 - 1.0;
    float d2 = dot(p, p);
    if (d2 >= 1.0)
        discard;
    float w = (1.0 - d2) * (1.0 - d2) * peak;
    gl_FragColor = vec4(gl_Color.rgb * w, w);
}
)";

// The picture is mapped over the box square: uv from the world position of the quad's corners.
const char* const shade_vertex = R"(#version 120
uniform float world;
varying vec2 uv;
void main()
{
    gl_Position = ftransform();
    uv = gl_Vertex.xy / world;
}
)";

const char* const shade_fragment = R"(#version 120
uniform sampler2D field;
uniform float texel_x;
uniform float texel_y;
uniform float edge;
varying vec2 uv;
void main()
{
    vec4 s = texture2D(field, uv);
    float a = s.a;
    // Half a texel of softness either side of the edge: smooth, not blurred.
    float inside = smoothstep(edge * 0.75, edge * 1.25, a);
    if (inside <= 0.0)
        discard;
    vec3 colour = s.rgb / max(a, 0.0001);
    // The slope of the weight, cut off a little above the edge, as the surface's tilt: a bulge
    // along every edge, flat inside, where the single particles' bumps would only show as noise.
    float cap = edge * 2.5;
    // Forward differences: two more reads rather than four, which a software renderer notices.
    float here = min(a, cap);
    float ax = min(texture2D(field, uv + vec2(texel_x, 0.0)).a, cap) - here;
    float ay = min(texture2D(field, uv + vec2(0.0, texel_y)).a, cap) - here;
    vec3 n = normalize(vec3(-ax, -ay, 0.3 * edge));
    vec3 light = normalize(vec3(-0.45, 0.6, 0.65));
    float diffuse = 0.72 + 0.28 * dot(n, light);
    float highlight = pow(max(dot(reflect(-light, n), vec3(0.0, 0.0, 1.0)), 0.0), 24.0);
    // A lighter rim where the fluid thins out towards its edge.
    float rim = 1.0 - smoothstep(edge, edge * 4.0, a);
    colour = colour * diffuse;
    colour = mix(colour, vec3(1.0), 0.4 * rim * rim + 0.35 * highlight);
    gl_FragColor = vec4(colour, inside);
}
)";

using GenFramebuffers = void (*)(GLsizei, GLuint*);
using DeleteFramebuffers = void (*)(GLsizei, const GLuint*);
using BindFramebuffer = void (*)(GLenum, GLuint);
using FramebufferTexture2D = void (*)(GLenum, GLenum, GLenum, GLuint, GLint);
using CheckFramebufferStatus = GLenum (*)(GLenum);

struct Liquid {
    ArbShaderApi* api = nullptr;
    GLhandleARB splat = 0;
    GLhandleARB shade = 0;
    GenFramebuffers gen_framebuffers = nullptr;
    DeleteFramebuffers delete_framebuffers = nullptr;
    BindFramebuffer bind_framebuffer = nullptr;
    FramebufferTexture2D framebuffer_texture = nullptr;
    CheckFramebufferStatus check_framebuffer = nullptr;
    GLuint framebuffer = 0;
    GLuint texture = 0;
    int width = 0; // of the offscreen picture
    int height = 0;
    char missing[160] = ""; // what the driver lacks, once it was found lacking
};
Liquid liquid;

// The driver's log of a shader or program that failed, on stdout as mode 2 prints its own.
void print_log(const ArbShaderApi& gl, GLhandleARB object) {
    char log[2048] = {};
    gl.glGetInfoLogARB(object, sizeof log, nullptr, log);
    log[sizeof log - 1] = '\0';
    const size_t length = std::strlen(log);
    std::printf("%s%s", log, length > 0 && log[length - 1] != '\n' ? "\n" : "");
    std::fflush(stdout);
}

GLhandleARB build_program(const ArbShaderApi& gl, const char* vertex, const char* fragment) {
    const GLhandleARB vs = gl.glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    const GLhandleARB fs = gl.glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    gl.glShaderSourceARB(vs, 1, &vertex, nullptr);
    gl.glShaderSourceARB(fs, 1, &fragment, nullptr);
    GLint status = 0;
    gl.glCompileShaderARB(vs);
    gl.glGetObjectParameterivARB(vs, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 0) print_log(gl, vs);
    gl.glCompileShaderARB(fs);
    gl.glGetObjectParameterivARB(fs, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status == 0) print_log(gl, fs);
    const GLhandleARB program = gl.glCreateProgramObjectARB();
    gl.glAttachObjectARB(program, vs);
    gl.glAttachObjectARB(program, fs);
    gl.glLinkProgramARB(program);
    gl.glDeleteObjectARB(vs);
    gl.glDeleteObjectARB(fs);
    GLint linked = 0;
    gl.glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (linked != 0) return program;
    print_log(gl, program);
    gl.glDeleteObjectARB(program);
    return 0;
}

void set_uniform(GLhandleARB program, const char* name, float value) {
    const GLint at = liquid.api->glGetUniformLocationARB(program, name);
    if (at >= 0) liquid.api->glUniform1fARB(at, value);
}

// The offscreen picture's size against the window's: the summed weight is smooth, and bilinear
// reads of a smaller picture keep the edge smooth while every splat costs a ninth as much at a
// third of the size. A disc must keep a few pixels of radius there, though, or the edge turns
// into steps: small windows and small particles get a larger picture, up to the window's own.
constexpr int largest_divisor = 3;
constexpr float smallest_disc_radius = 4.0f;

int picture_divisor(int window_h) {
    const float world = sim.smooth_radius + sim.field_size;
    const float radius = splat_radius_h * sim.smooth_radius / world * static_cast<float>(window_h);
    int divisor = largest_divisor;
    while (divisor > 1 && radius / static_cast<float>(divisor) < smallest_disc_radius)
        --divisor;
    return divisor;
}

// The offscreen picture for a window of this size; false when the driver cannot draw into it.
bool size_picture(int window_w, int window_h) {
    const int divisor = picture_divisor(window_h);
    const int w = window_w / divisor > 1 ? window_w / divisor : 1;
    const int h = window_h / divisor > 1 ? window_h / divisor : 1;
    if (liquid.texture != 0 && w == liquid.width && h == liquid.height) return true;
    if (liquid.texture == 0) glGenTextures(1, &liquid.texture);
    if (liquid.framebuffer == 0) liquid.gen_framebuffers(1, &liquid.framebuffer);
    glBindTexture(GL_TEXTURE_2D, liquid.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    liquid.bind_framebuffer(GL_FRAMEBUFFER_EXT, liquid.framebuffer);
    liquid.framebuffer_texture(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                               liquid.texture, 0);
    const GLenum status = liquid.check_framebuffer(GL_FRAMEBUFFER_EXT);
    liquid.bind_framebuffer(GL_FRAMEBUFFER_EXT, 0);
    liquid.width = w;
    liquid.height = h;
    return status == GL_FRAMEBUFFER_COMPLETE_EXT;
}

// Static, so that nothing is allocated per frame: the box square as two triangles.
Vec2 quad[6];

void draw_filled_bodies() {
    if (sim.bodies == nullptr) return;
    static Vec2 fan[3 * (body_vertex_capacity - 2)];
    for (int32_t i = 0; i < sim.geom_count; ++i) {
        const RigidBody& body = sim.bodies[i];
        const int n = body.vertex_count;
        if (n < 3 || n > body_vertex_capacity) continue;
        int k = 0;
        for (int c = 1; c + 1 < n; ++c) {
            fan[k++] = body.world_vertices[0];
            fan[k++] = body.world_vertices[c];
            fan[k++] = body.world_vertices[c + 1];
        }
        glColor3f(0.55f, 0.5f, 0.44f);
        glVertexPointer(2, GL_FLOAT, 0, fan);
        glEnableClientState(GL_VERTEX_ARRAY);
        glDrawArrays(GL_TRIANGLES, 0, k);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
}

} // namespace

bool make_liquid(const char** why) {
    if (liquid.splat != 0 && liquid.shade != 0) return true;
    if (liquid.missing[0] != '\0') {
        *why = liquid.missing;
        return false;
    }
    liquid.api = load_arb_shader_api();
    const ArbShaderApi* gl = liquid.api;
    const bool shaders = gl != nullptr && gl->glCreateShaderObjectARB && gl->glShaderSourceARB &&
                         gl->glCompileShaderARB && gl->glCreateProgramObjectARB &&
                         gl->glAttachObjectARB && gl->glLinkProgramARB &&
                         gl->glUseProgramObjectARB && gl->glUniform1fARB &&
                         gl->glGetObjectParameterivARB && gl->glGetInfoLogARB &&
                         gl->glGetUniformLocationARB && gl->glDeleteObjectARB;
    if (!shaders) {
        std::snprintf(liquid.missing, sizeof liquid.missing,
                      "the driver offers no GL_ARB_shader_objects");
    } else if (!gl_extension_offered("GL_EXT_framebuffer_object") ||
               !gl_extension_offered("GL_ARB_point_sprite")) {
        std::snprintf(liquid.missing, sizeof liquid.missing, "the driver offers no %s",
                      gl_extension_offered("GL_ARB_point_sprite") ? "GL_EXT_framebuffer_object"
                                                                  : "GL_ARB_point_sprite");
    } else {
#define TARNWELL_FBO(field, name)                                                                  \
    liquid.field = reinterpret_cast<decltype(liquid.field)>(gl_get_proc_address(name))
        TARNWELL_FBO(gen_framebuffers, "glGenFramebuffersEXT");
        TARNWELL_FBO(delete_framebuffers, "glDeleteFramebuffersEXT");
        TARNWELL_FBO(bind_framebuffer, "glBindFramebufferEXT");
        TARNWELL_FBO(framebuffer_texture, "glFramebufferTexture2DEXT");
        TARNWELL_FBO(check_framebuffer, "glCheckFramebufferStatusEXT");
#undef TARNWELL_FBO
        if (!liquid.gen_framebuffers || !liquid.delete_framebuffers || !liquid.bind_framebuffer ||
            !liquid.framebuffer_texture || !liquid.check_framebuffer) {
            std::snprintf(liquid.missing, sizeof liquid.missing,
                          "GL_EXT_framebuffer_object has no entry points");
        } else {
            liquid.splat = build_program(*gl, splat_vertex, splat_fragment);
            liquid.shade = build_program(*gl, shade_vertex, shade_fragment);
            if (liquid.splat == 0 || liquid.shade == 0)
                std::snprintf(liquid.missing, sizeof liquid.missing,
                              "its shaders could not be built (see the log above)");
            else if (!size_picture(window_width, window_height))
                std::snprintf(liquid.missing, sizeof liquid.missing,
                              "the driver cannot draw into an offscreen picture");
        }
    }
    if (liquid.missing[0] == '\0') return true;
    release_liquid();
    *why = liquid.missing;
    return false;
}

void release_liquid() {
    if (liquid.api != nullptr) {
        if (liquid.splat != 0) liquid.api->glDeleteObjectARB(liquid.splat);
        if (liquid.shade != 0) liquid.api->glDeleteObjectARB(liquid.shade);
    }
    if (liquid.framebuffer != 0 && liquid.delete_framebuffers != nullptr)
        liquid.delete_framebuffers(1, &liquid.framebuffer);
    if (liquid.texture != 0) glDeleteTextures(1, &liquid.texture);
    delete liquid.api;
    char missing[sizeof liquid.missing];
    std::snprintf(missing, sizeof missing, "%s", liquid.missing);
    liquid = Liquid{};
    std::snprintf(liquid.missing, sizeof liquid.missing, "%s", missing);
}

void draw_liquid() {
    if (liquid.splat == 0 || liquid.shade == 0 || sim.position == nullptr || sim.count <= 0) return;
    if (!size_picture(window_width, window_height)) return;
    const ArbShaderApi& gl = *liquid.api;
    const float world = sim.smooth_radius + sim.field_size;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);

    // The splats, into the offscreen picture.
    liquid.bind_framebuffer(GL_FRAMEBUFFER_EXT, liquid.framebuffer);
    glViewport(0, 0, liquid.width, liquid.height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE_ARB);
    glEnable(GL_POINT_SPRITE_ARB);
    glTexEnvi(GL_POINT_SPRITE_ARB, GL_COORD_REPLACE_ARB, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    gl.glUseProgramObjectARB(liquid.splat);
    const float diameter =
        2.0f * splat_radius_h * sim.smooth_radius / world * static_cast<float>(liquid.height);
    set_uniform(liquid.splat, "size", diameter > 2.0f ? diameter : 2.0f);
    set_uniform(liquid.splat, "peak", splat_peak);
    draw_particles();
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE_ARB);
    glDisable(GL_POINT_SPRITE_ARB);
    glTexEnvi(GL_POINT_SPRITE_ARB, GL_COORD_REPLACE_ARB, GL_FALSE);
    liquid.bind_framebuffer(GL_FRAMEBUFFER_EXT, 0);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);

    // The surface, over what is drawn already (the scene's solids), shaded only over the box
    // around the particles and their discs: a settled pool is a third of the window.
    float lo_x = world;
    float lo_y = world;
    float hi_x = 0.0f;
    float hi_y = 0.0f;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        lo_x = p.x < lo_x ? p.x : lo_x;
        lo_y = p.y < lo_y ? p.y : lo_y;
        hi_x = p.x > hi_x ? p.x : hi_x;
        hi_y = p.y > hi_y ? p.y : hi_y;
    }
    const float reach = splat_radius_h * sim.smooth_radius * 1.2f;
    lo_x = lo_x - reach > 0.0f ? lo_x - reach : 0.0f;
    lo_y = lo_y - reach > 0.0f ? lo_y - reach : 0.0f;
    hi_x = hi_x + reach < world ? hi_x + reach : world;
    hi_y = hi_y + reach < world ? hi_y + reach : world;
    if (!(lo_x < hi_x) || !(lo_y < hi_y)) { // no particle inside the window (or NaN)
        gl.glUseProgramObjectARB(0);
        glDisable(GL_BLEND);
        draw_filled_bodies();
        return;
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glUseProgramObjectARB(liquid.shade);
    set_uniform(liquid.shade, "world", world);
    set_uniform(liquid.shade, "texel_x", 1.0f / static_cast<float>(liquid.width));
    set_uniform(liquid.shade, "texel_y", 1.0f / static_cast<float>(liquid.height));
    set_uniform(liquid.shade, "edge", edge_weight);
    glBindTexture(GL_TEXTURE_2D, liquid.texture);
    quad[0] = Vec2{lo_x, lo_y};
    quad[1] = Vec2{hi_x, lo_y};
    quad[2] = Vec2{hi_x, hi_y};
    quad[3] = Vec2{lo_x, lo_y};
    quad[4] = Vec2{hi_x, hi_y};
    quad[5] = Vec2{lo_x, hi_y};
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl.glUseProgramObjectARB(0);
    glDisable(GL_BLEND);

    draw_filled_bodies();
}
