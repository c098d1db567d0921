#pragma once
// Bounds memory: the images decoded and held in memory at once, across the workers that share the gate,
// number at most `limit` and together need at most `budgetBytes`. An image waits until both fit.
// Thread-safe. Outlives every worker that holds a pointer to it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pagewash {

class DecodeGate {
  public:
    static constexpr std::uint64_t kNoBudget = UINT64_MAX;

    // limit < 1 counts as 1.
    explicit DecodeGate(int limit, std::uint64_t budgetBytes = kNoBudget);

    // Waits until one more image needing `bytes` fits. REQUIRES: bytes <= budget(), or it would wait
    // for ever (fits() says whether it can ever be admitted).
    void acquire(std::uint64_t bytes = 0);
    void release(std::uint64_t bytes = 0);

    bool fits(std::uint64_t bytes) const { return bytes <= m_budget; }
    int limit() const { return m_limit; }
    std::uint64_t budget() const { return m_budget; }
    // The most bytes ever admitted at once (what the budget held back, for tests and reports).
    std::uint64_t peakBytes() const;

  private:
    const int m_limit;
    const std::uint64_t m_budget;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    int m_admitted = 0;              // guarded by m_mutex
    std::uint64_t m_bytesInUse = 0;  // guarded by m_mutex
    std::uint64_t m_peakBytes = 0;   // guarded by m_mutex
};

// Holds one place of a gate (when given one) and `bytes` of its budget for its lifetime.
class DecodeGateSlot {
  public:
    explicit DecodeGateSlot(DecodeGate* gate, std::uint64_t bytes = 0) : m_gate(gate), m_bytes(bytes) {
        if (m_gate) m_gate->acquire(m_bytes);
    }
    ~DecodeGateSlot() {
        if (m_gate) m_gate->release(m_bytes);
    }
    DecodeGateSlot(const DecodeGateSlot&) = delete;
    DecodeGateSlot& operator=(const DecodeGateSlot&) = delete;

  private:
    DecodeGate* m_gate;
    std::uint64_t m_bytes;
};

// Half of the machine's physical memory: the default budget of a run.
std::uint64_t defaultMemoryBudget();

}  // namespace pagewash
