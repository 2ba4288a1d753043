// solver.cpp -- the solver step.
#include "fluid/fluid.h"

void solver_step(void) {}
