// What ThreadSanitizer must not report in programs built with it (ZELVORA_TSAN). Only
// third-party libraries are listed: they are not instrumented, so the sanitizer sees their
// memory accesses through our copies of inline functions and allocations, but not the locks
// and atomics that order them.
// GCC marks a ThreadSanitizer build with __SANITIZE_THREAD__; clang 14 only through
// __has_feature.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZELVORA_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(ZELVORA_THREAD_SANITIZER)
// Visible: the sanitizer finds it by name, past the hidden default of our builds.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
  // GLib and GStreamer (the headless player engine probes media with GStreamer's discoverer,
  // which runs threads of its own) synchronise with futexes and atomics of their own.
  // cpp-httplib (the reference server and the tests' servers) initialises its function-local
  // static regular expressions under a guard taken in the library. Pango loads fonts on
  // threads of its own ("[pango] FcInit", "[pango] FcFontSetMatch") and orders them with the
  // main thread's text measures by its own locks, inside Pango, fontconfig and cairo.
  return "race:libglib-2.0.so\n"
         "race:libgobject-2.0.so\n"
         "race:libgio-2.0.so\n"
         "race:libgst\n"
         "race:/gstreamer-1.0/\n"
         "deadlock:libgstreamer-1.0.so\n"
         "race:libcpp-httplib.so\n"
         "race:libfontconfig.so\n"
         "race:libpango\n"
         "race:libcairo.so\n";
}
#endif
