#include "imaging/bilevel_despeckle.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pagewash {

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
    // The pixels of the last byte that lie within the width.
    const unsigned lastByte = (0xFFu << ((8 - image.width % 8) % 8)) & 0xFFu;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* bits = image.row(y);
        const std::uint8_t* marked = large.row(y);
        for (std::size_t byte = 0; byte < stride; ++byte) {
            // Sixty-four pixels at a time where none is black and unmarked: most of a page is paper.
            if ((byte & 7) == 0 && byte + 8 <= stride) {
                std::uint64_t black = 0;
                std::uint64_t known = 0;
                std::memcpy(&black, bits + byte, 8);
                std::memcpy(&known, marked + byte, 8);
                if ((black & ~known) == 0) {
                    byte += 7;
                    continue;
                }
            }
            // The byte's black unmarked pixels in order, the first in the top bit; a visit may whiten or
            // mark those after it, so the byte is read again after each.
            const unsigned within = byte + 1 == stride ? lastByte : 0xFFu;
            unsigned pending = bits[byte] & ~marked[byte] & within;
            while (pending != 0) {
                const int bit = std::countl_zero(static_cast<std::uint8_t>(pending));
                visit(static_cast<int>(byte * 8) + bit, y);
                pending = bits[byte] & ~marked[byte] & within & (0xFFu >> (bit + 1));
            }
        }
    }
}

}  // namespace pagewash
