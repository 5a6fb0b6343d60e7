// gcode.cpp - `korva3 gcode FILE.ngc`: its options read, the program read and checked
// whole (gcode/gcode_input), then reported (--check, gcode/gcode_check) or run on card
// number 0 of the machine through the run driver (gcode/gcode_work), as jobs are.
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "cli/options.h"
#include "cli/usage.h"
#include "control/program_check.h"
#include "control/session_state.h"
#include "commands/commands.h"
#include "gcode/gcode_check.h"
#include "gcode/gcode_moves.h"
#include "gcode/gcode_input.h"
#include "gcode/gcode_panel.h"
#include "gcode/gcode_plot_track.h"
#include "gcode/gcode_work.h"
#include "gcode/path_moves.h"
#include "gcode/program.h"
#include "gcode/settings.h"
#include "machine/machine.h"
#include "run/driver.h"

namespace korva3_tool::commands {

using namespace korva3_gcode;

int gcode(int argc, char **argv)
{
    std::string machine_file, scale;
    bool check = false, json = false, moves = false, start_at_once = false;
    ReadOptions read_options;
    Accepts accepts;
    auto flag = [](bool &to, bool value) {
        return [&to, value](const char *) { to = value; return ""; };
    };
    accepts.shared = kOutputFiles | kQuiet | kLimit | kMachine | kPanel;
    accepts.operand_question = "which program?";
    accepts.own = {
        {"--scale", "a value", [&](const char *v) { scale = v; return ""; }},
        {"--machine", "a value", [&](const char *v) { machine_file = v; return ""; }},
        {"--check", nullptr, [&](const char *) { check = true; return ""; }},
        {"--json", nullptr, flag(json, true)},
        {"--moves", nullptr, flag(moves, true)},
        {"--start", nullptr, flag(start_at_once, true)},
        {"--skip-optional-stops", nullptr, flag(read_options.skip_optional_stops, true)},
        {"--read-deleted-lines", nullptr, flag(read_options.block_delete, false)},
        whole_number_option("--max-errors", 1, 1000000, read_options.max_errors),
        whole_number_option("--max-iterations", 1, 1000000000, read_options.max_iterations),
        whole_number_option("--max-call-depth", 1, 100000, read_options.max_call_depth),
        whole_number_option("--max-expression-steps", 1, INT64_MAX,
                            read_options.max_expression_steps),
        whole_number_option("--max-moves", 1, INT64_MAX, read_options.max_moves),
    };
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (!problem.empty())
        return usage_error(problem, kGcodeUsage);

    Settings settings;
    std::string error;
    if (!machine_file.empty() && !read_machine_file(machine_file, settings, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (!scale.empty() && !parse_scale(scale, settings, error))
        return usage_error(error, kGcodeUsage);
    if (cl.setup.slice_us > 0)
        settings.slice_us = static_cast<uint32_t>(cl.setup.slice_us);
    else if (cl.setup.slice_us < 0 && machine::is_virtual())
        cl.setup.slice_us = settings.slice_us; // the virtual card runs the machine's period

    if (json && !check)
        return usage_error("--json goes with --check", kGcodeUsage);
    if (moves && (!check || json))
        return usage_error("--moves goes with --check (without --json)", kGcodeUsage);
    if (start_at_once && !cl.panel)
        return usage_error("--start goes with --panel (without it a program starts at once)",
                           kGcodeUsage);
    std::string file, name;
    if (!program_file(cl.operand, file, name))
        return EXIT_USAGE;
    const korva3_control::SessionState fresh = korva3_control::SessionState::fresh(settings);
    auto checked = std::make_shared<korva3_control::ProgramCheck>(korva3_control::check_program(
        file, name, settings, fresh.reader, fresh.parameters, read_options));
    if (!checked->accepted) {
        report_refused(*checked, json);
        return EXIT_USAGE;
    }
    if (moves) // the listing, read again from the same start
        return list_moves(file, name, settings, fresh.reader, fresh.parameters, read_options,
                          std::cout)
                   ? EXIT_OK
                   : EXIT_USAGE;
    if (check) {
        if (json)
            report_check_json(*checked, settings, std::cout);
        else
            report_check(*checked, settings, std::cout);
        return EXIT_OK;
    }

    GcodeRun run;
    run.path = file;
    run.check = checked;
    run.settings = settings;
    run.read = read_options;
    run.id_switch = cl.setup.cards.front().id_switch;
    run.quiet = cl.output == Output::Quiet;
    run.start_at_once = !cl.panel || start_at_once;
    DriveSetup setup;
    setup.name = name;
    setup.plot_path = cl.plot_path;
    setup.csv_path = cl.csv_path;
    if (!cl.plot_path.empty())
        setup.gcode = run.track = gcode_track(*checked, settings);
    setup.machine = cl.setup;
    setup.session.limit_ms =
        cl.limit_ms ? cl.limit_ms
                    : static_cast<uint32_t>(std::fmin(UINT32_MAX / 2,
                                                      std::fmax(600000, 2 * checked->planned_ms + 60000)));
    setup.session.settle_ms = setup.session.limit_ms; // the limit ends the wait
    setup.panel = cl.panel;
    setup.panel_port = cl.panel_port;
    setup.panel_keep = cl.panel_keep;
    // The controller takes the panel's emergency stop (spindle and coolant off), the run
    // ends with exit code 3 and, with --panel-keep, the page stays showing it.
    setup.panel_estop_exits = false;
    std::unique_ptr<GcodePanel> panel;
    if (cl.panel)
        panel = std::make_unique<GcodePanel>(checked, settings, file, !run.start_at_once);
    GcodeWork work(run, panel.get());
    return drive(setup, work);
}

} // namespace korva3_tool::commands
