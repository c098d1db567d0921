#pragma once
// The one way a reader of untrusted bytes says no: a Refusal (where, and why) carried by a Result<T>
// in place of the value. Expected bad input is a value, never an exception. Plain values; any thread.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace pagewash {

struct Refusal {
    std::int64_t offset = -1;  // the byte offset the reason applies to; -1: the file as a whole
    std::string reason;        // e.g. "/Length runs past the end of the file"; its first word names
                               // what stands at `offset`
};

// "book.pdf: /Length at byte 48213 runs past the end of the file" (the offset goes after the
// reason's first word); with offset -1: "book.pdf: file is larger than 2147483647 bytes".
std::string describeRefusal(const std::string& path, const Refusal& refusal);

// What a reader returns that has nothing to give back but success.
struct Done {};

// A value or the Refusal that stands in its place. Test it before reading the value.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
    Result(Refusal refusal) : m_state(std::in_place_index<1>, std::move(refusal)) {}  // NOLINT

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // REQUIRES: ok().
    T& value() & { return std::get<0>(m_state); }
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // REQUIRES: !ok().
    const Refusal& refusal() const { return std::get<1>(m_state); }

  private:
    std::variant<T, Refusal> m_state;
};

// Offsets are 32-bit: a file longer than INT32_MAX bytes is refused. Call with the input's length
// before reading it; readImageDictionaries checks the buffer again.
Result<Done> checkFileSize(std::int64_t length);

}  // namespace pagewash
