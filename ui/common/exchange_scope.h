#pragma once
// Sets a dialog exchange's "exchanging" flag for the length of one exchange, also when it leaves early,
// so that the change notices the exchange itself causes are told apart from the user's.

namespace pagewash {

class ExchangeScope {
  public:
    explicit ExchangeScope(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~ExchangeScope() { m_flag = m_previous; }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

  private:
    bool& m_flag;
    bool m_previous;
};

}  // namespace pagewash
