#include "script.h"

#include <fstream>
#include <iostream>
#include <thread>

#include "main_window.h"
#include "words.h"

namespace fathom_host {

using corvil::plugin::kEqOk;

const char kScriptCommands[] =
    "  create                      create the plug-in object through COM, SetHost, LoadSettings\n"
    "  release                     SaveSettings, then release the object\n"
    "  load [ROOT [SECTION]]       LoadSettings (default: the host's key path)\n"
    "  save [ROOT [SECTION]]       SaveSettings\n"
    "  plugin                      type code, names, counts, default address, routing names\n"
    "  enumerate                   EnumerateUnits\n"
    "  units                       the host's units: id, name, address\n"
    "  add [NAME]                  a new unit with the plug-in's default address\n"
    "  remove UNIT                 forget a unit (its window closed first)\n"
    "  configure UNIT [name=TEXT] [serial=TEXT] [cancel] [shot=FILE]\n"
    "                              ConfigureUnit, its dialog answered: the name typed, the serial\n"
    "                              chosen by exact text, then OK (or Cancel); OK refused: Cancel\n"
    "  routing UNIT                GetRouting: in1= level1= in2= level2=\n"
    "  set-routing UNIT IN1 LEVEL1 IN2 LEVEL2\n"
    "                              SetRouting; IN 0..8, LEVEL a number or a level name (Mic, Line)\n"
    "  open|update|close UNIT      OpenUnitWindow, UpdateUnitWindow, CloseUnitWindow\n"
    "  info UNIT                   GetUnitWindowInfo\n"
    "  windows                     the unit windows on the screen (owned by the host window)\n"
    "  show UNIT                   the unit window's radio buttons, level lists, rectangle, scrolling\n"
    "  click UNIT OUT IN           click the radio button of input choice IN (0..8) of output OUT (1, 2)\n"
    "  level UNIT OUT TEXT         choose TEXT in output OUT's level list\n"
    "  key UNIT enter|escape       press the key in the unit window\n"
    "  menu UNIT configure [name=TEXT] [serial=TEXT] [cancel] [shot=FILE] | about [shot=FILE] | maximize | close\n"
    "                              choose from the unit window's system menu\n"
    "  move UNIT X Y W H           move and size the unit window (screen coordinates)\n"
    "  scroll UNIT h|v N           N clicks on a scroll bar arrow (negative: back)\n"
    "  tick MS                     call Tick(MS) once\n"
    "  wait MS                     let the Tick timer run for MS milliseconds, dispatching messages\n"
    "  shot host|UNIT FILE         save the host window or a unit window as a BMP file\n"
    "  quit                        close the unit windows, SaveSettings, release, and end\n"
    "UNIT is a unit's id or its name. Results: one line each, \"ok ...\" or \"error: ...\"; a slot's\n"
    "return value is result=N. What the plug-in asks the host to show is a line \"message: TEXT\".\n"
    "Blank lines and lines starting with # are skipped.\n";

namespace {

constexpr UINT kSysConfigure = 1375, kSysAbout = 1374;

std::string joinQuoted(const std::vector<std::string> &texts) {
    std::string out;
    for (const std::string &t : texts) out += (out.empty() ? "" : ",") + quoted(t);
    return out.empty() ? "-" : out;
}

std::string rectText(const RECT &r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

struct UnitWindowSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK collectOwned(HWND w, LPARAM context) {
    auto &search = *reinterpret_cast<UnitWindowSearch *>(context);
    if (::GetWindow(w, GW_OWNER) == search.owner && ::GetDlgItem(w, 1311)) search.found.push_back(w);
    return TRUE;
}

// The answers for a configuration dialog: name=TEXT (name= empties the
// name box), serial=TEXT, cancel.
bool parsePlan(const std::vector<std::string> &words, std::size_t from, DialogPlan &plan, std::string &error) {
    for (std::size_t i = from; i < words.size(); ++i) {
        if (auto name = keyValue(words[i], "name")) plan.name = *name;
        else if (auto serial = keyValue(words[i], "serial")) plan.serial = *serial;
        else if (auto shot = keyValue(words[i], "shot")) plan.shot = *shot;
        else if (words[i] == "cancel") plan.cancel = true;
        else {
            error = "error: unknown option " + quoted(words[i]);
            return false;
        }
    }
    return true;
}

} // namespace

LineQueue::LineQueue() : event_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

LineQueue::~LineQueue() { ::CloseHandle(event_); }

bool LineQueue::start(const std::string &source, std::string &error) {
    std::istream *in = &std::cin;
    if (source != "-") {
        auto *file = new std::ifstream(source, std::ios::binary);
        if (!*file) {
            delete file;
            error = "cannot read " + source;
            return false;
        }
        in = file;
    }
    // The reader may stay blocked on standard input when the script ends by
    // "quit"; it is left to the end of the process.
    std::thread([this, in] {
        std::string line;
        while (std::getline(*in, line)) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
            ::SetEvent(event_);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        ::SetEvent(event_);
    }).detach();
    return true;
}

std::optional<std::string> LineQueue::pop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.empty()) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

bool LineQueue::ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_ && lines_.empty();
}

