#pragma once
// Bounds memory: at most `limit` images decoded and held in memory at once, across the workers that
// share the gate. Thread-safe. Outlives every worker that holds a pointer to it.

#include <semaphore>

namespace pagewash {

class DecodeGate {
public:
    explicit DecodeGate(int limit);  // limit < 1 counts as 1
    void acquire();
    void release();
    int limit() const { return m_limit; }

private:
    int m_limit;
    std::counting_semaphore<> m_semaphore;
};

// Holds one place of a gate (when given one) for its lifetime.
class DecodeGateSlot {
public:
    explicit DecodeGateSlot(DecodeGate* gate) : m_gate(gate) {
        if (m_gate) m_gate->acquire();
    }
    ~DecodeGateSlot() {
        if (m_gate) m_gate->release();
    }
    DecodeGateSlot(const DecodeGateSlot&) = delete;
    DecodeGateSlot& operator=(const DecodeGateSlot&) = delete;

private:
    DecodeGate* m_gate;
};

}  // namespace pagewash
