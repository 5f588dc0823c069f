#pragma once

// Self-signed certificates made at test time with the openssl command.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zelvora::test {

struct CertificateFiles {
  std::filesystem::path certificate;
  std::filesystem::path privateKey;
};

/// A new self-signed certificate `<folder>/<name>.pem` for `subject` (e.g. "/CN=127.0.0.1"),
/// naming `altName` (e.g. "IP:127.0.0.1") in its subjectAltName, or without one when empty.
inline CertificateFiles makeCertificate(const std::filesystem::path& folder,
                                        const std::string& name, const std::string& subject,
                                        const std::string& altName) {
  CertificateFiles files{folder / (name + ".pem"), folder / (name + "-key.pem")};
  const std::string extension = altName.empty() ? "" : " -addext 'subjectAltName=" + altName + "'";
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj '" +
                              subject + "'" + extension + " -keyout '" + files.privateKey.string() +
                              "' -out '" + files.certificate.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl failed: " + command);
  return files;
}

}  // namespace zelvora::test
