// Fuzz target: the top-ten reader on arbitrary file contents. A table that
// was read, saved and read again must come back equal.
#include "tests/support/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::string dir = make_temp_dir();
    if (chdir(dir.c_str()) != 0) return 1;
    if (!freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = fopen(score_file_name, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    memset(high_scores, 0, sizeof high_scores);
    load_high_scores();
    for (const ScoreEntry &row : high_scores)
        if (memchr(row.name, 0, sizeof row.name) == nullptr) __builtin_trap();
    ScoreEntry first[SCORE_ROWS];
    memcpy(first, high_scores, sizeof first);
    if (!save_high_scores()) return 0;
    memset(high_scores, 0, sizeof high_scores);
    load_high_scores();
    for (int r = 0; r < SCORE_ROWS; r++) {
        if (first[r].level != high_scores[r].level) __builtin_trap();
        if (strcmp(first[r].name, high_scores[r].name) != 0) __builtin_trap();
    }
    return 0;
}
