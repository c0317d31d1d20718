// A loopback HTTP server that answers every request with far more than any client should
// hold: a body of a chosen size, sent as fast as the socket takes it, or header lines
// without end. Tests use it to show that a client caps what it keeps.
//
// It listens on 127.0.0.1 with an ephemeral port and serves one connection at a time on
// its own thread. The filler is made piece by piece, so the server itself holds only one
// piece in memory. The destructor stops the server and joins its thread. Needs no test
// framework.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace tarvo::test {

struct FloodOptions {
    // Bytes of body after the header block.
    std::uint64_t bodyBytes = 0;
    // True: the header block announces the size with Content-Length; false: the body ends
    // when the connection closes, so the client only finds out by counting.
    bool announceLength = false;
    // True: after the status line, header lines are sent without end and no body follows.
    bool endlessHeaders = false;
};

class FloodServer {
  public:
    explicit FloodServer(FloodOptions options);
    ~FloodServer();
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    // "http://127.0.0.1:<port>" followed by `path`.
    [[nodiscard]] std::string Url(std::string_view path = "/") const;
    // Bytes written to clients so far, header blocks included.
    [[nodiscard]] std::uint64_t BytesSent() const { return sent_.load(); }

  private:
    void Serve();
    void Answer(int fd);
    bool SendAll(int fd, std::string_view bytes);

    FloodOptions options_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_ = false;
    std::atomic<std::uint64_t> sent_ = 0;
    std::thread thread_;
};

// Whether PeakResidentBytes tells what the code under test holds: ThreadSanitizer's shadow
// memory multiplies every byte the process touches.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kPeakResidentIsMeaningful = false;
#else
inline constexpr bool kPeakResidentIsMeaningful = true;
#endif

// The peak memory a process may reach while it refuses an oversized response: 400 MB, and
// half as much again under AddressSanitizer, whose shadow memory and red zones add to
// every allocation.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::uint64_t kPeakResidentLimit = std::uint64_t{600} << 20;
#else
inline constexpr std::uint64_t kPeakResidentLimit = std::uint64_t{400} << 20;
#endif

// The largest amount of memory this process has held so far (VmHWM), in bytes; 0 when
// it cannot be read.
[[nodiscard]] std::uint64_t PeakResidentBytes();

}  // namespace tarvo::test
