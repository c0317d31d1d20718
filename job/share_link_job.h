// The share-link job: turns one share link of the video service into the sharing user's
// name, two download addresses of the work's video and the work's title.
//
// It asks the link once without following its redirect, cuts the work's id and the shared
// comment's id out of the answer's header text, and asks the service's two detail
// endpoints about them. Each result goes to `output` as soon as it is read, and the page
// becomes End at the close. The job checks nothing and reports nothing: whatever fails
// shows as an empty result, and every step runs. It blocks the calling thread for the
// three requests, one after the other; runs on different threads do not share anything.
#pragma once

#include <string_view>

#include "job/job_output.h"
#include "text/text.h"

namespace tarvo {

// The service's web host, set when the project is configured.
extern const std::string_view kDefaultServiceHost;

struct ShareLinkJobOptions {
    // The service's web host: a host name, or a host and port ("127.0.0.1:8443"). It forms
    // the marker of the work's id in the redirect and the address of both detail requests.
    Text host = Text(kDefaultServiceHost);
};

// Runs the job for the share link `link` (code page 936).
void ShareLinkJob(const Text& link, JobOutput& output, const ShareLinkJobOptions& options = {});

}  // namespace tarvo
