#pragma once
// What the page server sends: the page with what keeps it following the
// latest preview, short answers, and the head of the update stream.

#include <memory>
#include <string>

namespace Herald {

// A response made once and shared by every connection that sends it.
using SharedText = std::shared_ptr<const std::string>;

// The whole response to "GET /": the page --html writes, with the version it
// is and the script that follows it, made once for every client.
std::string PageResponse(const std::string& html, const std::string& version);

// A refusal, or an answer of nothing to see; the connection closes after it.
SharedText ShortResponse(int status);

// The stream's response has no length: it ends when the connection does.
inline constexpr char StreamHead[] =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n\r\n";

}  // namespace Herald
