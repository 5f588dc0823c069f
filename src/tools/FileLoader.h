#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "net/HttpClient.h"

namespace zelvora {

/// Downloads ad files and the SDK's own assets to local files. Each URL has a local file of
/// its own, `<folder>/<hash of the URL>/<name>`, where the name is the URL's last path
/// component (query included) when that is a safe file name, and "download" otherwise; the
/// same URL always maps to the same file. A URL is fetched once per run: a request for a file
/// already downloaded, or on its way, is answered with that file (one removed since is fetched
/// again). Completions run on the main queue, never inside the call, only on success: a failed
/// download leaves no file, is logged once, tells the failure handlers given, and the next
/// request tries again. A file succeeds
/// only when it is complete, within its kind's size limit, and (images and videos) looks like
/// its kind.
struct FileLoader {
  using CompletionHandler = std::function<void(const std::string& path)>;
  /// Told, on the main queue, when the download failed (with why); callers that have nothing
  /// to do then leave it empty.
  using FailureHandler = std::function<void(const HttpError& error)>;

  /// Into this process's run folder of temporary files, which no other process empties.
  static void loadFile(const std::string& fromUrl, CompletionHandler completionHandler,
                       AssetKind kind = AssetKind::webAsset, FailureHandler failureHandler = {});
  /// Into the SDK's caches folder, kept across runs; into the run folder when the caches
  /// cannot be had.
  static void loadZelFile(const std::string& fromUrl, CompletionHandler completionHandler,
                          AssetKind kind = AssetKind::webAsset, FailureHandler failureHandler = {});
  /// Forgets the files of this run: later requests fetch them again. For a fresh SDK world,
  /// when the completions of the transfers under way are dropped.
  static void forgetDownloads();

  /// Where `url` is stored inside `folder`.
  static std::filesystem::path localPath(const std::filesystem::path& folder,
                                         const std::string& url);
  /// The URL's last path component, or "download" when that is not a safe file name.
  static std::string localName(const std::string& url);
};

}  // namespace zelvora
