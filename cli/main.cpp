// tarvo-cli: resolves share links of the video service from the command line, and
// downloads their videos.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/download.h"
#include "cli/json_line.h"
#include "cli/resolver.h"

namespace {

using tarvo::cli::Resolution;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
constexpr int kDefaultJobs = 4;
constexpr int kMostJobs = 64;

constexpr const char* kUsage = R"(Usage:
  tarvo-cli resolve [--host HOST] [--json] [--jobs N] INPUT...
  tarvo-cli download [--host HOST] [-o FILE] INPUT
  tarvo-cli --help

Turns share links of the short-video service 皮皮虾 into the work's title, the sharing
user's name and two direct download addresses of its video.

INPUT is a share link, or a whole share text as the app copies it (words around the
link): the first http:// or https:// address in it is taken. An INPUT of "-" reads
inputs from standard input, one a line.

resolve   prints, for each input, the lines "title: ", "user: ", "url1: " and "url2: ",
          with an empty line between inputs. Several inputs are resolved at the same
          time and printed in input order.
  --json      one JSON object per input and line instead, with the members "link",
              "title", "user", "url1" and "url2" (empty strings where nothing was found)
  --jobs N    resolve at most N inputs at a time (default 4)

download  resolves INPUT and downloads its video: the first address, or the second when
          the first is missing or fails. A progress line shows on a terminal. The file
          appears only when the download is complete.
  -o FILE     the file to write (default: the title, made safe, with ".mp4")

  --host HOST the service's web host to ask (default: the configured one)

Exit status: 0 when every input gave a download address (and, for download, the file is
complete); 1 otherwise, with one line on standard error for each input that failed; 2
for a usage error.
)";

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
    interrupted = true;
}

int UsageError(const std::string& message) {
    std::cerr << "tarvo-cli: " << message << "\n\n" << kUsage;
    return kExitUsage;
}

struct Arguments {
    std::string command;
    tarvo::ShareLinkJobOptions job;
    bool json = false;
    int jobs = kDefaultJobs;
    std::optional<std::string> output;
    std::vector<std::string> inputs;
};

// Parses the command line; returns an exit status when it is not to go on.
std::optional<int> Parse(int argc, char** argv, Arguments& args) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) return UsageError("no command given");
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    args.command = words[0];
    if (args.command != "resolve" && args.command != "download") {
        return UsageError("unknown command \"" + args.command + "\"");
    }
    const bool resolve = args.command == "resolve";
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= words.size()) return std::nullopt;
            return words[++i];
        };
        if (word == "--help" || word == "-h") {
            std::cout << kUsage;
            return kExitOk;
        } else if (word == "--host") {
            auto host = value();
            if (!host || host->empty()) return UsageError("--host needs a host");
            args.job.host = *host;
        } else if (resolve && word == "--json") {
            args.json = true;
        } else if (resolve && word == "--jobs") {
            auto count = value();
            char* end = nullptr;
            const long n = count ? std::strtol(count->c_str(), &end, 10) : 0;
            if (!count || *end != '\0' || n < 1 || n > kMostJobs) {
                return UsageError("--jobs needs a number from 1 to " + std::to_string(kMostJobs));
            }
            args.jobs = static_cast<int>(n);
        } else if (!resolve && (word == "-o" || word == "--output")) {
            auto file = value();
            if (!file || file->empty()) return UsageError("-o needs a file name");
            args.output = *file;
        } else if (word == "-") {
            for (std::string line; std::getline(std::cin, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.find_first_not_of(" \t") != std::string::npos) args.inputs.push_back(line);
            }
        } else if (word.size() > 1 && word[0] == '-') {
            return UsageError("unknown option \"" + word + "\"");
        } else {
            args.inputs.push_back(word);
        }
    }
    if (args.inputs.empty()) return UsageError("no input given");
    if (!resolve && args.inputs.size() != 1) return UsageError("download takes one input");
    return std::nullopt;
}

// One line on standard error saying why an input gave no video.
void ReportFailure(const std::string& input, const Resolution& result, const std::string& why) {
    const std::string& subject = result.link ? *result.link : input;
    std::cerr << "tarvo-cli: " << subject << ": " << why << "\n";
}

std::string Why(const Resolution& result) {
    return result.link ? "the service gave no video for this link" : "no link in the input";
}

int Resolve(const Arguments& args) {
    const std::vector<Resolution> results =
        tarvo::cli::ResolveAll(args.inputs, args.jobs, args.job);
    int status = kExitOk;
    for (size_t i = 0; i < results.size(); ++i) {
        const Resolution& r = results[i];
        if (args.json) {
            std::cout << tarvo::cli::JsonLine(r) << "\n";
        } else {
            if (i > 0) std::cout << "\n";
            std::cout << "title: " << r.title << "\nuser: " << r.user << "\nurl1: " << r.url1
                      << "\nurl2: " << r.url2 << "\n";
        }
        if (!r.HasVideo()) {
            ReportFailure(args.inputs[i], r, Why(r));
            status = kExitFailed;
        }
    }
    return status;
}

int Download(const Arguments& args) {
    const Resolution video = tarvo::cli::ResolveInput(args.inputs[0], args.job);
    if (!video.HasVideo()) {
        ReportFailure(args.inputs[0], video, Why(video));
        return kExitFailed;
    }
    // From here on Ctrl-C stops the transfer, so that the partial file can be removed.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const tarvo::cli::DownloadOutcome outcome =
        tarvo::cli::DownloadVideo(video, {.path = args.output,
                                          .showProgress = ::isatty(STDERR_FILENO) == 1,
                                          .cancel = &interrupted});
    if (!outcome.ok) {
        ReportFailure(args.inputs[0], video, outcome.error);
        return interrupted ? kExitInterrupted : kExitFailed;
    }
    std::cout << outcome.path << "\n";
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const std::optional<int> status = Parse(argc, argv, args)) return *status;
    return args.command == "resolve" ? Resolve(args) : Download(args);
}
