// events.cpp -- the program's sound events over the sound layer: set-up and
// shut-down of the layer, and the effects and music the game and the keys
// ask for. Owns the SoundSet record. Every event does nothing while no sound
// system exists (before set-up, or after shut-down); no result of a playing
// call is looked at.
#include "sound/sound.h"

#include "app/app.h"

#include <cstdio>

SoundSet sound_set;

const int SOUND_CHANNELS = 32;
const float PAN_WIDTH = 100.0f;         // grid units mapped onto the pan range
// The sound files, relative to the working directory.
static const char SOUND_HIT_WALL[] = "sounds/hit_wall.wav";
static const char SOUND_HIT_PADDLE[] = "sounds/hit_paddle.wav";
static const char SOUND_BALL_POP[] = "sounds/ball_pop.wav";
static const char SOUND_INTRO_LOOP[] = "sounds/intro_loop.mp3";
static const char SOUND_BATTLE_LOOP[] = "sounds/battle_loop.mp3";

// Starts sound on a free channel and keeps its handle in slot.
static void play(SndSound *sound, SndChannel *slot)
{
    snd_system_play_sound(sound_set.system, SND_CHANNEL_FREE, sound, 0, slot);
}

// Raises the playback rate of a channel by hz.
static void raise_frequency(SndChannel channel, float hz)
{
    float f = 0.0f;
    snd_channel_get_frequency(channel, &f);
    snd_channel_set_frequency(channel, f + hz);
}

int sound_check(void)
{
    if (sound_set.result == SND_OK) return 1;
    printf("FMOD error! (%d) %s\n", sound_set.result, snd_error_string(sound_set.result));
    return 0;
}

// Loads one sound file (a stream for the music) into sound. A file that
// cannot be loaded is named before the result line.
static int load_sound(const char *path, int is_stream, unsigned mode, SndSound **sound)
{
    SoundSet *s = &sound_set;
    if (is_stream)
        s->result = snd_system_create_stream(s->system, path, mode, nullptr, sound);
    else
        s->result = snd_system_create_sound(s->system, path, mode, nullptr, sound);
    if (s->result != SND_OK) printf("Error: cannot load %s\n", path);
    return sound_check();
}

// Set-up on the output device (clip_rate 0) or on a loopback device mixing
// at clip_rate.
static int init_system(int clip_rate)
{
    SoundSet *s = &sound_set;
    s->result = snd_system_create(&s->system);
    if (!sound_check()) return 0;
    s->result = snd_system_get_version(s->system, &s->version);
    if (!sound_check()) return 0;
    if (s->version < SND_REQUIRED_VERSION) {
        printf("Error!  You are using an old version of FMOD %08x.  This program requires %08x\n",
               s->version, SND_REQUIRED_VERSION);
        return 0;
    }
    if (clip_rate > 0)
        s->result = snd_system_init_loopback(s->system, SOUND_CHANNELS, clip_rate);
    else
        s->result = snd_system_init(s->system, SOUND_CHANNELS, 0, nullptr);
    if (!sound_check()) return 0;

    if (!load_sound(SOUND_HIT_WALL, 0, SND_EFFECT_MODE, &s->hit_wall)) return 0;
    if (!load_sound(SOUND_HIT_PADDLE, 0, SND_EFFECT_MODE, &s->hit_paddle)) return 0;
    if (!load_sound(SOUND_BALL_POP, 0, SND_EFFECT_MODE, &s->ball_pop)) return 0;
    if (!load_sound(SOUND_INTRO_LOOP, 1, SND_MUSIC_MODE, &s->intro_loop)) return 0;
    if (!load_sound(SOUND_BATTLE_LOOP, 1, SND_MUSIC_MODE, &s->battle_loop)) return 0;

    s->result = snd_system_create_channel_group(s->system, "Effects", &s->effects_group);
    if (!sound_check()) return 0;
    s->result = snd_system_create_channel_group(s->system, "Music", &s->music_group);
    if (!sound_check()) return 0;
    s->result = snd_system_get_master_channel_group(s->system, &s->master_group);
    if (!sound_check()) return 0;

    // No channel has played yet, so these find none; kept for the record.
    snd_channel_set_channel_group(s->wall_channel, s->effects_group);
    snd_channel_set_channel_group(s->paddle_channel, s->effects_group);
    snd_channel_set_channel_group(s->pop_channel, s->effects_group);
    snd_channel_set_channel_group(s->intro_channel, s->music_group);
    snd_channel_set_channel_group(s->battle_channel, s->music_group);
    return 1;
}

