// make_sounds.cpp -- writes the game's five sound files: three short effects
// as 16-bit WAV and two music loops as MP3 (through libsndfile, which encodes
// MP3 with LAME). Everything is synthesised, deterministically, at 44.1 kHz
// mono. The loops are rendered on a circular buffer, so notes that ring past
// the end wrap into the start and the loop joins without a click.
// Usage: make_sounds OUTPUT_DIR   (tools/make_sounds.sh builds and runs it)
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

const int RATE = 44100;                 // Hz
const double PI = 3.14159265358979323846;
const float PEAK = 0.8f;                // full scale left free for the MP3 coder
const double MP3_QUALITY = 0.3;         // libsndfile compression level, 0 best .. 1 smallest

typedef std::vector<float> Samples;

static unsigned noise_state = 22222u;

// White noise in -1..1 from a fixed linear congruential sequence.
static float noise(void)
{
    noise_state = noise_state * 1664525u + 1013904223u;
    return (float)((noise_state >> 8) & 0xffff) / 32768.0f - 1.0f;
}

static double note_hz(int midi)
{
    return 440.0 * pow(2.0, (midi - 69) / 12.0);
}

// Scales the samples so the loudest is at PEAK.
static void normalise(Samples &s)
{
    float peak = 0.0f;
    for (float x : s) peak = fmaxf(peak, fabsf(x));
    if (peak > 0.0f) {
        for (float &x : s) x *= PEAK / peak;
    }
}

// Fades the first and last `ms` milliseconds so an effect starts and ends at 0.
static void fade_ends(Samples &s, double ms)
{
    size_t n = (size_t)(ms * RATE / 1000.0);
    for (size_t i = 0; i < n && i < s.size(); i++) {
        float g = (float)i / (float)n;
        s[i] *= g;
        s[s.size() - 1 - i] *= g;
    }
}

static int write_file(const std::string &path, const Samples &s, int format)
{
    SF_INFO info = {};
    info.samplerate = RATE;
    info.channels = 1;
    info.format = format;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        fprintf(stderr, "make_sounds: cannot write %s: %s\n", path.c_str(), sf_strerror(nullptr));
        return 0;
    }
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        double level = MP3_QUALITY;
        sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
    }
    sf_count_t written = sf_write_float(file, s.data(), (sf_count_t)s.size());
    sf_close(file);
    if (written != (sf_count_t)s.size()) {
        fprintf(stderr, "make_sounds: short write to %s\n", path.c_str());
        return 0;
    }
    printf("%s: %.2f s\n", path.c_str(), (double)s.size() / RATE);
    return 1;
}

// ---------------------------------------------------------------------------
// Effects
// ---------------------------------------------------------------------------

// A bright, short tick: the ball off the top or bottom edge.
static Samples make_hit_wall(void)
{
    Samples s((size_t)(0.09 * RATE));
    for (size_t i = 0; i < s.size(); i++) {
        double t = (double)i / RATE;
        double env = exp(-t / 0.018);
        s[i] = (float)(env * (sin(2 * PI * 1320.0 * t) + 0.35 * sin(2 * PI * 2640.0 * t) +
                              0.15 * sin(2 * PI * 3960.0 * t)));
    }
    fade_ends(s, 2.0);
    normalise(s);
    return s;
}

// A round knock that falls in pitch: the ball in a paddle or wall.
static Samples make_hit_paddle(void)
{
    Samples s((size_t)(0.16 * RATE));
    double phase = 0.0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = (double)i / RATE;
        double hz = 180.0 + 200.0 * exp(-t / 0.03);
        phase += 2 * PI * hz / RATE;
        double body = exp(-t / 0.045) * (sin(phase) + 0.3 * sin(2 * phase));
        double click = exp(-t / 0.003) * noise() * 0.5;
        s[i] = (float)(body + click);
    }
    fade_ends(s, 3.0);
    normalise(s);
    return s;
}

// A burst of filtered noise over a falling tone: points and blasts.
static Samples make_ball_pop(void)
{
    Samples s((size_t)(0.32 * RATE));
    double phase = 0.0;
    float low = 0.0f;
    for (size_t i = 0; i < s.size(); i++) {
        double t = (double)i / RATE;
        double hz = 110.0 + 640.0 * exp(-t / 0.05);
        phase += 2 * PI * hz / RATE;
        low += 0.25f * (noise() - low);            // one-pole low-pass
        double tone = exp(-t / 0.07) * sin(phase);
        double burst = exp(-t / 0.04) * low * 2.5;
        s[i] = (float)(tone + burst);
    }
    fade_ends(s, 4.0);
    normalise(s);
    return s;
}

// ---------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------

// Adds one note to a circular loop buffer: a few harmonics under an
// attack-decay-release envelope; samples past the end wrap to the start.
static void add_note(Samples &loop, double start_s, double length_s, int midi, double gain,
                     const double *harmonics, int harmonic_count, double decay_s)
{
    double hz = note_hz(midi);
    const double attack = 0.006, release = 0.05;
    size_t start = (size_t)(start_s * RATE);
    size_t count = (size_t)((length_s + release) * RATE);
    for (size_t k = 0; k < count; k++) {
        double t = (double)k / RATE;
        double env = t < attack ? t / attack : exp(-(t - attack) / decay_s);
        if (t > length_s) env *= 1.0 - (t - length_s) / release;
        double v = 0.0;
        for (int h = 0; h < harmonic_count; h++) v += harmonics[h] * sin(2 * PI * hz * (h + 1) * t);
        loop[(start + k) % loop.size()] += (float)(gain * env * v);
    }
}

