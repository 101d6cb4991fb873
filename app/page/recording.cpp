// The page records nothing itself: a GIF encoder is not part of its build. The key says so.
#include "app/gl/callbacks.h"
#include "app/play.h"

bool start_recording(const char*) {
    set_status(play_state, "recording is not available on the page");
    return false;
}

bool recording_active() {
    return false;
}

void record_drawn_frame() {}

bool stop_recording() {
    return true;
}
