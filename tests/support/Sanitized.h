#pragma once

// Whether the tests run under AddressSanitizer or ThreadSanitizer, which make every memory access several
// times slower. A randomised walk then takes fewer steps: what the sanitizers look for shows in the first
// steps as well, and the plain build keeps the full walk for the order it checks.
namespace norvi::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

} // namespace norvi::test
