#pragma once
// Run-time lookup of GL extension entry points (the Linux stand-in for wglGetProcAddress).
// Returns nullptr for a name the driver does not offer.
using GlProc = void (*)();
GlProc gl_get_proc_address(const char* name);

// Whether the context offers the extension `name`, so that the entry points looked up for it
// can be trusted. Needs a current context.
bool gl_extension_offered(const char* name);

// Whether `name` is one of the blank-separated names in `list` (whole names only; a null list
// holds nothing). Mesa hands out an entry point for any name it is asked, so an extension counts
// as offered only when its name is listed.
bool extension_listed(const char* list, const char* name);
