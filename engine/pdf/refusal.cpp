#include "engine/pdf/refusal.h"

#include <limits>

namespace pagewash {

std::string describeRefusal(const std::string& path, const Refusal& refusal) {
    std::string text = path + ": ";
    if (refusal.offset < 0) return text + refusal.reason;
    // The reason's first word names what sits at the offset: "/Length runs past ..." reads
    // "/Length at byte 48213 runs past ...".
    const auto space = refusal.reason.find(' ');
    const std::string where = " at byte " + std::to_string(refusal.offset);
    if (space == std::string::npos) return text + refusal.reason + where;
    return text + refusal.reason.substr(0, space) + where + refusal.reason.substr(space);
}

Result<Done> checkFileSize(std::int64_t length) {
    if (length > std::numeric_limits<std::int32_t>::max())
        return Refusal{-1, "file is larger than 2147483647 bytes"};
    return Done{};
}

}  // namespace pagewash
