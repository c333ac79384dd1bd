#include "service/token_store.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace sonavel::service {
namespace {

using std::chrono::seconds;
const TokenStore::Clock::time_point kStart =
    TokenStore::Clock::time_point() + std::chrono::hours(1);

TEST(TokenStore, IssuesUnguessableHexTokens) {
  TokenStore store(seconds(60));
  std::set<std::string> seen;
  static const std::regex kHex("[0-9a-f]{64}");
  for (int i = 0; i < 200; ++i) {
    const std::string token = store.Issue(kStart);
    SCOPED_TRACE(token);
    EXPECT_TRUE(std::regex_match(token, kHex));
    EXPECT_TRUE(seen.insert(token).second);
  }
}

TEST(TokenStore, ValidUntilTheTimeToLiveRunsOut) {
  TokenStore store(seconds(60));
  const std::string token = store.Issue(kStart);
  const struct {
    TokenStore::Clock::time_point at;
    bool want;
  } cases[] = {
      {kStart, true},
      {kStart + seconds(59), true},
      {kStart + seconds(60) - std::chrono::nanoseconds(1), true},
      {kStart + seconds(60), false},
      {kStart + seconds(61), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.at - kStart).count());
    EXPECT_EQ(store.IsValid(token, c.at), c.want);
  }
}

TEST(TokenStore, RejectsWhatItDidNotIssue) {
  TokenStore store(seconds(60));
  const std::string token = store.Issue(kStart);
  std::string changed = token;
  changed[10] = changed[10] == 'a' ? 'b' : 'a';
  const std::string cases[] = {"",          changed, token.substr(0, 63),
                               token + "0", "x",     std::string(64, '0')};
  for (const std::string& candidate : cases) {
    SCOPED_TRACE(candidate);
    EXPECT_FALSE(store.IsValid(candidate, kStart));
  }
  EXPECT_TRUE(store.IsValid(token, kStart));
}

TEST(TokenStore, DropsExpiredTokensAndForgetsTheOldestBeyondCapacity) {
  TokenStore store(seconds(10), 3);
  const std::string first = store.Issue(kStart);
  const std::string second = store.Issue(kStart + seconds(1));
  const std::string third = store.Issue(kStart + seconds(2));
  const std::string fourth = store.Issue(kStart + seconds(3));
  EXPECT_EQ(store.size(), 3u);
  EXPECT_FALSE(store.IsValid(first, kStart + seconds(3)));
  EXPECT_TRUE(store.IsValid(second, kStart + seconds(3)));
  EXPECT_TRUE(store.IsValid(fourth, kStart + seconds(3)));

  EXPECT_FALSE(store.IsValid(third, kStart + seconds(12)));
  EXPECT_EQ(store.size(), 1u);  // second and third expired and were dropped
  EXPECT_TRUE(store.IsValid(fourth, kStart + seconds(12)));
}

}  // namespace
}  // namespace sonavel::service
