#pragma once

// What the X server says about its windows, and a host program run beside the test: the example
// hosts' tests check them from outside, as a person at the screen would see them.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zelvora::test {

/// A top-level window the X server shows (mapped and viewable), in root coordinates.
struct TopLevel {
  ::Window id = 0;
  std::string name;
  int x = 0, y = 0, width = 0, height = 0;
  ::Window transientFor = 0;
};

inline std::vector<TopLevel> viewableTopLevels(Display* display) {
  ::Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned count = 0;
  std::vector<TopLevel> found;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[i], &attributes) ||
        attributes.map_state != IsViewable || attributes.c_class == InputOnly)
      continue;
    TopLevel window;
    window.id = children[i];
    window.width = attributes.width;
    window.height = attributes.height;
    ::Window child = 0;
    XTranslateCoordinates(display, children[i], root, 0, 0, &window.x, &window.y, &child);
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      window.name = name;
      XFree(name);
    }
    XGetTransientForHint(display, children[i], &window.transientFor);
    found.push_back(window);
  }
  if (children) XFree(children);
  return found;
}

inline std::string describe(const std::vector<TopLevel>& windows) {
  std::ostringstream text;
  for (const auto& window : windows) {
    text << "0x" << std::hex << window.id << std::dec << " \"" << window.name << "\" "
         << window.width << "x" << window.height << "+" << window.x << "+" << window.y;
    if (window.transientFor) text << " transient for 0x" << std::hex << window.transientFor;
    text << std::dec << "\n";
  }
  return text.str();
}

/// A click of the primary button at `x`, `y` on the root window.
inline void clickAt(Display* display, int x, int y) {
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XFlush(display);
}

/// A press and release of the key `keysym` (with Shift when asked), sent to whichever window
/// has the keyboard, as a person's typing is.
inline void pressKey(Display* display, KeySym keysym, bool shift = false) {
  const KeyCode shiftKey = XKeysymToKeycode(display, XK_Shift_L);
  if (shift) XTestFakeKeyEvent(display, shiftKey, True, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), False, CurrentTime);
  if (shift) XTestFakeKeyEvent(display, shiftKey, False, CurrentTime);
  XFlush(display);
}

/// How many pixels of `window` (of its part at `x`, `y` of `width` by `height`, when given)
/// have the colour `rgb` (0xRRGGBB), as the screen shows them.
inline long countPixels(Display* display, ::Window window, unsigned long rgb, int x = 0, int y = 0,
                        int width = 0, int height = 0) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return -1;
  if (width <= 0) width = attributes.width;
  if (height <= 0) height = attributes.height;
  XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
  if (!image) return -1;
  long count = 0;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      if ((XGetPixel(image, x, y) & 0xffffff) == rgb) ++count;
  XDestroyImage(image);
  return count;
}

/// A program run beside the test, its standard output read line by line; killed when done.
class HostProgram {
 public:
  explicit HostProgram(std::vector<std::string> argv) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
  }
  ~HostProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }
  HostProgram(const HostProgram&) = delete;
  HostProgram& operator=(const HostProgram&) = delete;

  bool started() const { return pid_ > 0; }
  /// Asks the program to end (SIGTERM) and returns its exit status, or -1 when it did not exit.
  int stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  /// Every line so far.
  const std::vector<std::string>& lines() {
    read(0);
    return lines_;
  }
  /// Waits up to `seconds` for a line that starts with `prefix`, counting from line `from`;
  /// returns its index, or -1.
  long waitForLine(const std::string& prefix, double seconds, std::size_t from = 0) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
    while (true) {
      for (std::size_t i = from; i < lines_.size(); ++i)
        if (lines_[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0 || !read(static_cast<int>(left))) return -1;
    }
  }

 private:
  /// Reads what arrives within `milliseconds`; false at the end of the output.
  bool read(int milliseconds) {
    pollfd ready{output_, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) <= 0) return true;
    char buffer[4096];
    const ssize_t got = ::read(output_, buffer, sizeof buffer);
    if (got <= 0) return false;
    partial_.append(buffer, static_cast<std::size_t>(got));
    for (auto end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
      lines_.push_back(partial_.substr(0, end));
      partial_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_ = 0;
  int output_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
};

/// Waits up to `seconds` for `done`, polling.
inline bool eventually(const std::function<bool()>& done, double seconds) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace zelvora::test
