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
// One system at a time drives up to SND_MAX_CHANNELS channels (OpenAL
// sources). Sounds are decoded whole into memory; a sound made as a stream
// plays on one channel at a time (playing it again restarts it there). A
// channel handle names a slot and the play that took it, so a handle whose
// sound has ended, was stopped or whose slot was taken by a later play is
// stale: every operation on it returns SND_ERR_INVALID_HANDLE and changes
// nothing. Handle 0 is never valid.
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
    SND_ERR_ALREADY_INITIALIZED = 9,
};

struct SndSystem;
struct SndSound;
struct SndChannelGroup;
typedef unsigned int SndChannel;        // handle; 0 = never played

const int SND_CHANNEL_FREE = -1;        // play on any free channel
const int SND_MAX_CHANNELS = 64;
const unsigned SND_VERSION = 0x00040205u;            // this layer's version
const unsigned SND_REQUIRED_VERSION = 0x00040205u;   // the oldest the program accepts

// Modes for create_sound / create_stream (bit flags). Only LOOP_NORMAL changes
// how a sound plays here (it loops until stopped); the others are accepted.
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
// Opens the default output device; when none can be opened, runs on a silent
// device (one console line says so). flags and extra are not used.
SndResult snd_system_init(SndSystem *system, int max_channels, unsigned flags, void *extra);
// WAV, MP3 and the other formats libsndfile reads; mono or stereo.
SndResult snd_system_create_sound(SndSystem *system, const char *path, unsigned mode,
                                  void *exinfo, SndSound **sound);
SndResult snd_system_create_stream(SndSystem *system, const char *path, unsigned mode,
                                   void *exinfo, SndSound **sound);
SndResult snd_system_create_channel_group(SndSystem *system, const char *name,
                                          SndChannelGroup **group);
SndResult snd_system_get_master_channel_group(SndSystem *system, SndChannelGroup **group);
// channel_id must be SND_CHANNEL_FREE and paused 0. *channel receives the new
// handle, or 0 when the play fails.
SndResult snd_system_play_sound(SndSystem *system, int channel_id, SndSound *sound,
                                int paused, SndChannel *channel);
SndResult snd_system_update(SndSystem *system);
SndResult snd_system_close(SndSystem *system);
SndResult snd_system_release(SndSystem *system);
SndResult snd_sound_release(SndSound *sound);
SndResult snd_channel_stop(SndChannel channel);
SndResult snd_channel_set_volume(SndChannel channel, float volume);     // 0..1
SndResult snd_channel_set_pan(SndChannel channel, float pan);           // -1..+1, mono sounds
// A channel starts at its sound's sample rate; the rate set plays the sound
// at rate / sample rate times its speed (and pitch).
SndResult snd_channel_get_frequency(SndChannel channel, float *hz);
SndResult snd_channel_set_frequency(SndChannel channel, float hz);
SndResult snd_channel_set_channel_group(SndChannel channel, SndChannelGroup *group);
const char *snd_error_string(SndResult result);

// Runs an initialised-by-this-call system on a loopback device that nobody
// plays, mixing stereo at rate Hz only when snd_system_render asks for the
// next frames (interleaved left, right): a clip's sound, and the layer's tests.
SndResult snd_system_init_loopback(SndSystem *system, int max_channels, int rate);
SndResult snd_system_render(SndSystem *system, float *stereo_out, int frames);
// paused 1 holds every channel still sounding where it is (a play made
// meanwhile starts held); 0 lets them go on from there.
SndResult snd_system_set_paused(SndSystem *system, int paused);

// A sound track (track.cpp): one 16-bit stereo WAV file at a time, filled
// with the next frames of a loopback system's mix.
SndResult snd_track_open(const char *path, int rate);
SndResult snd_track_render(SndSystem *system, long frames);
SndResult snd_track_close(void);        // SND_OK when every frame was written

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
    int paused;                 // sound_pause_all's last word
    int track_open;             // a clip's track is being written (sound_init_clip)
};
extern SoundSet sound_set;

int sound_init(void);           // 1 on success; prints the failure
// A clip's sound: the layer on a loopback device at CLIP_SOUND_RATE whose mix
// goes into the WAV file track_path, one recorded step at a time. 1 on
// success; 0 after printing why, with no sound system left.
const int CLIP_SOUND_RATE = 48000;      // Hz
int sound_init_clip(const char *track_path);
// Mixes recorded step `step` (from 0) of a clip that runs at frame_rate steps
// a second into its track: the samples from step * rate / frame_rate to the
// next step's, so that no rounding builds up. Nothing without a track.
void sound_clip_step(int step, int frame_rate);
// Closes the track: 1 when it was written whole.
int sound_clip_close(void);
// The shell's word on whether the game is paused: 1 holds the music and every
// effect still sounding, 0 lets them go on from where they stopped.
void sound_pause_all(int paused);
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
