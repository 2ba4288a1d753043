// layer.cpp -- the sound layer on OpenAL Soft and libsndfile.
//
// Owns the one live sound system (active_system): its OpenAL device and
// context, one OpenAL source per channel slot, the channel groups and the
// table of loaded sounds. Sounds are decoded whole into OpenAL buffers; looping
// sounds loop in OpenAL itself (AL_LOOPING), so nothing is streamed per frame.
// When no output device opens, the system runs on a loopback device that the
// per-frame update renders into a scratch buffer at the pace of the clock, so
// sounds still end and channels free up as they would if heard.
#include "sound/sound.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

enum { SND_MAX_SOUNDS = 64, SND_MAX_GROUPS = 16, SND_GROUP_NAME_LEN = 64 };

const int SLOT_BITS = 8;                        // low bits of a handle: slot index
const unsigned SLOT_MASK = (1u << SLOT_BITS) - 1u;
const unsigned MAX_GENERATION = (1u << (32 - SLOT_BITS)) - 1u;
const int SILENT_RATE = 44100;                  // Hz, mixing rate of the silent device
const int SILENT_MAX_CATCH_UP_MS = 250;         // longer gaps between updates are skipped
const long MAX_SOUND_FRAMES = 44100L * 60 * 10; // ten minutes at 44.1 kHz

struct SndSound {
    SndSystem *system;
    ALuint buffer;
    int rate;                   // Hz, the file's sample rate
    int channels;               // 1 or 2
    long frames;
    unsigned mode;
    int is_stream;
    int table_index;            // place in system->sounds
};

struct SndChannelGroup {
    SndSystem *system;
    char name[SND_GROUP_NAME_LEN];
};

// One channel: an OpenAL source and what the play into it set.
struct SndSlot {
    ALuint source;
    unsigned generation;        // bumped by every play; part of the handle
    int in_use;                 // a play holds the slot until it ends or stops
    SndSound *sound;
    float frequency;            // Hz
    float volume;               // 0..1
    float pan;                  // -1..+1
    SndChannelGroup *group;
};

struct SndSystem {
    int initialised;
    ALCdevice *device;
    ALCcontext *context;
    int loopback;               // device is a loopback device (silent or test)
    int silent;                 // loopback rendered by the update into scratch
    int rate;                   // Hz, loopback mixing rate
    LPALCRENDERSAMPLESSOFT render_samples;
    float *scratch;             // silent mixing target, interleaved stereo
    int scratch_frames;
    double last_update_s;       // monotonic clock at the last silent render
    int channel_count;
    SndSlot slots[SND_MAX_CHANNELS];
    SndSound *sounds[SND_MAX_SOUNDS];
    SndChannelGroup master;
    SndChannelGroup groups[SND_MAX_GROUPS];
    int group_count;
    int paused;                 // 1: every play is held where it was (snd_system_set_paused)
};

static SndSystem *active_system;    // the initialised system, or null

