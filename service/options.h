// The command line of sonavel-speech-service. Arguments are "--name VALUE" or
// "--name=VALUE"; see Usage() for the list. Pure: nothing is opened here.
//
//   ParseCommandLine({"--listen", "127.0.0.1:0", "--cert", "c.pem", "--key", "k.pem"})
//       -> config.host "127.0.0.1", config.port 0, no error
//   ParseCommandLine({"--listen", "0.0.0.0:8741", ...}).error
//       -> "0.0.0.0 is not a loopback address: add --allow-remote to listen there"
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/speech_service.h"

namespace sonavel::service {

struct CommandLine {
  ServiceConfig config;
  std::string port_file;  // where to write the bound port; empty: nowhere
  bool allow_remote = false;
  bool help = false;
  std::string error;  // empty when the arguments are good
};

// `args` without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string Usage();

// "HOST:PORT" with PORT 0-65535; an IPv6 host in brackets ("[::1]:8741").
bool ParseListenAddress(std::string_view text, std::string* host, int* port);

// localhost, 127.0.0.0/8 and ::1.
bool IsLoopbackHost(std::string_view host);

}  // namespace sonavel::service
