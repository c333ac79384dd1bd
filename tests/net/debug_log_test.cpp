#include "net/debug_log.h"

#include <gtest/gtest.h>

namespace sonavel {
namespace {

TEST(LoggableUrlTest, KeepsNoQueryNoCredentials) {
  const struct {
    std::string url;
    std::string want;
  } cases[] = {
      {"https://h/oauth/2.0/token?grant_type=x&client_secret=s", "https://h/oauth/2.0/token"},
      {"http://user:pass@h:81/a?q#f", "http://h:81/a"},
      {"http://h", "http://h/"},
      {"not a url", "(url)"},
      {"", "(url)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(LoggableUrl(c.url), c.want);
  }
}

}  // namespace
}  // namespace sonavel