static double monotonic_seconds(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static SndChannel make_handle(int slot, unsigned generation)
{
    return (generation << SLOT_BITS) | (unsigned)slot;
}

static int slot_has_ended(const SndSlot *slot)
{
    ALint state = AL_STOPPED;
    alGetSourcei(slot->source, AL_SOURCE_STATE, &state);
    return state == AL_STOPPED || state == AL_INITIAL;
}

// Frees a slot whose play has ended, so its handle goes stale.
static void reap_slot(SndSlot *slot)
{
    if (slot->in_use && slot_has_ended(slot)) {
        slot->in_use = 0;
        slot->sound = nullptr;
        alSourcei(slot->source, AL_BUFFER, 0);
    }
}

// The slot a handle names while its play is still sounding, else null.
static SndSlot *live_slot(SndChannel channel)
{
    if (!active_system || channel == 0) return nullptr;
    unsigned index = channel & SLOT_MASK;
    if ((int)index >= active_system->channel_count) return nullptr;
    SndSlot *slot = &active_system->slots[index];
    if (!slot->in_use || slot->generation != channel >> SLOT_BITS) return nullptr;
    reap_slot(slot);
    return slot->in_use ? slot : nullptr;
}

static void stop_slot(SndSlot *slot)
{
    alSourceStop(slot->source);
    alSourcei(slot->source, AL_BUFFER, 0);
    slot->in_use = 0;
    slot->sound = nullptr;
}

// Places a mono source on the unit circle in front of the listener: -1 hard
// left, 0 centre, +1 hard right. OpenAL positions only mono sources.
static void apply_pan(SndSlot *slot)
{
    float x = slot->pan;
    float z = -sqrtf(1.0f - x * x);
    alSource3f(slot->source, AL_POSITION, x, 0.0f, z);
}

static void apply_pitch(SndSlot *slot)
{
    float pitch = slot->frequency / (float)slot->sound->rate;
    alSourcef(slot->source, AL_PITCH, pitch);
}

// ---------------------------------------------------------------------------
// System
// ---------------------------------------------------------------------------

SndResult snd_system_create(SndSystem **system)
{
    if (!system) return SND_ERR_INVALID_PARAM;
    *system = (SndSystem *)calloc(1, sizeof(SndSystem));
    if (!*system) return SND_ERR_MEMORY;
    snprintf((*system)->master.name, SND_GROUP_NAME_LEN, "%s", "Master");
    (*system)->master.system = *system;
    return SND_OK;
}

SndResult snd_system_get_version(SndSystem *system, unsigned *version)
{
    if (!system || !version) return SND_ERR_INVALID_PARAM;
    *version = SND_VERSION;
    return SND_OK;
}

// Opens the default device with the console output of the audio libraries
// silenced: on a machine without a sound card they print several lines each.
static ALCdevice *open_output_device_quietly(void)
{
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int null_fd = open("/dev/null", O_WRONLY);
    if (saved >= 0 && null_fd >= 0) dup2(null_fd, STDERR_FILENO);
    ALCdevice *device = alcOpenDevice(nullptr);
    fflush(stderr);
    if (saved >= 0 && null_fd >= 0) dup2(saved, STDERR_FILENO);
    if (null_fd >= 0) close(null_fd);
    if (saved >= 0) close(saved);
    return device;
}

static ALCdevice *open_loopback_device(SndSystem *system, int rate, ALCcontext **context)
{
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return nullptr;
    LPALCLOOPBACKOPENDEVICESOFT open_loopback =
        (LPALCLOOPBACKOPENDEVICESOFT)alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT");
    LPALCISRENDERFORMATSUPPORTEDSOFT format_supported =
        (LPALCISRENDERFORMATSUPPORTEDSOFT)alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT");
    system->render_samples =
        (LPALCRENDERSAMPLESSOFT)alcGetProcAddress(nullptr, "alcRenderSamplesSOFT");
    if (!open_loopback || !format_supported || !system->render_samples) return nullptr;
    ALCdevice *device = open_loopback(nullptr);
    if (!device) return nullptr;
    if (!format_supported(device, rate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT)) {
        alcCloseDevice(device);
        return nullptr;
    }
    const ALCint attributes[] = {
        ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
        ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
        ALC_FREQUENCY, rate,
        ALC_HRTF_SOFT, ALC_FALSE,
        0,
    };
    *context = alcCreateContext(device, attributes);
    if (!*context) {
        alcCloseDevice(device);
        return nullptr;
    }
    system->loopback = 1;
    system->rate = rate;
    return device;
}

// Common part of both inits once a device and its context exist.
static SndResult start_system(SndSystem *system, ALCdevice *device, ALCcontext *context,
                              int max_channels)
{
    system->device = device;
    system->context = context;
    alcMakeContextCurrent(context);
    alDistanceModel(AL_NONE);   // position only pans; no fading with distance
    alGetError();
    for (int i = 0; i < max_channels; i++) {
        SndSlot *slot = &system->slots[i];
        alGenSources(1, &slot->source);
        if (alGetError() != AL_NO_ERROR) {
            for (int k = 0; k < i; k++) alDeleteSources(1, &system->slots[k].source);
            memset(system->slots, 0, sizeof system->slots);
            alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
            alcCloseDevice(device);
            system->device = nullptr;
            system->context = nullptr;
            return SND_ERR_OUTPUT_INIT;
        }
        alSourcei(slot->source, AL_SOURCE_RELATIVE, AL_TRUE);
        slot->generation = 0;
    }
    system->channel_count = max_channels;
    system->initialised = 1;
    active_system = system;
    return SND_OK;
}

static SndResult check_init_args(SndSystem *system, int max_channels)
{
    if (!system || max_channels < 1 || max_channels > SND_MAX_CHANNELS) return SND_ERR_INVALID_PARAM;
    if (system->initialised || active_system) return SND_ERR_ALREADY_INITIALIZED;
    return SND_OK;
}

SndResult snd_system_init(SndSystem *system, int max_channels, unsigned flags, void *extra)
{
    (void)flags; (void)extra;
    SndResult result = check_init_args(system, max_channels);
    if (result != SND_OK) return result;

    ALCdevice *device = open_output_device_quietly();
    ALCcontext *context = nullptr;
    if (device) {
        context = alcCreateContext(device, nullptr);
        if (!context) {
            alcCloseDevice(device);
            device = nullptr;
        }
    }
    if (!device) {
        device = open_loopback_device(system, SILENT_RATE, &context);
        if (!device) return SND_ERR_OUTPUT_INIT;
        system->silent = 1;
        system->scratch_frames = SILENT_RATE * SILENT_MAX_CATCH_UP_MS / 1000;
        system->scratch = (float *)calloc((size_t)system->scratch_frames * 2, sizeof(float));
        if (!system->scratch) {
            alcDestroyContext(context);
            alcCloseDevice(device);
            return SND_ERR_MEMORY;
        }
        system->last_update_s = monotonic_seconds();
        printf("Sound: no output device, playing silently.\n");
    }
    return start_system(system, device, context, max_channels);
}

SndResult snd_system_init_loopback(SndSystem *system, int max_channels, int rate)
{
    SndResult result = check_init_args(system, max_channels);
    if (result != SND_OK) return result;
    if (rate <= 0) return SND_ERR_INVALID_PARAM;
    ALCcontext *context = nullptr;
    ALCdevice *device = open_loopback_device(system, rate, &context);
    if (!device) return SND_ERR_OUTPUT_INIT;
    return start_system(system, device, context, max_channels);
}

SndResult snd_system_render(SndSystem *system, float *stereo_out, int frames)
{
    if (!system || !stereo_out || frames < 0) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    if (!system->loopback || system->silent) return SND_ERR_INVALID_PARAM;
    system->render_samples(system->device, stereo_out, frames);
    return SND_OK;
}

// Holds every sounding channel where it is, or lets the held ones go on from
// there. A play while paused starts held at its beginning.
SndResult snd_system_set_paused(SndSystem *system, int paused)
{
    if (!system) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    paused = paused != 0;
    if (paused == system->paused) return SND_OK;
    system->paused = paused;
    for (int i = 0; i < system->channel_count; i++) {
        SndSlot *slot = &system->slots[i];
        if (!slot->in_use) continue;
        ALint state = AL_STOPPED;
        alGetSourcei(slot->source, AL_SOURCE_STATE, &state);
        if (paused && state == AL_PLAYING) alSourcePause(slot->source);
        if (!paused && state == AL_PAUSED) alSourcePlay(slot->source);
    }
    return SND_OK;
}

SndResult snd_system_update(SndSystem *system)
{
    if (!system) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    if (system->silent) {
        // Mix the time that has passed, so sounds end when they would if heard.
        double now = monotonic_seconds();
        double elapsed = now - system->last_update_s;
        system->last_update_s = now;
        long frames = (long)(elapsed * system->rate);
        if (frames > system->scratch_frames) frames = system->scratch_frames;
        if (frames > 0) system->render_samples(system->device, system->scratch, (ALCsizei)frames);
    }
    for (int i = 0; i < system->channel_count; i++) reap_slot(&system->slots[i]);
    return SND_OK;
}

SndResult snd_system_close(SndSystem *system)
{
    if (!system) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    for (int i = 0; i < system->channel_count; i++) {
        stop_slot(&system->slots[i]);
        alDeleteSources(1, &system->slots[i].source);
    }
    for (int i = 0; i < SND_MAX_SOUNDS; i++) {
        if (system->sounds[i]) snd_sound_release(system->sounds[i]);
    }
    memset(system->slots, 0, sizeof system->slots);
    system->channel_count = 0;
    system->paused = 0;
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(system->context);
    alcCloseDevice(system->device);
    system->context = nullptr;
    system->device = nullptr;
    free(system->scratch);
    system->scratch = nullptr;
    system->initialised = 0;
    system->loopback = 0;
    system->silent = 0;
    system->group_count = 0;
    if (active_system == system) active_system = nullptr;
    return SND_OK;
}

SndResult snd_system_release(SndSystem *system)
{
    if (!system) return SND_ERR_INVALID_PARAM;
    if (system->initialised) snd_system_close(system);
    free(system);
    return SND_OK;
}

// ---------------------------------------------------------------------------
// Sounds
// ---------------------------------------------------------------------------

static ALenum buffer_format(int channels)
{
    return channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
}

static SndResult load_sound(SndSystem *system, const char *path, unsigned mode, int is_stream,
                            SndSound **sound)
{
    if (!sound) return SND_ERR_INVALID_PARAM;
    *sound = nullptr;
    if (!system || !path) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    int table_index = -1;
    for (int i = 0; i < SND_MAX_SOUNDS && table_index < 0; i++) {
        if (!system->sounds[i]) table_index = i;
    }
    if (table_index < 0) return SND_ERR_MEMORY;
    if (access(path, R_OK) != 0) return errno == ENOENT ? SND_ERR_FILE_NOT_FOUND : SND_ERR_FILE_BAD;

    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE *file = sf_open(path, SFM_READ, &info);
    if (!file) return SND_ERR_FILE_BAD;
    if (info.channels < 1 || info.channels > 2 || info.frames <= 0 ||
        info.frames > MAX_SOUND_FRAMES || info.samplerate <= 0) {
        sf_close(file);
        return SND_ERR_FILE_BAD;
    }
    size_t samples = (size_t)info.frames * (size_t)info.channels;
    short *pcm = (short *)malloc(samples * sizeof(short));
    if (!pcm) {
        sf_close(file);
        return SND_ERR_MEMORY;
    }
    sf_count_t got = sf_readf_short(file, pcm, info.frames);
    sf_close(file);
    if (got <= 0) {
        free(pcm);
        return SND_ERR_FILE_BAD;
    }

    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, buffer_format(info.channels), pcm,
                 (ALsizei)((size_t)got * (size_t)info.channels * sizeof(short)), info.samplerate);
    free(pcm);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        return SND_ERR_MEMORY;
    }
    SndSound *s = (SndSound *)calloc(1, sizeof(SndSound));
    if (!s) {
        alDeleteBuffers(1, &buffer);
        return SND_ERR_MEMORY;
    }
    s->system = system;
    s->buffer = buffer;
    s->rate = info.samplerate;
    s->channels = info.channels;
    s->frames = (long)got;
    s->mode = mode;
    s->is_stream = is_stream;
    s->table_index = table_index;
    system->sounds[table_index] = s;
    *sound = s;
    return SND_OK;
}

