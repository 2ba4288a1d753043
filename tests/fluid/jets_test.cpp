// Jets and particles: the jet table and the particle ring with their
// wrap-around indexes, applying the jets with the shared emission timer,
// spawning, and particle motion (sampling, wall nudge, bounces, life).
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

Particle particle_at(float x, float y, float life, float size = 4.0f)
{
    Particle p = Particle{};
    p.x = x;
    p.y = y;
    p.size = size;
    p.life = life;
    p.flow_gain = 1.0f;
    p.flow_scale = 1.0f;
    p.style = 1;
    return p;
}

Particle streak_template(void)
{
    Particle t = Particle{};
    t.size = 4.0f;
    t.life = 1000.0f;
    t.flow_gain = 1.0f;
    t.flow_scale = 10.0f;
    t.style = 1;
    return t;
}

void place_jet(int col, int row, int release_col, int release_row, float amount, Color c,
               Particle t)
{
    open_jet(col, row);
    complete_jet(release_col, release_row, amount, c, t);
}

int live_particles(void)
{
    int n = 0;
    for (int s = 0; s < jet_settings.max_particles; s++)
        if (particle_ring[s].life != 0.0f) n++;
    return n;
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

TEST(Records, ParticleIsNineFieldsOf32BitsInOrder)
{
    EXPECT_EQ(sizeof(Particle), 9 * sizeof(int32_t));
    EXPECT_EQ(sizeof(Particle::style), sizeof(int32_t));
    EXPECT_EQ(offsetof(Particle, x), 0u);
    EXPECT_EQ(offsetof(Particle, y), 4u);
    EXPECT_EQ(offsetof(Particle, vx), 8u);
    EXPECT_EQ(offsetof(Particle, vy), 12u);
    EXPECT_EQ(offsetof(Particle, size), 16u);
    EXPECT_EQ(offsetof(Particle, life), 20u);
    EXPECT_EQ(offsetof(Particle, flow_gain), 24u);
    EXPECT_EQ(offsetof(Particle, flow_scale), 28u);
    EXPECT_EQ(offsetof(Particle, style), 32u);
}

TEST(Records, JetFieldsInOrder)
{
    EXPECT_EQ(offsetof(Jet, col), 0u);
    EXPECT_EQ(offsetof(Jet, row), 4u);
    EXPECT_EQ(offsetof(Jet, push_x), 8u);
    EXPECT_EQ(offsetof(Jet, push_y), 12u);
    EXPECT_EQ(offsetof(Jet, density_amount), 16u);
    EXPECT_EQ(offsetof(Jet, color), 20u);
    EXPECT_EQ(offsetof(Jet, particle_template), 20u + sizeof(Color));
    EXPECT_EQ(sizeof(Jet), 20u + sizeof(Color) + sizeof(Particle));
}

// ---------------------------------------------------------------------------
// Jet table
// ---------------------------------------------------------------------------

TEST(JetTable, PlacementStoresCellPushColourAndTemplateAtTheJet)
{
    start_program(100);
    Color c = {0.25f, 0.5f, 0.75f, 1.0f};
    open_jet(10, 20);
    EXPECT_EQ(jet_count, 0);                // an open placement does not advance
    EXPECT_EQ(jet_table[0].col, 10);
    EXPECT_EQ(jet_table[0].row, 20);
    Particle t = streak_template();
    t.x = 77.0f;                            // replaced by the jet's cell
    t.y = 88.0f;
    complete_jet(13, 16, 800.0f, c, t);
    EXPECT_EQ(jet_count, 1);
    const Jet &jet = jet_table[0];
    EXPECT_EQ(jet.push_x, 3.0f);
    EXPECT_EQ(jet.push_y, -4.0f);
    EXPECT_EQ(jet.density_amount, 800.0f);
    EXPECT_EQ(jet.color.g, 0.5f);
    EXPECT_EQ(jet.color.a, 1.0f);
    EXPECT_EQ(jet.particle_template.x, 10.0f);
    EXPECT_EQ(jet.particle_template.y, 20.0f);
    EXPECT_EQ(jet.particle_template.life, 1000.0f);
    EXPECT_EQ(jet.particle_template.flow_scale, 10.0f);
    EXPECT_EQ(jet.particle_template.style, 1);
}

TEST(JetTable, TwentyFirstPlacementReusesSlotZeroAndKeepsItsTemplate)
{
    start_program(100);
    for (int n = 0; n < 20; n++)
        place_jet(n + 1, 5, n + 2, 5, 800.0f, Color{1, 0, 0, 1}, streak_template());
    EXPECT_EQ(jet_count, 20);
    open_jet(50, 60);
    EXPECT_EQ(jet_count, 0);
    const Jet &jet = jet_table[0];
    EXPECT_EQ(jet.col, 50);
    EXPECT_EQ(jet.row, 60);
    EXPECT_EQ(jet.push_x, 0.0f);
    EXPECT_EQ(jet.density_amount, 0.0f);
    EXPECT_EQ(jet.color.r, 0.0f);
    EXPECT_EQ(jet.particle_template.life, 1000.0f);   // left as it was
    EXPECT_EQ(jet_table[1].col, 2);                     // the others untouched
    complete_jet(50, 61, 0.0f, Color{0, 0, 0, 0}, Particle{});
    EXPECT_EQ(jet_count, 1);
    EXPECT_EQ(jet_table[0].particle_template.life, 0.0f);
}

TEST(JetTable, CompletionWithoutAFreeSlotWritesNothing)
{
    start_program(100);
    for (int n = 0; n < 20; n++) place_jet(n + 1, 5, n + 1, 6, 0.0f, Color{}, Particle{});
    Jet before = jet_table[19];
    complete_jet(90, 90, 800.0f, Color{1, 1, 1, 1}, streak_template());
    EXPECT_EQ(jet_count, 20);
    EXPECT_EQ(jet_table[19].push_y, before.push_y);
    EXPECT_EQ(jet_table[0].push_y, 1.0f);
}

TEST(JetTable, TablesWithoutSlotsIgnorePlacementAndSpawns)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 20;
    p.max_jets = 0;
    p.max_particles = -3;
    start_program_with(p);
    EXPECT_EQ(jet_table, nullptr);
    EXPECT_EQ(particle_ring, nullptr);
    open_jet(5, 5);
    complete_jet(6, 6, 800.0f, Color{1, 1, 1, 1}, streak_template());
    EXPECT_EQ(jet_count, 0);
    spawn_particle(5, 5, 4, 100, 1, 1, 1);
    put_particle(particle_at(5, 5, 100));
    EXPECT_EQ(particle_next, 0);
    apply_jets();
    move_particles();
    clear_jets();
    clear_particles();
}

