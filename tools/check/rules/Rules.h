#pragma once
// The rule functions, declared from the list; each is defined beside this
// one, in the file of the part of the document it looks at.

#include "check/Rule.h"
#include "check/Wording.h"

namespace Herald {

#define HERALD_CHECK_RULE(name, places) void name(const Context& at, Report& report);
#include "check/rules/RuleList.h"
#undef HERALD_CHECK_RULE

}  // namespace Herald
