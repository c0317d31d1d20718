// tarvo-sample-service: the sample video service on 127.0.0.1, for trying tarvo-cli and
// the window without the real service. Prints its address and a few commands, then
// serves until interrupted.
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "tests/support/sample_service.h"

int main(int argc, char** argv) {
    tarvo::test::SampleServiceOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--delay-ms") == 0 && i + 1 < argc) {
            options.delay = std::chrono::milliseconds(std::atoi(argv[++i]));
        } else {
            std::cerr << "Usage: tarvo-sample-service [--delay-ms N]\n";
            return 2;
        }
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // the server's threads inherit the mask

    tarvo::test::SampleService service(options);
    std::cout << "host " << service.Host() << "\n"
              << "link " << service.ShareLink(tarvo::test::codes::kSample) << "\n"
              << "Try: tarvo-cli resolve --host " << service.Host() << " "
              << service.ShareLink(tarvo::test::codes::kSample) << "\n"
              << std::flush;
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
