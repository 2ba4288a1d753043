// track.cpp -- a sound track written off line: the mix of a loopback system
// rendered a number of frames at a time, as fast as asked, into a 16-bit
// stereo WAV file (libsndfile). A clip's sound is made this way, step by
// step with its pictures. Owns the one open track file.
#include "sound/sound.h"

#include <sndfile.h>

#include <cstring>

enum { TRACK_CHANNELS = 2, TRACK_CHUNK_FRAMES = 4096 };

static SNDFILE *track_file;
static float track_chunk[TRACK_CHUNK_FRAMES * TRACK_CHANNELS];  // interleaved left, right
static int track_failed;            // 1 once a render or a write went wrong

SndResult snd_track_open(const char *path, int rate)
{
    if (!path || rate <= 0) return SND_ERR_INVALID_PARAM;
    if (track_file) return SND_ERR_ALREADY_INITIALIZED;
    SF_INFO info;
    memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = TRACK_CHANNELS;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    track_file = sf_open(path, SFM_WRITE, &info);
    if (!track_file) return SND_ERR_FILE_BAD;
    // A loud moment is clipped at full scale rather than wrapped round.
    sf_command(track_file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    track_failed = 0;
    return SND_OK;
}

SndResult snd_track_render(SndSystem *system, long frames)
{
    if (!track_file) return SND_ERR_UNINITIALIZED;
    if (frames < 0) return SND_ERR_INVALID_PARAM;
    while (frames > 0 && !track_failed) {
        int n = frames < TRACK_CHUNK_FRAMES ? (int)frames : TRACK_CHUNK_FRAMES;
        SndResult r = snd_system_render(system, track_chunk, n);
        if (r != SND_OK) {
            track_failed = 1;
            return r;
        }
        if (sf_writef_float(track_file, track_chunk, n) != n) track_failed = 1;
        frames -= n;
    }
    return track_failed ? SND_ERR_FILE_BAD : SND_OK;
}

SndResult snd_track_close(void)
{
    if (!track_file) return SND_ERR_UNINITIALIZED;
    int closed = sf_close(track_file) == 0;
    track_file = nullptr;
    return closed && !track_failed ? SND_OK : SND_ERR_FILE_BAD;
}
