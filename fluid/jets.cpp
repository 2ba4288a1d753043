// jets.cpp -- jets (fixed emitters placed with the middle button) and the
// particle ring. Owns jet_table, particle_ring and their indexes.
#include "fluid/fluid.h"

#include <cstdlib>
#include <cstring>

JetSettings jet_settings;
Particle *particle_ring;
int particle_next;
Jet *jet_table;
int jet_count;
float emit_timer;

int allocate_particles(void)
{
    particle_next = 0;
    if (jet_settings.max_particles <= 0) return 1;     // a ring without slots
    particle_ring = (Particle *)calloc((size_t)jet_settings.max_particles, sizeof(Particle));
    if (!particle_ring) {
        printf("Error: cannot allocate particle data!\n");
        return 0;
    }
    return 1;
}

int allocate_jets(void)
{
    if (jet_settings.max_jets > 0) {
        jet_table = (Jet *)calloc((size_t)jet_settings.max_jets, sizeof(Jet));
        if (!jet_table) {
            printf("Error: cannot allocate emitter data!\n");
            return 0;
        }
    }
    jet_count = 0;
    return 1;
}

void free_particles(void)
{
    free(particle_ring);
    particle_ring = nullptr;
}

void free_jets(void)
{
    free(jet_table);
    jet_table = nullptr;
}

void clear_particles(void)
{
    if (particle_ring) memset(particle_ring, 0, (size_t)jet_settings.max_particles * sizeof(Particle));
}

void clear_jets(void)
{
    if (jet_table) memset(jet_table, 0, (size_t)jet_settings.max_jets * sizeof(Jet));
}

void apply_jets(void) {}

void spawn_particle(float x, float y, float size, float life, float flow_gain, float flow_scale,
                    int style)
{
    (void)x; (void)y; (void)size; (void)life; (void)flow_gain; (void)flow_scale; (void)style;
}

void put_particle(const Particle &p) { (void)p; }

void move_particles(void) {}

void open_jet(int col, int row) { (void)col; (void)row; }

void complete_jet(int release_col, int release_row, float density_amount, Color c,
                  Particle particle_template)
{
    (void)release_col; (void)release_row; (void)density_amount; (void)c; (void)particle_template;
}
