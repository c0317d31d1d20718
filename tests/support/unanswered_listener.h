// A port on 127.0.0.1 where a connect is never answered: a listener with a full queue
// that never accepts, so the kernel drops each further SYN. Tests use it for a host that
// cannot be reached, without sending anything off the machine. Closed in the destructor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::test {

class UnansweredListener {
  public:
    UnansweredListener();
    ~UnansweredListener();
    UnansweredListener(const UnansweredListener&) = delete;
    UnansweredListener& operator=(const UnansweredListener&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port>/".
    [[nodiscard]] std::string Url() const;

  private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

}  // namespace tarvo::test
