// memget -.y4m: the stream on standard output as a reader sees it (one that stops early,
// a terminal, a full disk), the text that moves to standard error, a replay, and the
// README's "Looking at a capture on a PC", each command run with the real ffmpeg.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sim_runner.h"

namespace {

using support::ReadFile;

// Six frames of 200 x 120, 96 KB each: larger than a pipe holds, so a reader that stops
// is met by the next frame's write, whatever the timing.
const std::string kSixFrames =
    "nodes /dev/zorvip /dev/zormmio\ncapture 0x1000000 0x1800000 0x40000 0x40000 6\n"
    "pattern YUV_422C10 200 120 progressive\n";
constexpr size_t kHeaderAndFrame = 42 + 6 + 200 * 120 * 2 * 2;

size_t FrameWordsRead(const std::string& log) {
    size_t words = 0;
    for (size_t at = 0; (at = log.find("mmio read 0xa", at)) != std::string::npos; ++at) ++words;
    return words;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char chunk[4096];
    for (size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

TEST(StreamOnStandardOutput, AReaderThatStopsEndsTheReading) {
    simrun::Options options;
    options.target = kSixFrames;
    options.traceMmio = true;
    const simrun::Result whole = simrun::Run({"memget", "-.y4m"}, options);
    ASSERT_EQ(whole.status, 0) << whole.err;
    options.stdoutReader = "head -c " + std::to_string(kHeaderAndFrame);
    for (const bool ignored : {false, true}) {
        SCOPED_TRACE(ignored ? "SIGPIPE ignored" : "SIGPIPE at its default");
        options.ignoreSigpipe = ignored;
        const simrun::Result run = simrun::Run({"memget", "-.y4m"}, options);
        EXPECT_EQ(run.out, whole.out.substr(0, kHeaderAndFrame));
        // The frame after the one the reader took was read, and met the closed pipe.
        EXPECT_EQ(FrameWordsRead(run.log) * 3, FrameWordsRead(whole.log));
        EXPECT_EQ(run.signal, ignored ? 0 : SIGPIPE);
        const std::string last = "==============================>End\navrig: standard output: Broken pipe\n";
        EXPECT_EQ(run.status, ignored ? 1 : -1);
        EXPECT_EQ(run.err.size() >= last.size() && run.err.compare(run.err.size() - last.size(), last.size(), last) == 0,
                  ignored)
            << run.err;
    }
}

TEST(StreamOnStandardOutput, RefusalsAndFailedWrites) {
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const std::string terminalPath = ptsname(terminal);
    std::string noFrames = kSixFrames;
    noFrames.replace(noFrames.find(" 6\n"), 3, " 0\n");
    const struct {
        std::string target, stdoutPath;
        uint64_t sizeLimit;
        int status;
        std::string lastLine;  // of standard error
    } cases[] = {
        {kSixFrames, "/dev/full", 0, 1, "avrig: standard output: No space left on device\n"},
        {kSixFrames, "", 150000, 1, "avrig: standard output: File too large\n"},
        {noFrames, terminalPath, 0, 1,  // no frame: a terminal let through holds no unread stream
         "avrig: standard output is a terminal: pipe -.y4m into a player or redirect it to a file\n"},
        {noFrames, "", 0, 0, "==============================>Informaiton\n"},  // nothing written
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastLine);
        simrun::Options options;
        options.target = c.target;
        options.stdoutPath = c.stdoutPath;
        options.fileSizeLimit = c.sizeLimit;
        const simrun::Result run = simrun::Run({"memget", "-.y4m"}, options);
        EXPECT_EQ(run.status, c.status);
        ASSERT_GE(run.err.size(), c.lastLine.size());
        EXPECT_EQ(run.err.substr(run.err.size() - c.lastLine.size()), c.lastLine);
        if (c.sizeLimit == 0) {
            EXPECT_EQ(run.out, "");
        }
        if (c.stdoutPath == terminalPath) {
            EXPECT_EQ(run.err, c.lastLine);
            EXPECT_EQ(run.log.find("ioctl"), std::string::npos) << "a request went out";
        }
    }
    close(terminal);
}

// The text a run prints on standard output goes to standard error in the order printed,
// before the query answer it printed before; the stream is the file's; a replay of the
// run's record gives the same stream.
TEST(StreamOnStandardOutput, TheTextMovesAndAReplayGivesTheSameStream) {
    const support::TempDir scratch;
    const std::string record = scratch.Path() + "/rec";
    simrun::Options options;
    options.target = kSixFrames;
    const simrun::Result file = simrun::Run({"-jpeg6", "0", "memget", "cap.y4m"}, options);
    options.env = {{"AVRIG_RECORD", record}};
    const simrun::Result stream = simrun::Run({"-jpeg6", "0", "memget", "-.y4m"}, options);
    EXPECT_EQ(stream.status, 0) << stream.err;
    EXPECT_EQ(stream.out, ReadFile(file.workDir + "/cap.y4m"));
    std::string moved = file.out + file.err;
    for (size_t at = 0; (at = moved.find("cap.y4m", at)) != std::string::npos;) moved.replace(at, 7, "-.y4m");
    EXPECT_EQ(stream.err, moved);
    EXPECT_TRUE(support::FolderNames(stream.workDir).empty());

    simrun::Options replay;
    replay.useTargetPath = true;
    replay.targetPath = record + "/board.target";
    EXPECT_EQ(simrun::Run({"memget", "-.y4m"}, replay).out, stream.out);
}

// The README's section, command by command: "ssh root@board avrig" is avrig-sim on the
// default target; ffplay shows no window and ends with the stream.
TEST(StreamOnStandardOutput, TheReadmeCommandsMakeWhatTheySay) {
    const std::string readme = ReadFile(AVRIG_SOURCE_DIR "/README.md");
    const size_t section = readme.find("\n## Looking at a capture on a PC\n");
    ASSERT_NE(section, std::string::npos);
    std::istringstream lines(readme.substr(section, readme.find("\n## ", section + 1) - section));
    const support::TempDir dir;
    const std::string ssh = "ssh root@board avrig ";
    const std::string in = "cd '" + dir.Path() + "' && ";
    std::vector<std::string> ran;
    bool block = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("```", 0) == 0) {
            block = !block;
            continue;
        }
        if (!block) continue;
        ran.push_back(line);
        SCOPED_TRACE(line);
        if (line.rfind(ssh, 0) != 0) {
            EXPECT_EQ(system((in + line).c_str()), 0);
            continue;
        }
        // "ssh root@board avrig ARGS | READER" or "... > FILE"
        std::istringstream words(line.substr(ssh.size()));
        std::vector<std::string> args;
        std::string word;
        while (words >> word && word != "|" && word != ">") args.push_back(word);
        simrun::Options options;
        options.workDir = dir.Path();
        std::string rest;
        std::getline(words, rest);
        if (word == ">") {
            options.stdoutPath = dir.Path() + "/" + rest.substr(1);
        } else {
            ASSERT_EQ(rest.rfind(" ffplay ", 0), 0u);
            options.stdoutReader = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ffplay -autoexit -loglevel error -nostats" +
                                   rest.substr(7);
        }
        const simrun::Result run = simrun::Run(args, options);
        EXPECT_EQ(run.status, 0) << run.err;  // the reader took the whole stream
        EXPECT_EQ(run.out, "");                // and the player said nothing against it
    }
    ASSERT_EQ(ran.size(), 5u);

