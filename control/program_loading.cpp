// program_loading.cpp - a program loaded: checked on a worker thread (the controller
// goes on taking requests meanwhile), then handed to the owner's thread.
#include "control/controller_impl.h"
#include "control/figures_text.h"

namespace korva3_control {

namespace {

std::string base_name(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Reply Controller::Impl::start_load(const std::string &path)
{
    if (checking.load())
        return {false, "refused: a program is being checked"};
    if (state != State::Idle && state != State::Stopped && state != State::EStop)
        return {false, "refused: loading a program while the machine moves"};
    if (path.empty())
        return {false, "refused: which program?"};
    if (checker.joinable())
        checker.join();
    read_machine();
    program_path = path;
    checking.store(true);
    stopped_line = 0;
    const korva3_gcode::State start = session.reader;
    const korva3_gcode::Parameters parameters = session.parameters;
    auto work = [this, path, start, parameters] {
        auto result = std::make_shared<ProgramCheck>(
            check_program(path, path, opt.settings, start, parameters, opt.read));
        std::lock_guard<std::mutex> lock(checked_mutex);
        checked = std::move(result);
    };
    if (std::this_thread::get_id() == owner.load() && !serving.load()) { // a batch run: at once
        work();
        check_done();
        return check->accepted ? Reply{true, message_} : Reply{false, error_};
    }
    checker = std::thread(work);
    say("checking " + base_name(path));
    return {true, message_};
}

void Controller::Impl::check_done()
{
    std::shared_ptr<ProgramCheck> done;
    {
        std::lock_guard<std::mutex> lock(checked_mutex);
        done.swap(checked);
    }
    if (!done)
        return;
    if (checker.joinable() && checker.get_id() != std::this_thread::get_id())
        checker.join();
    {
        std::lock_guard<std::mutex> lock(snap_mutex);
        check = done;
    }
    checking.store(false);
    if (done->accepted)
        say("loaded " + done->name + ": " + std::to_string(done->lines) + " lines, planned " +
            duration_text(done->planned_ms));
    else
        fail(done->name + ": " + std::to_string(done->errors.size()) +
             (done->errors.size() == 1 ? " error" : " errors") + ", nothing of it runs" +
             (done->errors.empty() ? "" : ": " + done->errors.front()));
}

} // namespace korva3_control
