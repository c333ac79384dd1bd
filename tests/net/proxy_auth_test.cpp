#include "net/proxy_auth.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "text/rules.h"

namespace sonavel {
namespace {

// "BASE64("fo") = "Zm8="" lines of the RFC 4648 section 10 vectors.
std::vector<std::pair<std::string, std::string>> ReadBase64Vectors(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> vectors;
  std::ifstream in(path);
  const std::regex line(R"re(^BASE64\("([^"]*)"\) = "([^"]*)"$)re");
  std::string text;
  std::smatch match;
  while (std::getline(in, text)) {
    if (std::regex_match(text, match, line)) vectors.emplace_back(match[1], match[2]);
  }
  return vectors;
}

TEST(Base64EncodeTest, Rfc4648Vectors) {
  const std::string path = SONAVEL_SOURCE_DIR "/../shared/refs/rfc4648-section10-vectors.txt";
  const auto vectors = ReadBase64Vectors(path);
  if (vectors.empty()) GTEST_SKIP() << "no test vectors at " << path;
  EXPECT_EQ(vectors.size(), 7u);
  for (const auto& [input, want] : vectors) {
    SCOPED_TRACE("[" + input + "]");
    Bytes data = ToBytes(input);
    EXPECT_EQ(Base64Encode(data), want);
  }
}

TEST(Base64EncodeTest, EncodesAndPadsTheCallersVariable) {
  const struct {
    Bytes input;
    Text want;
    Bytes wantAfter;
  } cases[] = {
      {{}, "", {}},
      {{'f'}, "Zg==", {'f', 0, 0}},
      {{'f', 'o', 'o'}, "Zm9v", {'f', 'o', 'o'}},
      {{'f', 'o', 'o', 'b'}, "Zm9vYg==", {'f', 'o', 'o', 'b', 0, 0}},
      {{'f', 'o', 'o', 'b', 'a'}, "Zm9vYmE=", {'f', 'o', 'o', 'b', 'a', 0}},
      {{'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy", {'f', 'o', 'o', 'b', 'a', 'r'}},
      // Unsigned bytes; the worked examples of RFC 4648 section 9.
      {{0x14, 0xFB, 0x9C, 0x03, 0xD9, 0x7E}, "FPucA9l+", {0x14, 0xFB, 0x9C, 0x03, 0xD9, 0x7E}},
      {{0x14, 0xFB, 0x9C, 0x03, 0xD9}, "FPucA9k=", {0x14, 0xFB, 0x9C, 0x03, 0xD9, 0}},
      {{0x14, 0xFB, 0x9C, 0x03}, "FPucAw==", {0x14, 0xFB, 0x9C, 0x03, 0, 0}},
      {{0xFF, 0xFF, 0xFF}, "////", {0xFF, 0xFF, 0xFF}},
      {{0x00}, "AA==", {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    Bytes data = c.input;
    EXPECT_EQ(Base64Encode(data), c.want);
    EXPECT_EQ(data, c.wantAfter);
  }
}

TEST(ProxyAuthorizationValueTest, BasicOfUserColonPassword) {
  const struct {
    Text user;
    Text password;
    Text want;
  } cases[] = {
      {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {"alice", "", "Basic YWxpY2U6"},
      // 张三 in code page 936 is D5 C5 C8 FD.
      {"\xD5\xC5\xC8\xFD", "pw", "Basic 1cXI/Tpwdw=="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(ProxyAuthorizationValue(c.user, c.password), c.want);
  }
}

}  // namespace
}  // namespace sonavel