    // What the capture holds: three 720 x 480 frames.
    const std::string probe = "ffprobe -v error -count_frames -show_entries stream=width,height,pix_fmt,nb_read_frames "
                              "-of csv=p=0 '" + dir.Path() + "/";
    EXPECT_EQ(Output(probe + "cap.y4m'"), "720,480,yuv422p10le,3\n");
    EXPECT_EQ(Output(probe + "frame.png'"), "720,480,rgb48be,1\n");
    EXPECT_EQ(Output(probe + "levels.png'"), "720,1024,rgb48be,1\n");  // a row for each 10-bit level
    // The contact sheet: 4 x 3 frames of 320 x 214, the first three cells the capture's
    // frames, the rest black.
    ASSERT_EQ(Output(probe + "sheet.png'"), "1280,642,rgb24,1\n");
    const std::string gray =
        Output("ffmpeg -v error -i '" + dir.Path() + "/sheet.png' -f rawvideo -pix_fmt gray -");
    ASSERT_EQ(gray.size(), 1280u * 642u);
    for (uint32_t cell = 0; cell < 12; ++cell) {
        uint64_t sum = 0;
        for (uint32_t y = 0; y < 214; ++y) {
            for (uint32_t x = 0; x < 320; ++x) sum += static_cast<uint8_t>(gray[(cell / 4 * 214 + y) * 1280 + cell % 4 * 320 + x]);
        }
        EXPECT_EQ(sum > 0, cell < 3) << "cell " << cell;
    }
}

}  // namespace
