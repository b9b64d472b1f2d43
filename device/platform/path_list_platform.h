// The listing of the transports whose interfaces are simply a list of paths
// (hidraw nodes, virtual units): a snapshot of that list taken when a
// listing begins.
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace corvhid {

class PathListPlatform : public Platform {
public:
    const char *beginListing() override {
        snapshot_ = listPaths();
        next_ = 0;
        return nullptr;
    }
    Listed nextInterface(std::string &path) override {
        if (next_ >= snapshot_.size()) return Listed::End;
        path = snapshot_[next_++];
        return Listed::Interface;
    }
    void endListing() override { snapshot_.clear(); }
    void releaseDevices() override {}

protected:
    // The interfaces present now, in the order discovery numbers them.
    virtual std::vector<std::string> listPaths() = 0;

private:
    std::vector<std::string> snapshot_;
    std::size_t next_ = 0;
};

} // namespace corvhid
