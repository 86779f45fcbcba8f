// Trace and record end to end: a traced run is its simulated log plus indented lines and
// otherwise the same run; a recorded run replays from its board.target to the same exit
// status, output, files and request log; a closed standard descriptor takes none of their
// files, and a standard output that cannot be written fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "device/path_policy.h"
#include "tests/sim_runner.h"

namespace {

using support::ReadFile;


std::string WithoutIndented(const std::string& text) {
    std::string kept;
    for (const std::string& line : support::Lines(text)) {
        if (line.compare(0, 2, "  ") != 0) {
            kept += line + "\n";
        }
    }
    return kept;
}

const std::string kCapture = "nodes /dev/zorvip /dev/zormmio\ncapture 0x01000000 0x01100000 0x8000 0x8000 ";

struct Road {
    const char* name;
    std::string target;
    std::vector<std::string> args;
};

// The roads a board run can take, each small enough to record word by word.
const std::vector<Road>& Roads() {
    static const std::vector<Road> roads = {
        {"444C10 bmp", kCapture + "2\npattern YUV_444C10 20 6 progressive\n", {"memget", "c.bmp"}},
        {"444C8 yuv", kCapture + "2\npattern YUV_444C8 20 6 progressive\n", {"memget", "c.yuv"}},
        {"422C10 pbm", kCapture + "2\npattern YUV_422C10 20 6 progressive\n", {"memget", "c.pbm"}},
        {"422C8 bmp", kCapture + "2\npattern YUV_422C8 22 5 progressive\n", {"memget", "c.bmp"}},
        {"interlaced groups", kCapture + "8\npattern YUV_422C10 16 4 interlaced\n", {"memget", "c.yuv"}},
        {"stream on standard output", kCapture + "2\npattern YUV_422C10 20 6 progressive\n", {"memget", "-.y4m"}},
        {"jpeg buffer", kCapture + "0\njpeg 16 4\n", {"memget", "j.bmp"}},
        {"zoom", "nodes /dev/zorvip\nzoom -3\n", {"-jpeg2", "0"}},
        {"border", "nodes /dev/zorvip\nborder 1 -2 3 -4\n", {"-jpeg6", "0"}},
        {"panel", "nodes /dev/zorvip\npanel 1920 1080 1 2 3 4 5 6\n", {"-s", "2", "-jpeg7", "0"}},
        {"refused request", "nodes /dev/zorvip\nrefuse 0xc0046b01 ENOTTY\n", {"-a", "2", "-osd", "1"}},
        {"refused reads", kCapture + "1\npattern YUV_422C8 8 2 progressive\nrefuse 0xc0086b00 EIO\n",
         {"memget", "c.bmp"}},
        {"no register node", "nodes /dev/zorvip\ncapture 0x01000000 0x01100000 0x8000 0x8000 1\n", {"memget", "c.bmp"}},
        {"debug node", "nodes /dev/zorvip /dev/zormmio-dbg\ncapture 0x01000000 0x01100000 0x8000 0x8000 1\n"
                       "pattern YUV_444C8 8 2 progressive\n",
         {"memget", "c.bmp"}},
        {"no vip node", "nodes\n", {"-a", "1"}},
    };
    return roads;
}

using Env = std::vector<std::pair<std::string, std::string>>;

// The captures again, their frames read through a mapping of /dev/mem.
const std::vector<Road>& MappedRoads() {
    static const std::vector<Road> roads = [] {
        std::vector<Road> mapped;
        for (const Road& road : Roads()) {
            const size_t nodes = road.target.find("nodes /dev/zorvip /dev/zormmio\n");
            if (road.args[0] == "memget" && nodes == 0) {
                Road copy = road;
                copy.name = "mapped";
                copy.target.insert(road.target.find('\n'), " /dev/mem");
                mapped.push_back(copy);
            }
        }
        return mapped;
    }();
    return roads;
}

// Every road with the environment it runs in; on the mapped roads also each refusal of
// the mapping, which a replay must meet again.
std::vector<std::pair<Road, Env>> EveryRoad() {
    std::vector<std::pair<Road, Env>> roads;
    for (const Road& road : Roads()) {
        roads.push_back({road, {}});
    }
    const Env memory = {{"AVRIG_MEM", "/dev/mem"}};
    for (const Road& road : MappedRoads()) {
        roads.push_back({road, memory});
    }
    const std::string frames = "nodes /dev/zorvip /dev/zormmio /dev/mem\ncapture 0x01000000 0x01100000 0x8000 0x8000 "
                               "2\npattern YUV_422C10 20 6 progressive\n";
    roads.push_back({{"mapping differs", frames + "mapword 0x01000518 0x12345678\n", {"memget", "c.bmp"}}, memory});
    roads.push_back({{"map refused", frames + "maprefuse EACCES\n", {"memget", "c.bmp"}}, memory});
    roads.push_back({{"regular file", frames + "file /tmp/frames\n", {"memget", "c.bmp"}},
                     {{"AVRIG_MEM", "/tmp/frames"}}});
    return roads;
}

TEST(Trace, IsTheSimulatedLogWithIndentedLinesAndChangesNothingElse) {
    for (const auto& [road, env] : EveryRoad()) {
        simrun::Options options;
        options.target = road.target;
        options.traceMmio = true;
        options.env = env;
        const simrun::Result plain = simrun::Run(road.args, options);
        const support::TempDir scratch;
        const std::string trace = scratch.Path() + "/trace";
        options.env.insert(options.env.end(), {{"AVRIG_TRACE", trace}, {"AVRIG_TRACE_MMIO", "1"}});
        const simrun::Result traced = simrun::Run(road.args, options);
        const std::string text = ReadFile(trace);
        EXPECT_EQ(WithoutIndented(text), traced.log) << road.name;
        EXPECT_EQ(traced.log, plain.log) << road.name;
        EXPECT_EQ(traced.status, plain.status) << road.name;
        EXPECT_EQ(traced.out, plain.out) << road.name;
        EXPECT_EQ(traced.err, plain.err) << road.name;
        EXPECT_EQ(support::FolderFiles(traced.workDir), support::FolderFiles(plain.workDir)) << road.name;
    }
}

TEST(Trace, SaysWhatTheLogCannot) {
    simrun::Options options;
    options.target = "nodes /dev/zorvip /dev/zormmio\nrefuse 0xc0046b01 ENOTTY\nzoom -3\n";
    const support::TempDir scratch;
    const std::string trace = scratch.Path() + "/trace";
    options.env = {{"AVRIG_TRACE", trace}};
    simrun::Run({"-a", "2", "-jpeg2", "0"}, options);
    EXPECT_EQ(ReadFile(trace),
              "open /dev/zorvip\n"
              "ioctl /dev/zorvip 0xc0046b01 value 0x00000002\n"
              "  request VIP_SET_ASPECT\n"
              "  failed: Inappropriate ioctl for device\n"
              "ioctl /dev/zorvip 0xc0046b52 record 00000000\n"
              "  request VIP_GET_ZOOM\n"
              "  answer fd000000\n"
              "close /dev/zorvip\n");
}

TEST(Record, ReplaysToTheSameRun) {
    for (const auto& [road, env] : EveryRoad()) {
        const support::TempDir scratch;
        const std::string folder = scratch.Path() + "/rec";
        simrun::Options options;
        options.target = road.target;
        options.traceMmio = true;
        options.env = env;
        options.env.push_back({"AVRIG_RECORD", folder});
        const simrun::Result recorded = simrun::Run(road.args, options);

        simrun::Options replay;
        replay.useTargetPath = true;
        replay.targetPath = folder + "/board.target";
        replay.traceMmio = true;
        replay.env = env;
        const simrun::Result replayed = simrun::Run(road.args, replay);
        EXPECT_EQ(replayed.status, recorded.status) << road.name << replayed.err;
        EXPECT_EQ(replayed.out, recorded.out) << road.name;
        EXPECT_EQ(replayed.err, recorded.err) << road.name;
        EXPECT_EQ(replayed.log, recorded.log) << road.name;
        EXPECT_EQ(support::FolderFiles(replayed.workDir), support::FolderFiles(recorded.workDir)) << road.name;
    }
}

TEST(Record, TakesAnEmptyFolderAsItIs) {
    const support::TempDir scratch;
    const std::string folder = scratch.Path() + "/rec";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    simrun::Options options;
    options.env = {{"AVRIG_RECORD", folder}};
    EXPECT_EQ(simrun::Run({"-a", "2"}, options).status, 0);
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(support::FolderNames(folder), std::vector<std::string>{"board.target"});
}

TEST(WatchStart, AnUnusableTraceOrRecordStopsTheRunBeforeAnyDevice) {
    const support::TempDir scratch;
    const std::string full = scratch.Path() + "/full";
    const std::string plainFile = scratch.Path() + "/file";
    const std::string link = scratch.Path() + "/link", linkDir = scratch.Path() + "/linkdir";
    const std::string fifo = scratch.Path() + "/fifo", shared = scratch.Path() + "/shared";
    const std::string other = scratch.Path() + "/other";  // root is told to record into nobody's folder
    std::ofstream(plainFile) << "x";
    ASSERT_EQ(mkdir(full.c_str(), 0755) | mkdir(other.c_str(), 0755), 0);
    std::ofstream(full + "/board.target") << "nodes\n";
    ASSERT_EQ(mkdir(shared.c_str(), 0755) | chmod(shared.c_str(), 0775) | mkfifo(fifo.c_str(), 0644), 0);
    const std::string hardLink = scratch.Path() + "/hardlink";  // to a file the trace must not grow
    ASSERT_EQ(symlink("file", link.c_str()) | symlink("shared", linkDir.c_str()) |
                  ::link(plainFile.c_str(), hardLink.c_str()),
              0);
    std::ofstream(shared + "/t") << "x";  // a trace anyone may rewrite
    ASSERT_EQ(chmod((shared + "/t").c_str(), 0666), 0);
    const std::string othersFile = other + "/trace";
    std::ofstream(othersFile) << "x";
    const bool root = geteuid() == 0 && chown(other.c_str(), 65534, 65534) == 0 &&
                      chown(othersFile.c_str(), 65534, 65534) == 0;
    const struct {
        const char* variable;
        std::string value;
        std::string err;
    } cases[] = {
        {"AVRIG_TRACE", scratch.Path() + "/absent/trace",
         "avrig: cannot open the trace " + scratch.Path() + "/absent/trace: No such file or directory\n"},
        {"AVRIG_RECORD", full, "avrig: cannot record into " + full + ": it is not an empty folder\n"},
        {"AVRIG_RECORD", plainFile, "avrig: cannot record into " + plainFile + ": it is not an empty folder\n"},
        {"AVRIG_RECORD", scratch.Path() + "/absent/rec",
         "avrig: cannot record into " + scratch.Path() + "/absent/rec: No such file or directory\n"},
        {"AVRIG_TRACE", link, "avrig: cannot open the trace " + link + ": it is a link\n"},
        {"AVRIG_TRACE", fifo, "avrig: cannot open the trace " + fifo + ": it is a FIFO\n"},
        {"AVRIG_TRACE", full, "avrig: cannot open the trace " + full + ": it is a folder\n"},
        {"AVRIG_TRACE", hardLink, "avrig: cannot open the trace " + hardLink + ": it has other names (hard links)\n"},
        {"AVRIG_RECORD", linkDir + "/", "avrig: cannot record into " + linkDir + ": it is a link\n"},
        {"AVRIG_RECORD", shared, "avrig: cannot record into " + shared + ": others can write to it\n"},
        {"AVRIG_RECORD", other, "avrig: cannot record into " + other + ": it belongs to another user\n"},
        {"AVRIG_TRACE", othersFile, "avrig: cannot open the trace " + othersFile + ": it belongs to another user\n"},
        {"AVRIG_TRACE", "/dev/full", "avrig: cannot open the trace /dev/full: " + std::string(kNotTerminal) + "\n"},
        {"AVRIG_TRACE", shared + "/t", "avrig: cannot open the trace " + shared + "/t: bad permissions: group or others may write it\n"},
        {"AVRIG_RECORD", linkDir + "/.", "avrig: cannot record into " + linkDir + "/.: it ends in \".\" or \"..\"\n"},
        {"AVRIG_RECORD", linkDir + "/..", "avrig: cannot record into " + linkDir + "/..: it ends in \".\" or \"..\"\n"},
    };
    for (const auto& c : cases) {
        if ((c.value == other || c.value == othersFile) && !root) {
            std::printf("skipped %s: only root can give it to another user\n", c.value.c_str());
            continue;
        }
        simrun::Options options;
        options.env = {{c.variable, c.value}};
        const simrun::Result run = simrun::Run({"-a", "2"}, options);
        EXPECT_EQ(run.status, 1) << c.value;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.log, "") << c.value;
    }
    EXPECT_EQ(ReadFile(plainFile) + ReadFile(shared + "/t"), "xx");
}

