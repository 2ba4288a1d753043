// fake_sound_layer.cpp -- a recording stand-in of the sound layer for tests.
// Owns the call record, the modelled channels and sounds, and the injected
// faults (see fake_sound_layer.h). Handles are plain indexes into
// fake_channels, never reused until fake_sound_reset.
#include "tests/support/fake_sound_layer.h"

#include <cstdio>
#include <cstring>

FakeSoundCall fake_sound_calls[FAKE_MAX_CALLS];
int fake_sound_call_count;
FakeChannel fake_channels[FAKE_MAX_CHANNELS];
FakeSound fake_sounds[FAKE_MAX_SOUNDS];
int fake_sound_count;
int fake_system_live;
unsigned fake_version = SND_VERSION;
char fake_fail_op[FAKE_OP_LEN];
char fake_fail_path[FAKE_PATH_LEN];
SndResult fake_fail_result;

static int next_channel = 1;            // handle 0 is never played
static char fake_system_object;         // the address stands for the system
static char fake_group_objects[3];      // master, then two created groups
static int fake_group_count;

void fake_sound_clear_calls(void)
{
    memset(fake_sound_calls, 0, sizeof fake_sound_calls);
    fake_sound_call_count = 0;
}

void fake_sound_reset(void)
{
    fake_sound_clear_calls();
    memset(fake_channels, 0, sizeof fake_channels);
    memset(fake_sounds, 0, sizeof fake_sounds);
    fake_sound_count = 0;
    fake_system_live = 0;
    fake_version = SND_VERSION;
    fake_fail_op[0] = 0;
    fake_fail_path[0] = 0;
    fake_fail_result = SND_OK;
    next_channel = 1;
    fake_group_count = 0;
}

int fake_sound_index(const SndSound *sound)
{
    for (int i = 0; i < fake_sound_count; i++) {
        if ((const void *)&fake_sounds[i] == (const void *)sound) return i;
    }
    return -1;
}

int fake_sound_count_calls(const char *op)
{
    int n = 0;
    for (int i = 0; i < fake_sound_call_count; i++) {
        if (strcmp(fake_sound_calls[i].op, op) == 0) n++;
    }
    return n;
}

static SndResult record(const char *op, SndChannel channel, float value, const SndSound *sound,
                        SndResult result)
{
    if (fake_sound_call_count < FAKE_MAX_CALLS) {
        FakeSoundCall *c = &fake_sound_calls[fake_sound_call_count++];
        snprintf(c->op, sizeof c->op, "%s", op);
        c->channel = channel;
        c->value = value;
        c->sound = sound;
        c->result = result;
    }
    return result;
}

static int injected(const char *op, const char *path)
{
    if (fake_fail_op[0] == 0 || strcmp(fake_fail_op, op) != 0) return 0;
    return fake_fail_path[0] == 0 || (path && strcmp(fake_fail_path, path) == 0);
}

static FakeChannel *playing_channel(SndChannel channel)
{
    if (channel == 0 || channel >= FAKE_MAX_CHANNELS) return nullptr;
    FakeChannel *c = &fake_channels[channel];
    return c->playing ? c : nullptr;
}

SndResult snd_system_create(SndSystem **system)
{
    if (injected("system_create", nullptr)) {
        *system = nullptr;
        return record("system_create", 0, 0, nullptr, fake_fail_result);
    }
    *system = (SndSystem *)(void *)&fake_system_object;
    fake_system_live = 1;
    return record("system_create", 0, 0, nullptr, SND_OK);
}

