// A child on a pipe, as a browser runs: its descriptors 3 and 4, a child that ends, hangs or
// floods, its memory bound, and nothing of it left once it is stopped.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/PipeChild.h"
#include "testsupport/Process.h"

using namespace sentrel;
using namespace std::chrono_literals;

namespace {

bool Start(PipeChild& child, const std::string& script, std::size_t memory = 0) {
    std::string error;
    const bool started = child.Start("/bin/sh", {"-c", script}, error, {{"PIPE_CHILD_TEST", "1"}}, memory);
    EXPECT_TRUE(started) << error;
    return started;
}

// What the child wrote on its descriptor 4, up to its end or `bytes`.
std::string ReadAll(PipeChild& child, std::size_t bytes = 1 << 20) {
    std::string out;
    char buffer[4096];
    long n;
    while (out.size() < bytes && (n = child.Read(buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
}

// Running: there, and not a zombie left for its (new) parent to reap.
bool Alive(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return ::kill(pid, 0) == 0;
    char text[512] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    const char* state = std::strrchr(text, ')');
    return n > 0 && state && state[1] == ' ' && state[2] != 'Z';
}

}  // namespace

TEST(PipeChild, TalksOnDescriptorsThreeAndFourInTheEnvironmentItWasGiven) {
    PipeChild child;
    ASSERT_TRUE(Start(child, "read line <&3; echo \"$line back $PIPE_CHILD_TEST\" >&4"));
    ASSERT_TRUE(child.Write("hello\n"));
    EXPECT_EQ("hello back 1\n", ReadAll(child));
    child.Stop();
    EXPECT_FALSE(child.Running());
    EXPECT_FALSE(child.Write("late\n")) << "nothing reaches a child that is gone";
}

TEST(PipeChild, AChildThatEndsHangsOrFloodsIsStoppedWithinItsGraceAndLeavesNothing) {
    struct Case {
        const char* name;
        const char* script;  // each says something on its descriptor 4 first, or ends
    } cases[] = {
        {"ends", "exit 3"},
        {"hangs, deaf to a polite end", "trap '' TERM; echo deaf >&4; while :; do sleep 1; done"},
        {"floods", "yes flood >&4"},
        {"leaves a grandchild", "sleep 1000 & echo $! >&4; wait"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PipeChild child;
        ASSERT_TRUE(Start(child, c.script));
        char buffer[64] = {};
        const long n = child.Read(buffer, sizeof buffer - 1);
        const pid_t grandchild = std::string(c.name) == "leaves a grandchild" ? std::atoi(buffer) : 0;
        if (grandchild) {
            ASSERT_GT(n, 0);
            EXPECT_TRUE(Alive(grandchild));
        }
        const auto start = std::chrono::steady_clock::now();
        child.Stop(200ms);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_FALSE(child.Running());
        if (grandchild) {
            for (int i = 0; i < 100 && Alive(grandchild); ++i) usleep(10000);
            EXPECT_FALSE(Alive(grandchild)) << "what it started ends with it";
        }
    }
}

TEST(PipeChild, EachProcessOfItsTreeHasItsMemoryBoundAndTheTreeIsMeasured) {
    PipeChild child;
    // The shell's data limit, in kilobytes, as its children inherit it.
    ASSERT_TRUE(Start(child, "ulimit -d >&4; sleep 1000", std::size_t(256) << 20));
    char buffer[64] = {};
    ASSERT_GT(child.Read(buffer, sizeof buffer - 1), 0);
    EXPECT_EQ(256 * 1024, std::atoi(buffer));
    const PipeChild::Memory memory = child.TreeMemory();
    EXPECT_GT(memory.total, 0u);
    EXPECT_GE(memory.total, memory.largest);
    EXPECT_GT(memory.largest, 0u);
    child.Stop(0ms);
    EXPECT_EQ(0u, child.TreeMemory().total) << "nothing left to measure";
}
