// Servers that misbehave, one case per row: each request ends in exactly one outcome (init:
// onInitError then onInit; a download: one "download failed" line and no completion; a
// beacon: silence, or one line for a refused redirect), nothing ever reaches an address a
// redirect downgraded to clear text, and no file is left behind. Then many downloads under a
// low file-descriptor limit.

#include <sys/resource.h>

#include <map>

#include "RESTClient.h"
#include "net/HttpClient.h"
#include "support/Certificates.h"
#include "support/FaultServer.h"
#include "support/LoopbackServer.h"
#include "support/SdkTest.h"
#include "tools/FileLoader.h"

namespace zelvora::test {
namespace {

enum class Request { init, download, beacon };
/// Where the request goes: the fault server, or an HTTPS server with a good or a bad
/// certificate.
enum class Via { fault, https, httpsCnOnly, httpsOtherHost, httpsUntrusted, nowhere };

struct FaultCase {
  std::string name;
  Request request;
  Via via;
  std::string path;  // "{https}" stands for the good HTTPS server's address
  AssetKind kind;
  /// A fragment of the failure's description; empty when the request must succeed (or, for a
  /// beacon, end in silence).
  std::string failure;
};

void PrintTo(const FaultCase& row, std::ostream* out) {
  *out << row.name;
}

constexpr auto kImage = AssetKind::image;
constexpr auto kVideo = AssetKind::video;
constexpr auto kWeb = AssetKind::webAsset;
const std::string kDowngrade = "redirect from https to http was refused";

std::vector<FaultCase> faultCases() {
  using enum Request;
  using enum Via;
  std::vector<FaultCase> rows = {
      {"InitRefused", init, nowhere, "/srv", kWeb, "onnect"},
      {"InitStallBeforeHeaders", init, fault, "/stall-headers", kWeb, "timed out"},
      {"InitStallAfterHeaders", init, fault, "/stall-body", kWeb, "timed out"},
      {"InitDrip", init, fault, "/drip", kWeb, "deadline"},
      {"InitResetMidBody", init, fault, "/reset", kWeb, "reset"},
      {"InitTruncated", init, fault, "/truncated", kWeb, "partial"},
      {"InitBadChunked", init, fault, "/bad-chunked", kWeb, "chunk"},
      {"InitHugeAnnounced", init, fault, "/huge", kWeb, "larger than the 65536 bytes"},
      {"InitHugeChunked", init, fault, "/endless", kWeb, "larger than the 65536 bytes"},
      {"InitRedirectLoop", init, fault, "/loop", kWeb, "redirects"},
      {"InitViaHttpsThenDowngrade", init, fault, "/redirect/302/{https}/r/307/answer.json", kWeb,
       kDowngrade},
      {"InitCnOnlyCertificate", init, httpsCnOnly, "/file/answer.json", kWeb, "certificate"},
      {"InitCertificateForAnotherHost", init, httpsOtherHost, "/file/answer.json", kWeb,
       "certificate"},
      {"InitUntrustedCertificate", init, httpsUntrusted, "/file/answer.json", kWeb, "certificate"},
      {"InitHttpsRedirectStaysOnHttps", init, https, "/s/307/answer.json", kWeb, ""},
      {"DownloadRefused", download, nowhere, "/a.png", kImage, "onnect"},
      {"DownloadStallBeforeHeaders", download, fault, "/stall-headers", kWeb, "timed out"},
      {"DownloadStallAfterHeaders", download, fault, "/stall-body", kWeb, "timed out"},
      {"DownloadDrip", download, fault, "/drip", kWeb, "deadline"},
      {"DownloadResetMidBody", download, fault, "/reset", kWeb, "reset"},
      {"DownloadTruncated", download, fault, "/truncated", kVideo, "partial"},
      {"DownloadBadChunked", download, fault, "/bad-chunked", kWeb, "chunk"},
      {"DownloadRedirectLoop", download, fault, "/loop", kImage, "redirects"},
      {"ImageOverLimitAnnounced", download, fault, "/file/banner.png", kImage,
       "image is larger than the 4096 bytes"},
      {"VideoOverLimitWhileArriving", download, fault, "/endless", kVideo,
       "video is larger than the 262144 bytes"},
      {"WebAssetOverLimitAnnounced", download, fault, "/huge", kWeb,
       "file is larger than the 65536 bytes"},
      {"TextAsImage", download, fault, "/file/text", kImage, "not an image"},
      {"TextAsVideo", download, fault, "/file/text", kVideo, "not a video"},
      {"DownloadCnOnlyCertificate", download, httpsCnOnly, "/file/banner-small.png", kImage,
       "certificate"},
      {"DownloadUntrustedCertificate", download, httpsUntrusted, "/file/banner-small.png", kImage,
       "certificate"},
      {"WebmVideo", download, fault, "/file/video.webm", kVideo, ""},
      {"Mp4Video", download, https, "/s/302/video.mp4", kVideo, ""},
      {"ImageUpgradedToHttps", download, fault, "/redirect/301/{https}/file/banner-small.png",
       kImage, ""},
      // Ended only by the close: taken only when the file proves whole.
      {"UnmarkedImage", download, fault, "/unmarked/0/banner-small.png", kImage, ""},
      {"UnmarkedImageCutShort", download, fault, "/unmarked/700/banner-small.png", kImage,
       "cut short: the PNG does not end"},
      {"UnmarkedImageLastByteLost", download, fault, "/unmarked/1/banner-small.png", kImage,
       "cut short: the PNG does not end"},
      {"UnmarkedMp4", download, fault, "/unmarked/0/movie.mp4", kVideo, ""},
      {"UnmarkedMp4CutShort", download, fault, "/unmarked/100/movie.mp4", kVideo,
       "cut short: the MP4's mdat box runs past the end"},
      {"UnmarkedWebm", download, fault, "/unmarked/0/video.webm", kVideo, ""},
      {"UnmarkedWebmCutShort", download, fault, "/unmarked/1000/video.webm", kVideo,
       "cut short: the WebM's element runs past the end"},
      {"UnmarkedText", download, fault, "/unmarked/5/text", kWeb, ""},
      {"BeaconDrip", beacon, fault, "/drip", kWeb, ""},
      {"BeaconDowngrade", beacon, https, "/r/302/text", kWeb, kDowngrade},
  };
  // Every redirect status, on both requests that have an outcome.
  for (const char* status : {"301", "302", "303", "307", "308"}) {
    rows.push_back({std::string("InitDowngrade") + status, init, https,
                    std::string("/r/") + status + "/answer.json", kWeb, kDowngrade});
    rows.push_back({std::string("DownloadDowngrade") + status, download, https,
                    std::string("/r/") + status + "/banner-small.png", kImage, kDowngrade});
  }
  return rows;
}

const fs::path kAssets =
    fs::path(__FILE__).parent_path().parent_path().parent_path() / "server" / "assets";

/// An MP4 file's first box, "ftyp", and padding: all the check of a video reads.
std::string mp4() {
  std::string box(4, '\0');
  box[3] = 0x18;
  return box + "ftypisom" + std::string(100, '\0');
}

std::string mp4Box(const std::string& type, const std::string& payload) {
  const std::uint32_t size = static_cast<std::uint32_t>(8 + payload.size());
  return std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size)} + type +
         payload;
}

