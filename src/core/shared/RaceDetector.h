#pragma once

// Qt's event queue hands an event from the thread that posts it to the thread that handles it, under a lock
// of its own inside the toolkit, which a race detector built into this program cannot see. Code that posts
// its own data calls handedOver() on the event once it has written everything, and the handler calls
// takenOver() on it before reading anything, so the detector sees the order the queue gives. Nothing is
// done outside a ThreadSanitizer build.

#if defined(__SANITIZE_THREAD__)
#define NORVI_RACE_DETECTOR 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define NORVI_RACE_DETECTOR 1
#endif
#endif

#ifdef NORVI_RACE_DETECTOR
extern "C" void __tsan_acquire(void* addr); // NOLINT(bugprone-reserved-identifier)
extern "C" void __tsan_release(void* addr); // NOLINT(bugprone-reserved-identifier)
#endif

namespace norvi::RaceDetector {

inline void handedOver(const void* key) {
#ifdef NORVI_RACE_DETECTOR
    __tsan_release(const_cast<void*>(key));
#else
    (void)key;
#endif
}

inline void takenOver(const void* key) {
#ifdef NORVI_RACE_DETECTOR
    __tsan_acquire(const_cast<void*>(key));
#else
    (void)key;
#endif
}

} // namespace norvi::RaceDetector
