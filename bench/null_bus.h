/* null_bus.h - counters of the benchmark's platform backend. */
#ifndef KORVA_BENCH_NULL_BUS_H
#define KORVA_BENCH_NULL_BUS_H

#include <stdint.h>

extern uint64_t null_bus_accesses;    /* port reads and writes since start */
extern uint64_t null_bus_data_writes; /* bytes written to the card's DATA_REG */

#endif