// Neither is made when the other is refused: the folder is left as it was.
TEST(WatchStart, ARefusedTraceOrRecordLeavesNeitherBehind) {
    // The last: a trace at the target file the record has just made there.
    const std::pair<std::string, std::string> cases[] = {
        {"t", "t"}, {"absent/t", "rec"}, {"t", "full"}, {"rec/board.target.unfinished", "rec"}};
    for (const auto& c : cases) {  // trace, record
        const support::TempDir scratch;
        ASSERT_EQ(mkdir((scratch.Path() + "/full").c_str(), 0700), 0);
        std::ofstream(scratch.Path() + "/full/x") << "x";
        const auto before = support::FolderNames(scratch.Path());
        simrun::Options options;
        options.workDir = scratch.Path();
        options.env = {{"AVRIG_TRACE", c.first}, {"AVRIG_RECORD", c.second}};
        EXPECT_EQ(simrun::Run({"-a", "2"}, options).status, 1) << c.first << " " << c.second;
        EXPECT_EQ(support::FolderNames(scratch.Path()), before) << c.first << " " << c.second;
        EXPECT_EQ(support::FolderNames(scratch.Path() + "/full"), std::vector<std::string>{"x"});
    }
}

// A name is printed with its control bytes as \xNN, so it cannot pose as a line of its own;
// the historic texts on standard output print it as given.
TEST(Messages, ShowControlBytesInNamesEscaped) {
    const support::TempDir scratch;
    const std::string absent = scratch.Path() + "/no\navrig: all good/x";
    const std::string shown = scratch.Path() + "/no\\x0aavrig: all good/x";
    ASSERT_EQ(mkdir((scratch.Path() + "/c\n_001.bmp").c_str(), 0700), 0);
    const struct {
        const char* variable;
        std::vector<std::string> args;
        std::string err;
        int status;
    } cases[] = {
        {"AVRIG_TRACE", {"-a", "2"}, "avrig: cannot open the trace " + shown + ": No such file or directory\n", 1},
        {"AVRIG_RECORD", {"-a", "2"}, "avrig: cannot record into " + shown + ": No such file or directory\n", 1},
        {"AVRIG_SIM_LOG", {"-a", "2"}, "avrig-sim: " + shown + ": cannot open the log: No such file or directory\n", 2},
        {"", {"memget", "c\n.bmp"}, "avrig: c\\x0a_001.bmp was not written: Is a directory\n", 1},
    };
    for (const auto& c : cases) {
        simrun::Options options;
        options.target = kCapture + "2\npattern YUV_422C8 8 2 progressive\n";
        options.workDir = scratch.Path();
        options.env = {{*c.variable != '\0' ? c.variable : "AVRIG_NONE", absent}};
        const simrun::Result run = simrun::Run(c.args, options);
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.out.find("Can NOT create c\n_001.bmp file\n") != std::string::npos, c.args[0] == "memget");
    }
    // A terminal may take the C1 control 0x9b (CSI) and bytes that are not UTF-8 as a
    // command: shown as \xNN too, while letters stay as they are.
    simrun::Options options;
    options.workDir = scratch.Path();
    options.env = {{"AVRIG_TRACE", "caf\xc3\xa9\xc2\x9b[2J\xff\xe2\x82\xac\xe2\x82/t"}};
    EXPECT_EQ(simrun::Run({"-a", "2"}, options).err,
              "avrig: cannot open the trace caf\xc3\xa9\\xc2\\x9b[2J\\xff\xe2\x82\xac\\xe2\\x82/t: No such file or "
              "directory\n");
}

