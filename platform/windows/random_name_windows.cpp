#include <mutex>
#include <random>

#include "platform/windows/random_name.h"

namespace pagewash::platform::windows {

std::string randomSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mutex mutex;
    static std::random_device device;  // rand_s on Windows: the system's own cryptographic source
    const std::scoped_lock lock(mutex);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, 'X');
    for (char& letter : suffix) letter = kLetters[pick(device)];
    return suffix;
}

}  // namespace pagewash::platform::windows
