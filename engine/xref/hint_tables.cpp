#include "engine/xref/hint_tables.h"

#include <algorithm>

namespace pagewash {

namespace {

// Reads bit fields high-order bit first, as the tables are written.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> data, std::size_t byteOffset = 0)
        : m_data(data), m_bit(byteOffset * 8) {}

    // False once a read ran past the data; the value read is then 0.
    bool ok() const { return m_ok; }

    std::uint64_t bits(std::uint32_t count) {
        std::uint64_t value = 0;
        if (count > 32 || m_bit + count > m_data.size() * 8) {
            m_ok = false;
            return 0;
        }
        for (std::uint32_t i = 0; i < count; ++i, ++m_bit) {
            value = (value << 1) | ((m_data[m_bit / 8] >> (7 - m_bit % 8)) & 1u);
        }
        return value;
    }
    std::uint32_t u32() { return static_cast<std::uint32_t>(bits(32)); }
    std::uint32_t u16() { return static_cast<std::uint32_t>(bits(16)); }
    // Each item of a table starts on a byte boundary.
    void align() { m_bit = (m_bit + 7) / 8 * 8; }

  private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_bit;
    bool m_ok = true;
};

class BitWriter {
  public:
    void bits(std::uint64_t value, std::uint32_t count) {
        for (std::uint32_t i = count; i-- > 0;) {
            if (m_used == 0) m_bytes.push_back(0);
            if ((value >> i) & 1u)
                m_bytes.back() = static_cast<std::uint8_t>(m_bytes.back() | (0x80u >> m_used));
            m_used = (m_used + 1) % 8;
        }
    }
    void align() { m_used = 0; }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

