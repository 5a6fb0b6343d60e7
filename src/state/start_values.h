/*
 * start_values.h - the start values of the shared variables: what they hold when the
 * library has just been loaded, and again after KORVA3_INITIAL.
 */
#ifndef KORVA_START_VALUES_H
#define KORVA_START_VALUES_H

/* Sets the start values of the shared variables (speed parameters, profile and control
 * fields of the interpolation, the stepwise request's kind). */
void set_start_values(void);

#endif
