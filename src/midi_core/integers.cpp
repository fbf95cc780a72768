#include <string>

#include "hashing.hpp"
#include "midi_core/int7.hpp"
#include "midi_core/unsigned_integer.hpp"
#include "midi_support/exception.hpp"
#include "midi_support/number_text.hpp"

namespace midicore {

namespace detail {

void raiseOverflow(const char* integerName) {
    midisupport::raise(midisupport::Exception::overflow,
                       std::string(integerName) + " integer overflowed");
}

void raiseUnderflow(const char* integerName) {
    midisupport::raise(midisupport::Exception::underflow,
                       std::string(integerName) + " integer underflowed");
}

void raiseDivisionByZero(const char* integerName) {
    midisupport::raise(midisupport::Exception::divisionByZero,
                       std::string(integerName) + " integer division by zero");
}

}  // namespace detail

std::string UInt7Pair::description() const {
    return "[msb: " + midisupport::hexString(msb.value(), 2, true) +
           ", lsb: " + midisupport::hexString(lsb.value(), 2, true) + "]";
}

size_t UInt7Pair::hash() const {
    return detail::hashCombine(msb.hash(), lsb.hash());
}

std::string Int7::binaryString() const {
    return midisupport::binaryString(uInt8Value(), 7, true);
}

}  // namespace midicore