void ScriptSession::emit(const std::string &line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

int ScriptSession::showMessage(const std::string &text, std::uint32_t) {
    emit("message: " + text);
    return IDOK;
}

void ScriptSession::requestConfigure(std::int32_t unitId) {
    // Asked for from a unit window: the dialog is answered with the plan the
    // script gave with its menu choice; without one it is cancelled.
    const DialogPlan plan = requestPlan_ ? *requestPlan_ : DialogPlan{DialogPlan::Kind::Configuration, {}, {}, true, {}};
    requestPlan_.reset();
    requestOutcome_ = configure(unitId, plan);
    window_->refresh();
}

int ScriptSession::run(LineQueue &lines) {
    HANDLE event = lines.event();
    for (;;) {
        if (!dispatchMessages()) break;
        if (auto line = lines.pop()) {
            const std::string result = execute(*line);
            if (!result.empty()) emit(result);
            continue;
        }
        if (lines.ended()) break;
        ::MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT);
    }
    window_->close();
    return failed_ ? 1 : 0;
}

std::string ScriptSession::execute(const std::string &line) {
    std::vector<std::string> words;
    std::string error;
    if (!splitWords(line, words, error)) {
        failed_ = true;
        return "error: " + error;
    }
    if (words.empty() || words[0][0] == '#') return {};
    std::string result = command(words);
    if (result.rfind("error:", 0) == 0) failed_ = true;
    window_->refresh();
    return result;
}

std::optional<std::int32_t> ScriptSession::unit(const std::string &word, std::string &error) {
    if (const auto id = parseNumber(word, INT32_MIN, INT32_MAX); id && host_->units().find(static_cast<std::int32_t>(*id)))
        return static_cast<std::int32_t>(*id);
    if (const Unit *u = host_->units().findByName(word)) return u->id;
    error = "error: no unit " + quoted(word);
    return std::nullopt;
}

HWND ScriptSession::unitWindow(std::int32_t id, std::string &error) {
    const std::string name = host_->units().find(id)->name;
    HWND w = findUnitWindow(window_->hwnd(), name);
    if (!w) error = "error: no unit window titled " + quoted(name);
    return w;
}

std::string ScriptSession::configure(std::int32_t id, const DialogPlan &plan) {
    DialogDriver driver(plan, host_->messagesShown());
    const ConfigureOutcome outcome = host_->configure(id, window_->hwnd());
    const DialogReport &report = driver.report();
    std::string line = "ok result=" + std::to_string(outcome.result) + " name=" + quoted(outcome.name) +
                       " address=" + quoted(outcome.address);
    if (!report.seen) return line + " dialog=none";
    line += " title=" + quoted(report.title) + " proposed=" + quoted(report.proposed) +
            " selected=" + quoted(report.selected) + " offered=" + joinQuoted(report.offered);
    if (report.serialNotOffered) line += " serial-not-offered";
    if (report.refused) line += " refused";
    if (report.gaveUp) line += " gave-up";
    if (report.shotFailed) line += " shot-failed";
    return line;
}

