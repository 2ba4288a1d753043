// random.cpp -- the program's random numbers: the sequence that an unseeded
// rand() gives, drawn from a generator state of the program's own.
//
// rand() shares one state with every library in the process, and the GL
// driver draws from it as well (on a first run, while it sets up its shader
// cache), which shifted the colours and the computer opponent's moves from
// one run to the next and made a session impossible to replay. glibc's
// random_r on a state set up as by initstate(1, state, 128) gives exactly
// the sequence of rand() (0 to RAND_MAX) that nothing else can move.
#include "app/app.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

enum { RANDOM_STATE_BYTES = 128 };      // rand()'s own state size: the same sequence
static const unsigned UNSEEDED = 1;     // an unseeded rand() starts as after srand(1)

// The generator: set up by program_srand, on the first draw at the latest.
static char random_state[RANDOM_STATE_BYTES];
static struct random_data random_data;
static int random_ready;

void program_srand(unsigned seed)
{
    // initstate_r wants a record that holds no state yet.
    memset(&random_data, 0, sizeof random_data);
    initstate_r(seed, random_state, sizeof random_state, &random_data);
    random_ready = 1;
}

int program_rand(void)
{
    if (!random_ready) program_srand(UNSEEDED);
    int32_t value = 0;
    random_r(&random_data, &value);
    return value;
}
