#include "hidraw_platform.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "report_descriptor.h"
#include "sysfs.h"

namespace corvhid::hidraw {

int PosixIo::open(const char *path, int flags) { return ::open(path, flags); }
int PosixIo::close(int fd) { return ::close(fd); }
int PosixIo::poll(pollfd *fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
ssize_t PosixIo::read(int fd, void *buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t PosixIo::write(int fd, const void *buffer, size_t size) { return ::write(fd, buffer, size); }
int PosixIo::getFeature(int fd, void *buffer, size_t size) {
    return ::ioctl(fd, HIDIOCGFEATURE(size), buffer);
}
int PosixIo::setFeature(int fd, const void *buffer, size_t size) {
    return ::ioctl(fd, HIDIOCSFEATURE(size), const_cast<void *>(buffer));
}

// One open interface. Writes go through its writer thread so that a write the
// kernel holds on to cannot hold the caller past 50 ms; the thread owns a copy
// of the report, so a late write never sees a later transfer's bytes.
struct HidrawPlatform::Device {
    std::shared_ptr<PosixIo> io;
    int fd = -1;
    std::string name;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint8_t> job;
    std::uint64_t queued = 0, done = 0; // write sequence numbers
    ssize_t result = 0;
    bool stopping = false;
    std::thread writer;

    ~Device() {
        if (fd >= 0) io->close(fd);
    }

    static void run(std::shared_ptr<Device> self) {
        std::unique_lock lock(self->mutex);
        for (;;) {
            self->changed.wait(lock, [&] { return self->stopping || self->queued != self->done; });
            if (self->queued == self->done) return; // stopping, nothing left to send
            std::vector<std::uint8_t> report = self->job;
            lock.unlock();
            ssize_t n;
            do n = self->io->write(self->fd, report.data(), report.size());
            while (n < 0 && errno == EINTR);
            lock.lock();
            self->result = n;
            self->done = self->queued;
            self->changed.notify_all();
        }
    }
};

HidrawPlatform::HidrawPlatform(std::string sysRoot, std::string devRoot, std::shared_ptr<PosixIo> io)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), io_(std::move(io)) {}

HidrawPlatform::~HidrawPlatform() {
    while (!devices_.empty()) close(devices_.begin()->first);
}

std::vector<std::string> HidrawPlatform::listPaths() {
    std::vector<std::string> paths;
    for (const std::string &name : listInterfaces(sysRoot_)) paths.push_back(devRoot_ + "/" + name);
    return paths;
}


Handle HidrawPlatform::open(const char *path) {
    // A node this user may not open (no udev rule) is skipped like any
    // device that does not open.
    int fd = io_->open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kNoHandle;
    auto device = std::make_shared<Device>();
    device->io = io_;
    device->fd = fd;
    std::string p(path);
    device->name = p.substr(p.rfind('/') + 1);
    Handle h = nextHandle_++;
    devices_[h] = std::move(device);
    return h;
}

std::shared_ptr<HidrawPlatform::Device> HidrawPlatform::find(Handle handle) {
    auto it = devices_.find(handle);
    return it == devices_.end() ? nullptr : it->second;
}

void HidrawPlatform::close(Handle handle) {
    auto device = find(handle);
    if (!device) return;
    devices_.erase(handle);
    bool stillWriting;
    {
        std::lock_guard lock(device->mutex);
        device->stopping = true;
        stillWriting = device->queued != device->done;
        device->changed.notify_all();
    }
    if (device->writer.joinable()) {
        // A write still held by the kernel finishes on its own; the thread
        // keeps the device (and its descriptor) until then.
        if (stillWriting)
            device->writer.detach();
        else
            device->writer.join();
    }
}

bool HidrawPlatform::getAttributes(Handle handle, Attributes &attributes) {
    auto device = find(handle);
    if (!device) return false;
    auto ids = readIds(sysRoot_, device->name);
    if (!ids) return false;
    attributes.vendorId = ids->vendorId;
    attributes.productId = ids->productId;
    // An interface outside any USB device has no version to compare.
    attributes.versionNumber = readVersion(sysRoot_, device->name).value_or(0);
    return true;
}

bool HidrawPlatform::readReportLengths(Handle handle, ReportLengths &lengths) {
    auto device = find(handle);
    if (!device) return false;
    auto descriptor = readDescriptor(sysRoot_, device->name);
    return descriptor && parseReportLengths(descriptor->data(), descriptor->size(), lengths);
}

Transfer HidrawPlatform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    return read(input, buffer, length, kTransferTimeoutMs);
}

Transfer HidrawPlatform::read(Handle input, std::uint8_t *buffer, std::uint32_t length, int timeoutMs) {
    auto device = find(input);
    if (!device) return Transfer::NotStarted;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{device->fd, POLLIN, 0};
        int ready = io_->poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Transfer::NotStarted;
        if (ready == 0) return Transfer::TimedOut;
        if (!(p.revents & POLLIN)) return Transfer::NotStarted; // unplugged or broken
        ssize_t n = io_->read(device->fd, buffer, length);
        if (n >= 0) {
            if (static_cast<std::uint32_t>(n) < length) std::memset(buffer + n, 0, length - n);
            return Transfer::Completed;
        }
        if (errno != EAGAIN && errno != EINTR) return Transfer::NotStarted;
        if (left.count() <= 0) return Transfer::TimedOut;
    }
}

Transfer HidrawPlatform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    auto device = find(main);
    if (!device) return Transfer::NotStarted;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTransferTimeoutMs);
    std::unique_lock lock(device->mutex);
    if (!device->writer.joinable()) device->writer = std::thread(Device::run, device);
    // A write that timed out earlier may still be in the kernel: wait for it
    // within this transfer's own bound.
    if (!device->changed.wait_until(lock, deadline, [&] { return device->queued == device->done; }))
        return Transfer::TimedOut;
    device->job.assign(buffer, buffer + length);
    const std::uint64_t mine = ++device->queued;
    device->changed.notify_all();
    if (!device->changed.wait_until(lock, deadline, [&] { return device->done >= mine; }))
        return Transfer::TimedOut;
    return device->result >= 0 ? Transfer::Completed : Transfer::NotStarted;
}

bool HidrawPlatform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    auto device = find(main);
    return device && io_->getFeature(device->fd, buffer, length) >= 0;
}

bool HidrawPlatform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    auto device = find(main);
    return device && io_->setFeature(device->fd, buffer, length) >= 0;
}

} // namespace corvhid::hidraw
