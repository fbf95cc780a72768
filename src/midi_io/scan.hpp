// A scan of indexed services objects: the count is asked once, then a record is made of the object
// at each index from 0 in order.
#pragma once

#include <cstddef>
#include <vector>

namespace midiio::detail {

template <class Record, class Count, class Get>
std::vector<Record> scanRecords(Count count, Get get) {
    const size_t n = count();
    std::vector<Record> records;
    records.reserve(n);
    for (size_t i = 0; i < n; ++i) records.emplace_back(get(i));
    return records;
}

}  // namespace midiio::detail
