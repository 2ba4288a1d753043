// sound.h -- effects and music.
//
// Two levels: the sound layer (snd_*), a small library of systems, sounds,
// channels and channel groups built on OpenAL Soft and libsndfile
// (layer.cpp, linked only into the program and the layer's own tests), and
// the program's sound events on top of it (events.cpp, in the core library),
// which own the SoundSet record.
#pragma once

// ---------------------------------------------------------------------------
// Sound layer
// ---------------------------------------------------------------------------
typedef int SndResult;                  // 0 = no error
enum {
    SND_OK = 0,
    SND_ERR_INVALID_PARAM = 1,
    SND_ERR_FILE_NOT_FOUND = 2,
    SND_ERR_FILE_BAD = 3,
    SND_ERR_OUTPUT_INIT = 4,
    SND_ERR_MEMORY = 5,
    SND_ERR_UNINITIALIZED = 6,
    SND_ERR_INVALID_HANDLE = 7,
    SND_ERR_CHANNEL_ALLOC = 8,
};

struct SndSystem;
struct SndSound;
struct SndChannelGroup;
typedef unsigned int SndChannel;        // handle; 0 = never played

const int SND_CHANNEL_FREE = -1;        // play on any free channel
const unsigned SND_VERSION = 0x00040205u;
const unsigned SND_REQUIRED_VERSION = 0x00040205u;

// Modes for create_sound / create_stream (bit flags).
enum {
    SND_MODE_LOOP_OFF = 0x01,
    SND_MODE_LOOP_NORMAL = 0x02,
    SND_MODE_2D = 0x08,
    SND_MODE_3D = 0x10,
    SND_MODE_HARDWARE = 0x20,
};
const unsigned SND_EFFECT_MODE = SND_MODE_3D;                                       // 16
const unsigned SND_MUSIC_MODE = SND_MODE_LOOP_NORMAL | SND_MODE_2D | SND_MODE_HARDWARE; // 42

SndResult snd_system_create(SndSystem **system);
SndResult snd_system_get_version(SndSystem *system, unsigned *version);
SndResult snd_system_init(SndSystem *system, int max_channels, unsigned flags, void *extra);
SndResult snd_system_create_sound(SndSystem *system, const char *path, unsigned mode,
                                  void *exinfo, SndSound **sound);
SndResult snd_system_create_stream(SndSystem *system, const char *path, unsigned mode,
                                   void *exinfo, SndSound **sound);
SndResult snd_system_create_channel_group(SndSystem *system, const char *name,
                                          SndChannelGroup **group);
SndResult snd_system_get_master_channel_group(SndSystem *system, SndChannelGroup **group);
SndResult snd_system_play_sound(SndSystem *system, int channel_id, SndSound *sound,
                                int paused, SndChannel *channel);
SndResult snd_system_update(SndSystem *system);
SndResult snd_system_close(SndSystem *system);
SndResult snd_system_release(SndSystem *system);
SndResult snd_sound_release(SndSound *sound);
SndResult snd_channel_stop(SndChannel channel);
SndResult snd_channel_set_volume(SndChannel channel, float volume);     // 0..1
SndResult snd_channel_set_pan(SndChannel channel, float pan);           // -1..+1
SndResult snd_channel_get_frequency(SndChannel channel, float *hz);
SndResult snd_channel_set_frequency(SndChannel channel, float hz);
SndResult snd_channel_set_channel_group(SndChannel channel, SndChannelGroup *group);
const char *snd_error_string(SndResult result);

// ---------------------------------------------------------------------------
// Sound events
// ---------------------------------------------------------------------------
const float MUSIC_VOLUME = 0.6f;
const float PITCH_STEP_HZ = 1411.0f;
const float TITLE_PITCH_HZ = 21165.0f;
const float BLAST_PITCH_HZ = 28220.0f;

// All sound handles: zeroed at load, filled by sound_init, released by
// sound_shutdown. Channel slots hold the last channel played into them.
struct SoundSet {
    SndSystem *system;
    unsigned version;
    SndResult result;
    SndSound *hit_wall, *hit_paddle, *ball_pop, *intro_loop, *battle_loop;
    SndChannel wall_channel, paddle_channel, pop_channel, intro_channel, battle_channel;
    SndChannelGroup *effects_group, *music_group, *master_group;
};
extern SoundSet sound_set;

int sound_init(void);           // 1 on success; prints the failure
int sound_check(void);          // 1 when sound_set.result is 0
void sound_shutdown(void);      // exit handler
void sound_update(void);        // once per unpaused frame

void title_music(void);
void battle_music(void);
void level_music(float music_rate);
void game_over_music(float music_rate);
void raise_battle_pitch(float hz);
void wall_sound(void);
void paddle_sound(void);
void point_sound(void);
void blast_sound(float ball_x);
void music_switch(void);        // key m: toggles music_on, sets both volumes