int sound_init(void) { return init_system(0); }

int sound_init_clip(const char *track_path)
{
    SoundSet *s = &sound_set;
    if (!init_system(CLIP_SOUND_RATE)) {
        sound_shutdown();
        return 0;
    }
    s->result = snd_track_open(track_path, CLIP_SOUND_RATE);
    if (s->result != SND_OK) {
        printf("Error: cannot write the sound track %s\n", track_path);
        sound_shutdown();
        return 0;
    }
    s->track_open = 1;
    return 1;
}

void sound_clip_step(int step, int frame_rate)
{
    SoundSet *s = &sound_set;
    if (!s->track_open || step < 0 || frame_rate <= 0) return;
    long long from = (long long)step * CLIP_SOUND_RATE / frame_rate;
    long long to = (long long)(step + 1) * CLIP_SOUND_RATE / frame_rate;
    snd_track_render(s->system, (long)(to - from));
}

int sound_clip_close(void)
{
    SoundSet *s = &sound_set;
    if (!s->track_open) return 0;
    s->track_open = 0;
    return snd_track_close() == SND_OK;
}

void sound_pause_all(int paused)
{
    SoundSet *s = &sound_set;
    paused = paused != 0;
    if (!s->system || s->paused == paused) return;
    s->paused = paused;
    snd_system_set_paused(s->system, paused);
}

// Exit handler: also runs after a failed or missing set-up, and may run twice.
void sound_shutdown(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    if (s->track_open) snd_track_close();
    snd_sound_release(s->hit_wall);
    snd_sound_release(s->hit_paddle);
    snd_sound_release(s->ball_pop);
    snd_sound_release(s->intro_loop);
    snd_sound_release(s->battle_loop);
    snd_system_close(s->system);
    snd_system_release(s->system);
    *s = SoundSet{};
}

void sound_update(void)
{
    if (!sound_set.system) return;
    snd_system_update(sound_set.system);
}

void title_music(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    snd_channel_stop(s->battle_channel);
    play(s->intro_loop, &s->intro_channel);
    raise_frequency(s->intro_channel, TITLE_PITCH_HZ);
}

void battle_music(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    snd_channel_stop(s->intro_channel);
    play(s->battle_loop, &s->battle_channel);
    snd_channel_set_volume(s->battle_channel, MUSIC_VOLUME);
}

void level_music(float music_rate)
{
    raise_battle_pitch(music_rate * PITCH_STEP_HZ);
}

void game_over_music(float music_rate)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    snd_channel_stop(s->battle_channel);
    play(s->intro_loop, &s->intro_channel);
    raise_frequency(s->intro_channel, music_rate * PITCH_STEP_HZ);
}

void raise_battle_pitch(float hz)
{
    if (!sound_set.system) return;
    raise_frequency(sound_set.battle_channel, hz);
}

// The raise reaches the previous bounce's channel if it still sounds.
void wall_sound(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    raise_frequency(s->wall_channel, PITCH_STEP_HZ);
    play(s->hit_wall, &s->wall_channel);
}

void paddle_sound(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    play(s->hit_paddle, &s->paddle_channel);
}

void point_sound(void)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    raise_frequency(s->pop_channel, PITCH_STEP_HZ);
    play(s->ball_pop, &s->pop_channel);
}

void blast_sound(float ball_x)
{
    SoundSet *s = &sound_set;
    if (!s->system) return;
    play(s->ball_pop, &s->pop_channel);
    raise_frequency(s->pop_channel, BLAST_PITCH_HZ);
    snd_channel_set_pan(s->pop_channel, ball_x * 2.0f / PAN_WIDTH - 1.0f);
}

void music_switch(void)
{
    SoundSet *s = &sound_set;
    music_on = !music_on;
    if (!s->system) return;
    snd_channel_set_volume(s->intro_channel, (float)music_on * MUSIC_VOLUME);
    snd_channel_set_volume(s->battle_channel, (float)music_on * MUSIC_VOLUME);
}