SndResult snd_system_create_sound(SndSystem *system, const char *path, unsigned mode,
                                  void *exinfo, SndSound **sound)
{
    (void)exinfo;
    return load_sound(system, path, mode, 0, sound);
}

SndResult snd_system_create_stream(SndSystem *system, const char *path, unsigned mode,
                                   void *exinfo, SndSound **sound)
{
    (void)exinfo;
    return load_sound(system, path, mode, 1, sound);
}

SndResult snd_sound_release(SndSound *sound)
{
    if (!sound || !sound->system) return SND_ERR_INVALID_PARAM;
    SndSystem *system = sound->system;
    // OpenAL keeps a buffer that a source still holds: stop those first.
    for (int i = 0; i < system->channel_count; i++) {
        if (system->slots[i].in_use && system->slots[i].sound == sound) stop_slot(&system->slots[i]);
    }
    if (system->context) alDeleteBuffers(1, &sound->buffer);
    system->sounds[sound->table_index] = nullptr;
    free(sound);
    return SND_OK;
}

// ---------------------------------------------------------------------------
// Channel groups
// ---------------------------------------------------------------------------

SndResult snd_system_create_channel_group(SndSystem *system, const char *name,
                                          SndChannelGroup **group)
{
    if (!group) return SND_ERR_INVALID_PARAM;
    *group = nullptr;
    if (!system || !name) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    if (system->group_count >= SND_MAX_GROUPS) return SND_ERR_MEMORY;
    SndChannelGroup *g = &system->groups[system->group_count++];
    g->system = system;
    snprintf(g->name, sizeof g->name, "%s", name);
    *group = g;
    return SND_OK;
}

