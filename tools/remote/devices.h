// The device thread: the only thread that calls corvhid (its state is
// process-wide and unguarded). It finds every Corvil unit, reads each one's
// records continuously, tells when anything about a unit changes, notices a
// unit lost, finds it again, and makes the changes asked for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "api.h"
#include "units.h"

namespace corvil::remote {

class Devices {
public:
    using Clock = std::chrono::steady_clock;
    struct Timing {
        std::chrono::milliseconds rediscover{1000}; // a new discovery finds units plugged in since
        std::chrono::milliseconds loss{400};        // a unit silent this long is lost
        std::chrono::milliseconds fresh{1000};      // a change waits at most this long for the unit's records
    };

    // `changed` runs on the device thread with a unit as it now is, each time
    // anything about it changes (first found, records, connection).
    explicit Devices(std::function<void(const Unit &)> changed, Timing timing);
    ~Devices();
    Devices(const Devices &) = delete;
    Devices &operator=(const Devices &) = delete;

    // Asks for a change to one output of a unit; `done` runs on the device
    // thread. The change is written from records the unit sent after this call.
    void submit(const std::string &serial, const OutputChange &change, std::function<void(ChangeResult)> done);

private:
    struct Tracked {
        Unit unit;
        Unit published;
        bool everPublished = false;
        bool haveSettings = false, haveSequencing = false;
        short number = -1; // in the library's present discovery; -1: not found by it
        Clock::time_point lastReport, settingsAt, sequencingAt, nextTry;
    };
    struct Job {
        std::string serial;
        OutputChange change;
        std::function<void(ChangeResult)> done;
        Clock::time_point arrived;
    };

    void run();
    void discover();
    void poll(Tracked &unit);
    bool serve(Tracked &unit, Job &job);
    void publish(Tracked &unit);
    void idle(Clock::time_point until);

    std::function<void(const Unit &)> changed_;
    Timing timing_;
    std::map<std::string, Tracked> units_; // device thread only
    std::vector<Job> pending_;             // device thread only

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_; // guarded
    bool stopping_ = false; // guarded
    std::thread thread_;
};

} // namespace corvil::remote
