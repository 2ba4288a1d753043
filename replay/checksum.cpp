// checksum.cpp -- the CRC-32 of the simulation's whole state, which a
// recording stores every so many frames and at its end, and a replay
// compares to tell an exact playback from a divergent one.
#include "replay/replay.h"
#include "fluid/fluid.h"
#include "game/game.h"

#include <zlib.h>

static uLong add_bytes(uLong crc, const void *data, size_t n)
{
    if (!data || n == 0) return crc;
    return crc32_z(crc, (const Bytef *)data, n);
}

unsigned replay_state_checksum(void)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t cells = solver.cell_count > 0 ? (size_t)solver.cell_count : 0;
    const float *fields[] = {u, v, u_prev, v_prev, vort_force_u, vort_force_v, curl, pressure,
                             divergence, pressure_guess, pressure_source, dens, dens_prev};
    for (const float *f : fields) crc = add_bytes(crc, f, cells * sizeof(float));
    crc = add_bytes(crc, color, cells * sizeof(Color));
    crc = add_bytes(crc, color_prev, cells * sizeof(Color));
    crc = add_bytes(crc, wall, cells * sizeof(int));

    crc = add_bytes(crc, &game, sizeof game);
    crc = add_bytes(crc, &ball, sizeof ball);
    crc = add_bytes(crc, &player_paddle, sizeof player_paddle);
    crc = add_bytes(crc, &opponent_paddle, sizeof opponent_paddle);
    if (jet_settings.max_particles > 0)
        crc = add_bytes(crc, particle_ring, (size_t)jet_settings.max_particles * sizeof(Particle));
    if (jet_settings.max_jets > 0)
        crc = add_bytes(crc, jet_table, (size_t)jet_settings.max_jets * sizeof(Jet));
    crc = add_bytes(crc, &emit_timer, sizeof emit_timer);
    crc = add_bytes(crc, high_scores, sizeof high_scores);
    crc = add_bytes(crc, name_buffer, sizeof name_buffer);

    const int ints[] = {
        particle_next, jet_count, opponent_sucking, opponent_blasted, autopilot_sucking,
        autopilot_blasted, name_entry, name_length, score_saved, game_mode, plasma_shader,
        density_depth, dye_shader, velocity_shader, pressure_shader, divergence_shader,
        curl_shader, velocity_grid, velocity_lines, vorticity_lines, vorticity_on, gravity_on,
        buoyancy_on, wall_mode, pressure_mode, jet_mode, mouse_probe, wireframe, show_trajectory,
        show_text, particles_on, music_on, paused, mouse_x, mouse_y, prev_mouse_x, prev_mouse_y,
        mouse_down[0], mouse_down[1], mouse_down[2], win_width, win_height, is_fullscreen,
        fullscreen, frame_count, fps_time, mouse_row,
    };
    crc = add_bytes(crc, ints, sizeof ints);
    const float floats[] = {fps, dye_hue, hue1, hue2};
    crc = add_bytes(crc, floats, sizeof floats);
    const Color colors[] = {dye_color, hue1_color, hue2_color};
    crc = add_bytes(crc, colors, sizeof colors);
    crc = add_bytes(crc, plasma_color1, sizeof plasma_color1);
    crc = add_bytes(crc, plasma_color2, sizeof plasma_color2);
    return (unsigned)crc;
}
