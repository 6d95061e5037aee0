#pragma once
// herald store copy: every player's choices from one store to another, as
// when a cluster outgrows one machine (an SQLite file to a MariaDB database)
// or comes back to one.

#include <ostream>
#include <string>

namespace Herald {

// Sets each player of FROM to their choices there, in TO; players only in TO
// keep theirs, so a second copy changes nothing. Exit status: 0 copied, 1 a
// store could not be read or written (or is no store of ours), 2 an address
// that is none.
int StoreCopyCommand(const std::string& from, const std::string& to, std::ostream& out, std::ostream& err);

}  // namespace Herald
