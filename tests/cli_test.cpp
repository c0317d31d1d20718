#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/download.h"
#include "cli/json_line.h"
#include "cli/link.h"
#include "tests/support/flood_server.h"
#include "tests/support/hostile_service.h"
#include "tests/support/sample_service.h"
#include "text/conversion.h"

namespace tarvo::cli {
namespace {

TEST(ExtractLink, Table) {
    struct Case {
        const char* name;
        std::string input;
        std::optional<std::string> link;
    };
    const std::vector<Case> cases = {
        {"bare link", "https://h5.pipix.com/s/aBcD1234/", "https://h5.pipix.com/s/aBcD1234/"},
        {"without final slash", "https://h5.pipix.com/s/aBcD1234",
         "https://h5.pipix.com/s/aBcD1234"},
        {"share text of the app",
         "分享一个有趣的视频 https://h5.pipix.com/s/ABCdef1/ 复制这段话打开皮皮虾",
         "https://h5.pipix.com/s/ABCdef1/"},
        {"chinese punctuation right after", "看这个https://h5.pipix.com/s/x_y-z12/，太好笑了！",
         "https://h5.pipix.com/s/x_y-z12/"},
        {"full stop right after code", "https://h5.pipix.com/s/abcdef.",
         "https://h5.pipix.com/s/abcdef"},
        {"closing bracket after code", "（https://h5.pipix.com/s/abcdefghijk）",
         "https://h5.pipix.com/s/abcdefghijk"},
        {"ascii bracket after slash", "(https://h5.pipix.com/s/abcdef/)",
         "https://h5.pipix.com/s/abcdef/"},
        {"first of two links", "http://a.test/s/first1/ https://b.test/s/second/",
         "http://a.test/s/first1/"},
        {"scheme in other case", "HTTPS://h5.pipix.com/s/abcdef/",
         "HTTPS://h5.pipix.com/s/abcdef/"},
        {"loopback link with port", "https://127.0.0.1:8443/s/Sample01/",
         "https://127.0.0.1:8443/s/Sample01/"},
        {"other address keeps its query", "https://x.test/item/1?a=1&b=2.",
         "https://x.test/item/1?a=1&b=2"},
        {"code too short is not cut", "https://x.test/s/abc/d", "https://x.test/s/abc/d"},
        {"no link", "复制这段话打开皮皮虾", std::nullopt},
        {"scheme without host", "see https:// now", std::nullopt},
        {"ftp is no link", "ftp://x.test/s/abcdef/", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractLink(c.input), c.link);
    }
}

TEST(SafeFileName, Table) {
    struct Case {
        const char* name;
        std::string title, file;
    };
    const std::vector<Case> cases = {
        {"plain", "日落 海边", "日落 海边.mp4"},
        {"path separators and shell characters", "a/b\\c:d*e?f\"g<h>i|j",
         "a_b_c_d_e_f_g_h_i_j.mp4"},
        {"question marks of unknown characters", "晚霞? #治愈", "晚霞_ #治愈.mp4"},
        {"control characters", "a\nb\tc", "a_b_c.mp4"},
        {"no hidden file or option", "..-rf", "rf.mp4"},
        {"empty", "", "video.mp4"},
        {"only unsafe", "///", "video.mp4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SafeFileName(c.title), c.file);
    }
}

TEST(SafeFileName, CutsLongTitlesOnACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 100; ++i) title += "\xE4\xB8\xAD";  // 中, three bytes
    const std::string name = SafeFileName(title);
    ASSERT_LE(name.size(), 124u);
    const std::string stem = name.substr(0, name.size() - 4);
    EXPECT_EQ(stem.size() % 3, 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".mp4");
}

TEST(JsonLine, EscapesAndKeepsEveryMember) {
    Resolution r;
    r.link = "https://x.test/s/abcdef/";
    r.title = "say \"hi\" \\ 中\n";
    r.url1 = "https://v.test/a?x=1&y=2";
    EXPECT_EQ(JsonLine(r),
              "{\"link\":\"https://x.test/s/abcdef/\",\"title\":\"say \\\"hi\\\" \\\\ 中\\n\","
              "\"user\":\"\",\"url1\":\"https://v.test/a?x=1&y=2\",\"url2\":\"\"}");
    EXPECT_EQ(JsonLine(Resolution{}),
              "{\"link\":\"\",\"title\":\"\",\"user\":\"\",\"url1\":\"\",\"url2\":\"\"}");
}

// tarvo-cli run as a whole process, against the sample service.
class CommandLine : public ::testing::Test {
  protected:
    struct Run {
        int status = -1;
        std::string out, err;
    };