TEST(JetTable, ClearZeroesEverySlotButKeepsTheIndexes)
{
    start_program(100);
    place_jet(3, 4, 5, 6, 800.0f, Color{1, 1, 1, 1}, streak_template());
    place_jet(7, 8, 9, 9, 0.0f, Color{}, streak_template());
    spawn_particle(10, 10, 4, 100, 1, 1, 1);
    clear_jets();
    clear_particles();
    EXPECT_EQ(jet_count, 2);
    EXPECT_EQ(particle_next, 1);
    for (int s = 0; s < jet_settings.max_jets; s++) {
        EXPECT_EQ(jet_table[s].col, 0);
        EXPECT_EQ(jet_table[s].push_x, 0.0f);
        EXPECT_EQ(jet_table[s].particle_template.life, 0.0f);
    }
    EXPECT_EQ(live_particles(), 0);
}

// ---------------------------------------------------------------------------
// Applying the jets
// ---------------------------------------------------------------------------

TEST(ApplyJets, SourcesAreTheCellsValuesPlusThePush)
{
    start_program(100);
    Color c = {0.1f, 0.2f, 0.3f, 1.0f};
    place_jet(10, 20, 13, 16, 800.0f, c, Particle{});
    int k = cell_index(10, 20);
    u[k] = 2.0f;
    v[k] = -1.0f;
    dens[k] = 5.0f;
    apply_jets();
    EXPECT_EQ(u_prev[k], 2.0f + 0.1f * 3.0f);
    EXPECT_EQ(v_prev[k], -1.0f + 0.1f * -4.0f);
    EXPECT_EQ(dens_prev[k], 805.0f);
    EXPECT_EQ(color_prev[k].b, 0.3f);
    EXPECT_EQ(color_prev[k].a, 1.0f);
    EXPECT_EQ(live_particles(), 0);         // the template has no life
}

TEST(ApplyJets, OpenPlacementAndUnplacedSlotsFeedTheirCellsWithoutPush)
{
    start_program(100);
    open_jet(30, 40);
    int k = cell_index(30, 40);
    u[k] = 1.5f;
    dens[k] = 7.0f;
    color_prev[k] = Color{1, 1, 1, 1};
    apply_jets();
    EXPECT_EQ(u_prev[k], 1.5f);
    EXPECT_EQ(dens_prev[k], 7.0f);
    EXPECT_EQ(color_prev[k].r, 0.0f);
    // The never-placed slots act on cell (0, 0) with nothing but its values.
    u[0] = 4.0f;
    apply_jets();
    EXPECT_EQ(u_prev[0], 4.0f);
}