SndResult snd_system_get_version(SndSystem *system, unsigned *version)
{
    if (!system) return record("system_get_version", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    if (injected("system_get_version", nullptr))
        return record("system_get_version", 0, 0, nullptr, fake_fail_result);
    *version = fake_version;
    return record("system_get_version", 0, (float)fake_version, nullptr, SND_OK);
}

SndResult snd_system_init(SndSystem *system, int max_channels, unsigned flags, void *extra)
{
    (void)flags; (void)extra;
    if (!system) return record("system_init", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    if (injected("system_init", nullptr)) return record("system_init", 0, 0, nullptr, fake_fail_result);
    return record("system_init", 0, (float)max_channels, nullptr, SND_OK);
}

static SndResult create(const char *op, SndSystem *system, const char *path, unsigned mode,
                        int is_stream, SndSound **sound)
{
    *sound = nullptr;
    if (!system || fake_sound_count >= FAKE_MAX_SOUNDS) return record(op, 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    if (injected(op, path)) return record(op, 0, (float)mode, nullptr, fake_fail_result);
    FakeSound *s = &fake_sounds[fake_sound_count++];
    snprintf(s->path, sizeof s->path, "%s", path);
    s->mode = mode;
    s->is_stream = is_stream;
    *sound = (SndSound *)(void *)s;
    return record(op, 0, (float)mode, *sound, SND_OK);
}

SndResult snd_system_create_sound(SndSystem *system, const char *path, unsigned mode, void *exinfo,
                                  SndSound **sound)
{
    (void)exinfo;
    return create("system_create_sound", system, path, mode, 0, sound);
}

SndResult snd_system_create_stream(SndSystem *system, const char *path, unsigned mode, void *exinfo,
                                   SndSound **sound)
{
    (void)exinfo;
    return create("system_create_stream", system, path, mode, 1, sound);
}

SndResult snd_system_create_channel_group(SndSystem *system, const char *name, SndChannelGroup **group)
{
    (void)name;
    *group = nullptr;
    if (!system || fake_group_count >= 2) return record("system_create_channel_group", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    if (injected("system_create_channel_group", nullptr))
        return record("system_create_channel_group", 0, 0, nullptr, fake_fail_result);
    *group = (SndChannelGroup *)(void *)&fake_group_objects[1 + fake_group_count++];
    return record("system_create_channel_group", 0, 0, nullptr, SND_OK);
}

SndResult snd_system_get_master_channel_group(SndSystem *system, SndChannelGroup **group)
{
    *group = nullptr;
    if (!system) return record("system_get_master_channel_group", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    if (injected("system_get_master_channel_group", nullptr))
        return record("system_get_master_channel_group", 0, 0, nullptr, fake_fail_result);
    *group = (SndChannelGroup *)(void *)&fake_group_objects[0];
    return record("system_get_master_channel_group", 0, 0, nullptr, SND_OK);
}

SndResult snd_system_play_sound(SndSystem *system, int channel_id, SndSound *sound, int paused,
                                SndChannel *channel)
{
    if (channel) *channel = 0;
    int index = fake_sound_index(sound);
    if (!system || index < 0 || channel_id != SND_CHANNEL_FREE || paused ||
        next_channel >= FAKE_MAX_CHANNELS)
        return record("play_sound", 0, 0, sound, SND_ERR_INVALID_PARAM);
    // As in the real layer, a stream sounds on one channel at a time.
    if (fake_sounds[index].is_stream) {
        for (int i = 1; i < next_channel; i++) {
            if (fake_channels[i].sound == sound) fake_channels[i].playing = 0;
        }
    }
    SndChannel handle = (SndChannel)next_channel++;
    FakeChannel *c = &fake_channels[handle];
    c->sound = sound;
    c->playing = 1;
    c->frequency = FAKE_SOUND_RATE;
    c->volume = 1.0f;
    c->pan = 0.0f;
    if (channel) *channel = handle;
    return record("play_sound", handle, 0, sound, SND_OK);
}

SndResult snd_system_update(SndSystem *system)
{
    return record("system_update", 0, 0, nullptr, system ? SND_OK : SND_ERR_INVALID_PARAM);
}

SndResult snd_system_close(SndSystem *system)
{
    return record("system_close", 0, 0, nullptr, system ? SND_OK : SND_ERR_INVALID_PARAM);
}

SndResult snd_system_release(SndSystem *system)
{
    if (!system) return record("system_release", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    fake_system_live = 0;
    return record("system_release", 0, 0, nullptr, SND_OK);
}

SndResult snd_sound_release(SndSound *sound)
{
    int index = fake_sound_index(sound);
    if (index < 0) return record("sound_release", 0, 0, sound, SND_ERR_INVALID_PARAM);
    fake_sounds[index].released = 1;
    return record("sound_release", 0, 0, sound, SND_OK);
}

SndResult snd_channel_stop(SndChannel channel)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_stop", channel, 0, nullptr, SND_ERR_INVALID_HANDLE);
    c->playing = 0;
    return record("channel_stop", channel, 0, c->sound, SND_OK);
}

SndResult snd_channel_set_volume(SndChannel channel, float volume)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_set_volume", channel, volume, nullptr, SND_ERR_INVALID_HANDLE);
    c->volume = volume;
    return record("channel_set_volume", channel, volume, c->sound, SND_OK);
}

SndResult snd_channel_set_pan(SndChannel channel, float pan)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_set_pan", channel, pan, nullptr, SND_ERR_INVALID_HANDLE);
    c->pan = pan;
    return record("channel_set_pan", channel, pan, c->sound, SND_OK);
}

SndResult snd_channel_get_frequency(SndChannel channel, float *hz)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_get_frequency", channel, 0, nullptr, SND_ERR_INVALID_HANDLE);
    *hz = c->frequency;
    return record("channel_get_frequency", channel, c->frequency, c->sound, SND_OK);
}

SndResult snd_channel_set_frequency(SndChannel channel, float hz)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_set_frequency", channel, hz, nullptr, SND_ERR_INVALID_HANDLE);
    c->frequency = hz;
    return record("channel_set_frequency", channel, hz, c->sound, SND_OK);
}

SndResult snd_channel_set_channel_group(SndChannel channel, SndChannelGroup *group)
{
    FakeChannel *c = playing_channel(channel);
    if (!c) return record("channel_set_channel_group", channel, 0, nullptr, SND_ERR_INVALID_HANDLE);
    c->group = group;
    return record("channel_set_channel_group", channel, 0, c->sound, SND_OK);
}

const char *snd_error_string(SndResult result)
{
    return result == SND_OK ? "No errors." : "Stand-in failure.";
}

SndResult snd_system_init_loopback(SndSystem *system, int max_channels, int rate)
{
    (void)rate;
    return snd_system_init(system, max_channels, 0, nullptr);
}

SndResult snd_system_render(SndSystem *system, float *stereo_out, int frames)
{
    (void)system; (void)stereo_out; (void)frames;
    return SND_ERR_INVALID_PARAM;
}

SndResult snd_system_set_paused(SndSystem *system, int paused)
{
    if (!system) return record("system_set_paused", 0, 0, nullptr, SND_ERR_INVALID_PARAM);
    return record("system_set_paused", 0, (float)paused, nullptr, SND_OK);
}

// No track is written without a device: a clip made on the stand-in is silent.
SndResult snd_track_open(const char *path, int rate)
{
    (void)path; (void)rate;
    return record("track_open", 0, 0, nullptr, SND_ERR_OUTPUT_INIT);
}

SndResult snd_track_render(SndSystem *system, long frames)
{
    (void)system;
    return record("track_render", 0, (float)frames, nullptr, SND_ERR_UNINITIALIZED);
}

SndResult snd_track_close(void) { return record("track_close", 0, 0, nullptr, SND_ERR_UNINITIALIZED); }
