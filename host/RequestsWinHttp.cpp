// Live web requests on Windows: WinHTTP's synchronous calls on the one worker
// thread, one request after the other. Each blocking call is held to what is
// left of the request's total time, so a stalled server ends a request at
// about its total timeout, as libcurl ends it on Linux.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <string_view>

#include "Requests.h"

namespace StandIn::detail {

namespace {

std::wstring WideText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

std::string NarrowText(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

std::string WinHttpError(const char* call, DWORD code) {
    const char* meaning = code == ERROR_WINHTTP_TIMEOUT                   ? "timed out"
                          : code == ERROR_WINHTTP_CANNOT_CONNECT          ? "could not connect"
                          : code == ERROR_WINHTTP_CONNECTION_ERROR        ? "the connection was reset or closed"
                          : code == ERROR_WINHTTP_NAME_NOT_RESOLVED       ? "the host name could not be resolved"
                          : code == ERROR_WINHTTP_INVALID_SERVER_RESPONSE ? "the server's reply could not be read"
                          : code == ERROR_WINHTTP_INVALID_URL             ? "the address is not valid"
                          : code == ERROR_WINHTTP_SECURE_FAILURE          ? "the secure connection failed"
                                                                          : "failed";
    return std::string(call) + ": " + meaning + " (WinHTTP error " + std::to_string(code) + ")";
}

class Handle {
public:
    explicit Handle(HINTERNET handle = nullptr) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle_ != nullptr) {
            WinHttpCloseHandle(handle_);
        }
    }
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

// The time left to a deadline, as WinHTTP's timeouts take it; at least 1 ms,
// since 0 would mean none.
DWORD Left(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return static_cast<DWORD>(left > 1 ? left : 1);
}

bool Expired(std::chrono::steady_clock::time_point deadline) { return std::chrono::steady_clock::now() >= deadline; }

void HoldTo(HINTERNET request, std::chrono::steady_clock::time_point deadline) {
    DWORD left = Left(deadline);
    WinHttpSetOption(request, WINHTTP_OPTION_SEND_TIMEOUT, &left, sizeof left);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &left, sizeof left);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &left, sizeof left);
}

// "HTTP/1.1 204 No Content\r\nName: value\r\n..." as WinHTTP gives it.
std::vector<std::pair<std::string, std::string>> ParseHeaders(const std::string& raw) {
    std::vector<std::pair<std::string, std::string>> headers;
    std::size_t start = raw.find("\r\n");
    while (start != std::string::npos && headers.size() < MaxReplyHeaders) {
        start += 2;
        const std::size_t end = raw.find("\r\n", start);
        const std::string_view line(raw.data() + start, (end == std::string::npos ? raw.size() : end) - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && colon > 0) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
                value.remove_suffix(1);
            }
            headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
        }
        start = end;
    }
    return headers;
}

ArkApi::HttpReply Failure(std::string why) {
    ArkApi::HttpReply reply;
    reply.error = std::move(why);
    return reply;
}

ArkApi::HttpReply Post(HINTERNET session, const HttpJob& job) {
    const auto deadline = std::chrono::steady_clock::now() + job.totalTimeout;
    // On the session too, which only this thread uses: a request takes the
    // session's timeouts when it is opened, and not every WinHTTP (Wine's, for
    // one) lets a request change how long it waits for a reply's headers.
    DWORD connectMs = static_cast<DWORD>(job.connectTimeout.count());
    DWORD totalMs = static_cast<DWORD>(job.totalTimeout.count());
    WinHttpSetOption(session, WINHTTP_OPTION_RESOLVE_TIMEOUT, &connectMs, sizeof connectMs);
    WinHttpSetOption(session, WINHTTP_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    WinHttpSetOption(session, WINHTTP_OPTION_SEND_TIMEOUT, &totalMs, sizeof totalMs);
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_TIMEOUT, &totalMs, sizeof totalMs);
    WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &totalMs, sizeof totalMs);
    const std::wstring url = WideText(job.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return Failure(WinHttpError("WinHttpCrackUrl", GetLastError()));
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    const Handle connection(WinHttpConnect(session, host.c_str(), parts.nPort, 0));
    if (connection.get() == nullptr) {
        return Failure(WinHttpError("WinHttpConnect", GetLastError()));
    }
    const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    const Handle request(WinHttpOpenRequest(connection.get(), L"POST", path.empty() ? L"/" : path.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (request.get() == nullptr) {
        return Failure(WinHttpError("WinHttpOpenRequest", GetLastError()));
    }
    // Redirects are not followed, as on Linux: the reply is the server's own.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    const int leftMs = static_cast<int>(Left(deadline));
    WinHttpSetTimeouts(request.get(), static_cast<int>(connectMs), static_cast<int>(connectMs), leftMs, leftMs);
    std::wstring headerText;
    for (const std::string& line : job.headerLines) {
        headerText += WideText(line) + L"\r\n";
    }
    const auto bodySize = static_cast<DWORD>(job.body.size());
    if (!WinHttpSendRequest(request.get(), headerText.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerText.c_str(),
                            static_cast<DWORD>(headerText.size()),
                            job.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(job.body.data()), bodySize,
                            bodySize, 0)) {
        return Failure(WinHttpError("WinHttpSendRequest", GetLastError()));
    }
    HoldTo(request.get(), deadline);
    if (!WinHttpReceiveResponse(request.get(), nullptr)) {
        return Failure(WinHttpError("WinHttpReceiveResponse", GetLastError()));
    }
    ArkApi::HttpReply reply;
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        return Failure(WinHttpError("WinHttpQueryHeaders", GetLastError()));
    }
    DWORD rawSize = 0;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &rawSize,
                        WINHTTP_NO_HEADER_INDEX);
    if (rawSize > 0) {
        std::wstring raw(rawSize / sizeof(wchar_t) + 1, L'\0');
        if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(),
                                &rawSize, WINHTTP_NO_HEADER_INDEX)) {
            raw.resize(rawSize / sizeof(wchar_t));
            reply.headers = ParseHeaders(NarrowText(raw));
        }
    }
    char buffer[8192];
    for (;;) {
        if (Expired(deadline)) {
            return Failure(WinHttpError("WinHttpReadData", ERROR_WINHTTP_TIMEOUT));
        }
        HoldTo(request.get(), deadline);
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &read)) {
            return Failure(WinHttpError("WinHttpReadData", GetLastError()));
        }
        if (read == 0) {
            break;
        }
        if (reply.body.size() + read > MaxReplyBody) {
            return Failure("the reply's body is larger than " + std::to_string(MaxReplyBody) + " bytes");
        }
        reply.body.append(buffer, read);
    }
    reply.status = static_cast<int>(status);
    return reply;
}

}  // namespace

void PrepareHttpClient() {}

void RunHttpWorker(LiveExchange& exchange) {
    // Straight to the address given, whatever the machine's proxy settings:
    // a test's loopback server must be reached.
    const Handle session(WinHttpOpen(L"SkyCrateHerald-StandIn", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0));
    std::vector<HttpJob> jobs;
    std::vector<std::uint64_t> cancelled;
    // One at a time, so that one abandoned while another goes is never started.
    while (exchange.Take(jobs, cancelled, true, 1)) {
        for (const HttpJob& job : jobs) {
            exchange.Report(job.id, session.get() != nullptr ? Post(session.get(), job)
                                                             : Failure(WinHttpError("WinHttpOpen", GetLastError())));
        }
        jobs.clear();
        cancelled.clear();
    }
}

void ReleaseHttpClient() {}

}  // namespace StandIn::detail
