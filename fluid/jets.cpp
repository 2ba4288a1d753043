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

// A table larger than the physical memory is refused like a failed
// allocation: calloc would grant it lazily and the first clear would fail.
static void *allocate_table(int slots, size_t slot_size)
{
    if (!fits_in_memory((double)slots * (double)slot_size)) return nullptr;
    return calloc((size_t)slots, slot_size);
}

int allocate_particles(void)
{
    particle_next = 0;
    if (jet_settings.max_particles <= 0) return 1;     // a ring without slots
    particle_ring = (Particle *)allocate_table(jet_settings.max_particles, sizeof(Particle));
    if (!particle_ring) {
        printf("Error: cannot allocate particle data!\n");
        return 0;
    }
    return 1;
}

int make_particle_ring(int slots, Particle **ring)
{
    *ring = nullptr;
    if (slots <= 0) return 1;
    *ring = (Particle *)allocate_table(slots, sizeof(Particle));
    if (!*ring) {
        printf("Error: cannot allocate particle data!\n");
        return 0;
    }
    return 1;
}

void use_particle_ring(Particle *ring, int slots)
{
    free(particle_ring);
    particle_ring = ring;
    jet_settings.max_particles = slots;
    particle_next = 0;
    clear_particles();
}

int allocate_jets(void)
{
    if (jet_settings.max_jets > 0) {
        jet_table = (Jet *)allocate_table(jet_settings.max_jets, sizeof(Jet));
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

// 1 when the ring has a slot to write into.
static int ring_has_slots(void) { return particle_ring && jet_settings.max_particles > 0; }

// 1 when the jet table has a slot to place into.
static int table_has_slots(void) { return jet_table && jet_settings.max_jets > 0; }

static int grid_ready(void) { return u && v && dens && u_prev && v_prev && dens_prev && color_prev; }

// Every slot feeds its cell each frame, placed or not (an unplaced slot is all
// zero). The sources include the cell's current u, v and dens, so the step's
// add-source stage grows the fluid at a jet's cell by timestep * (value + push).
void apply_jets(void)
{
    if (!table_has_slots() || !grid_ready()) return;
    for (int s = 0; s < jet_settings.max_jets; s++) {
        const Jet &jet = jet_table[s];
        if (!cell_in_array(jet.col, jet.row)) continue;
        int k = cell_index(jet.col, jet.row);
        float su = u[k] + jet_settings.jet_force * jet.push_x;
        float sv = v[k] + jet_settings.jet_force * jet.push_y;
        float sd = dens[k] + jet.density_amount;
        const Particle &t = jet.particle_template;
        if (t.life != 0.0f) {
            // One timer for all jets: emitting jets take turns in slot order.
            emit_timer += jet_settings.timestep;
            if (emit_timer >= jet_settings.emitter_rate) {
                spawn_particle(t.x, t.y, t.size, t.life, t.flow_gain, t.flow_scale, t.style);
                emit_timer = 0.0f;
            }
        }
        u_prev[k] = su;
        v_prev[k] = sv;
        dens_prev[k] = sd;
        color_prev[k] = jet.color;
    }
}

void spawn_particle(float x, float y, float size, float life, float flow_gain, float flow_scale,
                    int style)
{
    if (life == 0.0f) return;
    Particle p;
    p.x = x;
    p.y = y;
    p.vx = 0.0f;
    p.vy = 0.0f;
    p.size = size;
    p.life = life;
    p.flow_gain = flow_gain;
    p.flow_scale = flow_scale;
    p.style = style;
    put_particle(p);
}

// When the ring is full the oldest particle is replaced.
void put_particle(const Particle &p)
{
    if (!ring_has_slots()) return;
    int s = particle_next;
    if (s >= jet_settings.max_particles || s < 0) s = 0;
    particle_next = s + 1;
    particle_ring[s] = p;
}

// 1 when (i, j) lies inside the arrays and holds no wall. A neighbour past the
// border ring counts as solid, so nothing is read beyond the arrays.
static int cell_open(int i, int j)
{
    return cell_in_array(i, j) && wall[cell_index(i, j)] == CELL_FLUID;
}

// Samples the fluid at the particle's cell (no interpolation), nudges it out
// of walls, then moves it, reversing a component that would leave the open
// span 1 < x < grid width (and likewise for y).
static void move_particle(Particle &p)
{
    // The cell is taken only when the position lies inside the arrays; this
    // also keeps a far-off or non-finite position away from the conversion.
    int inside = p.x >= 1.0f && p.y >= 1.0f && p.x < (float)(solver.grid_width + 2) &&
                 p.y < (float)(solver.grid_height + 2);
    if (inside) {
        int ci = (int)p.x;
        int cj = (int)p.y;
        int k = cell_index(ci, cj);
        p.vx = p.flow_gain * (u[k] * p.flow_scale);
        p.vy = p.flow_gain * (v[k] * p.flow_scale);
        if (wall[k] != CELL_FLUID) {
            int n = 0;
            if (cell_open(ci + 1, cj)) {
                p.vx += 1.0f;
                n += 1;
            }
            if (cell_open(ci - 1, cj)) {
                p.vx -= 1.0f;
                n += 1;
            }
            if (cell_open(ci, cj + 1)) {
                p.vy += 1.0f;
                n += 1;
            }
            if (cell_open(ci, cj - 1)) {
                p.vy -= 1.0f;
                n += 1;
            }
            if (n == 0) {
                // Walled in: size is the number of frames it may stay so.
                if (p.size > 0.0f)
                    p.size -= 1.0f;
                else
                    p.life = 0.0f;
            }
        }
    }
    float nx = p.x + p.vx;
    if (1.0f < nx && nx < (float)solver.grid_width)
        p.x = nx;
    else
        p.vx = -p.vx;
    float ny = p.y + p.vy;
    if (1.0f < ny && ny < (float)solver.grid_height)
        p.y = ny;
    else
        p.vy = -p.vy;
    if (p.life > 0.0f) p.life -= 1.0f;
}

void move_particles(void)
{
    if (!ring_has_slots() || !u || !v || !wall) return;
    for (int s = 0; s < jet_settings.max_particles; s++) {
        if (particle_ring[s].life != 0.0f) move_particle(particle_ring[s]);
    }
}

// The slot stays in the table with no push while the placement is open, so it
// already takes part in applying the jets.
void open_jet(int col, int row)
{
    if (!table_has_slots()) return;
    int s = jet_count;
    if (s >= jet_settings.max_jets || s < 0) jet_count = s = 0;
    Jet &jet = jet_table[s];
    jet.col = col;
    jet.row = row;
    jet.push_x = 0.0f;
    jet.push_y = 0.0f;
    jet.density_amount = 0.0f;
    jet.color = Color{0.0f, 0.0f, 0.0f, 0.0f};
}

void complete_jet(int release_col, int release_row, float density_amount, Color c,
                  Particle particle_template)
{
    if (!table_has_slots() || jet_count < 0 || jet_count >= jet_settings.max_jets) return;
    Jet &jet = jet_table[jet_count];
    jet.particle_template = particle_template;
    jet.particle_template.x = (float)jet.col;
    jet.particle_template.y = (float)jet.row;
    jet.density_amount = density_amount;
    jet.color = c;
    jet.push_x = (float)((double)release_col - jet.col);
    jet.push_y = (float)((double)release_row - jet.row);
    jet_count += 1;
}
