#include "imaging/decode_gate.h"

#include <algorithm>

namespace pagewash {

DecodeGate::DecodeGate(int limit) : m_limit(std::max(limit, 1)), m_semaphore(std::max(limit, 1)) {}

void DecodeGate::acquire() { m_semaphore.acquire(); }

void DecodeGate::release() { m_semaphore.release(); }

}  // namespace pagewash
