#include "devices.h"

#include <algorithm>
#include <cstring>

#include "corvhid.h"

namespace corvil::remote {

namespace {
using namespace std::chrono_literals;
// A read that came back this fast took a report the unit had already queued:
// there may be more behind it.
constexpr auto kQueued = 5ms;
constexpr int kMostReadsInARow = 16;
// A unit that does not answer is asked again this often, so that it does not
// hold up the others.
constexpr auto kRetrySilent = 250ms;
constexpr auto kAfterFailedRead = 20ms;

// ReadCorvilAllSettings writes only the record it read: both sets of
// out-parameters start as this pattern, and the one no longer holding it
// came. (A record of exactly these undefined bytes is read as neither.)
constexpr records::Record kUntouched{{0xA5, 0x5A}, {0xC3, 0x3C}};
} // namespace

Devices::Devices(std::function<void(const Unit &)> changed, Timing timing)
    : changed_(std::move(changed)), timing_(timing), thread_([this] { run(); }) {}

Devices::~Devices() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void Devices::submit(const std::string &serial, const OutputChange &change, std::function<void(ChangeResult)> done) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({serial, change, std::move(done), Clock::now()});
    }
    wake_.notify_all();
}

void Devices::idle(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, until, [&] { return stopping_ || !queue_.empty(); });
}

void Devices::publish(Tracked &t) {
    if (!t.haveSettings || !t.haveSequencing) return; // not shown before its state is known
    if (t.everPublished && t.unit == t.published) return;
    t.published = t.unit;
    t.everPublished = true;
    changed_(t.unit);
}

void Devices::discover() {
    // Unit numbers are valid until the next clean-up: every discovery starts afresh.
    CleanupCorvil();
    for (auto &[serial, t] : units_) t.number = -1;
    const auto now = Clock::now();
    short number = -1;
    for (corvhid_result found = FindFirstCorvil(&number); found; found = FindNextCorvil(&number)) {
        char serial[6] = {};
        if (!ReadCorvilSerialNumberA(number, serial)) continue;
        auto [it, added] = units_.try_emplace(std::string(serial, 5));
        Tracked &t = it->second;
        if (t.number >= 0) continue; // two units with one serial number: the first found is the one
        if (added) t.unit.serial = it->first;
        if (!t.unit.connected) t.lastReport = now; // time to answer
        t.number = number;
        t.nextTry = now;
    }
    DoneFindingCorvils();
    for (auto &[serial, t] : units_) {
        if (t.number < 0 && t.unit.connected) {
            t.unit.connected = false;
            publish(t);
        }
    }
}

void Devices::poll(Tracked &t) {
    for (int reads = 0; reads < kMostReadsInARow; ++reads) {
        records::Record s = kUntouched, q = kUntouched;
        const auto start = Clock::now();
        const corvhid_result got = ReadCorvilAllSettings(t.number, &s.first[0], &s.first[1], &s.second[0],
                                                         &s.second[1], &q.first[0], &q.first[1], &q.second[0],
                                                         &q.second[1]);
        const auto now = Clock::now();
        if (!got) {
            if (t.unit.connected && now - t.lastReport >= timing_.loss) {
                t.unit.connected = false;
                publish(t);
            }
            if (!t.unit.connected) t.nextTry = now + kRetrySilent;
            // An unplugged unit fails at once: do not spin on it.
            if (now - start < kAfterFailedRead) idle(now + kAfterFailedRead);
            return;
        }
        t.lastReport = now;
        if (!(s == kUntouched)) {
            t.unit.settings = s;
            t.settingsAt = now;
            t.haveSettings = true;
        } else if (!(q == kUntouched)) {
            t.unit.sequencing = q;
            t.sequencingAt = now;
            t.haveSequencing = true;
        }
        if (t.haveSettings && t.haveSequencing) t.unit.connected = true;
        publish(t);
        // Drain what the unit had queued: the oldest queued record may be
        // older than the unit taking a write of ours, and a change made from
        // it would put back what that write changed.
        if (now - start > kQueued) return;
    }
}

bool Devices::serve(Tracked &t, Job &job) {
    const OutputChange &c = job.change;
    // Only records the unit sent after the request arrived: another program
    // may have changed the unit since the ones before.
    if ((c.touchesSettings() && t.settingsAt <= job.arrived) ||
        (c.touchesSequencing() && t.sequencingAt <= job.arrived))
        return false;
    bool written = true;
    if (c.touchesSettings()) {
        const records::Record w = settingsToWrite(t.unit.settings, c);
        written = WriteCorvilSettings(t.number, w.first[0], w.first[1], w.second[0], w.second[1]) != 0;
        // What the unit now holds, for the next change before its report comes.
        if (written) t.unit.settings = settingsAfter(t.unit.settings, w);
    }
    if (written && c.touchesSequencing()) {
        const records::Record w = sequencingToWrite(t.unit.sequencing, c);
        written = WriteCorvilAutoSequencingParameters(t.number, w.first[0], w.first[1], w.second[0], w.second[1]) != 0;
        if (written) t.unit.sequencing = w;
    }
    publish(t);
    job.done({written ? ChangeResult::Done : ChangeResult::NotAnswering, t.unit});
    return true;
}

void Devices::run() {
    auto nextDiscovery = Clock::now();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        if (Clock::now() >= nextDiscovery) {
            discover();
            nextDiscovery = Clock::now() + timing_.rediscover;
        }
        auto wakeAt = nextDiscovery;
        bool polled = false;
        for (auto &[serial, t] : units_) {
            if (t.number < 0) continue;
            if (!t.unit.connected && Clock::now() < t.nextTry) {
                wakeAt = std::min(wakeAt, t.nextTry);
                continue;
            }
            poll(t);
            polled = true;
        }
        // Changes (those that came during the reads too): made when their
        // unit's records are fresh, refused when it is unknown, lost, or gave
        // no records in time.
        {
            std::lock_guard lock(mutex_);
            for (Job &job : queue_) pending_.push_back(std::move(job));
            queue_.clear();
        }
        const auto now = Clock::now();
        std::erase_if(pending_, [&](Job &job) {
            const auto it = units_.find(job.serial);
            ChangeResult refusal{ChangeResult::UnknownUnit, {}};
            refusal.unit.serial = job.serial;
            if (it != units_.end()) {
                Tracked &t = it->second;
                refusal = {ChangeResult::NotAnswering, t.unit};
                if (t.number >= 0 && t.unit.connected) {
                    if (!job.change.touchesSettings() && !job.change.touchesSequencing()) {
                        job.done({ChangeResult::Done, t.unit});
                        return true;
                    }
                    if (serve(t, job)) return true;
                    if (now - job.arrived < timing_.fresh) return false;
                }
            }
            job.done(refusal);
            return true;
        });
        if (!polled) idle(wakeAt);
    }
    std::lock_guard lock(mutex_);
    for (Job &job : queue_) pending_.push_back(std::move(job));
    for (Job &job : pending_) job.done({ChangeResult::NotAnswering, Unit{job.serial}});
    CleanupCorvil();
}

} // namespace corvil::remote
