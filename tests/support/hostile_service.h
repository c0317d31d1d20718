// A stand-in of the video service's web host that answers both detail endpoints in one
// chosen hostile or broken way, for end-to-end tests of the job and the command line.
//
// It is an HTTPS server on 127.0.0.1, to be handed to the job as its service host. Its
// own "/s/…" path answers 200 without a redirect, so a share link on it leaves both ids
// empty and the job goes on to ask both detail endpoints, which is where the fault lies.
// "/video/stall.mp4" always stalls after its first bytes, for interrupting a download.
//
// All members may be called from any thread.
#pragma once

#include <string>
#include <string_view>

#include "tests/support/test_server.h"

namespace tarvo::test {

enum class Hostility {
    kNeverAnswers,  // accepts the connection and sends nothing
    kByteAtATime,   // a whole, valid answer, one byte at a time
    kResetHalfWay,  // the connection is reset in the middle of the body
    kRedirectLoop,  // 302 to itself, without end
    kRedirectToDeadPort,
    kHugeHeader,    // a header block over 5000 bytes before a valid body
    kHugeBody,      // a body of 300 MB
    kScriptString,  // the JSON string "while(true){}"
    kEndlessAllocation,
    kBadBytes,       // invalid UTF-8 and code page 936 edge bytes in every text
    kZeroByteEarly,  // a zero byte right after the opening brace
    kStallingVideo,  // valid answers whose download addresses stall
};

class HostileService {
  public:
    explicit HostileService(Hostility hostility);

    // "127.0.0.1:<port>": the service host to hand to the job.
    [[nodiscard]] std::string Host() const { return server_.HostPort(); }
    // A share link on this server.
    [[nodiscard]] std::string ShareLink() const { return server_.Url("/s/hostile/"); }
    [[nodiscard]] std::size_t RequestCount() const { return server_.RequestCount(); }

  private:
    Response Answer(const RecordedRequest& request) const;

    Hostility hostility_;
    int deadPort_ = 0;
    TestServer server_;
};

}  // namespace tarvo::test
