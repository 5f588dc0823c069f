#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zelvora/platform/ui/View.h"

namespace demo {

/// The views on screen: the key window's subviews and everything below them, each view before
/// its subviews, hidden views and their subviews left out. Found from the model alone, so they
/// are the same on every backend.
std::vector<std::shared_ptr<zelvora::platform::View>> viewsOnScreen();

template <class T>
std::vector<std::shared_ptr<T>> viewsOnScreenOfType() {
  std::vector<std::shared_ptr<T>> found;
  for (const auto& view : viewsOnScreen()) {
    if (auto match = std::dynamic_pointer_cast<T>(view)) found.push_back(std::move(match));
  }
  return found;
}

std::shared_ptr<zelvora::platform::View> viewOnScreenWithId(const std::string& identifier);
/// The first button whose current title, or label whose text, is `text`.
std::shared_ptr<zelvora::platform::View> viewOnScreenTitled(const std::string& text);
/// One line per view from the key window down: `Type (x, y, w, h) content #identifier`.
std::string describeScreen();

}  // namespace demo
