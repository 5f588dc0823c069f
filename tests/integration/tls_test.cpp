// Initialisation over HTTPS with a self-signed certificate made at test time: certificates
// are always verified, and a host trusts a private CA with a CA file. A certificate that names
// another host, or the host in its common name only, is the hostile-network table's.

#include "support/Certificates.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

class TlsTest : public SdkTest {
 protected:
  /// Starts the reference server over HTTPS with a new self-signed certificate for
  /// `subject`/`altName` and one placement for "app"; returns the certificate file.
  std::string startHttpsServer(const std::string& subject, const std::string& altName) {
    const auto certificate = makeCertificate(folder.path(), "cert", subject, altName);
    server::ServerOptions options;
    options.certificateFile = certificate.certificate;
    options.privateKeyFile = certificate.privateKey;
    options.campaigns = campaignsFor(
        "app", {{"p1", placementObject("enabled", JSON::array({adObject("a1", "videoVast")}))}});
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    return options.certificateFile.string();
  }

  /// Initialises with `caFile` and expects the server to be refused before any request.
  void expectRejected(const std::string& caFile) {
    delegate->events.clear();
    delegate->reasons.clear();
    useServer(server->endpointUrl(), 10, caFile);
    initializeAndWait("app");
    ASSERT_EQ(delegate->events.size(), 2u);
    EXPECT_EQ(delegate->events[0].rfind("onInitError:", 0), 0u) << delegate->events[0];
    EXPECT_EQ(delegate->reasons, std::vector<std::string>{"101:" + delegate->events[0].substr(12)});
    EXPECT_EQ(delegate->events[1], "onInit:[]");
    EXPECT_TRUE(server->placementsRequests().empty()) << "nothing may reach an untrusted server";
    EXPECT_FALSE(sdk().isInitialized());
  }
};

TEST_F(TlsTest, SelfSignedFailsWithoutItsCaFileAndSucceedsWithIt) {
  const std::string ca = startHttpsServer("/CN=127.0.0.1", "IP:127.0.0.1");
  ASSERT_EQ(server->endpointUrl().rfind("https://127.0.0.1:", 0), 0u);
  expectRejected("");
  EXPECT_NE(delegate->events[0].find("certificate"), std::string::npos) << delegate->events[0];
  expectRejected((folder.path() / "no-such-ca.pem").string());

  delegate->events.clear();
  useServer(server->endpointUrl(), 10, ca);
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]"}));
  ASSERT_EQ(server->placementsRequests().size(), 1u);
  EXPECT_TRUE(server->placementsRequests()[0].signatureValid);
}

}  // namespace
}  // namespace zelvora::test
