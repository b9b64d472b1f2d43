// The emulator's command language on standard input: one command a line,
// one answer a line, starting with "ok" or "error: ".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unit_model.h"

namespace corvil::emulator {

class Bench {
public:
    std::vector<std::unique_ptr<UnitModel>> units;
    std::vector<bool> plugged;
    // Called when a unit is to disappear from / reappear to discovery.
    std::function<void(std::size_t unit, bool plug)> onPlug;
    // How many host connections a unit has open now.
    std::function<std::size_t(std::size_t unit)> connectionCount;

    // Runs one command line; sets `quit` for "quit".
    std::string execute(const std::string &line, std::int64_t nowMs, bool &quit);
};

// The commands, one a line with what each does, as --help shows them.
std::string commandList();

// Parses a whole token as an unsigned number, decimal or 0x-prefixed hex.
bool parseNumber(const std::string &token, unsigned long &value);

// The program's command line: one unit per serial number, in order, and the
// settings they share.
struct Options {
    std::vector<std::string> serials;
    UnitConfig shared;
    bool help = false, version = false;
};

// Reads the arguments after the program name into `options`; empty when they
// are good, otherwise what is wrong with them.
std::string parseOptions(const std::vector<std::string> &args, Options &options);

} // namespace corvil::emulator
