// Prints the Highway targets at which the kernel tests run here: those compiled into the kernels
// that this processor (and under Wine, the Windows side of it) supports, widest first.
#include <hwy/targets.h>

#include <cstdint>
#include <cstdio>

int main() {
    for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        std::printf("%s\n", hwy::TargetName(target));
    }
    return 0;
}
