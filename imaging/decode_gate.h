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

    // Waits for one of the `limit` places. A worker takes its place before it opens its image, so that
    // the many workers of a book that wait hold nothing but their thread.
    void enter();
    void leave();
    // Waits until `bytes` more fit the budget. REQUIRES: a place is held, and bytes <= budget(), or it
    // would wait for ever (fits() says whether it can ever be admitted).
    void reserve(std::uint64_t bytes);
    void unreserve(std::uint64_t bytes);

    bool fits(std::uint64_t bytes) const { return bytes <= m_budget; }
    int limit() const { return m_limit; }
    std::uint64_t budget() const { return m_budget; }
    // The most bytes ever admitted at once (what the budget held back, for tests and reports).
    std::uint64_t peakBytes() const;

  private:
    const int m_limit;
    const std::uint64_t m_budget;
    mutable std::mutex m_mutex;
    std::condition_variable m_placeFreed;  // for enter()
    std::condition_variable m_bytesFreed;  // for reserve()
    int m_admitted = 0;                    // guarded by m_mutex
    std::uint64_t m_bytesInUse = 0;        // guarded by m_mutex
    std::uint64_t m_peakBytes = 0;         // guarded by m_mutex
};

// Holds one place of a gate (when given one), and the bytes reserved through it, for its lifetime.
class DecodeGateSlot {
  public:
    explicit DecodeGateSlot(DecodeGate* gate, std::uint64_t bytes = 0) : m_gate(gate) {
        if (m_gate) m_gate->enter();
        reserve(bytes);
    }
    ~DecodeGateSlot() {
        if (!m_gate) return;
        m_gate->unreserve(m_bytes);
        m_gate->leave();
    }
    DecodeGateSlot(const DecodeGateSlot&) = delete;
    DecodeGateSlot& operator=(const DecodeGateSlot&) = delete;

    // Waits until `bytes` more fit the gate's budget; they are given back with the place.
    void reserve(std::uint64_t bytes) {
        if (!m_gate || bytes == 0) return;
        m_gate->reserve(bytes);
        m_bytes += bytes;
    }

  private:
    DecodeGate* m_gate;
    std::uint64_t m_bytes = 0;
};

// Half of the machine's physical memory: the default budget of a run.
std::uint64_t defaultMemoryBudget();

}  // namespace pagewash
