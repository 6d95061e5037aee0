// The page server's reader of request heads on any bytes, arriving in any
// pieces. The verdict must not depend on how the bytes were cut, nor change
// once given; what is taken must be a GET of a target in origin form, with
// headers within their bounds and no body announced; what is still awaited
// must be within the head's bound and hold no blank line; and the reader must
// hold and ask for a bounded amount of heap whatever the input's length --
// fed the input again and again, as a client that never stops would send it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "serve/HttpRequest.h"

using namespace HeraldFuzz;
using Herald::HeadVerdict;
using Herald::HttpLimits;
using Herald::RequestHeadReader;

namespace {

// Fixed, not per byte: the reader keeps no more than the head's bound of
// bytes (and what its headers cost as strings), however long the input.
constexpr HeapBudgets ReaderBudgets{
    .working = {64 * 1024, 0, 0},
    .kept = {32 * 1024, 0, 0},
    .requested = {160 * 1024, 0, 0},
};

bool SameVerdict(const HeadVerdict& a, const HeadVerdict& b) {
    return a.state == b.state && a.status == b.status && a.request.target == b.request.target &&
           a.request.path == b.request.path && a.request.query == b.request.query &&
           a.request.headers == b.request.headers;
}

bool IsLowerToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    });
}

void CheckTaken(const HeadVerdict& verdict, std::string_view bytes, const HttpLimits& limits) {
    const auto& request = verdict.request;
    Require(bytes.starts_with("GET /"), "a request taken that is not a GET of an origin-form target");
    Require(std::all_of(request.target.begin(), request.target.end(), [](char c) { return c > ' ' && c < 0x7f; }),
            "a target taken with a blank, a control or a byte above ASCII");
    const std::string rebuilt =
        request.path + (request.target.find('?') == std::string::npos ? "" : "?" + request.query);
    Require(rebuilt == request.target, "path and query are not the target");
    Require(request.path.find('?') == std::string::npos, "a path holding the query");
    Require(request.headers.size() <= limits.headerLines, "more header lines taken than allowed");
    // The head ends at its first blank line, within the bound.
    const std::size_t lf = bytes.find("\n\n");
    const std::size_t crlf = bytes.find("\n\r\n");
    const std::size_t end =
        std::min(lf == std::string_view::npos ? lf : lf + 2, crlf == std::string_view::npos ? crlf : crlf + 3);
    Require(end != std::string_view::npos && end <= limits.headBytes, "a head taken that is longer than allowed");
    for (const auto& [name, value] : request.headers) {
        Require(IsLowerToken(name), "a header name that is no token in lower case");
        Require(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                "a header value holding a line end or a zero");
        Require(value.empty() ||
                    (value.front() != ' ' && value.front() != '\t' && value.back() != ' ' && value.back() != '\t'),
                "a header value with blanks around it");
        Require(name != "transfer-encoding", "a request taken that announces a body in chunks");
        Require(name != "content-length" || value.find_first_not_of('0') == std::string::npos,
                "a request taken that announces a body");
    }
    const std::string since = Herald::QueryValue(request.query, "since");
    Require(since.size() <= request.query.size(), "a query value longer than the query");
}

void CheckVerdict(const HeadVerdict& verdict, std::string_view bytes, const HttpLimits& limits) {
    switch (verdict.state) {
        case HeadVerdict::State::Complete:
            CheckTaken(verdict, bytes, limits);
            break;
        case HeadVerdict::State::Refused: {
            constexpr int statuses[] = {400, 405, 413, 414, 431, 505};
            Require(std::find(std::begin(statuses), std::end(statuses), verdict.status) != std::end(statuses),
                    "a refusal with a status the server does not send");
            Require(verdict.request.headers.empty() && verdict.request.target.empty(),
                    "a refusal that keeps what it read");
            break;
        }
        case HeadVerdict::State::Incomplete:
            Require(bytes.size() <= limits.headBytes, "more bytes awaited than a head may hold");
            Require(bytes.find("\n\n") == std::string_view::npos && bytes.find("\n\r\n") == std::string_view::npos,
                    "a blank line seen and the head still awaited");
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Four bytes of settings, then the bytes a client sends: the server's
    // bounds, or small ones the fuzzer reaches from short inputs; and a seed
    // for where the bytes are cut into pieces.
    std::uint8_t settings[4] = {};
    const std::size_t given = std::min<std::size_t>(size, sizeof settings);
    std::copy(data, data + given, settings);
    HttpLimits limits;
    if ((settings[0] & 1) != 0) {
        limits.headBytes = std::size_t{settings[1]} * 2;
        limits.headerLines = settings[2] % 9;
    }
    std::uint32_t cuts = settings[3];
    const std::string text(reinterpret_cast<const char*>(data) + given, size - given);
    const std::string_view bytes = text;

    HeadVerdict whole;
    const HeapUse heap = MeasureHeap([&] { whole = Herald::ReadRequestHead(bytes, limits); });
    RequireHeapWithin(heap, bytes.size(), ReaderBudgets, "reading a head whole");
    CheckVerdict(whole, bytes, limits);

    // The same bytes in pieces of 1 to 64 bytes.
    RequestHeadReader pieces(limits);
    for (std::size_t at = 0; at < bytes.size();) {
        cuts = cuts * 1664525u + 1013904223u;
        const std::size_t length = std::min<std::size_t>(1 + (cuts >> 26), bytes.size() - at);
        pieces.Feed(bytes.substr(at, length));
        at += length;
    }
    Require(SameVerdict(pieces.Verdict(), whole), "a verdict that depends on how the bytes arrived");

    // A client that never stops: the input sent again and again, past the
    // head's bound, still costs the reader a bounded heap, and a verdict
    // once given stays.
    if (!bytes.empty()) {
        const std::size_t copies = limits.headBytes / bytes.size() + 2;
        RequestHeadReader endless(limits);
        const HeapUse endlessHeap = MeasureHeap([&] {
            for (std::size_t i = 0; i < copies; ++i) {
                endless.Feed(bytes);
            }
        });
        RequireHeapWithin(endlessHeap, 0, ReaderBudgets, "reading the input sent without end");
        Require(endless.Verdict().state != HeadVerdict::State::Incomplete,
                "a head still awaited after more bytes than it may hold");
        if (whole.state != HeadVerdict::State::Incomplete) {
            Require(SameVerdict(endless.Verdict(), whole), "a verdict changed by the bytes after it");
        }
    }
    return 0;
}
