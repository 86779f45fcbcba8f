// memget -.y4m: the stream on standard output as readers, terminals and full disks meet it,
// the text moved to standard error, and the README's "Looking at a capture on a
// PC", each command run with the real ffmpeg.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/sim_runner.h"

namespace {

using support::ReadFile;

// Six frames of 200 x 120, 96 KB each: more than a pipe holds, so a reader that stops is
// met by the next frame's write whatever the timing.
const std::string kSixFrames =
    "nodes /dev/zorvip /dev/zormmio\ncapture 0x1000000 0x1800000 0x40000 0x40000 6\n"
    "pattern YUV_422C10 200 120 progressive\n";
constexpr size_t kHeaderAndFrame = 42 + 6 + 200 * 120 * 2 * 2;

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++n;
    return n;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char chunk[4096];
    for (size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

TEST(StreamOnStandardOutput, ReadersTerminalsAndFailedWrites) {
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const std::string tty = ptsname(terminal);
    std::string noFrames = kSixFrames;
    noFrames.replace(noFrames.find(" 6\n"), 3, " 0\n");  // also a terminal let through leaves nothing unread
    simrun::Options options;
    options.target = kSixFrames;
    options.traceMmio = true;
    const simrun::Result whole = simrun::Run({"memget", "-.y4m"}, options);
    const std::string stop = "head -c " + std::to_string(kHeaderAndFrame);
    const support::TempDir scratch;
    const std::string traced = scratch.Path() + "/traced.y4m";
    const std::string closed = "avrig: standard output is closed: the stream has nowhere to go\n";
    const std::string mixed =
        "avrig: standard error is standard output: its lines would land amid the stream; send them elsewhere\n";
    const struct {
        std::string target, stdoutPath, reader;
        bool ignorePipe;
        uint64_t sizeLimit;
        int status;           // -1: ended by SIGPIPE
        std::string errEnd;   // how standard error ends (with errorToOutput, the one output)
        std::string trace = "";
        std::vector<std::string> args = {"memget", "-.y4m"};
        std::vector<int> closed = {};
        bool errorToOutput = false, nonBlocking = false;
        bool upFront = false;      // refused before any request
        bool wholeStream = false;  // standard output holds the whole stream, nothing else
    } cases[] = {
        {kSixFrames, "", stop, false, 0, -1, "(1)\n"},
        {kSixFrames, "", stop, true, 0, 1, "(1)\n==============================>End\navrig: standard output: Broken pipe\n"},
        {kSixFrames, "/dev/full", "", false, 0, 1, ">End\navrig: standard output: No space left on device\n"},
        // A stream that fits in the buffer meets the full device only at the last flush.
        {"nodes /dev/zorvip /dev/zormmio\ncapture 0x1000000 0x1800000 0x40000 0x40000 1\n"
         "pattern YUV_422C8 8 2 progressive\n",
         "/dev/full", "", false, 0, 1, ">End\navrig: standard output: No space left on device\n"},
        {kSixFrames, "", "", false, 150000, 1, ">End\navrig: standard output: File too large\n"},
        {noFrames, tty, "", false, 0, 1,
         "avrig: standard output is a terminal: pipe -.y4m into a player or redirect it to a file\n", "", {"memget", "-.y4m"},
         {}, false, false, true},
        {noFrames, "", "", false, 0, 0, "==============================>Informaiton\n"},
        // Redirected into the trace: its lines would land amid the stream.
        {kSixFrames, traced, "", false, 0, 1, "avrig: standard output: it is the trace\n", traced},
        // A second stream would follow the first with its own header: refused, the first whole.
        {kSixFrames, "", "", false, 0, 1,
         "avrig: standard output: it holds an earlier capture's stream; a run writes one stream there\n", "",
         {"memget", "-.y4m", "memget", "-.y4m"}, {}, false, false, false, true},
        // Closed at start (`>&-`): /dev/null stands in for it, which would swallow the stream.
        {kSixFrames, "", "", false, 0, 1, closed, "", {"memget", "-.y4m"}, {1}, false, false, true},
        // `>f 2>&1` and `2>&1 | reader`: the text would land amid the stream.
        {kSixFrames, "", "", false, 0, 1, mixed, "", {"memget", "-.y4m"}, {}, true, false, true},
        {kSixFrames, "", "cat", false, 0, 1, mixed, "", {"memget", "-.y4m"}, {}, true, false, true},
        // A pipe left non-blocking and a reader that starts late: the tool waits for room.
        {kSixFrames, "", "sleep 0.3 && cat", false, 0, 0, ">End\n", "", {"memget", "-.y4m"}, {}, false, true, false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errEnd);
        options.target = c.target;
        options.stdoutPath = c.stdoutPath;
        options.stdoutReader = c.reader;
        options.ignoreSigpipe = c.ignorePipe;
        options.fileSizeLimit = c.sizeLimit;
        options.closed = c.closed;
        options.errorToOutput = c.errorToOutput;
        options.nonBlockingOutput = c.nonBlocking;
        options.env.clear();
        if (!c.trace.empty()) options.env = {{"AVRIG_TRACE", c.trace}};
        const simrun::Result run = simrun::Run(c.args, options);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.signal, c.status == -1 ? SIGPIPE : 0);
        const std::string& err = c.errorToOutput ? run.out : run.err;
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), c.errEnd.size())), c.errEnd);
        EXPECT_EQ(Count(run.log, "ioctl") == 0, c.upFront) << "refused before any request";
        if (c.upFront) {
            EXPECT_EQ(err, c.errEnd) << "and said so in one line";
        }
        if (c.wholeStream) {
            EXPECT_EQ(run.out, whole.out);
        }
        if (c.ignorePipe || c.status == -1) {
            // The reader took the first frame; the second was read and met the closed pipe.
            EXPECT_EQ(run.out, whole.out.substr(0, kHeaderAndFrame));
            EXPECT_EQ(Count(run.log, "mmio read 0xa") * 3, Count(whole.log, "mmio read 0xa"));
        }
        if (!c.trace.empty()) {
            EXPECT_EQ(ReadFile(c.trace).rfind("open /dev/zorvip\n", 0), 0u) << "the trace kept, no stream in it";
            EXPECT_EQ(Count(run.log, "mmio read 0xa"), 0u) << "no frame memory read";
        }
    }
    close(terminal);
}

