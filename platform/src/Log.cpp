#include "zelvora/Log.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace zelvora {
namespace {
std::mutex& sinkMutex() {
  static std::mutex mutex;
  return mutex;
}
LogSink& installedSink() {
  static LogSink sink;
  return sink;
}
}  // namespace

void log(std::string_view line) {
  std::string text(line);
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::lock_guard lock(sinkMutex());
  if (installedSink()) {
    installedSink()(text);
    return;
  }
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void setLogSink(LogSink sink) {
  std::lock_guard lock(sinkMutex());
  installedSink() = std::move(sink);
}

}  // namespace zelvora
