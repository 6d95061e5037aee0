#include "check/rules/Rules.h"

namespace Herald {

namespace {

constexpr Rule Registry[] = {
#define HERALD_CHECK_RULE(name, places) {#name, places, name},
#include "check/rules/RuleList.h"
#undef HERALD_CHECK_RULE
};

}  // namespace

std::span<const Rule> Rules() { return Registry; }

}  // namespace Herald