// The text goes to standard error in the order printed, before the query answer printed
// after it; the stream is the file's.
TEST(StreamOnStandardOutput, TheTextMovesToStandardErrorInOrder) {
    simrun::Options options;
    options.target = kSixFrames;
    const simrun::Result file = simrun::Run({"-jpeg6", "0", "memget", "cap.y4m"}, options);
    const simrun::Result stream = simrun::Run({"-jpeg6", "0", "memget", "-.y4m"}, options);
    EXPECT_EQ(stream.out, ReadFile(file.workDir + "/cap.y4m"));
    std::string moved = file.out + file.err;
    for (size_t at = 0; (at = moved.find("cap.y4m", at)) != std::string::npos;) moved.replace(at, 7, "-.y4m");
    EXPECT_EQ(stream.err, moved);
    EXPECT_EQ(stream.status, 0);
}

// The README's section, command by command: "ssh root@board avrig" is avrig-sim on the
// default target (three 720 x 480 frames); ffplay shows no window and ends with the stream.
TEST(StreamOnStandardOutput, TheReadmeCommandsMakeWhatTheySay) {
    const std::string readme = ReadFile(AVRIG_SOURCE_DIR "/README.md");
    const size_t section = readme.find("\n## Looking at a capture on a PC\n");
    ASSERT_NE(section, std::string::npos);
    std::istringstream lines(readme.substr(section, readme.find("\n## ", section + 1) - section));
    const support::TempDir dir;
    const std::string ssh = "ssh root@board avrig memget -.y4m ";
    int commands = 0;
    bool block = false;
    for (std::string line; std::getline(lines, line);) {
        block = line.rfind("```", 0) == 0 ? !block : block;
        if (!block || line[0] == '`') continue;
        SCOPED_TRACE(line);
        ++commands;
        if (line.rfind(ssh, 0) != 0) {
            EXPECT_EQ(system(("cd '" + dir.Path() + "' && " + line).c_str()), 0);
            continue;
        }
        simrun::Options options;
        options.workDir = dir.Path();
        const std::string rest = line.substr(ssh.size());
        if (rest.rfind("> ", 0) == 0) {
            options.stdoutPath = dir.Path() + "/" + rest.substr(2);
        } else {
            ASSERT_EQ(rest.rfind("| ffplay ", 0), 0u);
            options.stdoutReader = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ffplay -autoexit -loglevel error -nostats" +
                                   rest.substr(8);
        }
        const simrun::Result run = simrun::Run({"memget", "-.y4m"}, options);
        EXPECT_EQ(run.status, 0) << run.err;  // the reader took the whole stream
        EXPECT_EQ(run.out, "");                // and the player said nothing against it
    }
    EXPECT_EQ(commands, 5);
    const std::string probe = "ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,nb_read_frames "
                              "-of csv=p=0 '" + dir.Path() + "/";
    for (const auto& made : {std::make_pair("cap.y4m", "720,480,yuv422p10le,3\n"), {"frame.png", "720,480,rgb48be,1\n"},
                             {"levels.png", "720,1024,rgb48be,1\n"}, {"sheet.png", "1280,642,rgb24,1\n"}}) {
        EXPECT_EQ(Output(probe + made.first + "'"), made.second);  // levels: a row for each 10-bit level
    }
    // The contact sheet's cells are 320 x 214, four to a row: the first three hold the frames.
    const std::string gray = Output("ffmpeg -v error -i '" + dir.Path() + "/sheet.png' -f rawvideo -pix_fmt gray -");
    std::vector<uint64_t> sums(12);
    for (size_t at = 0; at < gray.size(); ++at) sums[at / 1280 / 214 * 4 + at % 1280 / 320] += static_cast<uint8_t>(gray[at]);
    for (uint32_t cell = 0; cell < 12; ++cell) EXPECT_EQ(sums[cell] > 0, cell < 3) << "cell " << cell;
}

}  // namespace
