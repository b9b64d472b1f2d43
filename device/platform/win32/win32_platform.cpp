#include "win32_platform.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace corvhid::win32 {
namespace {

constexpr DWORD kIoPending = 997;

template <typename F> bool bind(HMODULE module, const char *name, F &slot) {
    slot = module ? reinterpret_cast<F>(reinterpret_cast<void *>(::GetProcAddress(module, name))) : nullptr;
    return slot != nullptr;
}

HANDLE asHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }

// What is left of `bound` milliseconds counted from `start`.
DWORD left(DWORD start, DWORD bound) {
    const DWORD spent = ::GetTickCount() - start;
    return spent >= bound ? 0 : bound - spent;
}

} // namespace

Win32Platform::~Win32Platform() {
    closeReportEvents();
    // A transfer the system still holds keeps its memory for good: freeing
    // it would let the late completion write into whatever came next.
    for (auto &record : parked_) {
        if (HasOverlappedIoCompleted(&record->overlapped))
            closeRecord(record);
        else
            (void)record.release();
    }
    endListing();
    releaseHidServices();
}

void Win32Platform::releaseHidServices() {
    if (hid_) ::FreeLibrary(hid_);
    hid_ = nullptr;
    bound_ = false;
}

void Win32Platform::releaseSetupServices() {
    if (setup_) ::FreeLibrary(setup_);
    setup_ = nullptr;
    bound_ = false;
}

// The entry points after the device set is made: those of the set-up
// services, then those of the HID services, each failure named by its item.
const char *Win32Platform::bindAll() {
    if (!bind(setup_, "SetupDiDestroyDeviceInfoList", destroyDeviceInfoList_))
        return "SETUPAPI.DLL contains invalid data (item 2)!";
    if (!bind(setup_, "SetupDiEnumDeviceInterfaces", enumDeviceInterfaces_))
        return "SETUPAPI.DLL contains invalid data (item 3)!";
    if (!bind(setup_, "SetupDiGetDeviceInterfaceDetailA", getDeviceInterfaceDetail_))
        return "SETUPAPI.DLL contains invalid data (item 4)!";
    if (!bind(hid_, "HidD_FreePreparsedData", freePreparsedData_)) return "HID.DLL contains invalid data (item 2)!";
    if (!bind(hid_, "HidD_GetAttributes", getAttributes_)) return "HID.DLL contains invalid data (item 3)!";
    if (!bind(hid_, "HidD_GetPreparsedData", getPreparsedData_)) return "HID.DLL contains invalid data (item 4)!";
    if (!bind(hid_, "HidP_GetCaps", getCaps_)) return "HID.DLL contains invalid data (item 5)!";
    if (!bind(hid_, "HidD_GetFeature", getFeature_)) return "HID.DLL contains invalid data (item 6)!";
    if (!bind(hid_, "HidD_SetFeature", setFeature_)) return "HID.DLL contains invalid data (item 7)!";
    return nullptr;
}

const char *Win32Platform::beginListing() {
    bound_ = false;
    if (!hid_ && !(hid_ = ::LoadLibraryA("hid"))) return "Could not load HID.DLL!";
    if (!bind(hid_, "HidD_GetHidGuid", getHidGuid_)) return "HID.DLL contains invalid data (item 1)!";
    getHidGuid_(&hidClass_);
    if (!setup_ && !(setup_ = ::LoadLibraryA("setupapi"))) return "Could not load SETUPAPI.DLL!";
    if (!bind(setup_, "SetupDiGetClassDevsA", getClassDevs_)) return "SETUPAPI.DLL contains invalid data (item 1)!";
    // A listing that was never ended would otherwise leak its set.
    if (set_ && destroyDeviceInfoList_) destroyDeviceInfoList_(set_);
    set_ = getClassDevs_(&hidClass_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set_ == INVALID_HANDLE_VALUE) set_ = nullptr;
    nextIndex_ = 0;
    if (const char *failure = bindAll()) return failure;
    bound_ = true;
    return nullptr;
}

