#ifndef ZELVORA_EXPORT_H
#define ZELVORA_EXPORT_H

/* Marks what the SDK's shared library exports; everything else in it stays hidden. */
#if defined(_WIN32)
#define ZELVORA_API
#elif defined(__GNUC__) || defined(__clang__)
#define ZELVORA_API __attribute__((visibility("default")))
#else
#define ZELVORA_API
#endif

#endif
