#pragma once
// Resolving "n g R" to the integer that object n g holds, by a byte search of the whole file: the
// engine parses no cross-reference data. Used for indirect /Length entries.
// Lifetime: borrows `buffer`, which must outlive the object. Batch thread only.

#include <cstdint>
#include <map>
#include <span>
#include <utility>

#include "engine/pdf/refusal.h"

namespace pagewash {

class IndirectIntegers {
  public:
    explicit IndirectIntegers(std::span<const std::uint8_t> buffer) : m_buffer(buffer) {}

    // The non-negative integer of the last "n g obj ... endobj" in the file (later definitions are
    // incremental updates and win). Refused, with a reason that completes "object 12 0, ...", when
    // there is no such object, it holds no integer, or the value is above INT32_MAX.
    Result<std::int64_t> resolve(std::int64_t number, std::int64_t generation);

  private:
    void buildIndex();

    std::span<const std::uint8_t> m_buffer;
    bool m_indexed = false;
    // (number, generation) -> offset just after "obj" of its last definition.
    std::map<std::pair<std::int64_t, std::int64_t>, std::size_t> m_objects;
};

}  // namespace pagewash
