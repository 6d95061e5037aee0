// herald's scenario reader on any bytes. The first pass (CheckScenarioText)
// must accept the text or refuse it with a ScenarioError whose message begins
// with the file's name, never anything else: no other exception, no crash, no
// sanitizer report. What it accepts must be one JSON object with no key given
// twice in any object, read apart from herald. The same bytes read as a
// stream (as `herald run` reads a file) must get the same verdict, and a
// scenario the first pass accepts must be played whole by the second
// (PlayEvents), every event in order: a refusal once play has begun would
// come after output. Both passes must cost heap that grows linearly with the
// input, held to budgets as fuzz_check's are.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "FuzzSupport.h"
#include "scenario/Scenario.h"

using namespace HeraldFuzz;
using Json = nlohmann::json;

namespace {

const std::string File = "scenario.json";

// The budgets, in bytes: a fixed part and a part per byte of input. An item
// (a config, a player, an event) is built as a document of 16 bytes or more
// for every one to three bytes of its text, with room to grow, and an inline
// config is written out again as text; a refusal's message, all a pass leaves
// behind, may quote a key, a path of keys or what the parser last read.
constexpr HeapBudgets PassBudgets{
    .working = {64 * 1024, 64, 0},
    .kept = {64 * 1024, 8, 0},
    .requested = {256 * 1024, 128, 0},
};

// The verdict of a pass: nothing when it accepted the scenario, else the
// refusal's message. Any other way out is a finding.
template <typename Pass>
std::optional<std::string> Verdict(const char* pass, Pass&& run) {
    try {
        run();
        return std::nullopt;
    } catch (const Herald::ScenarioError& refusal) {
        if (!std::string_view(refusal.what()).starts_with(File + ": ")) {
            Fail(std::string(pass) + ": a refusal that does not begin with the file's name: " + refusal.what());
        }
        return refusal.what();
    } catch (const std::exception& error) {
        Fail(std::string(pass) + " raised " + typeid(error).name() + ", not a refusal: " + error.what());
    }
}

// The bytes as plain JSON, read apart from herald: whether they hold one
// object and nothing after it, and whether any object gives a key twice (the
// library would keep the later value without a word, so a second "events"
// could silently replace the first).
class PlainReading final : public nlohmann::json_sax<Json> {
public:
    bool oneObject = false;
    bool keyGivenTwice = false;

    explicit PlainReading(std::string_view text) {
        const bool parsed = Json::sax_parse(text.begin(), text.end(), this);
        oneObject = parsed && rootIsObject_;
    }

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return Open(true); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& key) override {
        keyGivenTwice = keyGivenTwice || !keys_.back().insert(key).second;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool Open(bool object) {
        rootIsObject_ = rootIsObject_ || (object && keys_.empty() && !started_);
        started_ = true;
        keys_.emplace_back();  // an array's stays empty
        return true;
    }
    bool Close() {
        keys_.pop_back();
        return true;
    }
    std::vector<std::set<std::string>> keys_;
    bool rootIsObject_ = false;
    bool started_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::optional<std::string> refusal;
    const HeapUse checking =
        MeasureHeap([&] { refusal = Verdict("the first pass", [&] { Herald::CheckScenarioText(text, File); }); });
    RequireHeapWithin(checking, size, PassBudgets, "the first pass");

    std::istringstream stream{std::string(text)};
    const std::optional<std::string> streamed =
        Verdict("the first pass over a stream", [&] { Herald::CheckScenario(stream, File); });
    if (streamed != refusal) {
        Fail("the text and the stream of the same bytes got two verdicts: " + refusal.value_or("accepted") + " / " +
             streamed.value_or("accepted"));
    }
    if (refusal) {
        return 0;
    }
    const PlainReading plain(text);
    Require(plain.oneObject, "the first pass accepted what is not one JSON object and nothing after it");
    Require(!plain.keyGivenTwice, "the first pass accepted an object that gives a key twice");

    std::istringstream again{std::string(text)};
    std::size_t played = 0;
    std::optional<std::string> playRefusal;
    const HeapUse playing = MeasureHeap([&] {
        playRefusal = Verdict("the second pass", [&] {
            Herald::PlayEvents(again, File, [&](std::size_t index, const Herald::Event&) {
                if (index != played) {
                    Fail("event " + std::to_string(index) + " played where event " + std::to_string(played) +
                         " was due");
                }
                ++played;
            });
        });
    });
    if (playRefusal) {
        Fail("the second pass refused a scenario the first accepted: " + *playRefusal);
    }
    RequireHeapWithin(playing, size, PassBudgets, "the second pass");
    return 0;
}
