// A downloaded file whose end only the connection's close marked, as the file loader decides
// whether it arrived whole: as an image and as a video. A file taken as whole must not be taken
// once its last byte is lost (a GIF's trailer byte can stand in its data, so GIFs are left out).
#include <fstream>

#include "FuzzWorld.h"
#include "tools/WholeFile.h"

using namespace zelvora;

namespace {

std::optional<std::string> problem(const fuzz::fs::path& file, const std::string& bytes,
                                   AssetKind kind) {
  { std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes; }
  return wholenessProblem(file, kind);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::fs::path file = fuzz::scratchFolder() / "whole-file";
  const std::string bytes = fuzz::text(data, size);
  for (const AssetKind kind : {AssetKind::image, AssetKind::video}) {
    if (problem(file, bytes, kind) || bytes.empty()) continue;
    if (kind == AssetKind::image && bytes.rfind("GIF8", 0) == 0) continue;
    fuzz::check(problem(file, bytes.substr(0, size - 1), kind).has_value(),
                "a file one byte short is not whole");
  }
  return 0;
}
