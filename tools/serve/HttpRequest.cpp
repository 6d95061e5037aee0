#include "serve/HttpRequest.h"

#include <algorithm>

namespace Herald {

namespace {

constexpr std::string_view OnlyMethod = "GET ";

bool IsTokenChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenChar); }

// Visible ASCII: what an origin-form target is made of once percent-encoded.
bool IsTargetChar(char c) { return c > ' ' && c < 0x7f; }

// A header value: anything but control characters, tabs allowed.
bool IsValueChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= ' ' && u != 0x7f);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (text[i] == '+') {
            decoded += ' ';
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// The status that refuses a request line beginning so, or 0 while it may
// still begin "GET ": the first byte that differs says whether another
// method is asked for or no method at all. Only the start is looked at, so
// the verdict is the same however the line arrives.
int MethodRefusal(std::string_view start) {
    const std::size_t known = std::min(start.size(), OnlyMethod.size());
    for (std::size_t i = 0; i < known; ++i) {
        if (start[i] != OnlyMethod[i]) {
            return IsTokenChar(start[i]) || (i > 0 && start[i] == ' ') ? 405 : 400;
        }
    }
    return 0;
}

}  // namespace

const std::string* HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

void RequestHeadReader::Refuse(int status) {
    verdict_.state = HeadVerdict::State::Refused;
    verdict_.status = status;
    verdict_.request = HttpRequest{};
    line_.clear();
    line_.shrink_to_fit();
}

const HeadVerdict& RequestHeadReader::Feed(std::string_view bytes) {
    while (!bytes.empty() && verdict_.state == HeadVerdict::State::Incomplete) {
        if (lines_ == 0 && line_.size() < OnlyMethod.size()) {
            // A request for anything but GET is refused from its first bytes,
            // before its line, its headers or its body have come.
            std::string start = line_;
            start.append(bytes.substr(0, OnlyMethod.size() - line_.size()));
            if (const int status = MethodRefusal(start); status != 0) {
                Refuse(status);
                break;
            }
        }
        const std::size_t end = bytes.find('\n');
        const std::size_t taken = end == std::string_view::npos ? bytes.size() : end + 1;
        if (read_ + taken > limits_.headBytes) {
            // The head may not grow past its bound, however it is cut into lines.
            Refuse(lines_ == 0 ? 414 : 431);
            break;
        }
        read_ += taken;
        line_.append(bytes.substr(0, end == std::string_view::npos ? taken : end));
        bytes.remove_prefix(taken);
        if (end == std::string_view::npos) {
            break;
        }
        std::string_view line = line_;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        TakeLine(line);
        line_.clear();
    }
    return verdict_;
}

void RequestHeadReader::TakeLine(std::string_view line) {
    if (line.find('\r') != std::string_view::npos) {
        Refuse(400);  // a CR alone would end a line for some readers and not for others
    } else if (lines_ == 0) {
        TakeRequestLine(line);
    } else if (line.empty()) {
        EndHead();
    } else {
        TakeHeaderLine(line);
    }
    ++lines_;
}

void RequestHeadReader::TakeRequestLine(std::string_view line) {
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
        Refuse(400);
        return;
    }
    // The line began "GET " (Feed saw to that), so the method is GET.
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (target.empty() || target.front() != '/' || !std::all_of(target.begin(), target.end(), IsTargetChar)) {
        Refuse(400);
        return;
    }
    if (version == "HTTP/1.1" || version == "HTTP/1.0") {
        http11_ = version == "HTTP/1.1";
    } else {
        const bool other = version.size() == 8 && version.substr(0, 5) == "HTTP/" && version[5] >= '0' &&
                           version[5] <= '9' && version[6] == '.' && version[7] >= '0' && version[7] <= '9';
        Refuse(other ? 505 : 400);
        return;
    }
    HttpRequest& request = verdict_.request;
    request.target = target;
    const std::size_t question = target.find('?');
    request.path = target.substr(0, question);
    request.query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
}

void RequestHeadReader::TakeHeaderLine(std::string_view line) {
    if (verdict_.request.headers.size() >= limits_.headerLines) {
        Refuse(431);
        return;
    }
    const std::size_t colon = line.find(':');
    // A line that begins with a blank continues the one before: an old form
    // that readers disagree on, so refused.
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
        Refuse(400);
        return;
    }
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (!std::all_of(value.begin(), value.end(), IsValueChar)) {
        Refuse(400);
        return;
    }
    std::string name = Lowered(line.substr(0, colon));
    // A body is never read: a request that announces one is refused here,
    // before any of it is taken.
    if (name == "transfer-encoding") {
        Refuse(413);
        return;
    }
    if (name == "content-length") {
        if (value.empty() || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            Refuse(400);
            return;
        }
        if (value.find_first_not_of('0') != std::string_view::npos) {
            Refuse(413);
            return;
        }
    }
    verdict_.request.headers.emplace_back(std::move(name), value);
}

void RequestHeadReader::EndHead() {
    const HttpRequest& request = verdict_.request;
    const bool oneHost = std::count_if(request.headers.begin(), request.headers.end(),
                                       [](const auto& header) { return header.first == "host"; }) == 1;
    if (http11_ && !oneHost) {
        Refuse(400);
        return;
    }
    verdict_.state = HeadVerdict::State::Complete;
    line_.shrink_to_fit();
}

HeadVerdict ReadRequestHead(std::string_view bytes, HttpLimits limits) {
    RequestHeadReader reader(limits);
    return reader.Feed(bytes);
}

std::string QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        if (PercentDecoded(pair.substr(0, equals)) == name) {
            return equals == std::string_view::npos ? std::string() : PercentDecoded(pair.substr(equals + 1));
        }
    }
    return {};
}

const char* StatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

}  // namespace Herald
