// File: time_scale.h — how many times longer the tests' time limits are when
// AddressSanitizer is on (the checking build, TB_SANITIZE), which slows
// everything down.
#pragma once

#if defined(__has_feature)  // clang
#if __has_feature(address_sanitizer)
#define TB_ADDRESS_SANITIZER
#endif
#elif defined(__SANITIZE_ADDRESS__)  // GCC
#define TB_ADDRESS_SANITIZER
#endif

namespace tb::testing {

#ifdef TB_ADDRESS_SANITIZER
inline constexpr int kTimeScale = 10;
#else
inline constexpr int kTimeScale = 1;
#endif

}  // namespace tb::testing
