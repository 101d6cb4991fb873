#include <GL/freeglut.h>

#include <algorithm>
#include <cstring>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/play.h"
#include "sph/sim_state.h"

namespace {
// Filled each frame the overlay is shown; kept here so that nothing is allocated per frame.
char lines[overlay_max_lines + 1][overlay_line_size];

constexpr int char_width = 8; // GLUT_BITMAP_8_BY_13
constexpr int line_height = 14;
constexpr int margin = 8;
} // namespace

void draw_overlay() {
    const PlayState& play = play_state;
    const bool status = play.status[0] != '\0';
    if (!play.overlay && !status) return;
    int n =
        play.overlay ? format_overlay(play, sim, frame_stats.live, lines, overlay_max_lines) : 0;
    if (status) std::memcpy(lines[n++], play.status, overlay_line_size - 1);
    lines[n - 1][overlay_line_size - 1] = '\0';
    size_t widest = 0;
    for (int i = 0; i < n; ++i)
        widest = std::max(widest, std::strlen(lines[i]));

    // Window pixels, origin bottom left, whatever projection the render mode uses.
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, window_width, 0.0, window_height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // A dark panel keeps the text readable over white fluid.
    const int top = window_height - margin;
    const int bottom = top - n * line_height - margin;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
    const int right = margin + static_cast<int>(widest) * char_width + margin;
    glRecti(margin / 2, bottom, right, top + margin / 2);
    for (int i = 0; i < n; ++i) {
        // The status line stands out in yellow.
        if (status && i == n - 1)
            glColor3f(1.0f, 0.9f, 0.2f);
        else
            glColor3f(1.0f, 1.0f, 1.0f);
        glRasterPos2i(margin, top - (i + 1) * line_height + 4);
        glutBitmapString(GLUT_BITMAP_8_BY_13, reinterpret_cast<const unsigned char*>(lines[i]));
    }

    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}
