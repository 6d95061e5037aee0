#pragma once
// The head of a request to the page server, read as it comes: the request
// line and the header lines, which a client may send a byte at a time or
// without end. Only what the server answers is taken -- GET, no body, a head
// of bounded size -- so anything else is refused as soon as it shows, before
// the rest of it is read. Pure: bytes in, a verdict out.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Herald {

struct HttpLimits {
    std::size_t headBytes = 8 * 1024;  // the request line and the header lines, line ends and the blank line included
    std::size_t headerLines = 50;
};

struct HttpRequest {
    std::string target;                                        // as sent: "/events?since=..."
    std::string path;                                          // the target before any '?'
    std::string query;                                         // after it
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case, values without outer blanks

    // The first value of the header of that name (given in lower case); null when absent.
    const std::string* Header(std::string_view name) const;
};

struct HeadVerdict {
    enum class State { Incomplete, Complete, Refused };
    State state = State::Incomplete;
    int status = 0;       // Refused: the status to answer with (400, 405, 413, 414, 431 or 505)
    HttpRequest request;  // Complete
};

class RequestHeadReader {
public:
    explicit RequestHeadReader(HttpLimits limits = {}) : limits_(limits) {}

    // Takes the bytes that came next. Once the verdict is Complete or Refused
    // it stays, and no byte after the head is looked at: they would be a body
    // or another request, neither of which is taken.
    const HeadVerdict& Feed(std::string_view bytes);
    const HeadVerdict& Verdict() const { return verdict_; }

private:
    void Refuse(int status);
    void TakeLine(std::string_view line);
    void TakeRequestLine(std::string_view line);
    void TakeHeaderLine(std::string_view line);
    void EndHead();

    HttpLimits limits_;
    HeadVerdict verdict_;
    std::string line_;      // the line being read, without its end
    std::size_t read_ = 0;  // bytes of the head taken so far
    std::size_t lines_ = 0;
    bool http11_ = false;
};

// The whole of bytes as one arrival; what a reader fed it in any pieces says too.
HeadVerdict ReadRequestHead(std::string_view bytes, HttpLimits limits = {});

// The value of the first parameter of that name in a query ("a=1&since=x"),
// percent-decoded; empty when absent.
std::string QueryValue(std::string_view query, std::string_view name);

// The reason phrase of the statuses the server sends.
const char* StatusText(int status);

}  // namespace Herald
