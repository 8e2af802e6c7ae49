// The sanitizer build's leak check, run on demand: whether the process holds
// memory that nothing points to any more (the suppression file applies).
// Without the sanitizer there is nothing to ask, and tests skip.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define ZT_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZT_LEAK_CHECK 1
#endif
#endif

#ifdef ZT_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace leakcheck {

constexpr bool kAvailable =
#ifdef ZT_LEAK_CHECK
    true;
#else
    false;
#endif

// True when a leak was found (and reported on standard error).
inline bool Leaked() {
#ifdef ZT_LEAK_CHECK
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

} // namespace leakcheck
