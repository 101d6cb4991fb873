#pragma once
// Asks the driver for a swap interval of 0 so frames follow each other as fast as they can be
// drawn: GLX_EXT_swap_control, else GLX_MESA_swap_control. Silent when neither is offered.
// Needs the window's context current.
void disable_vsync();
