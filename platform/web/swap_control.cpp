#include "platform/swap_control.h"

// The browser presents a frame whenever it repaints the page (requestAnimationFrame); a page
// cannot ask for more, so there is nothing to switch off.
void disable_vsync() {}
