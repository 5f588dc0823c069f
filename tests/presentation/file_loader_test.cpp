// The file loader against a local HTTP server: where files land, that an address is fetched
// once per run, that a failed download neither calls back nor touches the file already in
// place (and is tried again when asked again), and that a download from before a reset of
// the SDK never calls back.
#include <atomic>
#include <chrono>
#include <thread>

#include "net/Md5.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"
#include "tools/SdkDirectories.h"
#include "util/TestingReset.h"

namespace zelvora::test {
namespace {

bool inside(const fs::path& path, const fs::path& folder) {
  const auto relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
  return !relative.empty() && *relative.begin() != "..";
}

class FileLoaderTest : public SdkTest {
 protected:
  FileLoaderTest() {
    // Status 200 answers "<path> #<request count>"; any other status an error page; -1
    // announces more than it sends and drops the connection.
    files.http.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
      const int status = mode.load();
      if (status == -1) {
        response.set_content_provider(1000, "image/png", [](std::size_t, std::size_t, auto& sink) {
          sink.write("partial", 7);
          return false;
        });
      } else {
        response.status = status;
        response.set_content(request.path + " #" + std::to_string(++served), "text/plain");
      }
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
  /// Loads `url`, which must fail: one console line, no completion.
  void expectFailure(const std::string& url) {
    const long before = logCount("download failed: ");
    const int completed = completions;
    load(url);
    EXPECT_TRUE(runUntil([&] {
      return logCount("download failed: ") > before || completions > completed;
    })) << url;
    runLoop().pump();
    EXPECT_EQ(completions, completed) << url;
  }

  fs::path tmp() const { return sdkTemporaryDirectory(); }
  fs::path caches() const { return sdkCachesDirectory(); }

  LoopbackServer files;
  std::atomic<int> served = 0;
  std::atomic<int> mode = 200;
  std::string lastPath;
  int completions = 0;
};

// Each address has a file of its own, named after its last component (query included). It
// is fetched once per run: asked for again, while on its way or once there, it comes without
// a request, never inside the call; removed, or in the next run, it is fetched again and
// replaced.
TEST_F(FileLoaderTest, EachAddressHasItsOwnFileFetchedOncePerRun) {
  const std::string url = files.url("/files/a/pic.png");
  load(url);
  load(url);
  EXPECT_EQ(completions, 0);
  ASSERT_TRUE(runUntil([&] { return completions == 2; }));
  const std::string first = lastPath;
  EXPECT_EQ(first, (tmp() / md5Hex(url).substr(0, 12) / "pic.png").string());
  load(url);
  EXPECT_EQ(completions, 2);
  ASSERT_TRUE(runUntil([&] { return completions == 3; }));
  EXPECT_EQ(lastPath, first);
  EXPECT_EQ(readFile(first), "/files/a/pic.png #1");

  const std::string other = loadAndWait(files.url("/files/b/pic.png"));
  EXPECT_NE(other, first);
  EXPECT_EQ(readFile(first), "/files/a/pic.png #1");

  fs::remove(first);
  EXPECT_EQ(loadAndWait(url), first);
  EXPECT_EQ(readFile(first), "/files/a/pic.png #3");
  FileLoader::forgetDownloads();
  EXPECT_EQ(loadAndWait(url), first);
  EXPECT_EQ(readFile(first), "/files/a/pic.png #4");

  const std::string query = files.url("/files/pic.png?v=2&w=3");
  const std::string cached = loadAndWait(query, true);
  EXPECT_EQ(cached, (caches() / md5Hex(query).substr(0, 12) / "pic.png?v=2&w=3").string());
  EXPECT_EQ(readFile(cached), "/files/pic.png #5");
}

// Names that are not plain file names are stored as "download", each address still apart,
// and nothing lands outside the SDK's folders.
TEST_F(FileLoaderTest, UnsafeNamesStayInsideTheSdkFolders) {
  std::vector<std::string> stored;
  for (const char* path :
       {"/files/", "/files/%2e%2e", "/files/%2E", "/files/..%2F..%2F..%2Fescaped", "/files/a%5Cb",
        "/files/x%00y", "/files/%2F", "/files/.."}) {
    stored.push_back(loadAndWait(files.url(path), stored.size() % 2 == 1));
    EXPECT_EQ(fs::path(stored.back()).filename(), "download") << path;
  }
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(std::unique(stored.begin(), stored.end()), stored.end())
      << "two addresses shared a file";
  EXPECT_EQ(fs::path(loadAndWait(files.url("/files/my%20pic.png"))).filename(), "my%20pic.png");

  for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
    EXPECT_TRUE(entry.is_directory() || inside(entry.path(), folder.path() / "config") ||
                inside(entry.path(), tmp()) || inside(entry.path(), caches()))
        << entry.path();
  }
}

// Any status outside 2xx (a 3xx without a target included) or a broken transfer is a
// failure, as are addresses that cannot be fetched; the file in place (from an earlier run)
// stays, no partial file is left. Two requests for a file that fails wait for one transfer
// and get one line; the next request tries again.
TEST_F(FileLoaderTest, FailuresNeverCallBackAndLeaveTheFileInPlace) {
  const std::string url = files.url("/pic.png");
  const std::string path = loadAndWait(url);
  for (const int status : {404, 500, 300, 304, -1}) {
    FileLoader::forgetDownloads();
    mode = status;
    expectFailure(url);
    EXPECT_EQ(readFile(path), "/pic.png #1") << "after " << status;
  }
  expectFailure(closedUrl("/pic.png"));
  expectFailure("not a url");
  expectFailure("");
  EXPECT_EQ(logCount("download failed: "), 8);
  for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
    EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();

  const std::string other = files.url("/other.png");
  mode = 404;
  load(other);
  expectFailure(other);
  EXPECT_EQ(logCount("download failed: "), 9);
  mode = 200;
  EXPECT_EQ(readFile(loadAndWait(other)).rfind("/other.png #", 0), 0u);
}

// A download that was under way when the SDK was reset lands in its file, but its completion
// never reaches the new world (it would set an asset path, or add an old answer's placements);
// one started after the reset calls back as usual.
TEST_F(FileLoaderTest, DownloadFromBeforeAResetNeverCallsBack) {
  const std::string before = files.url("/before.png");
  load(before);
  internal::resetProcessState();
  const fs::path file = FileLoader::localPath(tmp(), before);
  for (int i = 0; i < 2000 && !fs::exists(file); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(fs::exists(file));
  // Completions are posted in the order transfers end: once this one called back, the first
  // had its turn.
  EXPECT_EQ(fs::path(loadAndWait(files.url("/after.png"))).filename(), "after.png");
  EXPECT_EQ(completions, 1);
}

}  // namespace
}  // namespace zelvora::test
