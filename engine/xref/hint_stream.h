#pragma once
// The primary hint stream of a linearized PDF and how its tables follow an edit: every location and
// length they give is recomputed from the offset map, so that the edited file stays linearized with
// exact hints. Stateless; safe on any thread.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/xref/hint_tables.h"
#include "engine/pdf/stream_object.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

struct HintStreamSection {
    StreamObject stream;          // the object at /H's offset
    std::int64_t offset = 0;      // /H[0]
    std::int64_t length = 0;      // /H[1]: the whole object, which the tables' locations leave out
    // The values of /S, /O and the like in the stream's dictionary, with the table each one places.
    std::vector<std::pair<std::string, OffsetField>> placeFields;
    HintTables tables;
};

// Reads the hint stream that /H gives. Returns nothing (with `error`) when it cannot be read or
// holds a table that is not rewritten (thumbnails); the file is then no longer linearized after an
// edit.
std::optional<HintStreamSection> readHintStream(ByteView bytes, const LinearizationFields& linearization,
                                                std::string& error);

// True when every page, shared object group and generic group that the tables give begins and ends
// where an object begins (`objectStarts`, input offsets) or at one of `otherEnds` (cross-reference
// sections, the end of the file). Only then do the tables describe the file closely enough to be
// rewritten exactly; `error` names the first that does not.
bool hintGroupsFollowObjects(const HintStreamSection& hints, const std::set<std::int64_t>& objectStarts,
                             const std::set<std::int64_t>& otherEnds, std::string& error);

// The tables with every location and length moved: `mapLocation` takes a location as the tables
// count it in the input (without the hint stream) to one as they count it in the output.
HintTables movedHintTables(const HintTables& tables,
                           const std::function<std::int64_t(std::int64_t)>& mapLocation);

}  // namespace pagewash