std::string ScriptSession::waitFor(int ms) {
    const int ticksBefore = window_->ticks();
    const long long reportedBefore = window_->reportedMs();
    window_->setTicking(true);
    const ULONGLONG until = ::GetTickCount64() + static_cast<ULONGLONG>(ms);
    bool quit = false;
    for (ULONGLONG now = ::GetTickCount64(); now < until; now = ::GetTickCount64()) {
        if (!dispatchMessages()) {
            quit = true;
            break;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    }
    window_->setTicking(false);
    return "ok ticks=" + std::to_string(window_->ticks() - ticksBefore) +
           " reported=" + std::to_string(window_->reportedMs() - reportedBefore) + (quit ? " quit" : "");
}

namespace {
std::string usage(const char *form) { return std::string("error: usage: ") + form; }
} // namespace

// ---- the commands, one function each; command() finds them in its table ----

std::string ScriptSession::quit(Call &c) {
    if (c.n != 1) return usage("quit");
    emit("ok");
    window_->close();
    return {};
}

std::string ScriptSession::create(Call &c) {
    if (c.n != 1) return usage("create");
    if (host_->created()) return "error: the object exists already";
    std::string error;
    return host_->create(error) ? "ok" : "error: " + error;
}

std::string ScriptSession::units(Call &c) {
    if (c.n != 1) return usage("units");
    std::string line = "ok count=" + std::to_string(host_->units().units().size());
    for (const Unit &u : host_->units().units())
        line += " " + std::to_string(u.id) + ":" + quoted(u.name) + "," + quoted(u.address);
    return line;
}

std::string ScriptSession::release(Call &c) {
    if (c.n != 1) return usage("release");
    host_->release();
    return "ok";
}

std::string ScriptSession::loadOrSave(Call &c) {
    if (c.n > 3) return usage("load|save [ROOT [SECTION]]");
    const std::string root = c.n > 1 ? c.w[1] : host_->keyPath().root;
    const std::string section = c.n > 2 ? c.w[2] : host_->keyPath().section;
    const EqResult result =
        c.w[0] == "load" ? host_->loadSettings(root, section) : host_->saveSettings(root, section);
    return "ok result=" + std::to_string(result) + " root=" + quoted(root) + " section=" + quoted(section);
}

std::string ScriptSession::plugin(Call &c) {
    if (c.n != 1) return usage("plugin");
    std::int32_t type = 0;
    host_->device()->vtbl->GetTypeCode(host_->device(), &type);
    std::vector<std::string> outputs, inputs, levels;
    std::string levelCounts;
    for (std::int32_t o = 0; o < host_->outputCount(); ++o) outputs.push_back(host_->outputName(o));
    for (std::int32_t k = 0; k < host_->inputCount(); ++k) {
        inputs.push_back(host_->inputName(k));
        levelCounts += (k ? "," : "") + std::to_string(host_->levelCount(k));
    }
    for (std::int32_t v = 0; v < 2; ++v) levels.push_back(host_->levelName(v));
    return "ok type=" + std::to_string(type) + " short=" + quoted(host_->shortName()) +
           " long=" + quoted(host_->longName()) + " default=" + quoted(host_->defaultAddress()) +
           " outputs=" + joinQuoted(outputs) + " inputs=" + joinQuoted(inputs) + " levels=" + joinQuoted(levels) +
           " level-counts=" + levelCounts;
}

std::string ScriptSession::enumerate(Call &c) {
    if (c.n != 1) return usage("enumerate");
    return "ok result=" + std::to_string(host_->enumerate());
}

std::string ScriptSession::add(Call &c) {
    if (c.n > 2) return usage("add [NAME]");
    std::int32_t id = 0;
    std::string error;
    if (!host_->addUnit(c.n > 1 ? c.w[1] : "", id, error)) return "error: " + error;
    const Unit &u = *host_->units().find(id);
    return "ok id=" + std::to_string(id) + " name=" + quoted(u.name) + " address=" + quoted(u.address);
}

std::string ScriptSession::tick(Call &c) {
    const auto ms = c.n == 2 ? parseNumber(c.w[1], -32768, 32767) : std::nullopt;
    if (!ms) return usage("tick MS (-32768..32767)");
    return "ok result=" + std::to_string(host_->tick(static_cast<std::int16_t>(*ms)));
}

std::string ScriptSession::wait(Call &c) {
    const auto ms = c.n == 2 ? parseNumber(c.w[1], 0, 3600000) : std::nullopt;
    if (!ms) return usage("wait MS");
    return waitFor(static_cast<int>(*ms));
}

std::string ScriptSession::windows(Call &c) {
    if (c.n != 1) return usage("windows");
    UnitWindowSearch search{window_->hwnd(), {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), collectOwned, reinterpret_cast<LPARAM>(&search));
    std::string line = "ok count=" + std::to_string(search.found.size());
    for (HWND h : search.found) {
        const UnitWindowState s = readUnitWindow(h);
        line += " " + quoted(s.title) + (s.visible ? ":shown" : ":hidden");
    }
    return line;
}

// "shot host FILE" or "shot UNIT FILE".
std::string ScriptSession::shot(Call &c) {
    if (c.n != 3) return usage("shot host|UNIT FILE");
    std::string error;
    HWND target = window_->hwnd();
    if (c.w[1] != "host") {
        const auto id = unit(c.w[1], error);
        if (!id) return error;
        if (!(target = unitWindow(*id, error))) return error;
    }
    if (!saveScreenshot(target, c.w[2], error)) return "error: " + error;
    return "ok file=" + quoted(c.w[2]);
}

std::string ScriptSession::remove(Call &c) {
    if (c.n != 2) return usage("remove UNIT");
    std::string error;
    return host_->removeUnit(c.unit, error) ? "ok" : "error: " + error;
}

std::string ScriptSession::configureUnit(Call &c) {
    DialogPlan plan;
    std::string error;
    return parsePlan(c.w, 2, plan, error) ? configure(c.unit, plan) : error;
}

std::string ScriptSession::routing(Call &c) {
    if (c.n != 2) return usage("routing UNIT");
    Routing r;
    const EqResult result = host_->getRouting(c.unit, r);
    std::string line = "ok result=" + std::to_string(result);
    if (result != kEqOk) return line;
    for (int o = 0; o < 2; ++o) {
        const std::string k = std::to_string(o + 1);
        line += " in" + k + "=" + std::to_string(r.inputs[o]) + " level" + k + "=" + std::to_string(r.levels[o]);
    }
    for (int o = 0; o < 2; ++o) {
        std::string said = host_->outputName(o) + ": " + host_->inputName(r.inputs[o]);
        if (host_->levelCount(r.inputs[o]) > 0) said += " " + host_->levelName(r.levels[o]);
        line += " out" + std::to_string(o + 1) + "=" + quoted(said);
    }
    return line;
}

std::string ScriptSession::setRouting(Call &c) {
    if (c.n != 6) return usage("set-routing UNIT IN1 LEVEL1 IN2 LEVEL2");
    Routing r;
    for (int o = 0; o < 2; ++o) {
        const auto input = parseNumber(c.w[2 + 2 * o], INT32_MIN, INT32_MAX);
        if (!input) return "error: not an input choice: " + quoted(c.w[2 + 2 * o]);
        r.inputs[o] = static_cast<std::int32_t>(*input);
        const std::string &level = c.w[3 + 2 * o];
        if (const auto v = parseNumber(level, INT32_MIN, INT32_MAX)) {
            r.levels[o] = static_cast<std::int32_t>(*v);
        } else if (level == host_->levelName(0) || level == host_->levelName(1)) {
            r.levels[o] = level == host_->levelName(0) ? 0 : 1;
        } else {
            return "error: not a level: " + quoted(level);
        }
    }
    return "ok result=" + std::to_string(host_->setRouting(c.unit, r));
}

// open, update, close.
std::string ScriptSession::windowSlot(Call &c) {
    if (c.n != 2) return usage("open|update|close UNIT");
    const std::string &verb = c.w[0];
    const EqResult result = verb == "open"     ? host_->openWindow(c.unit, window_->hwnd())
                            : verb == "update" ? host_->updateWindow(c.unit)
                                               : host_->closeWindow(c.unit);
    return "ok result=" + std::to_string(result);
}

std::string ScriptSession::info(Call &c) {
    if (c.n != 2) return usage("info UNIT");
    std::string address, name;
    const EqResult result = host_->windowInfo(c.unit, address, name);
    std::string line = "ok result=" + std::to_string(result);
    if (result == kEqOk) line += " address=" + quoted(address) + " name=" + quoted(name);
    return line;
}

// ---- the unit window as the user sees it ----

std::string ScriptSession::show(Call &c) {
    if (c.n != 2) return usage("show UNIT");
    const UnitWindowState s = readUnitWindow(c.window);
    std::string line = std::string("ok visible=") + (s.visible ? "1" : "0") + " title=" + quoted(s.title);
    for (int o = 0; o < 2; ++o) {
        const std::string k = std::to_string(o + 1);
        line += " in" + k + "=" + s.input[o] + " level" + k + "=" + s.level[o] + " enabled" + k + "=" +
                (s.levelEnabled[o] ? "1" : "0");
    }
    return line + " rect=" + rectText(s.rect) + " scroll=" + std::to_string(s.scrollX) + "," +
           std::to_string(s.scrollY);
}

std::string ScriptSession::click(Call &c) {
    const auto output = c.n == 4 ? parseNumber(c.w[2], 1, 2) : std::nullopt;
    const auto input = c.n == 4 ? parseNumber(c.w[3], 0, 8) : std::nullopt;
    if (!output || !input) return usage("click UNIT OUT(1,2) IN(0..8)");
    std::string error;
    return clickInput(c.window, static_cast<int>(*output), static_cast<int>(*input), error) ? "ok" : "error: " + error;
}

std::string ScriptSession::level(Call &c) {
    const auto output = c.n == 4 ? parseNumber(c.w[2], 1, 2) : std::nullopt;
    if (!output) return usage("level UNIT OUT(1,2) TEXT");
    std::string error;
    return chooseLevel(c.window, static_cast<int>(*output), c.w[3], error) ? "ok" : "error: " + error;
}

std::string ScriptSession::key(Call &c) {
    if (c.n != 3 || (c.w[2] != "enter" && c.w[2] != "escape")) return usage("key UNIT enter|escape");
    // Posted as the keyboard would, to the control with the focus, through the host's message loop.
    HWND target = ::GetFocus();
    if (!target || ::GetAncestor(target, GA_ROOT) != c.window) target = c.window;
    const WPARAM key = c.w[2] == "enter" ? VK_RETURN : VK_ESCAPE;
    ::PostMessageA(target, WM_KEYDOWN, key, 1);
    ::PostMessageA(target, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    dispatchMessages();
    return "ok";
}

std::string ScriptSession::menu(Call &c) {
    if (c.n < 3) return usage("menu UNIT configure [...] | about | maximize | close");
    const std::string &item = c.w[2];
    if (item == "configure") return menuConfigure(c);
    if (item == "about") return menuAbout(c);
    if (c.n != 3) return usage("menu UNIT about [shot=FILE] | maximize | close");
    if (item == "maximize" || item == "close") {
        ::SendMessageA(c.window, WM_SYSCOMMAND, item == "maximize" ? SC_MAXIMIZE : SC_CLOSE, 0);
        return "ok";
    }
    return usage("menu UNIT configure [...] | about | maximize | close");
}

// The unit window asks the host to configure its unit; the dialog that
// brings is answered with the plan given here.
std::string ScriptSession::menuConfigure(Call &c) {
    DialogPlan plan;
    std::string error;
    if (!parsePlan(c.w, 3, plan, error)) return error;
    requestPlan_ = plan;
    requestOutcome_.reset();
    ::SendMessageA(c.window, WM_SYSCOMMAND, kSysConfigure, 0);
    requestPlan_.reset();
    if (!requestOutcome_) return "error: the unit window did not ask the host to configure the unit";
    std::string outcome = *requestOutcome_;
    requestOutcome_.reset();
    return outcome;
}

std::string ScriptSession::menuAbout(Call &c) {
    DialogPlan plan{DialogPlan::Kind::About, {}, {}, false, {}};
    for (std::size_t i = 3; i < c.n; ++i) {
        if (auto shot = keyValue(c.w[i], "shot")) plan.shot = *shot;
        else return usage("menu UNIT about [shot=FILE]");
    }
    DialogDriver driver(plan, host_->messagesShown());
    ::SendMessageA(c.window, WM_SYSCOMMAND, kSysAbout, 0);
    const DialogReport &report = driver.report();
    if (!report.seen) return "error: no About dialog came";
    if (report.shotFailed) return "error: cannot save " + *plan.shot;
    return "ok title=" + quoted(report.title) + " version=" + quoted(report.texts[0]) +
           " product=" + quoted(report.texts[1]);
}

std::string ScriptSession::move(Call &c) {
    std::optional<std::int64_t> v[4];
    for (int i = 0; i < 4; ++i) v[i] = c.n == 6 ? parseNumber(c.w[2 + i], -32768, 32767) : std::nullopt;
    if (!v[0] || !v[1] || !v[2] || !v[3]) return usage("move UNIT X Y W H");
    ::SetWindowPos(c.window, nullptr, static_cast<int>(*v[0]), static_cast<int>(*v[1]), static_cast<int>(*v[2]),
                   static_cast<int>(*v[3]), SWP_NOZORDER | SWP_NOACTIVATE);
    return "ok rect=" + rectText(readUnitWindow(c.window).rect);
}

std::string ScriptSession::scroll(Call &c) {
    const auto lines = c.n == 4 ? parseNumber(c.w[3], -1000, 1000) : std::nullopt;
    if (!lines || (c.w[2] != "h" && c.w[2] != "v")) return usage("scroll UNIT h|v N");
    scrollBy(c.window, c.w[2] == "h", static_cast<int>(*lines));
    const UnitWindowState s = readUnitWindow(c.window);
    return "ok scroll=" + std::to_string(s.scrollX) + "," + std::to_string(s.scrollY);
}

std::string ScriptSession::command(const std::vector<std::string> &w) {
    // What a command needs before it runs: nothing, the plug-in object, a
    // unit (the second word) or that unit's window on the screen.
    enum class Needs { Nothing, Object, Unit, UnitWindow };
    struct Command {
        const char *verb;
        Needs needs;
        std::string (ScriptSession::*run)(Call &);
    };
    static const Command kCommands[] = {
        {"quit", Needs::Nothing, &ScriptSession::quit},
        {"create", Needs::Nothing, &ScriptSession::create},
        {"units", Needs::Nothing, &ScriptSession::units},
        {"release", Needs::Object, &ScriptSession::release},
        {"load", Needs::Object, &ScriptSession::loadOrSave},
        {"save", Needs::Object, &ScriptSession::loadOrSave},
        {"plugin", Needs::Object, &ScriptSession::plugin},
        {"enumerate", Needs::Object, &ScriptSession::enumerate},
        {"add", Needs::Object, &ScriptSession::add},
        {"tick", Needs::Object, &ScriptSession::tick},
        {"wait", Needs::Object, &ScriptSession::wait},
        {"windows", Needs::Object, &ScriptSession::windows},
        {"shot", Needs::Object, &ScriptSession::shot},
        {"remove", Needs::Unit, &ScriptSession::remove},
        {"configure", Needs::Unit, &ScriptSession::configureUnit},
        {"routing", Needs::Unit, &ScriptSession::routing},
        {"set-routing", Needs::Unit, &ScriptSession::setRouting},
        {"open", Needs::Unit, &ScriptSession::windowSlot},
        {"update", Needs::Unit, &ScriptSession::windowSlot},
        {"close", Needs::Unit, &ScriptSession::windowSlot},
        {"info", Needs::Unit, &ScriptSession::info},
        {"show", Needs::UnitWindow, &ScriptSession::show},
        {"click", Needs::UnitWindow, &ScriptSession::click},
        {"level", Needs::UnitWindow, &ScriptSession::level},
        {"key", Needs::UnitWindow, &ScriptSession::key},
        {"menu", Needs::UnitWindow, &ScriptSession::menu},
        {"move", Needs::UnitWindow, &ScriptSession::move},
        {"scroll", Needs::UnitWindow, &ScriptSession::scroll},
    };
    const Command *found = nullptr;
    for (const Command &c : kCommands)
        if (w[0] == c.verb) found = &c;
    if (!found) return "error: unknown command " + quoted(w[0]);
    Call call{w, w.size()};
    if (found->needs != Needs::Nothing && !host_->created()) return "error: no plug-in object (create first)";
    if (found->needs == Needs::Unit || found->needs == Needs::UnitWindow) {
        if (call.n < 2) return "error: missing unit: " + quoted(w[0]);
        std::string error;
        const auto id = unit(w[1], error);
        if (!id) return error;
        call.unit = *id;
        if (found->needs == Needs::UnitWindow && !(call.window = unitWindow(*id, error))) return error;
    }
    return (this->*found->run)(call);
}

} // namespace fathom_host
