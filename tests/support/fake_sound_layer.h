// fake_sound_layer.h -- the recording stand-in of the sound layer that the
// unit tests link instead of the real one: no device, every call recorded
// with its channel and value, and a model of each channel's state.
#pragma once

#include "sound/sound.h"

enum { FAKE_MAX_CALLS = 4096, FAKE_MAX_CHANNELS = 256, FAKE_MAX_SOUNDS = 16 };
enum { FAKE_OP_LEN = 40, FAKE_PATH_LEN = 128 };

// Sample rate of every stand-in sound, Hz: a channel starts at it.
const float FAKE_SOUND_RATE = 44100.0f;

// One layer call: op is the function name without "snd_" ("play_sound",
// "channel_set_frequency", ...); channel is the channel it acted on (for
// play_sound the new one); value is the volume, pan or frequency passed (for
// get_frequency the frequency given back); result what the call returned.
struct FakeSoundCall {
    char op[FAKE_OP_LEN];
    SndChannel channel;
    float value;
    const SndSound *sound;
    SndResult result;
};

// A channel as the stand-in models it: it sounds from its play until a stop
// (or a later play of the same stream); a stopped channel takes no calls.
struct FakeChannel {
    const SndSound *sound;
    int playing;
    float frequency;            // Hz
    float volume;               // 0..1
    float pan;                  // -1..+1
    const SndChannelGroup *group;
};

// A stand-in sound: the path and mode it was made with.
struct FakeSound {
    char path[FAKE_PATH_LEN];
    unsigned mode;
    int is_stream;
    int released;
};

extern FakeSoundCall fake_sound_calls[FAKE_MAX_CALLS];
extern int fake_sound_call_count;
extern FakeChannel fake_channels[FAKE_MAX_CHANNELS];   // index = handle
extern FakeSound fake_sounds[FAKE_MAX_SOUNDS];
extern int fake_sound_count;
extern int fake_system_live;            // created and not yet released

// Set-up faults to inject: the version the system reports, and a result that
// the call named fail_op returns (for create_sound/create_stream only when
// its path is fail_path, when that is non-empty).
extern unsigned fake_version;
extern char fake_fail_op[FAKE_OP_LEN];
extern char fake_fail_path[FAKE_PATH_LEN];
extern SndResult fake_fail_result;

// Forgets every call, channel and sound, and clears the injected faults.
void fake_sound_reset(void);
// Forgets only the recorded calls.
void fake_sound_clear_calls(void);
// The index in fake_sounds of a sound handle, or -1.
int fake_sound_index(const SndSound *sound);
// The number of recorded calls named op.
int fake_sound_count_calls(const char *op);