Listed Win32Platform::nextInterface(std::string &path) {
    // Without every entry point bound the set is not walked: an unbound one
    // would be called.
    if (!set_ || !bound_) return Listed::End;
    // The record's size field must be the record's own size: 28 bytes in
    // 32-bit processes, 32 in 64-bit ones.
    interface_ = {};
    interface_.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    if (!enumDeviceInterfaces_(set_, nullptr, &hidClass_, nextIndex_, &interface_)) return Listed::End;
    DWORD size = 0;
    getDeviceInterfaceDetail_(set_, &interface_, nullptr, 0, &size, nullptr);
    constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    // A record too small to hold a path names no device.
    if (size <= kPathOffset) {
        ++nextIndex_;
        return Listed::Skipped;
    }
    auto *detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(allocate(size));
    if (!detail) return Listed::OutOfMemory;
    std::memset(detail, 0, size);
    // The size field the set-up services expect: the record's header plus
    // one path character, padded to pointer alignment on 64-bit builds (they
    // refuse any other value there).
    detail->cbSize = sizeof(void *) == 8 ? 8 : 5;
    getDeviceInterfaceDetail_(set_, &interface_, detail, size, nullptr, nullptr);
    reinterpret_cast<char *>(detail)[size - 1] = '\0';
    path = detail->DevicePath;
    deallocate(detail);
    ++nextIndex_;
    return Listed::Interface;
}

void Win32Platform::endListing() {
    if (set_ && destroyDeviceInfoList_) destroyDeviceInfoList_(set_);
    set_ = nullptr;
    releaseSetupServices();
}

void Win32Platform::releaseDevices() {
    closeReportEvents();
    releaseHidServices();
}

Handle Win32Platform::open(const char *path) {
    // Every device open uses the library's security attributes: no
    // descriptor, inheritable handles.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(h);
}

void Win32Platform::close(Handle handle) {
    cancelIo(asHandle(handle));
    ::CloseHandle(asHandle(handle));
    // The close ends whatever the system still held on the handle; those
    // records are freed once it says so. A later open may be given the same
    // handle value: they no longer belong to it.
    for (auto &record : parked_)
        if (record->device == asHandle(handle)) record->device = nullptr;
}

bool Win32Platform::getAttributes(Handle handle, Attributes &attributes) {
    HiddAttributes a{};
    a.Size = sizeof a;
    a.VendorID = 0;
    a.ProductID = 0;
    if (!getAttributes_(asHandle(handle), &a)) return false;
    attributes.vendorId = a.VendorID;
    attributes.productId = a.ProductID;
    attributes.versionNumber = a.VersionNumber;
    return true;
}

bool Win32Platform::readReportLengths(Handle handle, ReportLengths &lengths) {
    PreparsedData data = nullptr;
    if (!getPreparsedData_(asHandle(handle), &data)) return false;
    HidpCaps caps{};
    const bool ok = getCaps_(data, &caps) == kHidpStatusSuccess;
    freePreparsedData_(data);
    if (ok) {
        lengths.input = caps.InputReportByteLength;
        lengths.output = caps.OutputReportByteLength;
    }
    return ok;
}

std::unique_ptr<Win32Platform::Record> Win32Platform::newRecord() {
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) return nullptr;
    auto record = std::make_unique<Record>();
    record->overlapped.hEvent = event;
    return record;
}

void Win32Platform::closeRecord(std::unique_ptr<Record> &record) {
    if (!record) return;
    ::ResetEvent(record->overlapped.hEvent);
    ::CloseHandle(record->overlapped.hEvent);
    record.reset();
}

void Win32Platform::ensureReportEvents() {
    if (!read_) read_ = newRecord();
    if (!write_) write_ = newRecord();
}

void Win32Platform::releaseFinishedParked() {
    // A finished read on a handle still open holds the next report: it stays
    // until a read takes it.
    for (auto it = parked_.begin(); it != parked_.end();) {
        Record &r = **it;
        if (HasOverlappedIoCompleted(&r.overlapped) && (!r.reading || !r.device)) {
            closeRecord(*it);
            it = parked_.erase(it);
        } else {
            ++it;
        }
    }
}

void Win32Platform::closeReportEvents() {
    closeRecord(read_);
    closeRecord(write_);
    // The units' handles are closed before this, and closing a handle ends
    // the transfers the system held on it: their records go now. One that
    // has not yet finished stays parked and goes once it has.
    releaseFinishedParked();
}

