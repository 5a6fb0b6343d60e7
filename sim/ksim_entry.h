// ksim_entry.h - the way in for the KSIM_ functions: the machine's mutex as with_machine,
// after ksim_enter() (a program that calls KSIM_ functions sets the machine up itself).
#ifndef KORVA_SIM_KSIM_ENTRY_H
#define KORVA_SIM_KSIM_ENTRY_H

#include <utility>

#include "machine_loader.h"
#include "vm.h"

namespace korva::sim::entry {

template <class F>
decltype(auto) with_machine(F&& f)
{
    ksim_enter();
    return korva::sim::with_machine(std::forward<F>(f));
}

} // namespace korva::sim::entry

#endif
