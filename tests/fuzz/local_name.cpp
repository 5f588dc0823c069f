// An asset's URL, as the file loader names its local file: one safe name inside a folder of
// the URL's own, whatever the URL holds.
#include "FuzzWorld.h"
#include "net/Md5.h"
#include "tools/FileLoader.h"

using namespace zelvora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url = fuzz::text(data, size);
  const std::string name = FileLoader::localName(url);
  fuzz::check(!name.empty() && name != "." && name != ".." && name.size() <= 255,
              "a name a file can have");
  fuzz::check(name.find('/') == std::string::npos && name.find('\0') == std::string::npos,
              "one path component");
  const fuzz::fs::path folder = "/downloads";
  const fuzz::fs::path path = FileLoader::localPath(folder, url);
  fuzz::check(path == folder / md5Hex(url).substr(0, 12) / name, "inside the URL's own folder");
  fuzz::check(path.lexically_normal() == path, "nothing that leaves the folder");
  return 0;
}
