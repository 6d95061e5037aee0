// Live web requests on Linux: libcurl's multi interface on the one worker
// thread, every transfer of it driven by one wait, which a new request, an
// abandoned one or the process's end cuts short.

#include <curl/curl.h>

#include <memory>
#include <string_view>
#include <unordered_map>

#include "Requests.h"

namespace StandIn::detail {

namespace {

struct CurlTransfer {
    std::uint64_t id = 0;
    std::string body;  // libcurl reads the request's body from here while it sends
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    ArkApi::HttpReply reply;
    bool bodyTooLarge = false;
    char errorText[CURL_ERROR_SIZE] = {};

    CurlTransfer() = default;
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;
    ~CurlTransfer() {
        curl_easy_cleanup(easy);
        curl_slist_free_all(headerList);
    }
};

std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<CurlTransfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->reply.body.size() + bytes > MaxReplyBody) {
        transfer->bodyTooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    transfer->reply.body.append(data, bytes);
    return bytes;
}

std::string_view TrimmedField(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

std::size_t TakeHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<CurlTransfer*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line = TrimmedField(std::string_view(data, bytes));
    auto& headers = transfer->reply.headers;
    if (line.starts_with("HTTP/")) {
        // Each status line begins a reply's headers; a "100 Continue" before
        // the real reply brings its own, which are not the reply's.
        headers.clear();
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || headers.size() >= MaxReplyHeaders) {
        return bytes;
    }
    headers.emplace_back(std::string(line.substr(0, colon)), std::string(TrimmedField(line.substr(colon + 1))));
    return bytes;
}

// A transfer set up to go, or none when libcurl refused one of its options
// (the reason is then in `why`).
std::unique_ptr<CurlTransfer> SetUp(HttpJob& job, std::string& why) {
    auto transfer = std::make_unique<CurlTransfer>();
    transfer->id = job.id;
    transfer->body = std::move(job.body);
    transfer->easy = curl_easy_init();
    if (transfer->easy == nullptr) {
        why = "libcurl could not make a transfer";
        return nullptr;
    }
    for (const std::string& line : job.headerLines) {
        transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    }
    // libcurl would otherwise wait for a "100 Continue" before a large body.
    transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    CURL* easy = transfer->easy;
    CURLcode result = CURLE_OK;
    const auto set = [&](CURLoption option, auto value) {
        if (result == CURLE_OK) {
            result = curl_easy_setopt(easy, option, value);
        }
    };
    set(CURLOPT_URL, job.url.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    // The stand-in talks to the address it is given, whatever the
    // environment's proxy settings: a test's loopback server must be reached.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_POST, 1L);
    set(CURLOPT_POSTFIELDS, transfer->body.data());
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer->body.size()));
    set(CURLOPT_HTTPHEADER, transfer->headerList);
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(job.connectTimeout.count()));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(job.totalTimeout.count()));
    set(CURLOPT_WRITEFUNCTION, &TakeBody);
    set(CURLOPT_WRITEDATA, transfer.get());
    set(CURLOPT_HEADERFUNCTION, &TakeHeader);
    set(CURLOPT_HEADERDATA, transfer.get());
    set(CURLOPT_ERRORBUFFER, transfer->errorText);
    set(CURLOPT_PRIVATE, transfer.get());
    if (result != CURLE_OK) {
        why = std::string("libcurl refused the request: ") + curl_easy_strerror(result);
        return nullptr;
    }
    return transfer;
}

ArkApi::HttpReply Outcome(CurlTransfer& transfer, CURLcode result) {
    ArkApi::HttpReply reply;
    if (transfer.bodyTooLarge) {
        reply.error = "the reply's body is larger than " + std::to_string(MaxReplyBody) + " bytes";
        return reply;
    }
    if (result != CURLE_OK) {
        reply.error = transfer.errorText[0] != '\0' ? transfer.errorText : curl_easy_strerror(result);
        return reply;
    }
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    reply = std::move(transfer.reply);
    reply.status = static_cast<int>(status);
    reply.error.clear();
    return reply;
}

class CurlWorker {
public:
    explicit CurlWorker(LiveExchange& exchange) : exchange_(exchange), multi_(curl_multi_init()) {}
    CurlWorker(const CurlWorker&) = delete;
    CurlWorker& operator=(const CurlWorker&) = delete;
    ~CurlWorker() {
        for (auto& [easy, transfer] : transfers_) {
            curl_multi_remove_handle(multi_, easy);
        }
        transfers_.clear();
        curl_multi_cleanup(multi_);
    }

    void Run() {
        if (multi_ == nullptr) {
            FailEverything("libcurl could not start its transfers");
            return;
        }
        exchange_.SetWake([multi = multi_] { curl_multi_wakeup(multi); });
        std::vector<HttpJob> jobs;
        std::vector<std::uint64_t> cancelled;
        while (exchange_.Take(jobs, cancelled, transfers_.empty())) {
            Start(jobs);
            Cancel(cancelled);
            jobs.clear();
            cancelled.clear();
            if (transfers_.empty()) {
                continue;
            }
            int running = 0;
            curl_multi_perform(multi_, &running);
            Collect();
            if (!transfers_.empty()) {
                // libcurl shortens the wait to its own next deadline; a new
                // request or an abandoned one wakes it (SetWake).
                curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
            }
        }
        exchange_.SetWake(nullptr);
    }

private:
    void Start(std::vector<HttpJob>& jobs) {
        for (HttpJob& job : jobs) {
            std::string why;
            std::unique_ptr<CurlTransfer> transfer = SetUp(job, why);
            if (transfer && curl_multi_add_handle(multi_, transfer->easy) != CURLM_OK) {
                why = "libcurl could not start the transfer";
                transfer.reset();
            }
            if (!transfer) {
                ArkApi::HttpReply reply;
                reply.error = why;
                exchange_.Report(job.id, std::move(reply));
                continue;
            }
            CURL* easy = transfer->easy;
            transfers_.emplace(easy, std::move(transfer));
        }
    }

    void Cancel(const std::vector<std::uint64_t>& ids) {
        for (const std::uint64_t id : ids) {
            for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
                if (it->second->id == id) {
                    curl_multi_remove_handle(multi_, it->first);
                    transfers_.erase(it);
                    break;
                }
            }
        }
    }

    void Collect() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* easy = message->easy_handle;
            const CURLcode result = message->data.result;
            const auto found = transfers_.find(easy);
            if (found == transfers_.end()) {
                continue;
            }
            curl_multi_remove_handle(multi_, easy);
            exchange_.Report(found->second->id, Outcome(*found->second, result));
            transfers_.erase(found);
        }
    }

    // Without libcurl nothing goes out, but every request still ends.
    void FailEverything(const std::string& why) {
        std::vector<HttpJob> jobs;
        std::vector<std::uint64_t> cancelled;
        while (exchange_.Take(jobs, cancelled, true)) {
            for (const HttpJob& job : jobs) {
                ArkApi::HttpReply reply;
                reply.error = why;
                exchange_.Report(job.id, std::move(reply));
            }
            jobs.clear();
            cancelled.clear();
        }
    }

    LiveExchange& exchange_;
    CURLM* multi_;
    std::unordered_map<CURL*, std::unique_ptr<CurlTransfer>> transfers_;
};

}  // namespace

void PrepareHttpClient() { curl_global_init(CURL_GLOBAL_DEFAULT); }

void RunHttpWorker(LiveExchange& exchange) {
    CurlWorker worker(exchange);
    worker.Run();
}

void ReleaseHttpClient() { curl_global_cleanup(); }

}  // namespace StandIn::detail
