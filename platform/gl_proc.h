#pragma once
// Run-time lookup of GL extension entry points (the Linux stand-in for wglGetProcAddress).
// Returns nullptr for a name the driver does not offer.
using GlProc = void (*)();
GlProc gl_get_proc_address(const char* name);
