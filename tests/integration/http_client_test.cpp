// HttpClient::download against a test server on 127.0.0.1: the destination file is replaced
// only by a complete, successful transfer, and every completion runs on the main queue.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "LoopbackServer.h"
#include "net/HttpClient.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

namespace fs = std::filesystem;

class DownloadTest : public SdkTest {
 protected:
  DownloadTest() {
    loopback.http.Get("/file", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("new content", "application/octet-stream");
    });
    loopback.http.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
      response.status = 404;
      response.set_content("not found", "text/plain");
    });
    loopback.http.Get("/cut", [](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(8192, "application/octet-stream",
                                    [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                      if (offset != 0) return false;
                                      sink.write("partial", 7);
                                      return true;
                                    });
    });
    loopback.start();
    fs::create_directories(downloads);
  }

  struct Outcome {
    std::optional<HttpError> error;
    bool onMainThread = false;
  };

  /// Downloads `url` into `destination` and waits for the completion.
  Outcome download(const std::string& url, const fs::path& destination) {
    std::optional<Outcome> outcome;
    HttpClient::shared().download(url, destination, [&](std::optional<HttpError> error) {
      outcome = Outcome{std::move(error), runLoop().isMainThread()};
    });
    EXPECT_TRUE(runUntil([&] { return outcome.has_value(); })) << "no completion for " << url;
    return outcome.value_or(Outcome{HttpError{"no completion"}, false});
  }

  /// The names in the downloads folder, so stray partial files show up.
  std::vector<std::string> downloadedNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(downloads))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  LoopbackServer loopback;
  const fs::path downloads = folder.path() / "downloads";
};

TEST_F(DownloadTest, SuccessReplacesAnOlderFile) {
  const fs::path destination = downloads / "media.bin";
  writeFile(destination, "an older and longer file");
  const Outcome outcome = download(loopback.url("/file"), destination);
  EXPECT_FALSE(outcome.error) << outcome.error->localizedDescription;
  EXPECT_TRUE(outcome.onMainThread);
  EXPECT_EQ(readFile(destination), "new content");
  EXPECT_EQ(downloadedNames(), (std::vector<std::string>{"media.bin"}));
}

TEST_F(DownloadTest, HttpErrorLeavesNoFile) {
  const Outcome outcome = download(loopback.url("/missing"), downloads / "media.bin");
  ASSERT_TRUE(outcome.error);
  EXPECT_NE(outcome.error->localizedDescription.find("404"), std::string::npos)
      << outcome.error->localizedDescription;
  EXPECT_TRUE(outcome.onMainThread);
  EXPECT_TRUE(downloadedNames().empty());

  // An existing file is kept as it was.
  writeFile(downloads / "kept.bin", "old");
  EXPECT_TRUE(download(loopback.url("/missing"), downloads / "kept.bin").error);
  EXPECT_EQ(readFile(downloads / "kept.bin"), "old");
  EXPECT_EQ(downloadedNames(), (std::vector<std::string>{"kept.bin"}));
}

TEST_F(DownloadTest, TransferCutShortLeavesTheOldFile) {
  writeFile(downloads / "media.bin", "old");
  const Outcome outcome = download(loopback.url("/cut"), downloads / "media.bin");
  EXPECT_TRUE(outcome.error);
  EXPECT_TRUE(outcome.onMainThread);
  EXPECT_EQ(readFile(downloads / "media.bin"), "old");
  EXPECT_EQ(downloadedNames(), (std::vector<std::string>{"media.bin"}));
}

TEST_F(DownloadTest, MissingDestinationDirectoryIsAnError) {
  const fs::path destination = downloads / "no-such-folder" / "media.bin";
  const Outcome outcome = download(loopback.url("/file"), destination);
  ASSERT_TRUE(outcome.error);
  EXPECT_FALSE(outcome.error->localizedDescription.empty());
  EXPECT_TRUE(outcome.onMainThread);
  EXPECT_FALSE(fs::exists(destination.parent_path()));
}

TEST_F(DownloadTest, ConcurrentDownloadsOfOneFileEachComplete) {
  const fs::path destination = downloads / "media.bin";
  int completions = 0;
  int offMainThread = 0;
  for (int i = 0; i < 4; ++i) {
    HttpClient::shared().download(loopback.url("/file"), destination,
                                  [&](std::optional<HttpError> error) {
                                    EXPECT_FALSE(error) << error->localizedDescription;
                                    if (!runLoop().isMainThread()) ++offMainThread;
                                    ++completions;
                                  });
  }
  ASSERT_TRUE(runUntil([&] { return completions == 4; }));
  EXPECT_EQ(offMainThread, 0);
  EXPECT_EQ(readFile(destination), "new content");
  EXPECT_EQ(downloadedNames(), (std::vector<std::string>{"media.bin"}));
}

}  // namespace
}  // namespace zelvora::test
