// The access tokens that the token endpoint hands out, and their expiry.
//
// A token is 64 lower-case hex digits: 32 bytes from OpenSSL's CSPRNG, so it
// is unguessable and safe in a query or a JSON string without escaping. It is
// valid from its issue for `ttl`: at `now` it is valid while
// now < issued + ttl. The store keeps only SHA-256 digests of the tokens and
// at most `capacity` live ones; issuing one more forgets the oldest. Tokens
// live in memory only: a restarted service knows none. Thread-safe.
//
//   TokenStore store(std::chrono::seconds(60));
//   std::string token = store.Issue(now);   // e.g. "9f86d081884c7d65..."
//   store.IsValid(token, now + 59s) == true;  store.IsValid(token, now + 60s) == false
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace sonavel::service {

class TokenStore {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TokenStore(std::chrono::seconds ttl, std::size_t capacity = 100000);

  // A new token, or the empty text when the random generator fails.
  std::string Issue(Clock::time_point now = Clock::now());
  // False for the empty text, unknown, forgotten and expired tokens.
  bool IsValid(std::string_view token, Clock::time_point now = Clock::now());

  std::chrono::seconds ttl() const { return ttl_; }
  // The tokens held, expired ones not yet dropped included.
  std::size_t size() const;

 private:
  void DropOld(Clock::time_point now);  // needs mutex_

  const std::chrono::seconds ttl_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Clock::time_point> expiry_;    // digest -> end of validity
  std::deque<std::pair<Clock::time_point, std::string>> order_;  // in issue order
};

}  // namespace sonavel::service
