// serve.cpp - `korva3 serve --grbl tcp:PORT | pty:PATH [--machine FILE.toml]`: card 0 as
// a grbl 1.1 board for senders (cncjs, bCNC, ...), until Ctrl-C or SIGTERM (an
// emergency stop on every card, exit code 130). This thread owns the card and runs what
// the sender's lines start; the grbl session and its transport run on threads of their
// own (grbl/).
#include <iostream>
#include <memory>
#include <string>

#include "cli/options.h"
#include "cli/usage.h"
#include "commands/commands.h"
#include "gcode/settings.h"
#include "machine/machine.h"
#include "run/interrupt.h"

#if KORVA3_TOOL_GRBL
#include "control/controller.h"
#include "control/line_feed.h"
#include "grbl/grbl_session.h"
#include "grbl/transport.h"
#include "machine/control_link.h"
#endif

namespace korva3_tool::commands {

#if KORVA3_TOOL_GRBL

namespace {

// "tcp:PORT", "tcp:HOST:PORT" or "pty:PATH" into a transport; null with the reason.
std::unique_ptr<korva3_grbl::Transport> transport_for(const std::string &where, std::string &error)
{
    if (where.rfind("pty:", 0) == 0 && where.size() > 4)
        return std::make_unique<korva3_grbl::PtyTransport>(where.substr(4));
    if (where.rfind("tcp:", 0) == 0) {
        std::string rest = where.substr(4), host = "127.0.0.1";
        const auto colon = rest.rfind(':');
        if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            rest = rest.substr(colon + 1);
        }
        int64_t port = 0;
        if (parse_number(rest.c_str(), 0, 65535, port))
            return std::make_unique<korva3_grbl::TcpTransport>(host, static_cast<uint16_t>(port));
    }
    error = "--grbl: tcp:PORT, tcp:HOST:PORT or pty:PATH (not '" + where + "')";
    return nullptr;
}

} // namespace

int serve(int argc, char **argv)
{
    std::string machine_file, where;
    Accepts accepts;
    accepts.shared = kMachine;
    accepts.own = {
        {"--machine", "a value", [&](const char *v) { machine_file = v; return ""; }},
        {"--grbl", "a value", [&](const char *v) { where = v; return ""; }},
    };
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (!problem.empty())
        return usage_error(problem, kServeUsage);
    if (where.empty())
        return usage_error("where do senders connect? --grbl tcp:PORT or --grbl pty:PATH",
                           kServeUsage);
    std::string error;
    std::unique_ptr<korva3_grbl::Transport> transport = transport_for(where, error);
    if (!transport)
        return usage_error(error, kServeUsage);
    korva3_gcode::Settings settings;
    if (!machine_file.empty() && !korva3_gcode::read_machine_file(machine_file, settings, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (cl.setup.slice_us > 0)
        settings.slice_us = static_cast<uint32_t>(cl.setup.slice_us);
    else if (cl.setup.slice_us < 0 && machine::is_virtual())
        cl.setup.slice_us = settings.slice_us; // the virtual card runs the machine's period

    interrupt::install(); // before any thread starts: Ctrl-C stops the cards
    if (!machine::setup(cl.setup, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    machine::real_time(); // a sender watches the machine move

    ControlLink link;
    korva3_control::LineFeed feed;
    korva3_control::ControlOptions o;
    o.settings = settings;
    o.id_switch = cl.setup.cards.front().id_switch;
    o.lines = &feed;
    korva3_control::ControlHooks hooks;
    hooks.poll = [] {
        if (interrupt::exiting()) // Ctrl-C: the handler stops the cards and exits with 130
            interrupt::wait_for_exit();
    };
    korva3_control::Controller control(link, o, hooks);
    if (!control.open(error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_JOB_FAILED;
    }
    interrupt::track_card(0);
    korva3_grbl::GrblSession session(control, feed, settings);
    if (!transport->start(session, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    korva3_grbl::Transport *served = transport.get();
    interrupt::at_exit([served] { served->remove_traces(); }); // Ctrl-C: no stale symlink
    std::cout << "korva3: grbl 1.1 on " << transport->where() << ", card 0 on the "
              << machine::kind() << ", "
              << (machine_file.empty() ? "the default machine" : machine_file)
              << "; Ctrl-C ends" << std::endl;
    control.serve(); // until Ctrl-C or SIGTERM ends the process
    interrupt::at_exit(nullptr);
    transport->stop(); // no sender reaches the session after this
    return EXIT_OK;
}

#else

int serve(int, char **)
{
    std::cerr << "korva3: this korva3 has no grbl server (built without one)\n";
    return EXIT_USAGE;
}

#endif

} // namespace korva3_tool::commands
