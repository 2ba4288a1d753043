// forces.cpp -- vorticity, confinement, gravity and buoyancy.
#include "fluid/fluid.h"

void compute_vorticity(void) {}
void compute_confinement(void) {}
void apply_gravity(void) {}
void apply_buoyancy(void) {}
void apply_confinement(void) {}