TEST(ApplyJets, DefaultRateEmitsOneParticlePerJetPerFrameAtTheJetCell)
{
    start_program(100);
    place_jet(10, 20, 10, 20, 0.0f, Color{}, streak_template());
    for (int f = 0; f < 3; f++) apply_jets();
    EXPECT_EQ(particle_next, 3);
    const Particle &p = particle_ring[2];
    EXPECT_EQ(p.x, 10.0f);
    EXPECT_EQ(p.y, 20.0f);
    EXPECT_EQ(p.vx, 0.0f);
    EXPECT_EQ(p.size, 4.0f);
    EXPECT_EQ(p.life, 1000.0f);
    EXPECT_EQ(p.flow_scale, 10.0f);
    EXPECT_EQ(p.style, 1);
}

TEST(ApplyJets, EmittingJetsShareOneTimerInSlotOrder)
{
    start_program(100);
    jet_settings.emitter_rate = 0.2f;
    place_jet(10, 10, 10, 10, 0.0f, Color{}, streak_template());
    place_jet(20, 20, 20, 20, 0.0f, Color{}, Particle{});     // no template: no turn
    place_jet(30, 30, 30, 30, 0.0f, Color{}, streak_template());
    place_jet(40, 40, 40, 40, 0.0f, Color{}, streak_template());
    // Frame 1: jet 0 brings the timer to 0.1, jet 2 to 0.2 and emits, jet 3 to 0.1.
    apply_jets();
    ASSERT_EQ(particle_next, 1);
    EXPECT_EQ(particle_ring[0].x, 30.0f);
    EXPECT_EQ(emit_timer, 0.1f);
    // Frame 2: jet 0 emits, jet 2 to 0.1, jet 3 emits.
    apply_jets();
    ASSERT_EQ(particle_next, 3);
    EXPECT_EQ(particle_ring[1].x, 10.0f);
    EXPECT_EQ(particle_ring[2].x, 40.0f);
    EXPECT_EQ(emit_timer, 0.0f);
}

TEST(ApplyJets, SlotWithACellOutsideTheGridIsSkipped)
{
    start_program(20);
    place_jet(5, 5, 6, 5, 0.0f, Color{}, streak_template());
    jet_table[1].col = 1000000;             // damaged slot
    jet_table[1].row = -7;
    jet_table[1].particle_template = streak_template();
    apply_jets();
    EXPECT_EQ(particle_next, 1);            // only the valid jet emitted
    EXPECT_EQ(u_prev[cell_index(5, 5)], 0.1f);
}

// ---------------------------------------------------------------------------
// Particle ring
// ---------------------------------------------------------------------------

TEST(ParticleRing, FullRingReplacesTheOldestParticle)
{
    start_program(100);
    for (int n = 0; n < 1000; n++) spawn_particle(5.0f, 5.0f, 2.0f, 50.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(particle_next, 1000);
    spawn_particle(9.0f, 8.0f, 3.0f, 60.0f, 2.0f, 3.0f, 1);
    EXPECT_EQ(particle_next, 1);
    EXPECT_EQ(particle_ring[0].x, 9.0f);
    EXPECT_EQ(particle_ring[0].life, 60.0f);
    EXPECT_EQ(particle_ring[0].flow_gain, 2.0f);
    EXPECT_EQ(particle_ring[1].x, 5.0f);
}

TEST(ParticleRing, SpawnWithoutLifeWritesNothing)
{
    start_program(100);
    spawn_particle(5.0f, 5.0f, 2.0f, 0.0f, 1.0f, 1.0f, 0);
    EXPECT_EQ(particle_next, 0);
    EXPECT_EQ(live_particles(), 0);
}

TEST(ParticleRing, PutParticleSharesTheIndexAndWrapRule)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = p.grid_rows = 20;
    p.max_particles = 2;
    start_program_with(p);
    put_particle(particle_at(3, 3, 10));
    spawn_particle(4, 4, 1, 10, 1, 1, 0);
    put_particle(particle_at(5, 5, 10));
    EXPECT_EQ(particle_next, 1);
    EXPECT_EQ(particle_ring[0].x, 5.0f);
    EXPECT_EQ(particle_ring[1].x, 4.0f);
}

// ---------------------------------------------------------------------------
// Particle motion
// ---------------------------------------------------------------------------

TEST(ParticleMotion, SamplesTheFluidAtItsCellWithoutInterpolation)
{
    start_program(100);
    Particle p = particle_at(10.9f, 20.2f, 100.0f);
    p.flow_gain = 2.0f;
    p.flow_scale = 4.0f;
    put_particle(p);
    u[cell_index(10, 20)] = 0.25f;
    v[cell_index(10, 20)] = -0.125f;
    u[cell_index(11, 20)] = 99.0f;          // the neighbour is not blended in
    move_particles();
    const Particle &q = particle_ring[0];
    EXPECT_EQ(q.vx, 2.0f);
    EXPECT_EQ(q.vy, -1.0f);
    EXPECT_EQ(q.x, 10.9f + 2.0f);
    EXPECT_EQ(q.y, 20.2f - 1.0f);
    EXPECT_EQ(q.life, 99.0f);
}

