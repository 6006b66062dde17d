#include "model/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

#include "model/errors.h"

namespace torvex {
namespace {

std::string hexOf(const unsigned char* digest, unsigned int length) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int b = 0; b < length; ++b) {
    hex.push_back(kHex[digest[b] >> 4]);
    hex.push_back(kHex[digest[b] & 0x0F]);
  }
  return hex;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 digest failed");
  return hexOf(digest, length);
}

std::string sha256OfFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw InputError(path + ": cannot be read (" + std::strerror(errno) + ")");
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 digest failed");
  std::array<unsigned char, 1 << 16> buffer{};
  while (true) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw InputError(path + ": cannot be read (" + std::strerror(errno) + ")");
    if (got == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) != 1)
      throw std::runtime_error("SHA-256 digest failed");
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 digest failed");
  return hexOf(digest, length);
}

}  // namespace torvex
