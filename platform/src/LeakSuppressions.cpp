// What the leak checker must not report in programs built with AddressSanitizer (one list for
// the whole process, whichever backends it uses).

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELVORA_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ZELVORA_ADDRESS_SANITIZER)
// Caches that live until the process ends without being freed, so the leak checker would
// report them at exit: fontconfig's (text in drawings), GLib's quark table (probing media with
// GStreamer, which never frees an outgrown table), and libdbus's, for the accessibility bus GTK
// connects to when it opens the display, the JavaScript engine's in the web engine, and the
// SRT library's, which GStreamer's network plugins load while the player warms up (all named
// by library: the default unwinder cannot get past them to their callers).
// Visible: the sanitizer finds it by name, past the hidden default of our builds.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libglib-2.0.so\nleak:libdbus-1.so\n"
         "leak:libjavascriptcoregtk-4.1.so\nleak:libsrt-gnutls.so\n";
}
#endif
