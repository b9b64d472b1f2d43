// An emulated unit behind a named pipe, for the pipe stand-ins of the HID and
// device-setup services: the firmware model answers requests and output
// reports on a handle that asks, and pushes its input reports to a handle
// that never asks (the library's input handle). It keeps no clock, so a read
// finds exactly the reports the test sent or an output report caused. The
// pipes hold no buffer, so reports move as a HID driver's transfers do.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "unit_model.h"

namespace corvil::testing {

class PipeUnit {
public:
    using Report = emulator::UnitModel::Report;

    explicit PipeUnit(emulator::UnitConfig config);
    ~PipeUnit();

    const std::string &path() const { return path_; }

    void plug();
    // Unplugged the moment the library has taken `report` (sent with sendRaw).
    void unplugOnceTaken(const Report &report) { locked([&] { unplugOnceTaken_ = report; }); }

    // Output reports and requests are not taken while held.
    void holdIncoming(bool hold);

    void sendRaw(const Report &report) { locked([&] { model_.sendRaw(report); }); }
    std::string state() { return locked([&] { return model_.describeState(); }); }
    unsigned outputReportsTaken() const { return outputs_; }

    // Per connection since the unit was plugged, in the order they were
    // made: 'm' for one that asked something or wrote (a main handle), 'i'
    // for one that only read.
    std::string roles() { return locked([&] { return roles_; }); }
    // The requests seen, each as connection number and kind, e.g. "1A".
    std::vector<std::string> requests() { return locked([&] { return requests_; }); }

private:
    struct Connection;
    template <typename F> auto locked(F &&f) -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }
    void accept();
    void serveIncoming(std::shared_ptr<Connection> c);
    void serveOutgoing(std::shared_ptr<Connection> c);
    bool answer(Connection &c, const std::vector<std::uint8_t> &message);
    void stopAndJoin();
    void forgetEnded();

    std::string path_;
    std::mutex mutex_; // the model, the connections and their queues
    emulator::UnitModel model_;
    std::vector<std::shared_ptr<Connection>> connections_; // live ones, each with its two threads
    std::string roles_;                                     // by connection number, every one made
    std::vector<std::string> requests_;
    Report unplugOnceTaken_;
    HANDLE stop_ = nullptr, listening_ = nullptr;
    std::atomic<bool> hold_{false};
    std::atomic<unsigned> outputs_{0};
    std::thread acceptor_;
};

} // namespace corvil::testing