/// A whole MP4 file's top level: "ftyp", "moov" and the media data.
std::string movie() {
  return mp4Box("ftyp", "isom" + std::string(4, '\0') + "isomiso2") +
         mp4Box("moov", mp4Box("mvhd", std::string(100, '\0'))) +
         mp4Box("mdat", std::string(2000, 'm'));
}

class HostileNetworkTest : public SdkTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  HostileNetworkTest() {
    bodies = {{"answer.json", R"({"data": {"placements": {}}})"},
              {"text", "plain text, not a picture"},
              {"banner.png", readFile(kAssets / "sample-banner.png")},
              {"banner-small.png", readFile(kAssets / "ic_sound_on.png")},
              {"video.webm", readFile(kAssets / "sample-video.webm")},
              {"video.mp4", mp4()},
              {"movie.mp4", movie()}};
    for (const auto& [name, body] : bodies) fault.addFile(name, body);
    limits.initDeadlineSeconds = limits.beaconDeadlineSeconds = 2;
    limits.downloadDeadlineSeconds = 2;
    limits.maxAnswerBytes = limits.maxWebAssetBytes = 65536;
    limits.maxImageBytes = 4096;
    limits.maxVideoBytes = 262144;
  }

  /// An HTTPS server with a certificate made for the case; returns the CA file to trust.
  std::string startHttps(Via via) {
    const auto good = makeCertificate(folder.path(), "good", "/CN=127.0.0.1", "IP:127.0.0.1");
    CertificateFiles presented = good;
    if (via == Via::httpsCnOnly)
      presented = makeCertificate(folder.path(), "cn-only", "/CN=127.0.0.1", "");
    if (via == Via::httpsOtherHost)
      presented = makeCertificate(folder.path(), "other", "/CN=localhost", "DNS:localhost");
    if (via == Via::httpsUntrusted)
      presented = makeCertificate(folder.path(), "untrusted", "/CN=127.0.0.1", "IP:127.0.0.1");
    https = std::make_unique<LoopbackServer>(presented.certificate.string(),
                                             presented.privateKey.string());
    // /r/<status>/<name>: down to clear text; /s/<status>/<name>: to itself; /file/<name>.
    const auto redirect = [this](bool toClearText) {
      return [this, toClearText](const httplib::Request& request, httplib::Response& response) {
        response.status = std::stoi(request.matches[1]);
        const std::string name = request.matches[2];
        response.set_header("Location", toClearText ? fault.url("/cleartext/" + name)
                                                    : https->url("/file/" + name));
      };
    };
    const auto file = [this](const httplib::Request& request, httplib::Response& response) {
      response.set_content(bodies.at(request.matches[1]), "application/octet-stream");
    };
    for (const auto& [pattern, handler] :
         {std::pair<std::string, httplib::Server::Handler>{R"(/r/(\d+)/(.*))", redirect(true)},
          {R"(/s/(\d+)/(.*))", redirect(false)},
          {R"(/file/(.*))", file}}) {
      https->http.Get(pattern, handler);
      https->http.Post(pattern, handler);
    }
    https->start();
    return via == Via::httpsCnOnly || via == Via::httpsOtherHost ? presented.certificate.string()
                                                                 : good.certificate.string();
  }

  /// Files left in the temporary folder other than `kept` and the run folder's lock.
  std::vector<std::string> leftFiles(const std::string& kept) const {
    std::vector<std::string> left;
    if (!fs::exists(folder.path() / "tmp")) return left;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path() / "tmp")) {
      if (entry.is_regular_file() && entry.path() != kept && entry.path().filename() != ".lock")
        left.push_back(entry.path().string());
    }
    return left;
  }

  std::map<std::string, std::string> bodies;
  FaultServer fault;
  std::unique_ptr<LoopbackServer> https;
  TransferLimits limits;
};

