// Stand-in for the Windows HID and set-up services under the Win32 transport
// (the only layer the emulator cannot reach): an emulated unit behind a named pipe, for the pipe stand-ins of the HID and
// device-setup services: the firmware model answers the stand-ins' requests
// and output reports on a handle that asks, and pushes its input reports to a
// handle that never asks (the one the library reads from). It keeps no clock:
// it reports only what a test sends and what an output report changes, so a
// read finds exactly the reports the test arranged. The pipes hold no
// buffer, so a report moves only when the library reads it and a write
// completes only when the unit takes it, as with a HID driver.
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
    PipeUnit(const PipeUnit &) = delete;
    PipeUnit &operator=(const PipeUnit &) = delete;

    const std::string &path() const { return path_; }

    void plug();
    // Unplugged the moment the library has taken `report` (sent with sendRaw).
    void unplugOnceTaken(const Report &report);

    // Output reports and requests are not taken while held.
    void holdIncoming(bool hold);

    void sendRaw(const Report &report);
    std::string state();
    unsigned outputReportsTaken() const { return outputs_; }

    // Per connection since the unit was plugged, in the order they were
    // made: 'm' for one that asked something or wrote (a main handle), 'i'
    // for one that only read.
    std::string roles();
    // The requests seen, each as connection number and kind, e.g. "1A".
    std::vector<std::string> requests();

private:
    struct Connection;
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