// What could not be written whole fails the run and changes nothing else; a record that
// is not whole has no board.target.
TEST(Watch, AnIncompleteTraceOrRecordEndsWithStatusOne) {
    const Road& road = Roads()[0];
    simrun::Options options;
    options.target = road.target;
    const simrun::Result plain = simrun::Run(road.args, options);
    const support::TempDir scratch;
    const std::string rec = scratch.Path() + "/rec";
    const struct {
        std::pair<std::string, std::string> variable;
        uint64_t fileSizeLimit;  // below the target file, above each capture file
        std::string err;
    } cases[] = {
        {{"AVRIG_TRACE", scratch.Path() + "/trace"}, 1000,
         "avrig: the trace " + scratch.Path() + "/trace is incomplete: File too large\n"},
        {{"AVRIG_RECORD", rec}, 1000, "avrig: record: cannot write board.target.unfinished in " + rec +
                                          ": File too large; the record is incomplete and has no board.target\n"},
    };
    for (const auto& c : cases) {
        options.env = {c.variable, {"AVRIG_TRACE_MMIO", "1"}};
        options.fileSizeLimit = c.fileSizeLimit;
        const simrun::Result run = simrun::Run(road.args, options);
        EXPECT_EQ(run.status, 1) << c.err;
        EXPECT_EQ(run.err, plain.err + c.err);
        EXPECT_EQ(run.out, plain.out) << c.err;
        EXPECT_EQ(support::FolderFiles(run.workDir), support::FolderFiles(plain.workDir)) << c.err;
    }
    EXPECT_EQ(support::FolderFiles(rec).count("board.target"), 0u);
}

