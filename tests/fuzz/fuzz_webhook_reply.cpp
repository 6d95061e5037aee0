// Any reply a webhook can send, in any order with lines pushed and time
// passing: the relay's queue keeps its bounds (no more than its cap of lines
// waiting, no post over its limit, one post in flight), a wait asked for
// never runs past its longest, and a post refused with a wait goes again.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "relay/RelayQueue.h"

using HeraldFuzz::Require;

namespace {

std::size_t Characters(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

ArkApi::HttpReply FuzzedReply(FuzzedDataProvider& input) {
    ArkApi::HttpReply reply;
    reply.status = input.ConsumeIntegralInRange(0, 599);
    const int headers = input.ConsumeIntegralInRange(0, 4);
    static constexpr const char* Names[] = {"Retry-After", "X-RateLimit-Remaining", "X-RateLimit-Reset-After",
                                            "x-ratelimit-remaining", "Content-Type"};
    for (int i = 0; i < headers; ++i) {
        const std::string name =
            input.ConsumeBool() ? Names[input.ConsumeIntegralInRange(0, 4)] : input.ConsumeRandomLengthString(32);
        reply.headers.emplace_back(name, input.ConsumeRandomLengthString(40));
    }
    reply.body = input.ConsumeRandomLengthString(4096);
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    RelayQueue queue;
    // Roles named at the head of a post take from its length too.
    queue.SetMention(input.ConsumeBool() ? "<@&123456789012345678> <@&12345678901234567890>" : "");
    double now = 0;
    bool stopped = false;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                queue.Push(input.ConsumeRandomLengthString(3000), input.ConsumeBool());
                break;
            case 1:
                now += input.ConsumeIntegralInRange(0, 700) / 10.0;
                break;
            case 2:
                if (queue.InFlight()) {
                    const ArkApi::HttpReply reply = FuzzedReply(input);
                    const std::optional<double> wait = RequestedWait(reply);
                    Require(!wait || *wait >= 0, "a negative wait");
                    const RelayQueue::Outcome outcome = queue.Completed(reply, now);
                    stopped = stopped || outcome == RelayQueue::Outcome::Stopped;
                    if (outcome == RelayQueue::Outcome::WaitAsked) {
                        Require(queue.TakePost(now + RelayQueue::LongestWait).has_value(),
                                "a post refused with a wait is not sent again after the longest wait");
                    }
                }
                break;
            default:
                if (const std::optional<std::string> post = queue.TakePost(now)) {
                    Require(!stopped, "a post while stopped");
                    Require(Characters(*post) <= RelayQueue::PostLimit, "a post past its limit");
                    Require(queue.TakePost(now + 1000).has_value() == false, "two posts in flight");
                }
                break;
        }
        // Every line waiting counts, the post being retried included.
        Require(queue.Waiting() <= RelayQueue::WaitingLimit, "more lines waiting than the cap");
        Require(queue.Stopped() == stopped, "the stop was not kept");
    }
    return 0;
}