// A drum hit: a falling sine (kick) or a noise burst (snare, hat).
static void add_drum(Samples &loop, double start_s, int kind, double gain)
{
    size_t start = (size_t)(start_s * RATE);
    size_t count = (size_t)(0.25 * RATE);
    double phase = 0.0;
    float low = 0.0f;
    for (size_t k = 0; k < count; k++) {
        double t = (double)k / RATE;
        double v;
        if (kind == 0) {
            phase += 2 * PI * (50.0 + 110.0 * exp(-t / 0.02)) / RATE;
            v = exp(-t / 0.09) * sin(phase);
        } else if (kind == 1) {
            low += 0.5f * (noise() - low);
            v = exp(-t / 0.05) * (0.7 * low + 0.3 * sin(2 * PI * 190.0 * t));
        } else {
            float n = noise();
            v = exp(-t / 0.012) * (n - low);            // high-passed noise
            low += 0.3f * (n - low);
        }
        double edge = t < 0.001 ? t / 0.001 : 1.0;      // no click at the onset
        loop[(start + k) % loop.size()] += (float)(gain * edge * v);
    }
}

// Calm arpeggios over a pad, A minor - F - C - G, 96 beats per minute.
static Samples make_intro_loop(void)
{
    const double beat = 60.0 / 96.0;
    const int bars = 4;
    Samples loop((size_t)(bars * 4 * beat * RATE + 0.5));
    const int chords[4][3] = {{57, 60, 64}, {53, 57, 60}, {48, 52, 55}, {55, 59, 62}};
    const double soft[] = {1.0, 0.25, 0.1};
    const double pad[] = {1.0, 0.5, 0.2, 0.1};
    const double bass[] = {1.0, 0.4};
    const int pattern[8] = {0, 1, 2, 1, 0 + 3, 2, 1, 2};   // 3 = root an octave up
    for (int bar = 0; bar < bars; bar++) {
        double bar_s = bar * 4 * beat;
        const int *c = chords[bar];
        for (int n = 0; n < 3; n++) add_note(loop, bar_s, 4 * beat - 0.06, c[n], 0.08, pad, 4, 3.0);
        add_note(loop, bar_s, 2 * beat, c[0] - 12, 0.22, bass, 2, 0.8);
        add_note(loop, bar_s + 2 * beat, 2 * beat, c[0] - 12, 0.18, bass, 2, 0.8);
        for (int e = 0; e < 8; e++) {
            int p = pattern[e];
            int midi = p == 3 ? c[0] + 12 : c[p] + 12;
            add_note(loop, bar_s + e * beat / 2, beat / 2, midi, 0.16, soft, 3, 0.25);
        }
    }
    normalise(loop);
    return loop;
}

// Driving bass, drums and a lead, E minor - C - D - B minor, 140 beats per minute.
static Samples make_battle_loop(void)
{
    const double beat = 60.0 / 140.0;
    const int bars = 8;
    Samples loop((size_t)(bars * 4 * beat * RATE + 0.5));
    const int roots[4] = {40, 36, 38, 35};
    const double bass[] = {1.0, 0.6, 0.3, 0.15};
    const double lead[] = {1.0, 0.45, 0.3, 0.12, 0.08};
    // Lead line, one note per beat, 0 = rest (two phrases of four bars).
    const int melody[32] = {
        76, 79, 83, 81,  79, 76, 72, 0,  74, 78, 81, 79,  78, 74, 71, 0,
        76, 79, 83, 86,  84, 83, 79, 0,  81, 79, 78, 74,  71, 74, 78, 0,
    };
    for (int bar = 0; bar < bars; bar++) {
        double bar_s = bar * 4 * beat;
        int root = roots[bar % 4];
        for (int e = 0; e < 8; e++) {
            int midi = root + ((e % 4 == 3) ? 12 : 0);
            add_note(loop, bar_s + e * beat / 2, beat / 2 - 0.03, midi, 0.3, bass, 4, 0.2);
        }
        for (int b = 0; b < 4; b++) {
            double t = bar_s + b * beat;
            add_drum(loop, t, b % 2 == 0 ? 0 : 1, b % 2 == 0 ? 0.55 : 0.35);
            add_drum(loop, t + beat / 2, 2, 0.12);
            int m = melody[(bar * 4 + b) % 32];
            if (m) add_note(loop, t, beat - 0.04, m, 0.13, lead, 5, 0.5);
        }
    }
    normalise(loop);
    return loop;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_sounds OUTPUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    int ok = write_file(dir + "/hit_wall.wav", make_hit_wall(), wav) &&
             write_file(dir + "/hit_paddle.wav", make_hit_paddle(), wav) &&
             write_file(dir + "/ball_pop.wav", make_ball_pop(), wav) &&
             write_file(dir + "/intro_loop.mp3", make_intro_loop(), mp3) &&
             write_file(dir + "/battle_loop.mp3", make_battle_loop(), mp3);
    return ok ? 0 : 1;
}
