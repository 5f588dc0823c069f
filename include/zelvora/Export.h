#pragma once

// ZELVORA_API marks what the shared library exports: the C API and the public C++ API. The
// library is built with hidden visibility, so everything else stays inside it. The mark is
// harmless in the static archives and in hosts.
#if defined(_WIN32)
#define ZELVORA_API
#elif defined(__GNUC__) || defined(__clang__)
#define ZELVORA_API __attribute__((visibility("default")))
#else
#define ZELVORA_API
#endif
