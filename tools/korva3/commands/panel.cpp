// panel.cpp - `korva3 panel [--machine FILE.toml] [--panel=PORT]`: the virtual machine
// with its front panel and no job, until Ctrl-C or SIGTERM. The operator jogs and homes
// its axes on the page; this thread, which owns the cards, runs what is pressed.
#include <algorithm>
#include <cmath>
#include <iostream>

#include "cli/options.h"
#include "cli/usage.h"
#include "commands/commands.h"
#include "gcode/settings.h"
#include "korva3.h"
#include "machine/machine.h"
#include "run/interrupt.h"
#include "run/jog_station.h"
#include "run/panel_operator.h"
#include "machine/control_link.h"
#include "control/controller.h"
#include "gcode/gcode_panel.h"

namespace korva3_tool::commands {

namespace {

// Pulses per ms for mm/min at `scale` pulses per mm, within the card's 1..2040.
uint32_t pulses_per_ms(double mm_per_min, double scale)
{
    return static_cast<uint32_t>(std::clamp(std::lround(mm_per_min * scale / 60000.0), 1L, 2040L));
}

// The jog from the machine's settings: each axis at its max_velocity, homing at half the
// slowest of them, the card's ramps as the file gives them.
JogSettings jog_settings(const korva3_gcode::Settings &s, bool in_mm)
{
    JogSettings j;
    for (int a = 0; a < 3; a++) {
        j.scale[a] = in_mm ? s.scale[a] : 0;
        j.speed[a] = pulses_per_ms(s.max_velocity[a], s.scale[a]);
    }
    j.accel = s.accel;
    j.start_speed = s.start_speed;
    j.card_var = s.card_var;
    j.home_speed = std::max(*std::min_element(j.speed.begin(), j.speed.end()) / 2, s.start_speed);
    return j;
}

} // namespace

int panel(int argc, char **argv)
{
    std::string machine_file, programs;
    Accepts accepts;
    accepts.shared = kMachine | kPanel;
    accepts.own = {{"--machine", "a value", [&](const char *v) {
                        machine_file = v;
                        return "";
                    }},
                   {"--programs", "a folder", [&](const char *v) {
                        programs = v;
                        return "";
                    }}};
    CommandLine cl;
    std::string problem = parse_command_line(argc, argv, accepts, cl);
    if (!problem.empty())
        return usage_error(problem, kPanelUsage);
    if (!kHasPanel) {
        std::cerr << "korva3: this korva3 has no panel (built without one, or for real cards)\n";
        return EXIT_USAGE;
    }
    if (!machine::is_virtual()) {
        std::cerr << "korva3: the panel runs on the virtual card only; this korva3 drives "
                     "real cards\n";
        return EXIT_USAGE;
    }
    korva3_gcode::Settings settings;
    std::string error;
    if (!machine_file.empty() && !korva3_gcode::read_machine_file(machine_file, settings, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    if (cl.setup.slice_us < 0)
        cl.setup.slice_us = settings.slice_us;

    interrupt::install(); // before any thread starts: Ctrl-C stops the cards
    if (!machine::setup(cl.setup, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    // Card 0 is the controller's; further cards are jogged and homed by the jog station.
    ControlLink link;
    korva3_control::ControlOptions o;
    o.settings = settings;
    o.id_switch = cl.setup.cards.front().id_switch;
    PanelOperator operator_desk(settings, !machine_file.empty());
    JogStation station(jog_settings(settings, !machine_file.empty()));
    korva3_control::ControlHooks hooks;
    korva3_control::Controller *controller = nullptr;
    // The controller's own controls on the page: DRO, MDI, jogs held down, touch-off, a
    // program from the folder, cycle start, hold, stop, run from a line.
    GcodePanel shop(nullptr, settings, "", true, programs);
    hooks.poll = [&] {
        if (interrupt::exiting()) // Ctrl-C: the handler stops the cards and exits with 130
            interrupt::wait_for_exit();
        if (!controller)
            return;
        operator_desk.follow(*controller);
        shop.follow(*controller);
        station.follow_all();
        machine::PanelRequest request;
        while (machine::take_panel_request(request)) {
            if (request.index == 0)
                operator_desk.take(*controller, request);
            else
                station.take(request);
        }
    };
    korva3_control::Controller control(link, o, hooks);
    if (!control.open(error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_JOB_FAILED;
    }
    interrupt::track_card(0);
    for (std::size_t i = 1; i < cl.setup.cards.size(); i++) {
        const uint32_t card = static_cast<uint32_t>(i);
        if (KORVA3_REGISTRATION(card, cl.setup.cards[i].id_switch) != 1) {
            std::cerr << "korva3: card " << card << " (ID switch " << cl.setup.cards[i].id_switch
                      << ") did not register\n";
            return EXIT_JOB_FAILED;
        }
        interrupt::track_card(card);
    }
    std::string url;
    if (!machine::start_panel(cl.panel_port, url, error)) {
        std::cerr << "korva3: " << error << "\n";
        return EXIT_USAGE;
    }
    const JogSettings jog = jog_settings(settings, !machine_file.empty());
    for (int i = 0; i < machine::card_count(); i++)
        machine::set_panel_scale(i, jog.scale);
    machine::offer_jog(true);
    shop.describe({0, 0, 0});
    std::cout << "panel: " << url << "\n"
              << "korva3: " << machine::card_count() << " idle virtual card"
              << (machine::card_count() > 1 ? "s" : "") << ", positions in "
              << (machine_file.empty() ? "pulses" : "mm (" + machine_file + ")")
              << "; jog and home on the panel; Ctrl-C ends" << std::endl;
    controller = &control;
    control.serve(); // until Ctrl-C or SIGTERM ends the process
    return EXIT_OK;
}

} // namespace korva3_tool::commands
