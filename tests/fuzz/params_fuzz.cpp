// Fuzz target: the parameter reader on arbitrary file contents, and the
// writer of the options page on the same contents: the file it makes reads
// back with the new value and every other value as before.
#include "tests/support/test_util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

    // One setting of the options page (chosen by the first byte) one step on.
    if (size == 0) return 0;
    Params before = params;
    int k = data[0] % OPTION_COUNT;
    double value = option_stepped(k, option_value(k), data[size - 1] & 1 ? 1 : -1);
    char text[OPTION_VALUE_LEN];
    format_option_value(k, value, text, sizeof text);
    size_t out_size = 0;
    unsigned char *out = rewrite_param_text(data, size, option_key_row(k), text, &out_size);
    if (!out) return 0;
    f = fopen("params.txt", "wb");
    if (!f) __builtin_trap();
    fwrite(out, 1, out_size, f);
    fclose(f);
    free(out);
    read_params("params.txt");
    Params want = before;
    char line[PARAM_LINE_LEN];
    snprintf(line, sizeof line, "%s = %s", option_settings[k].key, text);
    parse_param_line(&want, line, nullptr);
    if (memcmp(&want, &params, sizeof want) != 0) __builtin_trap();
    return 0;
}
