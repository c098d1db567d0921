#pragma once
// Whether a corrected gray page image is a text page, which --bilevel may turn into black and white
// without loss: a page with continuous tone (a photo, a halftone, a shaded drawing) is not.
//
// The measure: the image is cut into 32 x 32 tiles. In each tile, lo and hi are the gray levels below
// which 5 % and 95 % of its pixels lie. A tile is tonal when its spread hi - lo is at least kToneSpread
// and either at least kTonalMiddleShare of its pixels lie in the middle half of that spread, or even its
// darkest 1 % are far lighter than the page's ink (by kInkMargin at least; the page's ink: the level
// below which 0.5 % of all its pixels lie): the edge of a gray fill or a shaded figure. Faded print is
// compared with its own faded ink. Text gives two
// clusters, paper and ink, and mid-tones only along the edges of its strokes, whatever the paper's own
// level (a gray-lit or yellowed page, a shadow); a photo, a halftone screen or a shaded drawing spreads
// its pixels across the range. A flat tile (paper, a margin in shadow) is not tonal, unless the tiles
// before it (left, or above) are flat and level, within kPlateau of each other, and it differs from the
// nearer of them by at least kFlatStep, none of the three near black (below kDarkLevel): the edge of a
// gray fill in a shaded drawing. A shadow or uneven light changes by some levels from every tile to the
// next, never after a level stretch, and a scanner's black border is near black. The page is a text
// page when at most kTextPageToneShare of its tiles are tonal. An image of fewer than kMinTiles whole
// tiles is too small to judge and is not a text page. A tile's percentiles are taken on every other pixel
// of every other row of it (256 samples); the page's ink is counted on every pixel of its whole tiles, the
// runs of 32 pixels all lighter than a level guessed from every fourth pixel of every fourth row skipped
// (every pixel counted when fewer than 0.5 % lie below the guess). Thread-safe: no shared state.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pagewash {

inline constexpr int kToneTile = 32;
inline constexpr int kToneSpread = 48;
inline constexpr double kTonalMiddleShare = 0.35;
inline constexpr int kInkMargin = 96;
inline constexpr int kFlatStep = 20;
inline constexpr int kPlateau = 3;
inline constexpr int kDarkLevel = 48;
inline constexpr double kTextPageToneShare = 0.025;
inline constexpr int kMinTiles = 16;

struct ToneMeasure {
    std::int64_t tiles = 0;       // whole tiles
    std::int64_t tonalTiles = 0;  // of which tonal

    double tonalShare() const {
        return tiles > 0 ? static_cast<double>(tonalTiles) / static_cast<double>(tiles) : 1.0;
    }
    bool isTextPage() const { return tiles >= kMinTiles && tonalShare() <= kTextPageToneShare; }
};

// Measures `height` rows of `width` gray pixels, `stride` bytes apart. Working memory: a few histograms
// of 256 counts and three tiles' results per tile column.
ToneMeasure measureTone(const std::uint8_t* gray, int width, int height, std::size_t stride);

// The same measure a band of tiles (kToneTile rows) at a time, for a caller that works through the page
// band by band while its rows are in the cache. The page's pixels must stay in place until finish().
class ToneMeasurer {
  public:
    // Reads no pixel yet.
    ToneMeasurer(const std::uint8_t* gray, int width, int height, std::size_t stride);
    ToneMeasurer(const ToneMeasurer&) = delete;
    ToneMeasurer& operator=(const ToneMeasurer&) = delete;
    ~ToneMeasurer();

    // The guess of the ink's level reads every fourth row of the whole tiles, 0 and on: a caller that puts
    // rows in place as it goes may hand them over with sampleGuessRow(y), y = 0, 4, 8... in turn (others
    // are ignored); the first band reads those not handed over.
    void sampleGuessRow(int y);

    int bands() const { return m_tileRows; }
    int bandsMeasured() const { return m_band; }
    // Reads the rows of the next band. REQUIRES: bandsMeasured() < bands().
    void measureNextBand();
    // Whether the tiles measured so far make the page no text page, whatever the others hold.
    bool knownNoTextPage() const;
    // REQUIRES: every band measured.
    ToneMeasure finish();

  private:
    struct State;
    const std::uint8_t* m_gray;
    std::size_t m_stride;
    int m_tileColumns = 0;
    int m_tileRows = 0;
    int m_band = 0;
    std::unique_ptr<State> m_state;
};

// One tile, from the histogram of its pixels (`pixels` of them), none below level `lowest`.
struct TileTone {
    bool tonal = false;  // by its own pixels
    bool flat = false;   // spread below kToneSpread
    int median = 0;
    // Of a tile that is not flat: the level below which its darkest 1 % lie, and whether the middle half
    // of its spread holds kTonalMiddleShare of its pixels. It is tonal when its darkest are kInkMargin
    // lighter than the page's ink, or its middle is full.
    int darkest = 0;
    bool fullMiddle = false;
};
TileTone tileTone(const std::uint32_t* histogram, std::uint32_t pixels, int pageInk, int lowest = 0);

}  // namespace pagewash