  private:
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_used = 0;  // bits used of the last byte
};

std::uint32_t bitsFor(std::uint64_t value) {
    std::uint32_t bits = 0;
    while (value > 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// Least value and bit count of a list, as the header of a table states them.
void leastAndBits(const std::vector<std::uint64_t>& values, std::uint32_t& least, std::uint32_t& bits) {
    if (values.empty()) return;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    least = static_cast<std::uint32_t>(*low);
    bits = bitsFor(*high - *low);
}

bool isGenericKey(const std::string& key) {
    return key == "O" || key == "A" || key == "E" || key == "V" || key == "I" || key == "C" || key == "L" ||
           key == "R" || key == "B";
}

constexpr std::size_t kMaxPages = 1u << 24;

std::vector<std::uint64_t> readItem(BitReader& reader, std::size_t count, std::uint32_t bits,
                                    std::uint64_t least) {
    std::vector<std::uint64_t> values(count);
    for (std::uint64_t& value : values) value = least + reader.bits(bits);
    reader.align();
    return values;
}

void writeItem(BitWriter& writer, const std::vector<std::uint64_t>& values, std::uint32_t bits,
               std::uint64_t least) {
    for (std::uint64_t value : values) writer.bits(value - least, bits);
    writer.align();
}

// The page offset hint table, which begins the data: its header, then one item after the other for the
// `pages` pages.
Result<PageOffsetHints> readPageOffsetHints(std::span<const std::uint8_t> data, std::size_t pages) {
    PageOffsetHints p;
    BitReader reader(data);
    p.leastObjectCount = reader.u32();
    p.firstPageLocation = reader.u32();
    p.objectCountBits = reader.u16();
    p.leastPageLength = reader.u32();
    p.pageLengthBits = reader.u16();
    p.leastContentOffset = reader.u32();
    p.contentOffsetBits = reader.u16();
    p.leastContentLength = reader.u32();
    p.contentLengthBits = reader.u16();
    p.sharedCountBits = reader.u16();
    p.sharedIdentifierBits = reader.u16();
    p.sharedNumeratorBits = reader.u16();
    p.sharedDenominator = reader.u16();
    p.objectCounts = readItem(reader, pages, p.objectCountBits, p.leastObjectCount);
    p.pageLengths = readItem(reader, pages, p.pageLengthBits, p.leastPageLength);
    p.sharedCounts = readItem(reader, pages, p.sharedCountBits, 0);
    if (!reader.ok()) return Refusal{0, "the page offset hint table runs past the hint stream"};
    std::uint64_t sharedTotal = 0;
    for (const std::uint64_t count : p.sharedCounts) sharedTotal += count;
    if (sharedTotal > data.size() * 8)
        return Refusal{0, "the page offset hint table runs past the hint stream"};
    for (std::uint64_t count : p.sharedCounts) {
        std::vector<std::uint64_t> identifiers(count);
        for (std::uint64_t& identifier : identifiers) identifier = reader.bits(p.sharedIdentifierBits);
        p.sharedIdentifiers.push_back(std::move(identifiers));
    }
    reader.align();
    for (std::uint64_t count : p.sharedCounts) {
        std::vector<std::uint64_t> numerators(count);
        for (std::uint64_t& numerator : numerators) numerator = reader.bits(p.sharedNumeratorBits);
        p.sharedNumerators.push_back(std::move(numerators));
    }
    reader.align();
    p.contentOffsets = readItem(reader, pages, p.contentOffsetBits, p.leastContentOffset);
    p.contentLengths = readItem(reader, pages, p.contentLengthBits, p.leastContentLength);
    if (!reader.ok()) return Refusal{0, "the page offset hint table runs past the hint stream"};
    return p;
}

// The shared object hint table /S at `place.offset`.
Result<SharedObjectHints> readSharedObjectHints(std::span<const std::uint8_t> data,
                                                const HintTablePlace& place) {
    SharedObjectHints s;
    BitReader table(data, static_cast<std::size_t>(place.offset));
    s.firstObjectNumber = table.u32();
    s.firstLocation = table.u32();
    s.firstPageEntries = table.u32();
    s.totalEntries = table.u32();
    s.objectCountBits = table.u16();
    s.leastGroupLength = table.u32();
    s.groupLengthBits = table.u16();
    if (!table.ok() || s.totalEntries > data.size() * 8 || s.firstPageEntries > s.totalEntries) {
        return Refusal{place.offset, "the shared object hint table is damaged"};
    }
    s.groupLengths = readItem(table, s.totalEntries, s.groupLengthBits, s.leastGroupLength);
    const std::vector<std::uint64_t> flags = readItem(table, s.totalEntries, 1, 0);
    for (std::uint64_t flag : flags) {
        std::vector<std::uint8_t> signature;
        for (int i = 0; flag && i < 16; ++i) signature.push_back(static_cast<std::uint8_t>(table.bits(8)));
        s.signatures.push_back(std::move(signature));
    }
    s.objectCountsMinusOne = readItem(table, s.totalEntries, s.objectCountBits, 0);
    if (!table.ok()) return Refusal{place.offset, "the shared object hint table runs past the hint stream"};
    return s;
}

// One of the generic hint tables (isGenericKey) at `place.offset`.
Result<GenericHints> readGenericHints(std::span<const std::uint8_t> data, const HintTablePlace& place) {
    GenericHints generic;
    BitReader table(data, static_cast<std::size_t>(place.offset));
    generic.key = place.key;
    generic.firstObjectNumber = table.u32();
    generic.firstLocation = table.u32();
    generic.objectCount = table.u32();
    generic.groupLength = table.u32();
    if (!table.ok())
        return Refusal{place.offset, "the hint table /" + place.key + " runs past the hint stream"};
    return generic;
}

}  // namespace

Result<HintTables> readHintTables(std::span<const std::uint8_t> data, std::int64_t pageCount,
                                  const std::vector<HintTablePlace>& places) {
    // /N lies in the linearization dictionary, not in `data`.
    if (pageCount < 1 || static_cast<std::uint64_t>(pageCount) > kMaxPages) {
        return Refusal{-1, "the page count /N is out of range"};
    }
    HintTables tables;
    Result<PageOffsetHints> pages = readPageOffsetHints(data, static_cast<std::size_t>(pageCount));
    if (!pages) return pages.refusal();
    tables.pages = std::move(*pages);

    bool sharedFound = false;
    for (const HintTablePlace& place : places) {
        if (place.offset < 0 || static_cast<std::size_t>(place.offset) >= data.size()) {
            return Refusal{place.offset, "the hint table /" + place.key + " lies outside the hint stream"};
        }
        if (place.key == "S") {
            Result<SharedObjectHints> shared = readSharedObjectHints(data, place);
            if (!shared) return shared.refusal();
            tables.shared = std::move(*shared);
            sharedFound = true;
        } else if (isGenericKey(place.key)) {
            Result<GenericHints> generic = readGenericHints(data, place);
            if (!generic) return generic.refusal();
            tables.generic.push_back(std::move(*generic));
        } else {
            return Refusal{place.offset,
                           "the hint table /" + place.key + " is of a kind that is not rewritten"};
        }
    }
    // Missing, it has no place of its own: the tables as a whole, from the start of the data.
    if (!sharedFound) return Refusal{0, "the hint stream has no shared object hint table"};
    return tables;
}

std::vector<std::uint8_t> writeHintTables(HintTables tables, std::vector<HintTablePlace>& places) {
    PageOffsetHints& p = tables.pages;
    leastAndBits(p.pageLengths, p.leastPageLength, p.pageLengthBits);
    leastAndBits(p.contentOffsets, p.leastContentOffset, p.contentOffsetBits);
    leastAndBits(p.contentLengths, p.leastContentLength, p.contentLengthBits);
    BitWriter writer;
    writer.bits(p.leastObjectCount, 32);
    writer.bits(p.firstPageLocation, 32);
    writer.bits(p.objectCountBits, 16);
    writer.bits(p.leastPageLength, 32);
    writer.bits(p.pageLengthBits, 16);
    writer.bits(p.leastContentOffset, 32);
    writer.bits(p.contentOffsetBits, 16);
    writer.bits(p.leastContentLength, 32);
    writer.bits(p.contentLengthBits, 16);
    writer.bits(p.sharedCountBits, 16);
    writer.bits(p.sharedIdentifierBits, 16);
    writer.bits(p.sharedNumeratorBits, 16);
    writer.bits(p.sharedDenominator, 16);
    writeItem(writer, p.objectCounts, p.objectCountBits, p.leastObjectCount);
    writeItem(writer, p.pageLengths, p.pageLengthBits, p.leastPageLength);
    writeItem(writer, p.sharedCounts, p.sharedCountBits, 0);
    for (const auto& identifiers : p.sharedIdentifiers) {
        for (std::uint64_t identifier : identifiers) writer.bits(identifier, p.sharedIdentifierBits);
    }
    writer.align();
    for (const auto& numerators : p.sharedNumerators) {
        for (std::uint64_t numerator : numerators) writer.bits(numerator, p.sharedNumeratorBits);
    }
    writer.align();
    writeItem(writer, p.contentOffsets, p.contentOffsetBits, p.leastContentOffset);
    writeItem(writer, p.contentLengths, p.contentLengthBits, p.leastContentLength);

    places.clear();
    SharedObjectHints& s = tables.shared;
    leastAndBits(s.groupLengths, s.leastGroupLength, s.groupLengthBits);
    places.push_back({"S", static_cast<std::int64_t>(writer.bytes().size())});
    writer.bits(s.firstObjectNumber, 32);
    writer.bits(s.firstLocation, 32);
    writer.bits(s.firstPageEntries, 32);
    writer.bits(s.totalEntries, 32);
    writer.bits(s.objectCountBits, 16);
    writer.bits(s.leastGroupLength, 32);
    writer.bits(s.groupLengthBits, 16);
    writeItem(writer, s.groupLengths, s.groupLengthBits, s.leastGroupLength);
    for (const auto& signature : s.signatures) writer.bits(signature.empty() ? 0 : 1, 1);
    writer.align();
    for (const auto& signature : s.signatures) {
        for (std::uint8_t byte : signature) writer.bits(byte, 8);
    }
    writeItem(writer, s.objectCountsMinusOne, s.objectCountBits, 0);
    for (const GenericHints& generic : tables.generic) {
        places.push_back({generic.key, static_cast<std::int64_t>(writer.bytes().size())});
        writer.bits(generic.firstObjectNumber, 32);
        writer.bits(generic.firstLocation, 32);
        writer.bits(generic.objectCount, 32);
        writer.bits(generic.groupLength, 32);
    }
    return std::move(writer.bytes());
}

}  // namespace pagewash