// A frame or stream at the trace's or the log's name is refused: the file keeps every
// line, and every other file is written as ever.
TEST(Watch, ACaptureReplacesNeitherTheTraceNorTheLog) {
    const struct {
        const char* variable;
        std::string name;
        const char* request;
        const char* what;
    } cases[] = {
        {"AVRIG_TRACE", "cap.y4m", "cap.y4m", "the trace"},
        {"AVRIG_TRACE", "cap_001.bmp", "cap.bmp", "the trace"},
        {"AVRIG_SIM_LOG", "cap_000.bmp", "cap.bmp", "the simulated target's log"},
    };
    for (const auto& c : cases) {
        simrun::Options options;
        options.target = kCapture + "3\npattern YUV_422C8 8 2 progressive\n";
        const simrun::Result plain = simrun::Run({"memget", c.request}, options);
        options.env = {{c.variable, c.name}};
        const simrun::Result run = simrun::Run({"memget", c.request}, options);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_EQ(run.err, "avrig: " + c.name + " was not written: it is " + c.what + "\n");
        auto files = support::FolderFiles(run.workDir), expected = support::FolderFiles(plain.workDir);
        EXPECT_EQ(files[c.name].compare(0, 17, "open /dev/zorvip\n"), 0) << c.name;
        files.erase(c.name);
        expected.erase(c.name);
        EXPECT_EQ(files, expected) << c.name;
    }
}

