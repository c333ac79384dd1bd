#include "service/token_store.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>

namespace sonavel::service {
namespace {

// SHA-256 of the token as 32 raw bytes, or the empty text on failure.
std::string Digest(std::string_view token) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(token.data(), token.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(digest.data()), length);
}

}  // namespace

TokenStore::TokenStore(std::chrono::seconds ttl, std::size_t capacity)
    : ttl_(ttl), capacity_(capacity == 0 ? 1 : capacity) {}

std::string TokenStore::Issue(Clock::time_point now) {
  std::array<unsigned char, 32> random{};
  if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) return std::string();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  token.reserve(random.size() * 2);
  for (const unsigned char byte : random) {
    token += kHex[byte >> 4];
    token += kHex[byte & 0x0F];
  }
  std::string digest = Digest(token);
  if (digest.empty()) return std::string();

  const Clock::time_point end = now + ttl_;
  std::lock_guard lock(mutex_);
  DropOld(now);
  while (order_.size() >= capacity_) {
    expiry_.erase(order_.front().second);
    order_.pop_front();
  }
  expiry_[digest] = end;
  order_.emplace_back(end, std::move(digest));
  return token;
}

bool TokenStore::IsValid(std::string_view token, Clock::time_point now) {
  if (token.empty()) return false;
  const std::string digest = Digest(token);
  if (digest.empty()) return false;
  std::lock_guard lock(mutex_);
  DropOld(now);
  const auto found = expiry_.find(digest);
  return found != expiry_.end() && now < found->second;
}

std::size_t TokenStore::size() const {
  std::lock_guard lock(mutex_);
  return expiry_.size();
}

void TokenStore::DropOld(Clock::time_point now) {
  while (!order_.empty() && order_.front().first <= now) {
    expiry_.erase(order_.front().second);
    order_.pop_front();
  }
}

}  // namespace sonavel::service
