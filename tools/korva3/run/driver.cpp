// driver.cpp - the run driver every command that moves the machine goes through.
#include "run/driver.h"

#include <iostream>

#include "run/exit_codes.h"
#include "run/interrupt.h"
#include "run/outputs.h"

namespace korva3_tool {

namespace {

// The page stays up for the operator to read what happened; Ctrl-C ends the tool with
// the job's own exit code. The virtual clock goes on, so the page still answers.
[[noreturn]] void keep_panel(int code)
{
    interrupt::job_ended(code);
    std::cout << "panel: kept open after the end (exit code " << code
              << "); Ctrl-C closes it" << std::endl;
    for (;;)
        machine::sleep_ms(100);
}

} // namespace

int run_work(Session &session, Work &work)
{
    int code = work.run(session);
    if (interrupt::exiting()) // Ctrl-C stopped the cards under the work: exit code 130
        interrupt::wait_for_exit();
    Settled settled = session.settle();
    session.end();
    return work.finish(session, settled, code);
}

int drive(const DriveSetup &setup, Work &work)
{
    for (const std::string *path : {&setup.plot_path, &setup.csv_path})
        if (!path->empty() && !machine::is_virtual()) {
            std::cerr << "korva3: " << (path == &setup.plot_path ? "--plot" : "--csv")
                      << " needs the virtual card (only it reports the path)\n";
            return EXIT_USAGE;
        }
    Outputs outputs(setup.plot_path, setup.csv_path);
    if (!outputs.open())
        return EXIT_USAGE;
    // Before any thread starts (the panel's, the watchdog's): they all leave Ctrl-C and
    // SIGTERM to the handler, which stops the cards.
    interrupt::install();
    std::string error;
    if (!machine::setup(setup.machine, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (setup.panel) {
        std::string url;
        if (!machine::start_panel(setup.panel_port, url, error)) {
            std::cerr << "korva3: " << error << "\n";
            return EXIT_USAGE;
        }
        // Its emergency stop ends the job at once, as Ctrl-C does (EXIT_EMERGENCY),
        // unless the work takes it itself; kept, the tool goes on to show how it ended.
        if (setup.panel_estop_exits)
            interrupt::watch_panel_estop(&machine::panel_estop, setup.panel_keep);
        std::cout << "panel: " << url << std::endl;
        std::cout << std::unitbuf; // each step's line as it happens, for the person watching
    }
    Recording recording;
    recording.gcode = setup.gcode;
    SessionOptions options = setup.session;
    options.csv = outputs.csv();
    int code;
    {
        Session session(setup.name, options, recording);
        code = run_work(session, work);
    }
    if (!outputs.close(recording))
        code = EXIT_JOB_FAILED;
    if (setup.panel && setup.panel_keep)
        keep_panel(code);
    if (setup.panel)
        machine::stop_panel();
    return code;
}

} // namespace korva3_tool
