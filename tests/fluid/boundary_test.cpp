// The boundary rule: mirrored velocity at the sides, copied scalars, corner
// means, walls that stop velocity and average the surrounding fluid.
#include "tests/fluid/reference_step.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

int W() { return solver.grid_width; }
int H() { return solver.grid_height; }
float &at(float *f, int i, int j) { return f[cell_index(i, j)]; }

// Distinct values in every cell: 1000 * j + i.
void fill_distinct(float *f)
{
    for (int j = 0; j <= H() + 1; j++)
        for (int i = 0; i <= W() + 1; i++) at(f, i, j) = 1000.0f * j + i;
}

TEST(Boundary, VelocityXIsMirroredAtTheLeftAndRightOnly)
{
    start_program(6);
    fill_distinct(u);
    at(u, 1, 3) = 3.0f;
    set_boundary(u, BOUNDARY_U);
    EXPECT_EQ(at(u, 0, 3), -3.0f);
    for (int j = 1; j <= H(); j++) {
        EXPECT_EQ(at(u, 0, j), -at(u, 1, j));
        EXPECT_EQ(at(u, W() + 1, j), -at(u, W(), j));
    }
    for (int i = 1; i <= W(); i++) {
        EXPECT_EQ(at(u, i, 0), at(u, i, 1));            // copied along the side
        EXPECT_EQ(at(u, i, H() + 1), at(u, i, H()));
    }
}

TEST(Boundary, VelocityYIsMirroredAtTheBottomAndTopOnly)
{
    start_program(6);
    fill_distinct(v);
    at(v, 1, 4) = 3.0f;
    set_boundary(v, BOUNDARY_V);
    EXPECT_EQ(at(v, 0, 4), 3.0f);
    for (int i = 1; i <= W(); i++) {
        EXPECT_EQ(at(v, i, 0), -at(v, i, 1));
        EXPECT_EQ(at(v, i, H() + 1), -at(v, i, H()));
    }
    for (int j = 1; j <= H(); j++) EXPECT_EQ(at(v, W() + 1, j), at(v, W(), j));
}

TEST(Boundary, ScalarSidesCopyAndCornersAverageOnANonSquareGrid)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = 5;
    p.grid_rows = 3;
    start_program_with(p);
    fill_distinct(dens);
    set_boundary(dens, BOUNDARY_SCALAR);
    for (int j = 1; j <= 3; j++) {
        EXPECT_EQ(at(dens, 0, j), 1000.0f * j + 1);
        EXPECT_EQ(at(dens, 6, j), 1000.0f * j + 5);
    }
    for (int i = 1; i <= 5; i++) {
        EXPECT_EQ(at(dens, i, 0), 1000.0f + i);
        EXPECT_EQ(at(dens, i, 4), 3000.0f + i);
    }
    // Each corner: the mean of its two neighbours along the border.
    EXPECT_EQ(at(dens, 0, 0), 0.5f * (1001.0f + 1001.0f));
    EXPECT_EQ(at(dens, 0, 4), 0.5f * (3001.0f + 3001.0f));
    EXPECT_EQ(at(dens, 6, 0), 0.5f * (1005.0f + 1005.0f));
    EXPECT_EQ(at(dens, 6, 4), 0.5f * (3005.0f + 3005.0f));
    // A kind other than 1 and 2 is a scalar.
    fill_distinct(curl);
    set_boundary(curl, 7);
    EXPECT_EQ(at(curl, 0, 2), at(curl, 1, 2));
    EXPECT_EQ(at(curl, 3, 0), at(curl, 3, 1));
}

TEST(Boundary, SingleWallCellInOpenFluid)
{
    start_program(8);
    fill_distinct(dens);
    fill_distinct(u);
    fill_distinct(v);
    wall[cell_index(4, 5)] = CELL_WALL;
    set_boundary(dens, BOUNDARY_SCALAR);
    set_boundary(u, BOUNDARY_U);
    set_boundary(v, BOUNDARY_V);
    float sum = 0.0f;
    sum += 5005.0f;     // right
    sum += 5003.0f;     // left
    sum += 6004.0f;     // up
    sum += 4004.0f;     // down
    EXPECT_EQ(at(dens, 4, 5), sum / 4);
    EXPECT_EQ(at(u, 4, 5), 0.0f);
    EXPECT_EQ(at(v, 4, 5), 0.0f);
    EXPECT_EQ(at(dens, 5, 5), 5005.0f);     // fluid neighbours untouched
}

