// The force stage: vorticity, the confinement force, gravity, buoyancy and
// the application of the confinement force.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float &at(float *f, int i, int j) { return f[cell_index(i, j)]; }

void fill(float *f, float value)
{
    for (int k = 0; k < solver.cell_count; k++) f[k] = value;
}

TEST(Forces, UniformFlowHasNoCurlAndNoForce)
{
    start_program(12);
    fill(u, 0.3f);
    fill(v, -0.2f);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
    fill(vort_force_u, 9.0f);
    fill(vort_force_v, 9.0f);
    compute_vorticity();
    compute_confinement();
    for (int j = 1; j <= 12; j++)
        for (int i = 1; i <= 12; i++) ASSERT_EQ(at(curl, i, j), 0.0f) << i << "," << j;
    for (int j = 2; j <= 11; j++) {
        for (int i = 2; i <= 11; i++) {
            ASSERT_EQ(at(vort_force_u, i, j), 0.0f);
            ASSERT_EQ(at(vort_force_v, i, j), 0.0f);
        }
    }
    // The outermost interior ring keeps what it held.
    EXPECT_EQ(at(vort_force_u, 1, 5), 9.0f);
    EXPECT_EQ(at(vort_force_v, 12, 7), 9.0f);
}

// A vortex turning counter-clockwise around the grid's centre.
void make_vortex(int n)
{
    float centre = (n + 1) * 0.5f;
    for (int j = 0; j <= n + 1; j++) {
        for (int i = 0; i <= n + 1; i++) {
            float dx = i - centre, dy = j - centre;
            float r2 = dx * dx + dy * dy;
            float fall = std::exp(-r2 / (0.1f * n * n));
            at(u, i, j) = -dy * fall;
            at(v, i, j) = dx * fall;
        }
    }
}

TEST(Forces, CounterClockwiseVortexHasPositiveCurlAndATangentialForce)
{
    int n = 20;
    start_program(n);
    make_vortex(n);
    compute_vorticity();
    compute_confinement();
    EXPECT_GT(at(curl, 10, 10), 0.0f);
    EXPECT_GT(at(curl, 11, 11), 0.0f);
    int checked = 0;
    for (int j = 3; j <= n - 2; j++) {
        for (int i = 3; i <= n - 2; i++) {
            float c = at(curl, i, j);
            float gx = 0.5f * (at(curl, i + 1, j) - at(curl, i - 1, j));
            float gy = 0.5f * (at(curl, i, j + 1) - at(curl, i, j - 1));
            int sx = at(curl, i + 1, j) > 0 ? 1 : -1;
            int sy = at(curl, i, j + 1) > 0 ? 1 : -1;
            float fu = at(vort_force_u, i, j), fv = at(vort_force_v, i, j);
            if (sx != sy || std::sqrt(gx * gx + gy * gy) < 1e-3f) continue;
            // (fu, -fv) is along (dy, -dx) * sign: at right angles to the gradient.
            float along = fu * gx - fv * gy;
            float size = std::sqrt(fu * fu + fv * fv);
            ASSERT_GT(size, 0.0f);
            EXPECT_NEAR(along / size, 0.0f, 1e-4f) << i << "," << j;
            // And its magnitude is turbulance * dt * |curl| / k.
            float k = (float)(n + n) * 0.5f;
            EXPECT_NEAR(size, solver.turbulance * solver.timestep * std::fabs(c) / k,
                        1e-5f * (1 + std::fabs(c)));
            checked++;
        }
    }
    EXPECT_GT(checked, 50);
}

// The force needs a curl gradient longer than 1e-10: the float just below
// gives no force, the float nearest 1e-10 (just above it) does, in the middle
// of a row and at its end.
TEST(Forces, ConfinementThresholdIsTenToTheMinusTen)
{
    start_program(12);
    const float below = nextafterf((float)1e-10, 0.0f);
    const float above = (float)1e-10;
    ASSERT_LT((double)below, 1e-10);
    ASSERT_GT((double)above, 1e-10);
    const int cells[][2] = {{3, 5}, {11, 7}, {6, 9}, {10, 3}};
    const float lengths[] = {below, below, above, above};
    for (int n = 0; n < 4; n++) {
        int i = cells[n][0], j = cells[n][1];
        at(curl, i, j) = 1.0f;
        at(curl, i + 1, j) = 2 * lengths[n];    // dx = length, dy = 0
    }
    compute_confinement();
    EXPECT_EQ(at(vort_force_v, 3, 5), 0.0f);
    EXPECT_EQ(at(vort_force_v, 11, 7), 0.0f);
    EXPECT_NE(at(vort_force_v, 6, 9), 0.0f);
    EXPECT_NE(at(vort_force_v, 10, 3), 0.0f);
}

