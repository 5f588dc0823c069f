#include "zelvora/platform/ui/Image.h"

#include <stb_image.h>

namespace zelvora::platform {

std::shared_ptr<Image> Image::contentsOfFile(const std::filesystem::path& path) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (pixels == nullptr) return nullptr;
  std::vector<std::uint8_t> rgba(pixels, pixels + static_cast<std::size_t>(width) * height * 4);
  stbi_image_free(pixels);
  return std::make_shared<Image>(width, height, std::move(rgba));
}

}  // namespace zelvora::platform
