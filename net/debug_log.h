// A debug log for failed requests, off unless the build turns it on
// (CMake option SONAVEL_NET_DEBUG_LOG). When on, each failed Send writes one
// line to stderr: the method, the URL without user name, password, query or
// fragment, libcurl's code and its error text. Header values, bodies and
// proxy credentials are never written.
//
//   LogFailure("GET", "https://h/oauth?client_secret=x", 28, "Operation timed out")
//   // sonavel/net: GET https://h/oauth failed: curl 28: Operation timed out
#pragma once

#include <string>
#include <string_view>

namespace sonavel {

// True when the build writes the log.
bool DebugLogEnabled();

// The URL as it may be logged: scheme, host, port and path only; "(url)"
// when it cannot be parsed.   LoggableUrl("http://u:p@h:81/a?q#f") == "http://h:81/a"
std::string LoggableUrl(const std::string& url);

void LogFailure(std::string_view method, const std::string& url, int curlCode,
                std::string_view errorText);

}  // namespace sonavel
