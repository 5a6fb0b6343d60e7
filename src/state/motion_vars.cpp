/* motion_vars.cpp - the one set of speed parameters, at its start values. */
#include "state/motion_vars.h"

MOTION_VARS motion_vars = {10, 2, 2, 100, 30};
