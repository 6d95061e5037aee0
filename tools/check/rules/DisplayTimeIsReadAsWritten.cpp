#include "check/rules/Rules.h"
#include "config/DeliveryValues.h"

namespace Herald {

// What the game receives as the display time, where it is not what is written:
// the number is read as a 32-bit whole number, which the game then takes as a
// single-precision one.
void DisplayTimeIsReadAsWritten(const Context& at, Report& report) {
    if (at.value == nullptr || !at.onScreen || (!at.value->is_number() && !at.value->is_boolean())) {
        return;
    }
    using Note = DisplayTime::Note;
    const DisplayTime reading = ReadDisplayTime(*at.value);
    const std::string delivered = DeliveredDisplayTimeText(reading.value);
    std::string read = at.value->dump() + " is read as " + std::to_string(reading.value);
    if (delivered != std::to_string(reading.value)) {
        read += ", which the game receives as " + delivered;
    }
    switch (reading.note) {
        case Note::Exact:
            if (delivered != std::to_string(reading.value)) {
                report.Warning(at.path, at.value->dump() + " is received as " + delivered +
                                            ": the game takes the display time as a single-precision number");
            }
            return;
        case Note::Boolean:
            return report.Warning(at.path, WrongType("number", *at.value) + ": " + read);
        case Note::Fraction:
            return report.Warning(at.path, "the fraction is dropped: " + read);
        case Note::Saturated:
            return report.Warning(at.path, "beyond the 32-bit range of the display time: " + read);
    }
}

}  // namespace Herald
