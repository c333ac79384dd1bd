// A speech service for the application's tests: a real HTTPS server on
// 127.0.0.1 (the build folder's CA, which HttpAccess trusts) that answers
// the token path and the speech path as a test scripts it and records every
// request it gets.
//
//   ScriptedService service;                      // token "tok-1", "tok-2", ...; MP3 answers
//   service.SetSpeechAnswer({200, "application/json", "{\"err_no\":501}"});
//   SpeakText("abc", 4, player, service.Service());
//   service.SpeechRequests()[0].target            // "/text2audio?tex=%61%62%63&tok=tok-1&..."
//
// And a player for SpeakText that plays nothing but records what it was
// asked, with a look at the file at the moment it was opened.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/speak_text.h"
#include "tests/support/test_server.h"

namespace sonavel::testing {

inline constexpr char kTestApiKey[] = "TestApiKey00000000000024";
inline constexpr char kTestSecretKey[] = "TestSecretKey0000000000000000032";

struct SeenRequest {
  std::string method{};
  std::string target{};  // path and query, as they came
  httplib::Headers headers{};
};

struct Answer {
  int status = 200;
  std::string contentType{};  // no Content-Type header when empty
  std::string body{};
  httplib::Headers extraHeaders{};
};

class ScriptedService {
 public:
  ScriptedService();
  ~ScriptedService();

  // Hosts 127.0.0.1:PORT, the test keys.
  SpeechService Service() const;
  int port() const { return server_.port(); }

  // The token answer; by default {"access_token":"tok-N","expires_in":2592000}
  // for the N-th request, as application/json.
  void SetTokenAnswer(Answer answer);
  // The speech answer; by default 200, audio/mp3 and kSpeechBody.
  void SetSpeechAnswer(Answer answer);

  std::vector<SeenRequest> TokenRequests() const;
  std::vector<SeenRequest> SpeechRequests() const;

  static inline const std::string kSpeechBody = std::string("ID3\x04\x00 not really mp3", 21);

 private:
  TestServer server_;
  mutable std::mutex mutex_;
  std::optional<Answer> tokenAnswer_;
  Answer speechAnswer_;
  std::vector<SeenRequest> token_;
  std::vector<SeenRequest> speech_;
};

// The query value of `key` in a request target ("" when missing).
std::string QueryValue(const std::string& target, const std::string& key);

class RecordingPlayer : public AudioPlayer {
 public:
  struct Event {
    std::string what{};    // "open" or "play"
    std::string path{};    // for "open"
    bool existed = false;  // a regular file stood at `path` when it was opened
    mode_t mode = 0;       // its permission bits
    std::size_t size = 0;  // its size
    std::string head{};    // its first 64 bytes
  };

  void Open(const std::string& path) override;
  void Play() override;

  std::vector<Event> events;
};

}  // namespace sonavel::testing
