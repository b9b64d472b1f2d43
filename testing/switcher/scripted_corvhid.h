// Stand-in for the whole library, for the switcher's core: the exports the
// switcher calls, answering from a script and recording every call, because
// the core's sequences need exact answers at exact polls.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#if defined(_WIN32)
#define SCRIPTED_API __declspec(dllexport)
#else
#define SCRIPTED_API __attribute__((visibility("default")))
#endif

struct ScriptedCorvhid {
    using Record = std::array<std::uint8_t, 4>; // in operation order: channel 1 first

    bool unitPresent = true;                 // FindFirstCorvil finds a unit
    bool answering = true;                   // ReadCorvilAllSettings answers
    std::deque<std::pair<int, Record>> next; // answers to give first: report id 3 or 4, and the record
    Record settings{};                       // the unit's standing state, reported alternately
    Record autoSequencing{};
    bool applyWrites = false;                // routing and pad writes change the standing state
    std::string serial = "SCR01";
    bool serialAnswers = true;

    std::vector<std::string> calls; // discovery, cleanup and writes, with their bytes
    int reads = 0;
    int serialReads = 0;
    std::string lastError;
    bool reportSettingsNext = true;

    std::vector<std::string> writes() const {
        std::vector<std::string> w;
        for (const auto &c : calls)
            if (c.rfind("Write", 0) == 0) w.push_back(c);
        return w;
    }
};

extern "C" SCRIPTED_API ScriptedCorvhid *scripted_corvhid();
