#pragma once

// Invariants the code relies on without checking them where it would cost: a broken one gives
// wrong bits or a hang long after the cause, not an error at the cause. They are checked in the
// builds that ask for it (-DTARNWELL_ASSERTIONS, or any build without NDEBUG: the debug,
// sanitizer and fuzzing builds) and compile to nothing in the others, where the condition is not
// even evaluated: the optimised builds, the x87 one above all, must keep the exact code they
// had, since an extra read in a hot function changes where x87 rounds.
#if defined(TARNWELL_ASSERTIONS) || !defined(NDEBUG)
#define TARNWELL_ASSERTIONS_ON 1
#else
#define TARNWELL_ASSERTIONS_ON 0
#endif

// Prints "file:line: broken invariant: message (condition)" to stderr and aborts.
[[noreturn]] void assertion_failed(const char* file, int line, const char* condition,
                                   const char* message);

#if TARNWELL_ASSERTIONS_ON
#define TARNWELL_ASSERT(condition, message)                                                        \
    ((condition) ? static_cast<void>(0) : assertion_failed(__FILE__, __LINE__, #condition, message))
#else
// Unevaluated, but still compiled: a condition that stops compiling, or names that only it
// uses, show up in every build.
#define TARNWELL_ASSERT(condition, message) static_cast<void>(sizeof((condition) ? 1 : 0))
#endif
