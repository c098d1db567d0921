#pragma once
// The primary hint stream of a linearized PDF and how its tables follow an edit: every location and
// length they give is recomputed from the offset map, so that the edited file stays linearized with
// exact hints. Stateless; safe on any thread.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/pdf/refusal.h"
#include "engine/pdf/stream_object.h"
#include "engine/xref/hint_tables.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

struct HintStreamSection {
    StreamObject stream;      // the object at /H's offset
    std::int64_t offset = 0;  // /H[0]
    std::int64_t length = 0;  // /H[1]: the whole object, which the tables' locations leave out
    // The values of /S, /O and the like in the stream's dictionary, with the table each one places.
    std::vector<std::pair<std::string, OffsetField>> placeFields;
    HintTables tables;
};

// Reads the hint stream that /H gives. Refuses one that cannot be read or holds a table that is not
// rewritten (thumbnails), at the byte at fault (a table's place within inflated data is given as the
// first byte of the stream data; -1 when /H or /N is missing or out of range); the file is then no
// longer linearized after an edit.
Result<HintStreamSection> readHintStream(ByteView bytes, const LinearizationFields& linearization);

// True when every page, shared object group and generic group that the tables give begins and ends
// where an object begins (`objectStarts`, input offsets) or at one of `otherEnds` (cross-reference
// sections, the end of the file). Only then do the tables describe the file closely enough to be
// rewritten exactly; the refusal names the first that does not, at the file offset where it begins
// or ends.
Result<Done> hintGroupsFollowObjects(const HintStreamSection& hints,
                                     const std::set<std::int64_t>& objectStarts,
                                     const std::set<std::int64_t>& otherEnds);

// The tables with every location and length moved: `mapLocation` takes a location as the tables
// count it in the input (without the hint stream) to one as they count it in the output.
HintTables movedHintTables(const HintTables& tables,
                           const std::function<std::int64_t(std::int64_t)>& mapLocation);

}  // namespace pagewash
