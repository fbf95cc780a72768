// Feeds arbitrary bytes to every record parser: the first part as the fixed part, the rest as the
// variable part. Whatever parses must serialise back to the bytes it came from and reparse equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "zip/records.hpp"

namespace {

using namespace zip;

AdditionalDataProvider tail(ByteView rest) {
    return [rest](size_t count) -> std::optional<Bytes> {
        if (count > rest.size()) return std::nullopt;
        return Bytes(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(count));
    };
}

void check(bool condition) {
    if (!condition) std::abort();
}

template <class Record>
void roundTrip(ByteView data) {
    if (data.size() < Record::size) return;
    auto record = Record::parse(data.first(Record::size), tail(data.subspan(Record::size)));
    if (!record) return;
    Bytes bytes = record->data();
    check(bytes.size() >= Record::size);
    Bytes fixed(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(Record::size));
    auto again = Record::parse(fixed, tail(ByteView(bytes).subspan(Record::size)));
    check(again && *again == *record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteView input(data, size);
    roundTrip<LocalFileHeader>(input);
    roundTrip<CentralDirectoryStructure>(input);
    roundTrip<EndOfCentralDirectoryRecord>(input);
    roundTrip<ZIP64EndOfCentralDirectoryRecord>(input);
    roundTrip<ZIP64EndOfCentralDirectoryLocator>(input);
    (void)DataDescriptor<uint32_t>::parse(input.first(std::min<size_t>(size, 16)));
    (void)DataDescriptor<uint64_t>::parse(input.first(std::min<size_t>(size, 24)));

    // The extra-area search with every combination of expected values.
    using Field = ZIP64ExtendedInformation::Field;
    const Field all[] = {Field::uncompressedSize, Field::compressedSize,
                         Field::relativeOffsetOfLocalHeader, Field::diskNumberStart};
    for (unsigned mask = 0; mask < 16; ++mask) {
        std::vector<Field> fields;
        for (unsigned i = 0; i < 4; ++i) {
            if ((mask & (1u << i)) != 0) fields.push_back(all[i]);
        }
        auto found = ZIP64ExtendedInformation::scanForZIP64Field(input, fields);
        if (found) {
            Bytes exact = found->data(fields);
            auto again = ZIP64ExtendedInformation::parse(exact, fields);
            check(again.has_value());
            auto rebuilt =
                ZIP64ExtendedInformation::rebuilt(found, found->relativeOffsetOfLocalHeader);
            if (rebuilt) check(rebuilt->dataSize + 4u == rebuilt->data().size());
        }
    }
    return 0;
}