TEST(Boundary, WallBesideTheLeftSideCountsTheBorderCopyOfItself)
{
    start_program(8);
    fill_distinct(dens);
    wall[cell_index(1, 3)] = CELL_PLAYER_PADDLE;
    wall[cell_index(1, 4)] = CELL_PLAYER_PADDLE;
    set_boundary(dens, BOUNDARY_SCALAR);
    // (1, 3): right (2, 3), left border (0, 3) = old (1, 3), down (1, 2); up is a wall.
    float expected = (3002.0f + 3001.0f + 2001.0f) / 3;
    EXPECT_EQ(at(dens, 1, 3), expected);
}

TEST(Boundary, SolidBlockCentreIsZeroAndEdgesAverageFluidOnly)
{
    start_program(9);
    for (int j = 4; j <= 6; j++)
        for (int i = 4; i <= 6; i++) wall[cell_index(i, j)] = CELL_OPPONENT_PADDLE;
    for (int kind = 0; kind <= 2; kind++) {
        fill_distinct(pressure);
        set_boundary(pressure, kind);
        EXPECT_EQ(at(pressure, 5, 5), 0.0f) << "kind " << kind;
        if (kind == 0) {
            EXPECT_EQ(at(pressure, 5, 4), 3005.0f);                      // only down is fluid
            EXPECT_EQ(at(pressure, 4, 4), (4003.0f + 3004.0f) / 2);     // left and down
        } else {
            EXPECT_EQ(at(pressure, 5, 4), 0.0f);
        }
    }
}

TEST(Boundary, BorderCellsAreNeverWallsButFlaggedOnesAreLeftOutOfMeans)
{
    start_program(6);
    fill_distinct(u);
    fill_distinct(dens);
    wall[cell_index(0, 2)] = CELL_WALL;     // a flag in the border ring
    wall[cell_index(1, 2)] = CELL_WALL;
    set_boundary(u, BOUNDARY_U);
    EXPECT_EQ(at(u, 0, 2), -2001.0f);       // mirrored before the wall pass zeroed (1, 2)
    EXPECT_EQ(at(u, 1, 2), 0.0f);
    set_boundary(dens, BOUNDARY_SCALAR);
    EXPECT_EQ(at(dens, 1, 2), (2002.0f + 3001.0f + 1001.0f) / 3);
}

// Same bits as the plain transcription for random fields and walls on many
// grid shapes, whether the step has listed the wall cells or not.
TEST(Boundary, MatchesThePlainRuleListedOrNot)
{
    const int shapes[][2] = {{1, 1}, {2, 1}, {1, 3}, {3, 3}, {7, 4}, {16, 16}, {5, 30}};
    unsigned seed = 5;
    for (const auto &shape : shapes) {
        Scene scene{shape[0], shape[1], 20, 0, 0, 0, 0, 0, 0, 1, seed++};
        make_scene(scene);
        for (int kind = 0; kind <= 3; kind++) {
            for (int listed = 0; listed <= 1; listed++) {
                std::vector<float> a(u, u + solver.cell_count);
                std::vector<float> b = a;
                reference_boundary(a.data(), kind);
                if (listed) list_wall_cells();
                set_boundary(b.data(), kind);
                forget_wall_cells();
                ASSERT_EQ(0, memcmp(a.data(), b.data(), a.size() * sizeof(float)))
                    << shape[0] << "x" << shape[1] << " kind " << kind << " listed " << listed;
            }
        }
    }
}

TEST(Boundary, ForgottenListSeesNewWalls)
{
    start_program(8);
    list_wall_cells();
    forget_wall_cells();
    wall[cell_index(3, 3)] = CELL_WALL;
    fill_distinct(u);
    set_boundary(u, BOUNDARY_U);
    EXPECT_EQ(at(u, 3, 3), 0.0f);
}

TEST(Boundary, GridWithoutCellsIsLeftAlone)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = 0;
    p.grid_rows = 4;
    start_program_with(p);
    ASSERT_EQ(solver.cell_count, 12);
    for (int k = 0; k < solver.cell_count; k++) dens[k] = (float)k;
    set_boundary(dens, BOUNDARY_SCALAR);
    set_boundary(dens, BOUNDARY_U);
    for (int k = 0; k < solver.cell_count; k++) EXPECT_EQ(dens[k], (float)k);
}

} // namespace