SndResult snd_system_get_master_channel_group(SndSystem *system, SndChannelGroup **group)
{
    if (!group) return SND_ERR_INVALID_PARAM;
    *group = nullptr;
    if (!system) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;
    *group = &system->master;
    return SND_OK;
}

// ---------------------------------------------------------------------------
// Playing and channels
// ---------------------------------------------------------------------------

SndResult snd_system_play_sound(SndSystem *system, int channel_id, SndSound *sound,
                                int paused, SndChannel *channel)
{
    if (channel) *channel = 0;
    if (!system || !sound || sound->system != system) return SND_ERR_INVALID_PARAM;
    if (channel_id != SND_CHANNEL_FREE || paused) return SND_ERR_INVALID_PARAM;
    if (!system->initialised) return SND_ERR_UNINITIALIZED;

    int free_index = -1;
    for (int i = 0; i < system->channel_count; i++) {
        SndSlot *slot = &system->slots[i];
        reap_slot(slot);
        // A stream has one playing position: a new play takes it over.
        if (slot->in_use && sound->is_stream && slot->sound == sound) stop_slot(slot);
        if (!slot->in_use && free_index < 0) free_index = i;
    }
    if (free_index < 0) return SND_ERR_CHANNEL_ALLOC;

    SndSlot *slot = &system->slots[free_index];
    slot->generation = slot->generation >= MAX_GENERATION ? 1 : slot->generation + 1;
    slot->in_use = 1;
    slot->sound = sound;
    slot->frequency = (float)sound->rate;
    slot->volume = 1.0f;
    slot->pan = 0.0f;
    slot->group = &system->master;
    alSourcei(slot->source, AL_BUFFER, (ALint)sound->buffer);
    alSourcei(slot->source, AL_LOOPING, (sound->mode & SND_MODE_LOOP_NORMAL) ? AL_TRUE : AL_FALSE);
    alSourcef(slot->source, AL_GAIN, slot->volume);
    alSourcef(slot->source, AL_PITCH, 1.0f);
    apply_pan(slot);
    alSourcePlay(slot->source);
    if (system->paused) alSourcePause(slot->source);
    if (channel) *channel = make_handle(free_index, slot->generation);
    return SND_OK;
}

