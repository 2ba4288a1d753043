// reference_step.h -- a plain, slow transcription of the solver step (and of
// its boundary rule and force stage) in the written loop order: column i
// outer, row j inner. Works on the program-wide fields and settings; the
// tests and the benchmark compare the shipped step against it. Also the
// pseudo-random scenes both are run on, and snapshots of the sixteen fields.
#pragma once

#include "fluid/fluid.h"

#include <string>
#include <vector>

void reference_step(void);
void reference_boundary(float *f, int kind);

// A scene: grid size, settings and switches; everything else comes from the
// seed. sparse_walls also stamps paddle-like blocks (wall values 2 and 3).
struct Scene {
    int width, height;
    int iterations;
    float viscosity, diffusion, dissipation;
    int gravity, buoyancy, vorticity;
    int walls;                  // 1: sprinkle walls and paddle blocks
    unsigned seed;
};

// Starts the program at the scene's grid and fills velocity, density, ink,
// walls and the other fields with deterministic pseudo-random values.
void make_scene(const Scene &scene);
// What tools, jets and the game would enter during frame `frame`: stirring,
// ink, sinks and shockwaves at pseudo-random cells.
void enter_frame_sources(unsigned seed, int frame);

// The sixteen fields, copied by value.
struct FieldSnapshot {
    std::vector<std::vector<float>> floats;     // in field_names() order
    std::vector<Color> color, color_prev;
    std::vector<int> wall;
};
FieldSnapshot take_snapshot(void);
void restore_snapshot(const FieldSnapshot &s);
// Names of the thirteen float fields, in snapshot order.
const std::vector<std::string> &float_field_names(void);
// Empty when both hold the same bits in every field, else the names of the
// fields that differ. With nan_alike, any two NaNs count as the same (which
// NaN an operation on two NaNs returns depends on the compiler's choice of
// operand order for + and *).
std::string differing_fields(const FieldSnapshot &a, const FieldSnapshot &b, int nan_alike = 0);
