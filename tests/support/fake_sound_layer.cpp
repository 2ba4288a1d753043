// fake_sound_layer.cpp -- a recording stand-in of the sound layer for tests.
#include "sound/sound.h"

SndResult snd_system_create(SndSystem **system)
{
    (void)system;
    return SND_OK;
}

SndResult snd_system_get_version(SndSystem *system, unsigned *version)
{
    (void)system; (void)version;
    return SND_OK;
}

SndResult snd_system_init(SndSystem *system, int max_channels, unsigned flags, void *extra)
{
    (void)system; (void)max_channels; (void)flags; (void)extra;
    return SND_OK;
}

SndResult snd_system_create_sound(SndSystem *system, const char *path, unsigned mode, void *exinfo, SndSound **sound)
{
    (void)system; (void)path; (void)mode; (void)exinfo; (void)sound;
    return SND_OK;
}

SndResult snd_system_create_stream(SndSystem *system, const char *path, unsigned mode, void *exinfo, SndSound **sound)
{
    (void)system; (void)path; (void)mode; (void)exinfo; (void)sound;
    return SND_OK;
}

SndResult snd_system_create_channel_group(SndSystem *system, const char *name, SndChannelGroup **group)
{
    (void)system; (void)name; (void)group;
    return SND_OK;
}

SndResult snd_system_get_master_channel_group(SndSystem *system, SndChannelGroup **group)
{
    (void)system; (void)group;
    return SND_OK;
}

SndResult snd_system_play_sound(SndSystem *system, int channel_id, SndSound *sound, int paused, SndChannel *channel)
{
    (void)system; (void)channel_id; (void)sound; (void)paused; (void)channel;
    return SND_OK;
}

SndResult snd_system_update(SndSystem *system)
{
    (void)system;
    return SND_OK;
}

SndResult snd_system_close(SndSystem *system)
{
    (void)system;
    return SND_OK;
}

SndResult snd_system_release(SndSystem *system)
{
    (void)system;
    return SND_OK;
}

SndResult snd_sound_release(SndSound *sound)
{
    (void)sound;
    return SND_OK;
}

SndResult snd_channel_stop(SndChannel channel)
{
    (void)channel;
    return SND_OK;
}

SndResult snd_channel_set_volume(SndChannel channel, float volume)
{
    (void)channel; (void)volume;
    return SND_OK;
}

SndResult snd_channel_set_pan(SndChannel channel, float pan)
{
    (void)channel; (void)pan;
    return SND_OK;
}

SndResult snd_channel_get_frequency(SndChannel channel, float *hz)
{
    (void)channel; (void)hz;
    return SND_OK;
}

SndResult snd_channel_set_frequency(SndChannel channel, float hz)
{
    (void)channel; (void)hz;
    return SND_OK;
}

SndResult snd_channel_set_channel_group(SndChannel channel, SndChannelGroup *group)
{
    (void)channel; (void)group;
    return SND_OK;
}

const char * snd_error_string(SndResult result)
{
    (void)result;
    return "No errors.";
}
