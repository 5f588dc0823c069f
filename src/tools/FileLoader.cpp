#include "tools/FileLoader.h"

#include <cctype>
#include <map>
#include <vector>

#include "net/HttpClient.h"
#include "net/Md5.h"
#include "tools/AssetCheck.h"
#include "tools/SdkDirectories.h"
#include "zelvora/Log.h"
#include "zelvora/platform/MainQueue.h"

namespace zelvora {
namespace fs = std::filesystem;

namespace {

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

/// A file of this run: downloaded, or on its way with the requests that wait for it.
struct RunFile {
  struct Request {
    FileLoader::CompletionHandler completed;
    FileLoader::FailureHandler failed;
  };
  bool downloaded = false;
  std::vector<Request> waiting;
};

/// By local path. Main thread only.
std::map<fs::path, RunFile>& runFiles() {
  static std::map<fs::path, RunFile> files;
  return files;
}

void download(const fs::path& folder, const std::string& url, AssetKind kind,
              FileLoader::CompletionHandler completionHandler,
              FileLoader::FailureHandler failureHandler = {}) {
  const fs::path destination = FileLoader::localPath(folder, url);
  std::error_code error;
  auto& files = runFiles();
  if (const auto known = files.find(destination); known != files.end()) {
    if (!known->second.downloaded) {
      known->second.waiting.push_back({std::move(completionHandler), std::move(failureHandler)});
      return;
    }
    if (fs::is_regular_file(destination, error)) {
      platform::postToMainQueue([destination, completionHandler = std::move(completionHandler)] {
        completionHandler(destination.string());
      });
      return;
    }
    files.erase(known);
  }
  fs::create_directories(destination.parent_path(), error);
  if (error) {
    const std::string line = error.message() + ": " + destination.parent_path().string();
    log(LogLevel::error, line);
    if (failureHandler) {
      platform::postToMainQueue(
          [line, failureHandler = std::move(failureHandler)] { failureHandler(HttpError{line}); });
    }
    return;
  }
  files[destination].waiting.push_back({std::move(completionHandler), std::move(failureHandler)});
  HttpClient::shared().download(
      url, destination, kind,
      [url, destination](std::optional<HttpError> failure) {
        auto& files = runFiles();
        const auto file = files.find(destination);
        if (file == files.end()) return;
        // Taken out first: a completion may ask for files itself.
        auto waiting = std::move(file->second.waiting);
        if (failure) {
          files.erase(file);
          log(LogLevel::warning, "download failed: " + url + ": " + failure->localizedDescription);
          for (auto& request : waiting)
            if (request.failed) request.failed(*failure);
          return;
        }
        file->second.downloaded = true;
        for (auto& request : waiting) request.completed(destination.string());
      },
      [kind](const fs::path& file, bool endMarked) { return assetProblem(file, kind, endMarked); });
}

}  // namespace

std::string FileLoader::localName(const std::string& url) {
  const auto slash = url.rfind('/');
  std::string name = slash == std::string::npos ? url : url.substr(slash + 1);
  const std::string decoded = percentDecoded(name);
  const bool unsafe = decoded.empty() || decoded == "." || decoded == ".." ||
                      decoded.find('/') != std::string::npos ||
                      decoded.find('\\') != std::string::npos ||
                      decoded.find('\0') != std::string::npos;
  if (unsafe) return "download";
  // File names are at most 255 bytes; the start of a long name is the telling part.
  return name.size() > 200 ? name.substr(0, 200) : name;
}

fs::path FileLoader::localPath(const fs::path& folder, const std::string& url) {
  return folder / md5Hex(url).substr(0, 12) / localName(url);
}

namespace {

// An empty folder was refused, with its console line: no download.
void loadInto(const std::filesystem::path& folder, const char* what, const std::string& fromUrl,
              FileLoader::CompletionHandler completionHandler, AssetKind kind,
              FileLoader::FailureHandler failureHandler) {
  if (!folder.empty()) {
    download(folder, fromUrl, kind, std::move(completionHandler), std::move(failureHandler));
  } else if (failureHandler) {
    platform::postToMainQueue([failureHandler = std::move(failureHandler), what] {
      failureHandler(HttpError{std::string("no folder for ") + what});
    });
  }
}

}  // namespace

void FileLoader::loadFile(const std::string& fromUrl, CompletionHandler completionHandler,
                          AssetKind kind, FailureHandler failureHandler) {
  loadInto(sdkTemporaryDirectory(), "temporary files", fromUrl, std::move(completionHandler), kind,
           std::move(failureHandler));
}

void FileLoader::loadZelFile(const std::string& fromUrl, CompletionHandler completionHandler,
                             AssetKind kind, FailureHandler failureHandler) {
  // Without caches (a read-only folder), the file is kept for this run only.
  fs::path folder = sdkCachesDirectory();
  if (folder.empty()) folder = sdkTemporaryDirectory();
  loadInto(folder, "the SDK's caches", fromUrl, std::move(completionHandler), kind,
           std::move(failureHandler));
}

void FileLoader::forgetDownloads() {
  runFiles().clear();
}

}  // namespace zelvora