TEST(ParticleMotion, BouncesOffTheStrictBoundsAndStaysPut)
{
    start_program(100);
    put_particle(particle_at(2.0f, 50.0f, 100.0f));     // would land on x = 1
    put_particle(particle_at(50.0f, 98.5f, 100.0f));    // would land on y = 100
    u[cell_index(2, 50)] = -1.0f;
    v[cell_index(50, 98)] = 1.5f;
    move_particles();
    EXPECT_EQ(particle_ring[0].x, 2.0f);
    EXPECT_EQ(particle_ring[0].vx, 1.0f);
    EXPECT_EQ(particle_ring[1].y, 98.5f);
    EXPECT_EQ(particle_ring[1].vy, -1.5f);
    // Just inside the bound the move is taken.
    put_particle(particle_at(2.0f, 50.0f, 100.0f));
    u[cell_index(2, 50)] = -0.5f;
    move_particles();
    EXPECT_EQ(particle_ring[2].x, 1.5f);
}

TEST(ParticleMotion, WallCellNudgesTowardsOpenNeighbours)
{
    start_program(100);
    wall[cell_index(10, 10)] = CELL_WALL;
    wall[cell_index(9, 10)] = CELL_WALL;    // left closed
    wall[cell_index(10, 9)] = CELL_PLAYER_PADDLE;   // lower closed (any solid value)
    put_particle(particle_at(10.5f, 10.5f, 100.0f));
    move_particles();
    EXPECT_EQ(particle_ring[0].x, 11.5f);
    EXPECT_EQ(particle_ring[0].y, 11.5f);
    EXPECT_EQ(particle_ring[0].size, 4.0f);
    // Out of the wall, the fluid (still) stops it.
    move_particles();
    EXPECT_EQ(particle_ring[0].x, 11.5f);
    EXPECT_EQ(particle_ring[0].vx, 0.0f);
}

TEST(ParticleMotion, WalledInParticleSpendsItsSizeThenDies)
{
    start_program(100);
    for (int i = 9; i <= 11; i++)
        for (int j = 9; j <= 11; j++) wall[cell_index(i, j)] = CELL_WALL;
    put_particle(particle_at(10.5f, 10.5f, 100.0f, 4.0f));
    for (int f = 1; f <= 4; f++) {
        move_particles();
        EXPECT_EQ(particle_ring[0].size, 4.0f - f);
        EXPECT_EQ(particle_ring[0].life, 100.0f - f);
    }
    move_particles();
    EXPECT_EQ(particle_ring[0].life, 0.0f);
    EXPECT_EQ(particle_ring[0].x, 10.5f);
}

TEST(ParticleMotion, LifeCountsDownAndAFreeSlotStaysStill)
{
    start_program(100);
    put_particle(particle_at(10.5f, 10.5f, 2.0f));
    for (int i = 10; i <= 13; i++) u[cell_index(i, 10)] = 1.0f;
    move_particles();
    move_particles();
    EXPECT_EQ(particle_ring[0].life, 0.0f);
    EXPECT_EQ(particle_ring[0].x, 12.5f);
    move_particles();
    EXPECT_EQ(particle_ring[0].x, 12.5f);
}

TEST(ParticleMotion, ParticleOutsideTheArraysIsNotSampled)
{
    start_program(20);
    for (int k = 0; k < solver.cell_count; k++) {
        u[k] = 1.0f;
        v[k] = 1.0f;
        wall[k] = CELL_WALL;
    }
    const float far[] = {25.5f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
    for (float x : far) put_particle(particle_at(x, 10.5f, 5.0f));
    put_particle(particle_at(10.5f, 3e9f, 5.0f));
    move_particles();
    for (int s = 0; s < particle_next; s++) {
        EXPECT_EQ(particle_ring[s].vx, 0.0f) << "slot " << s;
        EXPECT_EQ(particle_ring[s].vy, 0.0f) << "slot " << s;
        EXPECT_EQ(particle_ring[s].life, 4.0f) << "slot " << s;
    }
    EXPECT_EQ(particle_ring[1].x, 1e30f);
    EXPECT_TRUE(std::isnan(particle_ring[4].x));
}

TEST(ParticleMotion, BorderColumnCountsCellsPastTheArraysAsSolid)
{
    start_program(20);
    for (int k = 0; k < solver.cell_count; k++) wall[k] = CELL_WALL;
    // Column 21 is the border; its right neighbour would be past the row.
    put_particle(particle_at(21.5f, 10.5f, 50.0f, 1.0f));
    move_particles();
    EXPECT_EQ(particle_ring[0].size, 0.0f);   // walled in
    move_particles();
    EXPECT_EQ(particle_ring[0].life, 0.0f);
}

} // namespace
