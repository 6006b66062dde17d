#include "model/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace torvex {

std::string sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 digest failed");
  constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int b = 0; b < length; ++b) {
    hex.push_back(kHex[digest[b] >> 4]);
    hex.push_back(kHex[digest[b] & 0x0F]);
  }
  return hex;
}

}  // namespace torvex