    void SetUp() override {
        char pattern[] = "/tmp/tarvo-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static std::string Quote(const std::string& word) {
        std::string quoted = "'";
        for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }

    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Run Cli(const std::vector<std::string>& args, const std::string& input = "") {
        std::ofstream(dir / "in", std::ios::binary) << input;
        std::string command = "cd " + Quote(dir) + " && " + Quote(TARVO_CLI);
        for (const std::string& a : args) command += " " + Quote(a);
        command += " <in >out 2>err";
        Run run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = Read(dir / "out");
        run.err = Read(dir / "err");
        std::filesystem::remove(dir / "in");
        std::filesystem::remove(dir / "out");
        std::filesystem::remove(dir / "err");
        return run;
    }

    // Starts tarvo-cli in `dir` with its output in files there; returns its process id.
    pid_t Start(const std::vector<std::string>& args) const {
        const pid_t pid = fork();
        if (pid == 0) {
            std::filesystem::current_path(dir);
            const int out = ::open("out", O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open("err", O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(TARVO_CLI)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(TARVO_CLI, argv.data());
            ::_exit(127);
        }
        return pid;
    }

    // Waits up to `bound` for `pid`; its wait status, or -1 when it is still running (it is
    // then killed).
    static int WaitFor(pid_t pid, std::chrono::milliseconds bound) {
        const auto until = std::chrono::steady_clock::now() + bound;
        int status = 0;
        while (std::chrono::steady_clock::now() < until) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return status;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }

    std::vector<std::string> FilesInDir() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::string Json(std::string_view code, std::string_view url2) const {
        return "{\"link\":\"" + service.ShareLink(code) + "\",\"title\":\"" +
               GbkToUtf8(Utf8ToGbk(test::sample::kTitle)) + "\",\"user\":\"" +
               GbkToUtf8(Utf8ToGbk(test::sample::kUser)) + "\",\"url1\":\"" +
               service.DownloadUrl(1) + "\",\"url2\":\"" + std::string(url2) + "\"}\n";
    }

    test::SampleService service;
    std::filesystem::path dir;
};

TEST_F(CommandLine, ResolveJsonPrintsOneLinePerInputInOrder) {
    const Run run = Cli({"resolve", "--json", "--host", service.Host(),
                         "分享给你 " + service.ShareLink(test::codes::kSample) + " 快来看！",
                         service.ShareLink(test::codes::kOneUrl)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              Json(test::codes::kSample, service.DownloadUrl(2)) + Json(test::codes::kOneUrl, ""));
    EXPECT_EQ(run.out.find("\\u0026"), std::string::npos);
    EXPECT_EQ(run.err, "");
}

TEST_F(CommandLine, ResolvePlainReadsStandardInputAndReportsFailures) {
    const std::string input = service.ShareLink(test::codes::kSample) + "\n没有链接的一行\n" +
                              service.ShareLink(test::codes::kError) + "\n";
    const Run run = Cli({"resolve", "--jobs", "2", "--host", service.Host(), "-"}, input);
    EXPECT_EQ(run.status, 1);
    const std::string expectedFirst = "title: " + GbkToUtf8(Utf8ToGbk(test::sample::kTitle)) +
                                      "\nuser: " + GbkToUtf8(Utf8ToGbk(test::sample::kUser)) +
                                      "\nurl1: " + service.DownloadUrl(1) +
                                      "\nurl2: " + service.DownloadUrl(2) + "\n";
    EXPECT_EQ(run.out.substr(0, expectedFirst.size()), expectedFirst);
    EXPECT_NE(run.out.find("\n\ntitle: \nuser: \nurl1: \nurl2: \n\ntitle: "), std::string::npos);
    EXPECT_EQ(run.err,
              "tarvo-cli: 没有链接的一行: no link in the input\n"
              "tarvo-cli: " +
                  service.ShareLink(test::codes::kError) +
                  ": the service gave no video for this link\n");
}

TEST_F(CommandLine, UsageErrorsExitWithTwo) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"fetch", "x"},
                                               {"resolve"},
                                               {"resolve", "--jobs", "0", "x"},
                                               {"resolve", "--bogus", "x"},
                                               {"download", "a", "b"}}) {
        const Run run = Cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("Usage:"), std::string::npos);
    }
    const Run help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("tarvo-cli download"), std::string::npos);
}