SndResult snd_channel_stop(SndChannel channel)
{
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    stop_slot(slot);
    return SND_OK;
}

SndResult snd_channel_set_volume(SndChannel channel, float volume)
{
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    if (!(volume >= 0.0f)) volume = 0.0f;       // also NaN
    if (volume > 1.0f) volume = 1.0f;
    slot->volume = volume;
    alSourcef(slot->source, AL_GAIN, volume);
    return SND_OK;
}

SndResult snd_channel_set_pan(SndChannel channel, float pan)
{
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    if (!(pan >= -1.0f)) pan = -1.0f;           // also NaN
    if (pan > 1.0f) pan = 1.0f;
    slot->pan = pan;
    apply_pan(slot);
    return SND_OK;
}

SndResult snd_channel_get_frequency(SndChannel channel, float *hz)
{
    if (!hz) return SND_ERR_INVALID_PARAM;
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    *hz = slot->frequency;
    return SND_OK;
}

SndResult snd_channel_set_frequency(SndChannel channel, float hz)
{
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    if (!std::isfinite(hz) || hz < 0.0f) return SND_ERR_INVALID_PARAM;
    slot->frequency = hz;
    apply_pitch(slot);
    return SND_OK;
}

SndResult snd_channel_set_channel_group(SndChannel channel, SndChannelGroup *group)
{
    SndSlot *slot = live_slot(channel);
    if (!slot) return SND_ERR_INVALID_HANDLE;
    if (!group || group->system != active_system) return SND_ERR_INVALID_PARAM;
    slot->group = group;
    return SND_OK;
}

// ---------------------------------------------------------------------------
// Result texts
// ---------------------------------------------------------------------------

static const char *const error_texts[] = {
    "No errors.",
    "A parameter is missing or out of range.",
    "The file could not be found.",
    "The file is not a sound file this program can read.",
    "The sound output could not be started.",
    "Out of memory or sound resources.",
    "The sound system has not been initialised.",
    "The channel has stopped or was never played.",
    "No free channel to play the sound on.",
    "The sound system is already running.",
};

const char *snd_error_string(SndResult result)
{
    int count = (int)(sizeof error_texts / sizeof error_texts[0]);
    if (result < 0 || result >= count) return "Unknown error.";
    return error_texts[result];
}
