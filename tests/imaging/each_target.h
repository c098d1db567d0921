#pragma once
// Runs a check once for every vector target that Highway generated and this processor runs, with the
// dispatch held to that target, then gives the choice back to the dispatch.

#include <hwy/targets.h>

#include <cstdint>

namespace pagewash::testing {

// check(const char* targetName) runs with every kernel dispatched to that target.
template <typename Check>
void forEachTarget(Check check) {
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        check(hwy::TargetName(target));
    }
    hwy::SetSupportedTargetsForTest(0);
}

}  // namespace pagewash::testing
