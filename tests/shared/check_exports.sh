#!/usr/bin/env bash
# check_exports.sh LIBRARY: the shared library is named for its ABI (libzelvora.so.1) and exports
# only the C API (zelvora_*) and the SDK's C++ symbols (namespace zelvora); no symbol of the
# libraries linked into it (libcurl's users, nlohmann/json, the standard library's templates).
# The sanitized build also exports the leak checker's suppressions, which it looks up by name.
set -euo pipefail
lib="$1"

soname="$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"
if [ "$soname" != "libzelvora.so.1" ]; then
  echo "soname is \"$soname\", not libzelvora.so.1" >&2
  exit 1
fi

symbols="$(nm -D --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')"
demangled="$(printf '%s\n' "$symbols" | c++filt)"
foreign="$(printf '%s\n' "$demangled" | grep -Ev \
  '^(zelvora_|zelvora::|(typeinfo|typeinfo name|vtable|VTT) for zelvora::|(non-)?virtual thunk to zelvora::|__lsan_default_suppressions$)' \
  || true)"
echo "$(printf '%s\n' "$demangled" | grep -c '^zelvora_' || true) C symbols, $(printf '%s\n' "$demangled" | grep -vc '^zelvora_') C++ symbols"
if [ -n "$foreign" ]; then
  echo "symbols outside the API:" >&2
  printf '%s\n' "$foreign" | head -40 >&2
  exit 1
fi
