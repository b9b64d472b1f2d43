// A message-preserving, private, local connection between the library and a
// virtual unit, and the rendezvous where units announce themselves. One
// implementation per operating system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvhid::virt {

enum class Io { Ok, TimedOut, Closed };

class Channel {
public:
    virtual ~Channel() = default;
    // Sends one message, waiting at most timeoutMs for room.
    virtual Io send(const std::vector<std::uint8_t> &message, int timeoutMs) = 0;
    // Receives one message, waiting at most timeoutMs (0: only what is there).
    virtual Io receive(std::vector<std::uint8_t> &message, int timeoutMs) = 0;
};

// Connects to the unit announced at `entry` (a rendezvous entry's full name);
// null when nobody serves it (a stale entry, or the unit was unplugged).
std::unique_ptr<Channel> connect(const std::string &entry);

// The rendezvous: the current user's private place for unit entries. Empty
// when it cannot be had or is not safe to trust; `why` then says why.
std::string rendezvousPlace(bool create, std::string *why = nullptr);

// The entries present now, in the order discovery numbers them.
std::vector<std::string> listEntries();

// True when `path` names a rendezvous entry (not an operating-system device).
bool isEntry(const std::string &path);

// The entry name an emulator process gives its unit number `index`; names
// sort in process, then unit order.
std::string entryName(unsigned long processId, unsigned index);

// What a client connects to for the entry `name` in the rendezvous `place`.
std::string entryPath(const std::string &place, const std::string &name);

} // namespace corvhid::virt
