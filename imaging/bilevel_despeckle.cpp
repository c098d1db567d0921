#include "imaging/bilevel_despeckle.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pagewash {

namespace {

// Sixty-four pixels of a row as one word, the leftmost in the top bit; the bytes past the row read as white.
std::uint64_t loadWord(const std::uint8_t* row, std::size_t stride, std::size_t word) {
    const std::size_t from = word * 8;
    std::uint64_t value = 0;
    if (from + 8 <= stride && std::endian::native == std::endian::little) {
        std::memcpy(&value, row + from, 8);
        return __builtin_bswap64(value);
    }
    for (std::size_t i = 0; i < 8; ++i) value = value << 8 | (from + i < stride ? row[from + i] : 0u);
    return value;
}

void storeWord(std::uint8_t* row, std::size_t stride, std::size_t word, std::uint64_t value) {
    const std::size_t from = word * 8;
    if (from + 8 <= stride && std::endian::native == std::endian::little) {
        value = __builtin_bswap64(value);
        std::memcpy(row + from, &value, 8);
        return;
    }
    for (std::size_t i = 0; i < 8; ++i)
        if (from + i < stride) row[from + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
}

// The pixels of `run` (horizontal runs of black) that lie in a run holding one of `seeds`: towards the
// right by doubling shifts, towards the left by the carry of an addition, which runs from a run's lowest
// seed to its top. REQUIRES: seeds within run.
std::uint64_t wholeRunsOf(std::uint64_t seeds, std::uint64_t run) {
    std::uint64_t filled = seeds;
    std::uint64_t open = run;
    for (unsigned shift = 1; shift < 64; shift *= 2) {
        filled |= open & (filled >> shift);
        open &= open >> shift;
    }
    return filled | (run & ~(run + seeds));
}

}  // namespace

void despeckle(BilevelImage& image, int maxPixels) {
    if (maxPixels <= 0 || image.width <= 0 || image.height <= 0) return;
    // Pixels already known to belong to a group larger than maxPixels: a search that reaches one stops,
    // its group is large too. Every pixel a search visits ends either white or marked, so no pixel is
    // searched from twice and the work stays proportional to the page, not to maxPixels.
    BilevelImage large(image.width, image.height);
    struct Point {
        int x;
        int y;
    };
    std::vector<Point> group;
    group.reserve(static_cast<std::size_t>(maxPixels) + 1);
    // Marks the pixels of the current search while it runs, so that it does not count one twice.
    BilevelImage seen(image.width, image.height);
    const auto limit = static_cast<std::size_t>(maxPixels);
    // The black pixel (x, y), unmarked, every black pixel before it in reading order already marked large or
    // made white.
    const auto visit = [&](int x, int y) {
        // One touching a marked pixel (left, or in the row above) joins its group without a search.
        const bool left = x > 0;
        const bool right = x + 1 < image.width;
        if ((left && large.black(x - 1, y)) ||
            (y > 0 && ((left && large.black(x - 1, y - 1)) || large.black(x, y - 1) ||
                       (right && large.black(x + 1, y - 1))))) {
            large.setBlack(x, y);
            return;
        }
        group.clear();
        group.push_back({x, y});
        seen.setBlack(x, y);
        bool isLarge = false;
        for (std::size_t next = 0; next < group.size() && !isLarge; ++next) {
            const Point p = group[next];
            for (int dy = -1; dy <= 1 && !isLarge; ++dy) {
                const int ny = p.y + dy;
                if (ny < 0 || ny >= image.height) continue;
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = p.x + dx;
                    if (nx < 0 || nx >= image.width || !image.black(nx, ny) || seen.black(nx, ny)) continue;
                    if (large.black(nx, ny) || group.size() == limit) {
                        isLarge = true;
                        break;
                    }
                    group.push_back({nx, ny});
                    seen.setBlack(nx, ny);
                }
            }
        }
        for (const Point& p : group) {
            seen.setWhite(p.x, p.y);
            if (isLarge)
                large.setBlack(p.x, p.y);
            else
                image.setWhite(p.x, p.y);
        }
    };
    const std::size_t stride = image.stride();
    const std::size_t words = (stride + 7) / 8;
    // The pixels of the last word that lie within the width.
    const unsigned tail = static_cast<unsigned>(image.width) % 64;
    const std::uint64_t lastWord = tail == 0 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> tail);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* bits = image.row(y);
        std::uint8_t* marked = large.row(y);
        const std::uint8_t* above = y > 0 ? large.row(y - 1) : nullptr;
        for (std::size_t word = 0; word < words; ++word) {
            const std::uint64_t within = word + 1 == words ? lastWord : ~std::uint64_t{0};
            const std::uint64_t known = loadWord(marked, stride, word);
            std::uint64_t pending = loadWord(bits, stride, word) & ~known & within;
            // Most of a page is paper.
            if (pending == 0) continue;
            // A run of black pixels touching a marked one (above it, or beside it in the row) joins its group
            // as a whole: on a page of text, all but the first rows of each group.
            const std::size_t from = word * 8;
            std::uint64_t touching = known >> 1 | known << 1;
            if (word > 0 && (marked[from - 1] & 1) != 0) touching |= std::uint64_t{1} << 63;
            if (above != nullptr) {
                const std::uint64_t up = loadWord(above, stride, word);
                touching |= up | up >> 1 | up << 1;
                if (word > 0 && (above[from - 1] & 1) != 0) touching |= std::uint64_t{1} << 63;
                if (from + 8 < stride && (above[from + 8] & 0x80) != 0) touching |= 1;
            }
            const std::uint64_t joined = wholeRunsOf(pending & touching, pending);
            if (joined != 0) storeWord(marked, stride, word, known | joined);
            pending &= ~joined;
            // The pixels left in order, the first in the top bit: a visit may whiten or mark those after it,
            // so the word is read again after each.
            while (pending != 0) {
                const int bit = std::countl_zero(pending);
                visit(static_cast<int>(word * 64) + bit, y);
                pending = loadWord(bits, stride, word) & ~loadWord(marked, stride, word) & within &
                          (~std::uint64_t{0} >> bit >> 1);
            }
        }
    }
}

}  // namespace pagewash
