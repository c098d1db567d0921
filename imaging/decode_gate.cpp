#include "imaging/decode_gate.h"

#include <algorithm>

#include "platform/memory.h"

namespace pagewash {

DecodeGate::DecodeGate(int limit, std::uint64_t budgetBytes)
    : m_limit(std::max(limit, 1)), m_budget(budgetBytes) {}

void DecodeGate::enter() {
    std::unique_lock lock(m_mutex);
    m_placeFreed.wait(lock, [&] { return m_admitted < m_limit; });
    ++m_admitted;
}

void DecodeGate::leave() {
    {
        std::scoped_lock lock(m_mutex);
        --m_admitted;
    }
    // One place for one of the waiters, who may be thousands: waking them all for it would cost a
    // book's worth of wake-ups at every image.
    m_placeFreed.notify_one();
}

void DecodeGate::reserve(std::uint64_t bytes) {
    std::unique_lock lock(m_mutex);
    m_bytesFreed.wait(lock, [&] { return bytes <= m_budget - m_bytesInUse; });
    m_bytesInUse += bytes;
    m_peakBytes = std::max(m_peakBytes, m_bytesInUse);
}

void DecodeGate::unreserve(std::uint64_t bytes) {
    {
        std::scoped_lock lock(m_mutex);
        m_bytesInUse -= bytes;
    }
    // Any waiter may fit now, whatever it needs; they hold places, so they are at most `limit`.
    m_bytesFreed.notify_all();
}

std::uint64_t DecodeGate::peakBytes() const {
    std::scoped_lock lock(m_mutex);
    return m_peakBytes;
}

std::uint64_t defaultMemoryBudget() {
    const std::uint64_t physical = platform::physicalMemoryBytes();
    return physical == 0 ? DecodeGate::kNoBudget : physical / 2;
}

}  // namespace pagewash
