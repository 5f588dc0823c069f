// The reference server's "/vast/" route, in memory, and the sample documents' chains.

#include <gmock/gmock.h>

#include <regex>
#include <set>

#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

struct Answer {
  int status = 0;
  std::string contentType;
  std::string body;
};

Answer get(server::ReferenceServer& server, const std::string& target) {
  const std::string raw = server.respond("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
  Answer answer;
  answer.status = std::stoi(raw.substr(9, 3));
  const std::string field = "\r\nContent-Type: ";
  if (const auto at = raw.find(field); at != std::string::npos)
    answer.contentType =
        raw.substr(at + field.size(), raw.find("\r\n", at + 1) - at - field.size());
  answer.body = raw.substr(raw.find("\r\n\r\n") + 4);
  return answer;
}

TEST(VastRoute, ServesPlainFileNamesWithTheServerAndAdFilledIn) {
  TemporaryFolder folder;
  const auto vast = folder.path() / "vast";
  fs::create_directories(vast / "sub");
  writeFile(vast / "doc.xml", "<VAST><Error>{server}/t/e?ad={ad}</Error></VAST>");
  writeFile(vast / "sub" / "doc.xml", "<VAST/>");
  writeFile(folder.path() / "secret.xml", "<VAST/>");
  server::ServerOptions options;
  options.vastDirectory = vast;
  server::ReferenceServer server(options);
  const auto document = [&](const std::string& ad) {
    return "<VAST><Error>" + server.baseUrl() + "/t/e?ad=" + ad + "</Error></VAST>";
  };

  const struct {
    std::string target;
    int status;
    std::string body;
  } cases[] = {
      {"/vast/doc.xml?ad=vast-1", 200, document("vast-1")},
      {"/vast/doc.xml", 200, document("")},
      // Only characters that cannot leave the markup or the query they are put in.
      {"/vast/doc.xml?ad=%3C%2FError%3E%26x%3D%22_1", 200, document("Errorx_1")},
      {"/vast/doc.xml?ad=a&delay=0.01", 200, document("a")},
      {"/vast/missing.xml", 404, ""},
      {"/vast/../secret.xml", 404, ""},
      {"/vast/..%2Fsecret.xml", 404, ""},
      {"/vast/sub/doc.xml", 404, ""},
      {"/vast/..", 404, ""},
  };
  for (const auto& [target, status, body] : cases) {
    SCOPED_TRACE(target);
    const Answer answer = get(server, target);
    EXPECT_EQ(answer.status, status);
    if (status != 200) continue;
    EXPECT_EQ(answer.contentType, "application/xml");
    EXPECT_EQ(answer.body, body);
  }
}

// Every document a wrapper or a sample campaign points at is one the server has.
TEST(VastRoute, EverySampleChainLeadsToADocumentOfTheFolder) {
  const fs::path data = ZELVORA_SERVER_DATA_DIR;
  std::set<std::string> present;
  std::string texts = readFile(data / "campaigns" / "sample.json");
  for (const auto& entry : fs::directory_iterator(data / "vast")) {
    present.insert(entry.path().filename().string());
    texts += readFile(entry.path());
  }
  const std::regex reference(R"(\{server\}/vast/([^?"\]]+))");
  std::set<std::string> referenced;
  for (std::sregex_iterator at(texts.begin(), texts.end(), reference), end; at != end; ++at)
    referenced.insert((*at)[1]);
  EXPECT_THAT(referenced, ::testing::IsSupersetOf({"wrapper-1.xml", "deep-1.xml", "loop-a.xml"}));
  for (const auto& name : referenced) EXPECT_TRUE(present.count(name)) << name;
}

}  // namespace
}  // namespace zelvora::test
