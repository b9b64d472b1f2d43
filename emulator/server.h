// Serves a bench of virtual units at the user's rendezvous until "quit", end
// of input or a termination signal. The serving loop is shared; each
// operating system gives the endpoints that carry the units' connections
// and standard input.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "commands.h"
#include "session.h"

namespace corvil::emulator {

// One operating system's side of the server.
class Endpoints {
public:
    virtual ~Endpoints() = default;
    // Makes ready what every unit needs (the rendezvous); false, with the
    // reason printed, when it cannot be.
    virtual bool open() = 0;
    // Announces unit u and takes its connections; false, with the reason
    // printed, when it cannot. Withdrawing closes its connections.
    virtual bool plug(std::size_t u) = 0;
    virtual void unplug(std::size_t u) = 0;
    virtual std::size_t connections(std::size_t u) const = 0;
    // A report unit u sent, to each of its connections.
    virtual void broadcast(std::size_t u, const UnitModel::Report &report) = 0;
    // Waits at most waitMs for something to do, then serves what came on the
    // connections first (a command that follows a host's transfer must see
    // its effect) and gives the lines that came on standard input; `ended`
    // once it is over. False when waiting failed for good.
    virtual bool pass(int waitMs, std::vector<std::string> &lines, bool &ended) = 0;
    // A termination was asked for.
    virtual bool stopRequested() const = 0;
};

// The host connections of every unit, whatever carries them: each has its
// unit, its session and whether it is to go.
template <typename Connection> struct Connections : std::list<Connection> {
    std::size_t of(std::size_t u) const {
        std::size_t n = 0;
        for (const Connection &c : *this) n += c.unit == u && !c.dead ? 1 : 0;
        return n;
    }
    void broadcast(std::size_t u, const UnitModel::Report &report) {
        for (Connection &c : *this)
            if (c.unit == u && !c.dead && !c.session.onReport(report)) c.dead = true;
    }
};

// Runs the bench over `endpoints`; returns the process exit code.
int serve(Bench &bench, Endpoints &endpoints);

// This operating system's serving, with its signals set up.
int serve(Bench &bench);

} // namespace corvil::emulator