std::optional<Transfer> Win32Platform::awaitParked(bool reading, HANDLE device, std::uint8_t *buffer, DWORD length,
                                                   DWORD timeoutMs) {
    const auto it = std::find_if(parked_.begin(), parked_.end(), [&](const std::unique_ptr<Record> &r) {
        return r->device == device && r->reading == reading;
    });
    if (it == parked_.end()) return std::nullopt;
    Record &r = **it;
    const bool finished = HasOverlappedIoCompleted(&r.overlapped) ||
                          ::WaitForSingleObject(r.overlapped.hEvent, timeoutMs) == WAIT_OBJECT_0;
    if (!finished) return Transfer::TimedOut;
    DWORD moved = 0;
    const BOOL ok = ::GetOverlappedResult(device, &r.overlapped, &moved, FALSE);
    if (ok && reading) {
        const std::size_t n = std::min<std::size_t>({moved, length, r.data.size()});
        if (n != 0) std::memcpy(buffer, r.data.data(), n);
    }
    closeRecord(*it);
    parked_.erase(it);
    // A read that ended without a report (cancelled late, or the unit
    // pulled) and a write that went out late leave this transfer to run.
    if (ok && reading) return Transfer::Completed;
    return std::nullopt;
}

Transfer Win32Platform::transfer(std::unique_ptr<Record> &record, bool reading, HANDLE device, std::uint8_t *buffer,
                                 DWORD length, DWORD timeoutMs) {
    releaseFinishedParked();
    const DWORD start = ::GetTickCount();
    // The driver completes the oldest transfer first: one it still holds
    // from an earlier time-out goes before a new one, within this
    // transfer's own bound. A held read's report is this read's.
    if (const auto held = awaitParked(reading, device, buffer, length, timeoutMs)) return *held;
    if (!record) return Transfer::NotStarted;
    // Each transfer that outlives its cancel keeps its record: past a bound
    // on those, the unit gets no more until they finish or close.
    if (parked_.size() >= kMaxParked) return Transfer::TimedOut;
    Record &r = *record;
    HANDLE event = r.overlapped.hEvent;
    r.overlapped.Offset = r.overlapped.OffsetHigh = 0;
    r.data.assign(length, 0);
    if (!reading && length != 0) std::memcpy(r.data.data(), buffer, length);
    DWORD moved = 0;
    BOOL started = reading ? ::ReadFile(device, r.data.data(), length, &moved, &r.overlapped)
                           : ::WriteFile(device, r.data.data(), length, &moved, &r.overlapped);
    if (!started && ::GetLastError() != kIoPending) return Transfer::NotStarted;
    if (::WaitForSingleObject(event, left(start, timeoutMs)) == WAIT_OBJECT_0) {
        // A transfer that ended in an error (the unit was pulled while it
        // ran) signals the event too, but moved no report.
        const BOOL ok = ::GetOverlappedResult(device, &r.overlapped, &moved, FALSE);
        ::ResetEvent(event);
        if (ok && reading) std::memcpy(buffer, r.data.data(), std::min<DWORD>(moved, length));
        return ok ? Transfer::Completed : Transfer::NotStarted;
    }
    cancelIo(device);
    if (::WaitForSingleObject(event, cancelBoundMs_) == WAIT_OBJECT_0) {
        ::GetOverlappedResult(device, &r.overlapped, &moved, FALSE);
        ::ResetEvent(event);
    } else {
        // The driver kept the transfer despite the cancel: leave it its
        // record and memory, and give this direction a fresh one, rather
        // than wait for ever.
        r.device = device;
        r.reading = reading;
        parked_.push_back(std::move(record));
        record = newRecord();
    }
    return Transfer::TimedOut;
}

Transfer Win32Platform::readInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    ensureReportEvents();
    return transfer(read_, true, asHandle(input), buffer, length, kTransferTimeoutMs);
}

Transfer Win32Platform::readQueuedInputReport(Handle input, std::uint8_t *buffer, std::uint32_t length) {
    ensureReportEvents();
    return transfer(read_, true, asHandle(input), buffer, length, 0);
}

Transfer Win32Platform::writeOutputReport(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    ensureReportEvents();
    return transfer(write_, false, asHandle(main), const_cast<std::uint8_t *>(buffer), length, kTransferTimeoutMs);
}

void Win32Platform::cancelIo(HANDLE device) { ::CancelIo(device); }

bool Win32Platform::getFeature(Handle main, std::uint8_t *buffer, std::uint32_t length) {
    return getFeature_(asHandle(main), buffer, length) != FALSE;
}

bool Win32Platform::setFeature(Handle main, const std::uint8_t *buffer, std::uint32_t length) {
    return setFeature_(asHandle(main), const_cast<std::uint8_t *>(buffer), length) != FALSE;
}

} // namespace corvhid::win32
