// fuzz_support.h: what the fuzz targets add to the shared checks: standard output captured
// in memory, and failure by abort, which libFuzzer reports as a crash with the input saved.
// Built into the test executable too, where each target replays its corpus.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "../tests/checks.h"

[[noreturn]] inline void fuzz_fail(std::string_view what, std::string_view detail = {})
{
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %.*s\n----\n%.*s\n----\n",
        static_cast<int>(what.size()), what.data(),
        static_cast<int>(detail.size() > 8192 ? 8192 : detail.size()), detail.data());
    std::abort();
}

inline void expect_ok(const std::string& fault, std::string_view detail)
{
    if (!fault.empty())
        fuzz_fail(fault, detail);
}

// Standard output goes to an in-memory file until release_stdout. Unbuffered, as in the
// engine, so that every printf reaches the file at once.
inline int captured_fd = -1;
inline int original_fd = -1;

inline void capture_stdout()
{
    if (captured_fd >= 0)
        return;
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    original_fd = dup(STDOUT_FILENO);
    captured_fd = memfd_create("vantorel_stdout", 0);
    if (captured_fd < 0 || dup2(captured_fd, STDOUT_FILENO) < 0)
        fuzz_fail("cannot capture standard output");
}

inline void release_stdout()
{
    dup2(original_fd, STDOUT_FILENO);
    close(captured_fd);
    close(original_fd);
    captured_fd = -1;
}

// Everything printed since the previous call; the in-memory file is emptied.
inline std::string take_output()
{
    const off_t size = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if ((!text.empty() && pread(STDOUT_FILENO, text.data(), text.size(), 0) != size)
        || ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        fuzz_fail("cannot read captured output");
    expect_ok(check_output_text(text), text);
    return text;
}