TEST_P(HostileNetworkTest, EndsInExactlyOneOutcome) {
  const FaultCase& row = GetParam();
  std::string caFile;
  const bool needsHttps = row.via != Via::fault && row.via != Via::nowhere;
  if (needsHttps || row.path.find("{https}") != std::string::npos) caFile = startHttps(row.via);
  std::string path = row.path;
  if (const auto at = path.find("{https}"); at != std::string::npos)
    path.replace(at, 7, https->url(""));
  const std::string url = row.via == Via::nowhere ? closedUrl(path)
                          : needsHttps            ? https->url(path)
                                                  : fault.url(path);
  useServer(url, 1, caFile, limits);

  std::string kept;
  int completions = 0;
  switch (row.request) {
    case Request::init: {
      initializeAndWait("app");
      if (row.failure.empty()) {
        EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[]"}));
        EXPECT_TRUE(sdk().isInitialized());
        break;
      }
      ASSERT_EQ(delegate->events.size(), 2u) << ::testing::PrintToString(delegate->events);
      EXPECT_NE(delegate->events[0].find(row.failure), std::string::npos) << delegate->events[0];
      EXPECT_TRUE(logged("ZelvoraFramework - " + delegate->events[0].substr(12)));
      EXPECT_EQ(delegate->events[1], "onInit:[]");
      EXPECT_FALSE(sdk().isInitialized());
      break;
    }
    case Request::download: {
      FileLoader::loadFile(
          url,
          [&](const std::string& path) {
            ++completions;
            kept = path;
          },
          row.kind);
      ASSERT_TRUE(runUntil([&] { return completions > 0 || logged("download failed: "); }));
      runLoop().pump();
      EXPECT_EQ(completions, row.failure.empty() ? 1 : 0);
      EXPECT_EQ(logCount("download failed: "), row.failure.empty() ? 0 : 1);
      if (!row.failure.empty() && !lines.empty()) {
        EXPECT_NE(lines.back().find(row.failure), std::string::npos) << lines.back();
      }
      break;
    }
    case Request::beacon: {
      RESTClient::callBeacon(url);
      // The beacon ends when its line is written, or when the server sees it hang up (which
      // posts nothing to the main queue: it is looked at in short slices).
      const auto ended = [&] {
        return row.failure.empty() ? fault.connectionsEnded() > 0 : !lines.empty();
      };
      for (int slice = 0; slice < 400 && !ended(); ++slice) runUntil(ended, 0.05);
      ASSERT_TRUE(ended());
      runLoop().pump();
      EXPECT_EQ(lines.size(), row.failure.empty() ? 0u : 1u) << ::testing::PrintToString(lines);
      if (!row.failure.empty()) {
        EXPECT_NE(lines.front().find(row.failure), std::string::npos) << lines.front();
      }
      break;
    }
  }
  EXPECT_EQ(fault.requests("/cleartext/"), 0) << "a downgraded redirect was followed";
  EXPECT_EQ(leftFiles(kept), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Faults, HostileNetworkTest, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name; });

// However many files are asked for at once, only a few transfers hold sockets and files at a
// time: under a descriptor limit far below the number of downloads every one completes.
using DescriptorLimitTest = SdkTest;

TEST_F(DescriptorLimitTest, ManyDownloadsStayWithinIt) {
  LoopbackServer files;
  files.http.Get(R"(/n/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content("file " + std::string(request.matches[1]), "text/plain");
  });
  files.start();
  int open = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++open;
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(open + 48);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

  constexpr int kDownloads = 300;
  int completions = 0;
  for (int i = 0; i < kDownloads; ++i) {
    FileLoader::loadFile(files.url("/n/" + std::to_string(i)),
                         [&](const std::string&) { ++completions; });
  }
  EXPECT_TRUE(runUntil([&] { return completions + logCount("download failed: ") == kDownloads; }));
  EXPECT_EQ(completions, kDownloads) << (lines.empty() ? "" : lines.front());
}

}  // namespace
}  // namespace zelvora::test