TEST(Forces, GravityPullsDenseFluidDown)
{
    start_program(8);
    at(dens, 3, 4) = 100.0f;
    at(v, 3, 4) = 1.0f;
    apply_gravity();
    EXPECT_NEAR(at(v, 3, 4), 1.0f - 0.09f, 1e-6f);
    EXPECT_EQ(at(v, 5, 5), 0.0f);            // no density, no force
    // cos(270 degrees) as computed is tiny but not zero.
    EXPECT_NE(at(u, 3, 4), 0.0f);
    EXPECT_LT(std::fabs(at(u, 3, 4)), 1e-6f);
}

TEST(Forces, BuoyancyLiftsDenseFluidAndSinksEmptyFluid)
{
    start_program(8);
    at(dens, 3, 4) = 10.0f;
    apply_buoyancy();
    EXPECT_NEAR(at(v, 5, 5), 0.1f * -0.0011f, 1e-9f);
    EXPECT_NEAR(at(v, 3, 4), 0.1f * (0.09f * 10.0f - 0.0011f), 1e-6f);
    EXPECT_GT(at(v, 3, 4), 0.0f);
    // The side rule ran: the border mirrors the first column.
    EXPECT_EQ(at(v, 0, 5), at(v, 1, 5));
    EXPECT_EQ(at(v, 5, 0), -at(v, 5, 1));
}

TEST(Forces, ConfinementSkipsExactZerosAndTheOutermostRing)
{
    start_program(8);
    fill(vort_force_u, 0.25f);
    fill(vort_force_v, 0.5f);
    at(u, 4, 4) = 1.0f;
    at(v, 4, 4) = 1.0f;
    at(u, 1, 4) = 1.0f;     // outermost ring: not changed
    at(v, 5, 5) = -0.0f;    // negative zero is zero
    apply_confinement();
    EXPECT_EQ(at(u, 4, 4), 1.25f);
    EXPECT_EQ(at(v, 4, 4), 0.5f);
    EXPECT_EQ(at(u, 1, 4), 1.0f);
    EXPECT_EQ(at(u, 3, 3), 0.0f);
    EXPECT_EQ(at(v, 5, 5), 0.0f);
}

TEST(Forces, WallCellsStayStillUnderConfinement)
{
    start_program(10);
    make_vortex(10);
    for (int j = 4; j <= 6; j++) wall[cell_index(5, j)] = CELL_WALL;
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
    compute_vorticity();
    compute_confinement();
    apply_confinement();
    for (int j = 4; j <= 6; j++) {
        EXPECT_EQ(at(u, 5, j), 0.0f);
        EXPECT_EQ(at(v, 5, j), 0.0f);
    }
}

TEST(Forces, SwitchedOffConfinementStillRefreshesCurlAndForce)
{
    start_program(16);
    make_vortex(16);
    FieldSnapshot start = take_snapshot();
    vorticity_on = 0;
    solver_step();
    FieldSnapshot off = take_snapshot();
    restore_snapshot(start);
    vorticity_on = 1;
    solver_step();
    FieldSnapshot on = take_snapshot();
    vorticity_on = 0;
    // Same curl and force either way (they come before the velocity changes),
    // and they are not empty; only the switched-on step feeds them back.
    EXPECT_EQ(differing_fields(off, on), "u v pressure divergence ");
    EXPECT_NE(at(curl, 8, 8), 0.0f);
    EXPECT_NE(at(vort_force_u, 6, 9), 0.0f);
}

TEST(Forces, EmptyGridIsLeftAlone)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = 3;
    p.grid_rows = 0;
    start_program_with(p);
    for (int k = 0; k < solver.cell_count; k++) dens[k] = u[k] = v[k] = 1.0f;
    compute_vorticity();
    compute_confinement();
    apply_gravity();
    apply_buoyancy();
    apply_confinement();
    for (int k = 0; k < solver.cell_count; k++) {
        EXPECT_EQ(u[k], 1.0f);
        EXPECT_EQ(v[k], 1.0f);
        EXPECT_EQ(curl[k], 0.0f);
    }
}

} // namespace
