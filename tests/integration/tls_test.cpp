// Initialisation against the reference server over HTTPS with a self-signed certificate made
// at test time: certificates are verified, and a host trusts a private CA with a CA file.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "LoopbackServer.h"
#include "support/SdkTest.h"

namespace zelvora::test {
namespace {

namespace fs = std::filesystem;

struct Certificate {
  fs::path certificate;
  fs::path privateKey;
};

/// A self-signed certificate and its key in `directory`, for `subject` and `altName`.
Certificate makeCertificate(const fs::path& directory, const std::string& subject,
                            const std::string& altName) {
  const Certificate made{directory / "cert.pem", directory / "key.pem"};
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj '" +
                              subject + "' -addext 'subjectAltName=" + altName + "' -keyout '" +
                              made.privateKey.string() + "' -out '" + made.certificate.string() +
                              "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl failed: " + command);
  return made;
}

class TlsTest : public SdkTest {
 protected:
  /// Starts the reference server over HTTPS with one placement for "app".
  std::string startHttpsServer(const Certificate& certificate) {
    server::ServerOptions options;
    options.campaigns = campaignsFor(
        "app",
        JSON{{"p1", placementObject("enabled", JSON::array({adObject("a1", "videoVast")}))}});
    options.certificateFile = certificate.certificate;
    options.privateKeyFile = certificate.privateKey;
    server = std::make_unique<server::ReferenceServer>(options);
    server->start();
    return server->endpointUrl();
  }

  void configure(const std::string& url, const std::string& caFile) {
    ServerConfiguration configuration;
    configuration.url = url;
    configuration.caFile = caFile;
    configuration.timeoutSeconds = 10;
    sdk().setServerConfiguration(configuration);
  }

  void expectRejected() {
    ASSERT_EQ(delegate->events.size(), 2u);
    EXPECT_EQ(delegate->events[0].rfind("onInitError:", 0), 0u) << delegate->events[0];
    EXPECT_EQ(delegate->events[1], "onInit:[]");
    EXPECT_TRUE(logged("ZelvoraFramework - " + delegate->events[0].substr(12)));
    EXPECT_TRUE(server->placementsRequests().empty()) << "nothing may reach an untrusted server";
    EXPECT_FALSE(sdk().isInitialized());
  }
};

TEST_F(TlsTest, SelfSignedCertificateIsRejectedWithoutCaFile) {
  const auto certificate = makeCertificate(folder.path(), "/CN=127.0.0.1", "IP:127.0.0.1");
  const std::string url = startHttpsServer(certificate);
  ASSERT_EQ(url.rfind("https://127.0.0.1:", 0), 0u);
  configure(url, "");
  initializeAndWait("app");
  expectRejected();
  EXPECT_NE(delegate->events[0].find("certificate"), std::string::npos) << delegate->events[0];
}

TEST_F(TlsTest, TrustedCaFileLetsInitialisationSucceed) {
  const auto certificate = makeCertificate(folder.path(), "/CN=127.0.0.1", "IP:127.0.0.1");
  configure(startHttpsServer(certificate), certificate.certificate.string());
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]"}));
  ASSERT_EQ(server->placementsRequests().size(), 1u);
  EXPECT_TRUE(server->placementsRequests()[0].signatureValid);
  EXPECT_TRUE(sdk().isInitialized());
}

TEST_F(TlsTest, TrustedCertificateForAnotherHostIsRejected) {
  const auto certificate = makeCertificate(folder.path(), "/CN=localhost", "DNS:localhost");
  configure(startHttpsServer(certificate), certificate.certificate.string());
  initializeAndWait("app");
  expectRejected();
}

TEST_F(TlsTest, MissingCaFileIsAnError) {
  const auto certificate = makeCertificate(folder.path(), "/CN=127.0.0.1", "IP:127.0.0.1");
  configure(startHttpsServer(certificate), (folder.path() / "no-such-ca.pem").string());
  initializeAndWait("app");
  expectRejected();
}

/// Makes a CA certificate and names it in $ZELVORA_CA_FILE before the SDK's HTTP client
/// exists (every test runs in a process of its own).
struct CaFileInEnvironment {
  CaFileInEnvironment() {
    certificate = makeCertificate(certificates.path(), "/CN=127.0.0.1", "IP:127.0.0.1");
    ::setenv("ZELVORA_CA_FILE", certificate.certificate.c_str(), 1);
  }
  ~CaFileInEnvironment() { ::unsetenv("ZELVORA_CA_FILE"); }

  TemporaryFolder certificates;
  Certificate certificate;
};

class TlsEnvironmentTest : public CaFileInEnvironment, public TlsTest {};

TEST_F(TlsEnvironmentTest, ConfigurationWithoutCaFileKeepsTheEnvironmentCaFile) {
  // The configuration names only the url: its empty CA file keeps $ZELVORA_CA_FILE.
  configure(startHttpsServer(certificate), "");
  initializeAndWait("app");
  EXPECT_EQ(delegate->events, (std::vector<std::string>{"onInit:[p1]"}));
}

}  // namespace
}  // namespace zelvora::test
