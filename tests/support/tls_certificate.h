// A certificate and key for 127.0.0.1, made by the openssl program in a
// folder of their own and removed with it. Loopback https servers present
// the certificate; a client trusts it by naming it as its authority.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "tests/support/files.h"

namespace vx::support {

class LoopbackCertificate {
 public:
  LoopbackCertificate() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vettrix-tls-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot make a folder for the test certificate");
    }
    dir_ = pattern;
    // An elliptic-curve key: made in milliseconds, where RSA takes longer.
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
        Quote(key()) + " -out " + Quote(cert()) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(cert())) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
      throw std::runtime_error(
          "the openssl program could not make the test certificate: install the Debian package "
          "openssl (scripts/deps.sh)");
    }
  }
  ~LoopbackCertificate() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  LoopbackCertificate(const LoopbackCertificate&) = delete;
  LoopbackCertificate& operator=(const LoopbackCertificate&) = delete;

  std::string cert() const { return (dir_ / "cert.pem").string(); }
  std::string key() const { return (dir_ / "key.pem").string(); }

 private:
  std::filesystem::path dir_;
};

}  // namespace vx::support