TEST_F(CommandLine, DownloadWritesTheWholeVideo) {
    const Run run = Cli({"download", "--host", service.Host(), "-o", "clip.mp4",
                         service.ShareLink(test::codes::kSample)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "clip.mp4\n");
    EXPECT_EQ(Read(dir / "clip.mp4"), test::SampleService::Video());
    EXPECT_EQ(FilesInDir(), std::vector<std::string>{"clip.mp4"});
}

TEST_F(CommandLine, DownloadNamesTheFileAfterTheTitle) {
    const Run run =
        Cli({"download", "--host", service.Host(), service.ShareLink(test::codes::kSample)});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string name = SafeFileName(GbkToUtf8(Utf8ToGbk(test::sample::kTitle)));
    EXPECT_EQ(run.out, name + "\n");
    EXPECT_EQ(Read(dir / name).size(), test::SampleService::Video().size());
}

TEST_F(CommandLine, DownloadCutOffLeavesNoFileAndKeepsAnEarlierOne) {
    std::ofstream(dir / "clip.mp4") << "earlier";
    const Run run = Cli({"download", "--host", service.Host(), "-o", "clip.mp4",
                         service.ShareLink(test::codes::kCutVideo)});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cut off"), std::string::npos) << run.err;
    EXPECT_EQ(FilesInDir(), std::vector<std::string>{"clip.mp4"});
    EXPECT_EQ(Read(dir / "clip.mp4"), "earlier");
}

// A hostile service host makes every input fail with one clear line and exit status 1,
// never a crash; answers that are whole in the end still count. The command line runs with
// the platform's own time-outs, so the scenarios here are those that end by themselves.
TEST_F(CommandLine, HostileServiceGivesExitOneAndAClearMessage) {
    using test::Hostility;
    struct Case {
        const char* name;
        Hostility hostility;
        int status;
    };
    const std::vector<Case> cases = {
        {"a byte at a time", Hostility::kByteAtATime, 0},
        {"reset half-way", Hostility::kResetHalfWay, 1},
        {"redirect loop", Hostility::kRedirectLoop, 1},
        {"redirect to a dead port", Hostility::kRedirectToDeadPort, 1},
        {"header block over 5000 bytes", Hostility::kHugeHeader, 0},
        {"body of 300 MB", Hostility::kHugeBody, 1},
        {"script string", Hostility::kScriptString, 1},
        {"endless allocation", Hostility::kEndlessAllocation, 1},
        {"zero byte early", Hostility::kZeroByteEarly, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::HostileService service(c.hostility);
        const auto started = std::chrono::steady_clock::now();
        const Run run = Cli({"resolve", "--host", service.Host(), service.ShareLink()});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err, c.status == 0 ? ""
                                         : "tarvo-cli: " + service.ShareLink() +
                                               ": the service gave no video for this link\n");
    }
    {
        SCOPED_TRACE("invalid UTF-8 and code page 936 edge bytes");
        const test::HostileService service(Hostility::kBadBytes);
        const Run run = Cli({"resolve", "--json", "--host", service.Host(), service.ShareLink()});
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
        EXPECT_EQ(run.out.back(), '\n');
    }
    EXPECT_EQ(FilesInDir(), std::vector<std::string>{});
    // The largest child so far: the 300 MB body was refused without being held.
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
    if (test::kPeakResidentIsMeaningful) {
        EXPECT_LT(static_cast<std::uint64_t>(usage.ru_maxrss) * 1024, test::kPeakResidentLimit);
    }
}

// Ctrl-C while a request waits on a server that never answers ends the process at once;
// during a stalled download it also removes the partial file and exits with 130.
TEST_F(CommandLine, InterruptWhileAServerStallsEndsPromptlyAndLeavesNoFile) {
    {
        SCOPED_TRACE("resolve");
        const test::HostileService service(test::Hostility::kNeverAnswers);
        const pid_t pid = Start({"resolve", "--host", service.Host(), service.ShareLink()});
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ::kill(pid, SIGINT);
        const int status = WaitFor(pid, std::chrono::milliseconds(3000));
        ASSERT_NE(status, -1) << "still running after Ctrl-C";
        EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == SIGINT : WEXITSTATUS(status) == 130);
    }
    {
        SCOPED_TRACE("download");
        const test::HostileService service(test::Hostility::kStallingVideo);
        const pid_t pid =
            Start({"download", "--host", service.Host(), "-o", "clip.mp4", service.ShareLink()});
        // Resolving takes well under a second; then the transfer stalls after 600 bytes.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        ::kill(pid, SIGINT);
        const int status = WaitFor(pid, std::chrono::milliseconds(4000));
        ASSERT_NE(status, -1) << "still running after Ctrl-C";
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130);
        EXPECT_NE(Read(dir / "err").find("cancelled"), std::string::npos) << Read(dir / "err");
    }
    std::filesystem::remove(dir / "out");
    std::filesystem::remove(dir / "err");
    EXPECT_EQ(FilesInDir(), std::vector<std::string>{});
}

}  // namespace
}  // namespace tarvo::cli
