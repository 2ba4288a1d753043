// events.cpp -- the program's sound events over the sound layer; owns SoundSet.
#include "sound/sound.h"

SoundSet sound_set;

int sound_init(void) { return 1; }
int sound_check(void) { return 1; }
void sound_shutdown(void) {}
void sound_update(void) {}
void title_music(void) {}
void battle_music(void) {}
void level_music(float music_rate) { (void)music_rate; }
void game_over_music(float music_rate) { (void)music_rate; }
void raise_battle_pitch(float hz) { (void)hz; }
void wall_sound(void) {}
void paddle_sound(void) {}
void point_sound(void) {}
void blast_sound(float ball_x) { (void)ball_x; }
void music_switch(void) {}
