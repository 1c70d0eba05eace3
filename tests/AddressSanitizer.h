#pragma once

// Whether this build runs under AddressSanitizer, which g++ and clang tell apart: its
// allocator and its reserved shadow memory change what memory figures and limits mean.
namespace vexo::testbuild {

constexpr bool kBuiltWithAddressSanitizer =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

}  // namespace vexo::testbuild
