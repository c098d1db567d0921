#include "imaging/bilevel_despeckle.h"

#include <cstddef>
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
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            // Eight pixels at a time where none is black and unmarked: most of a page is paper.
            const std::size_t byte = static_cast<std::size_t>(x >> 3);
            if ((x & 7) == 0 && (image.row(y)[byte] & ~large.row(y)[byte]) == 0) {
                x += 7;
                continue;
            }
            if (!image.black(x, y) || large.black(x, y)) continue;
            // Every black pixel before this one in reading order is already marked large or made white:
            // one touching a marked pixel (left, or in the row above) joins its group without a search.
            const bool left = x > 0;
            const bool right = x + 1 < image.width;
            if ((left && large.black(x - 1, y)) ||
                (y > 0 && ((left && large.black(x - 1, y - 1)) || large.black(x, y - 1) ||
                           (right && large.black(x + 1, y - 1))))) {
                large.setBlack(x, y);
                continue;
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
                        if (nx < 0 || nx >= image.width || !image.black(nx, ny) || seen.black(nx, ny))
                            continue;
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
        }
    }
}

}  // namespace pagewash