// A trace made in the record's folder at its target file's name keeps every line: the
// record is not named over it, and says so.
TEST(Record, IsNotNamedOverTheTrace) {
    simrun::Options options;
    options.target = kCapture + "2\npattern YUV_422C8 8 2 progressive\n";
    const simrun::Result plain = simrun::Run({"memget", "cap.bmp"}, options);
    options.env = {{"AVRIG_RECORD", "rec"}, {"AVRIG_TRACE", "rec/board.target"}};
    const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, plain.err + "avrig: record: cannot name board.target in rec: it is the trace; the record is "
                                   "incomplete and has no board.target\n");
    EXPECT_EQ(WithoutIndented(ReadFile(run.workDir + "/rec/board.target")), run.log);
    EXPECT_EQ(support::FolderFiles(run.workDir + "/rec").count("board.target.unfinished"), 1u);
}

// Whatever the umask, only the running user may change the record and the trace; a run
// ended by a signal leaves no board.target.
TEST(Record, IsTheUsersAloneAndWholeOrWithoutBoardTarget) {
    const mode_t umaskBefore = umask(0);
    for (const int signal : {0, SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        simrun::Options options;
        options.env = {{"AVRIG_RECORD", "rec"}, {"AVRIG_TRACE", "rec.trace"}};
        options.signal = signal;
        options.signalWhen = "cap_001";
        const simrun::Result run = simrun::Run({"memget", "cap.bmp"}, options);
        const std::string rec = run.workDir + "/rec/";
        EXPECT_EQ(run.signal, signal);
        EXPECT_EQ(support::FolderFiles(rec).count("board.target"), signal == 0 ? 1u : 0u) << signal;
        std::vector<std::string> names = support::FolderNames(rec);
        names.insert(names.end(), {".", "../rec.trace"});
        for (const std::string& name : names) {
            struct stat info {};
            EXPECT_TRUE(stat((rec + name).c_str(), &info) == 0 && (info.st_mode & 022) == 0) << signal << name;
        }
    }
    umask(umaskBefore);
}

// A standard descriptor closed at start: every file (frames, trace, record, the simulated
// log) is what an ordinary run gives it. Each road prints on standard output; with
// kRefused on standard error too.
const std::string kRefused = "refuse 0xc0046b01 EINVAL\n";
const Road kStandardRoads[] = {
    {"requests", "nodes /dev/zorvip\n", {"-h", "-a", "2"}},
    {"capture", kCapture + "2\npattern YUV_422C8 8 2 progressive\n", {"-a", "2", "memget", "c.bmp"}},
};

// The run with a trace and a record: every file it wrote, by folder and name.
std::map<std::string, std::string> RunFiles(const Road& road, simrun::Options options, simrun::Result* run) {
    const support::TempDir scratch;
    options.target = road.target + kRefused;
    options.env = {{"AVRIG_TRACE", scratch.Path() + "/trace"}, {"AVRIG_RECORD", scratch.Path() + "/rec"}};
    *run = simrun::Run(road.args, options);
    std::map<std::string, std::string> files{{"log", run->log}};
    const std::pair<const char*, std::string> folders[] = {
        {"work/", run->workDir}, {"", scratch.Path()}, {"rec/", scratch.Path() + "/rec"}};
    for (const auto& folder : folders) {
        for (const auto& file : support::FolderFiles(folder.second)) files[folder.first + file.first] = file.second;
    }
    return files;
}

TEST(StandardDescriptors, AClosedOneTakesNoFileAndChangesNothing) {
    for (const Road& road : kStandardRoads) {
        simrun::Result plain;
        const auto expected = RunFiles(road, {}, &plain);
        for (const int fd : {0, 1, 2}) {
            simrun::Options options;
            options.closed = {fd};
            simrun::Result run;
            EXPECT_EQ(RunFiles(road, options, &run), expected) << road.name << " fd " << fd;
            EXPECT_EQ(std::make_tuple(run.status, run.out, run.err),
                      std::make_tuple(plain.status, fd == 1 ? "" : plain.out, fd == 2 ? "" : plain.err))
                << road.name << " fd " << fd;
        }
    }
}

TEST(StandardOutput, ThatCannotBeWrittenFailsWithOneLine) {
    // A run that had failed already keeps its status: without the VIP driver, 255.
    const std::pair<Road, int> cases[] = {
        {kStandardRoads[0], 1}, {kStandardRoads[1], 1}, {{"no vip node", "nodes\n", {"-h"}}, 255}};
    for (const auto& c : cases) {
        const Road& road = c.first;
        simrun::Options options;
        options.target = road.target;
        const simrun::Result plain = simrun::Run(road.args, options);
        options.stdoutPath = "/dev/full";
        const simrun::Result full = simrun::Run(road.args, options);
        EXPECT_EQ(full.status, c.second) << road.name;
        EXPECT_EQ(full.err, plain.err + "avrig: standard output could not be written: No space left on device\n")
            << road.name;
    }
    // The queries answer on standard error: an answer lost there is a failure too.
    simrun::Options options;
    options.target = "nodes /dev/zorvip\n";
    options.stderrPath = "/dev/full";
    EXPECT_EQ(simrun::Run({"-jpeg6", "0"}, options).status, 1);
}

}  // namespace
