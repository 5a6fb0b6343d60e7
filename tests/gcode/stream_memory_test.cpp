// stream_memory_test.cpp - the reader's memory is bounded whatever the program's
// length: a long program read through a file source and a counting sink finishes in a
// child process whose address space is limited, and running out of memory there is
// an error of its line, not an abort. POSIX only (fork, setrlimit); skipped in
// sanitizer builds, whose shadow memory needs the address space.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gcode/program.h"
#include "gcode/stream.h"

#if defined(__unix__)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#define KORVA_CHILD_LIMITS 1
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define KORVA_SANITIZED 1
#endif
#endif

using namespace korva3_gcode;

namespace {

struct Count : MoveSink {
    uint64_t moves = 0;
    bool move(const Move &) override
    {
        moves++;
        return true;
    }
};

#if defined(KORVA_CHILD_LIMITS) && !defined(KORVA_SANITIZED)

constexpr size_t kHeadroomBytes = 64u << 20; // address space the child may add: 64 MiB

// The process's address space now, bytes (/proc/self/statm's first field: pages).
size_t address_space()
{
    unsigned long pages = 0;
    FILE *f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// What `work` says, done in a child whose address space may grow by kHeadroomBytes at
// most; or how the child ended otherwise ("signal 6").
std::string in_child(const std::function<std::string()> &work)
{
    int out[2];
    if (pipe(out) != 0)
        return "no pipe";
    const size_t limit = address_space() + kHeadroomBytes;
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        rlimit as{limit, limit};
        setrlimit(RLIMIT_AS, &as);
        const std::string said = work();
        ssize_t written = write(out[1], said.data(), said.size());
        _exit(written == static_cast<ssize_t>(said.size()) ? 0 : 1);
    }
    close(out[1]);
    std::string said;
    char chunk[512];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;)
        said.append(chunk, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return said;
}

#endif

} // namespace

// 2,000,000 lines of short moves (about 36 MB, more than the child may add) through a
// file source and a counting sink.
TEST(GcodeStreamMemory, ALongProgramReadsInBoundedMemory)
{
#if defined(KORVA_CHILD_LIMITS) && !defined(KORVA_SANITIZED)
    const std::string path = ::testing::TempDir() + "long.ngc";
    {
        std::ofstream out(path, std::ios::binary);
        out << "G21 G90 F1000\n";
        for (int i = 0; i < 2000000; i++)
            out << "G1 X" << i % 1000 << "." << i % 7 << " Y" << i / 1000 << "\n";
    }
    const std::string said = in_child([&path] {
        FileSource source(path);
        Settings settings;
        State state = initial_state(settings);
        Parameters parameters;
        Count sink;
        ProgramSummary summary;
        std::vector<std::string> errors;
        const bool good = read_stream("long.ngc", source, settings, state, parameters, sink,
                                      summary, errors);
        return good ? std::to_string(sink.moves) + " moves, " + std::to_string(summary.lines) +
                          " lines"
                    : errors.front();
    });
    std::remove(path.c_str());
    // Every line a move but the first (X0 Y0: where the machine stands), and the End.
    EXPECT_EQ(said, "2000000 moves, 2000001 lines");
#else
    GTEST_SKIP() << "no address-space limit here (not POSIX, or a sanitizer build)";
#endif
}

// A program read whole (read_program keeps its moves) that needs more than the child
// has: the allocation that fails is an error of the line being read.
TEST(GcodeStreamMemory, RunningOutOfMemoryIsAnErrorOfItsLine)
{
#if defined(KORVA_CHILD_LIMITS) && !defined(KORVA_SANITIZED)
    const std::string said = in_child([] {
        Program p;
        std::vector<std::string> errors;
        const bool good = read_program(
            "t.ngc", "G91\no1 repeat [5000000]\nG0 X0.01\no1 endrepeat\n", Settings{}, p, errors);
        return good ? std::string("read") : errors.front();
    });
    EXPECT_EQ(said, "t.ngc:3: out of memory reading line 3");
#else
    GTEST_SKIP() << "no address-space limit here (not POSIX, or a sanitizer build)";
#endif
}
