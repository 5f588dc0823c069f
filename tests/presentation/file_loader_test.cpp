// The file loader against a local HTTP server: where files land, what a second download of
// the same address does, and that a failed download neither calls back nor touches the
// file already in place.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "integration/LoopbackServer.h"
#include "net/Md5.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"

namespace zelvora::test {
namespace {

namespace fs = std::filesystem;

bool inside(const fs::path& path, const fs::path& folder) {
  const auto relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
  return !relative.empty() && *relative.begin() != "..";
}

class FileLoaderTest : public SdkTest {
 protected:
  FileLoaderTest() {
    files.http.Get("/flaky/pic.png", [this](const httplib::Request&, httplib::Response& response) {
      const int mode = flakyMode.load();
      if (mode == 0) {
        response.set_content("good #" + std::to_string(++served), "image/png");
      } else if (mode > 0) {
        response.status = mode;
        response.set_content("error page", "text/html");
      } else {
        // Announces more than it sends, then drops the connection.
        response.set_content_provider(1000, "image/png",
                                      [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                        sink.write("partial", 7);
                                        return false;
                                      });
      }
    });
    // Any other path: the answer names the path and counts the requests, so a test can tell
    // which download wrote a file.
    files.http.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.path + " #" + std::to_string(++served), "text/plain");
    });
    files.start();
  }

  void load(const std::string& url, bool caches = false) {
    auto done = [this](const std::string& path) {
      lastPath = path;
      ++completions;
    };
    caches ? FileLoader::loadZelFile(url, done) : FileLoader::loadFile(url, done);
  }

  /// Loads `url` and waits for its completion; returns the local path.
  std::string loadAndWait(const std::string& url, bool caches = false) {
    const int before = completions;
    load(url, caches);
    EXPECT_TRUE(runUntil([&] { return completions > before; })) << url;
    return lastPath;
  }

  int failureLines() const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.rfind("download failed: ", 0) == 0;
    }));
  }

  /// Loads `url`, which must fail, and waits for its console line.
  void expectFailure(const std::string& url) {
    const int before = failureLines();
    const int completed = completions;
    load(url);
    EXPECT_TRUE(runUntil([&] { return failureLines() == before + 1 || completions > completed; }))
        << url;
    runLoop().runPending();
    EXPECT_EQ(completions, completed) << url;
  }

  fs::path tmp() const { return folder.path() / "tmp" / "zelvora"; }
  fs::path caches() const { return folder.path() / "caches" / "zelvora"; }

  /// Every file under the test's private folder but the preferences.
  std::vector<fs::path> storedFiles() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
      if (!entry.is_directory() && !inside(entry.path(), folder.path() / "config"))
        found.push_back(entry.path());
    }
    return found;
  }

  LoopbackServer files;
  std::atomic<int> served = 0;
  std::atomic<int> flakyMode = 0;
  std::string lastPath;
  int completions = 0;
};

TEST_F(FileLoaderTest, EachAddressHasItsOwnFileWhichTheNextDownloadReplaces) {
  const std::string url = files.url("/files/a/pic.png");
  const std::string first = loadAndWait(url);
  EXPECT_EQ(first, (tmp() / md5Hex(url).substr(0, 12) / "pic.png").string());
  EXPECT_EQ(readFile(first), "/files/a/pic.png #1");

  // The same address again: the same file, with the new content.
  EXPECT_EQ(loadAndWait(url), first);
  EXPECT_EQ(readFile(first), "/files/a/pic.png #2");

  // Another address ending in the same name does not overwrite it.
  const std::string other = loadAndWait(files.url("/files/b/pic.png"));
  EXPECT_NE(other, first);
  EXPECT_EQ(fs::path(other).filename(), "pic.png");
  EXPECT_EQ(readFile(first), "/files/a/pic.png #2");
  EXPECT_EQ(readFile(other), "/files/b/pic.png #3");

  // The query is part of the name; the caches variant stores under the caches folder.
  const std::string query = files.url("/files/pic.png?v=2&w=3");
  const std::string cached = loadAndWait(query, true);
  EXPECT_EQ(cached, (caches() / md5Hex(query).substr(0, 12) / "pic.png?v=2&w=3").string());
  EXPECT_EQ(readFile(cached), "/files/pic.png #4");
}

TEST_F(FileLoaderTest, NamesThatAreNotPlainFileNamesStayInsideTheSdkFolders) {
  const std::vector<std::string> urls = {
      files.url("/files/"),      files.url("/files/%2e%2e"),
      files.url("/files/%2E"),   files.url("/files/..%2F..%2F..%2Fescaped"),
      files.url("/files/a%5Cb"), files.url("/files/x%00y"),
      files.url("/files/%2F"),   files.url("/files/.."),
  };
  std::vector<std::string> stored;
  for (const auto& url : urls) {
    stored.push_back(loadAndWait(url, stored.size() % 2 == 1));
    EXPECT_EQ(fs::path(stored.back()).filename(), "download") << url;
  }
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(std::unique(stored.begin(), stored.end()), stored.end())
      << "two addresses shared a file";

  // Percent escapes that decode to a harmless name are kept as they are.
  EXPECT_EQ(fs::path(loadAndWait(files.url("/files/my%20pic.png"))).filename(), "my%20pic.png");

  for (const auto& file : storedFiles())
    EXPECT_TRUE(inside(file, tmp()) || inside(file, caches())) << file;
}

TEST_F(FileLoaderTest, FailedDownloadsNeverCallBackAndLeaveTheFileInPlace) {
  const std::string url = files.url("/flaky/pic.png");
  const std::string path = loadAndWait(url);
  ASSERT_EQ(readFile(path), "good #1");

  // Any status outside 2xx (a 3xx without a target included), or a broken transfer.
  for (const int mode : {404, 500, 300, 304, -1}) {
    flakyMode = mode;
    expectFailure(url);
    EXPECT_EQ(readFile(path), "good #1") << "after mode " << mode;
  }
  expectFailure("http://127.0.0.1:" + std::to_string(closedPort()) + "/pic.png");
  expectFailure("not a url");
  expectFailure("");
  EXPECT_EQ(failureLines(), 8);

  // No partial file is left behind.
  for (const auto& file : storedFiles())
    EXPECT_EQ(file.string().find(".part"), std::string::npos) << file;
}

}  // namespace
}  // namespace zelvora::test
