// wall_ticker.h - in wall-clock mode a thread brings the machine up to the host's time
// every few milliseconds, so the cards move (and the trace is written) while the
// program sleeps, as a real card runs while its host does something else.
#ifndef KORVA_SIM_WALL_TICKER_H
#define KORVA_SIM_WALL_TICKER_H

namespace korva::sim {

// Starts the ticker thread. Call with the machine's mutex held (the thread takes it),
// never while the library is being loaded. It ends by itself once the machine is back
// in virtual mode.
void start_wall_ticker();

} // namespace korva::sim

#endif
