// Fuzz target: the parameter reader on arbitrary file contents.
#include "tests/support/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Work in a private directory; the reader also opens "scores.txt" there.
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) return 1;
    if (!freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen("params.txt", "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    read_params("params.txt");
    // The text field is always terminated within its buffer.
    if (memchr(params.full_res, 0, sizeof params.full_res) == nullptr) __builtin_trap();
    if (params.grid_cols != params.grid_rows) __builtin_trap();
    return 0;
}
