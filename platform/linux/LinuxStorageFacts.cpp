// The live machine's storage read as facts, once per reading: disks and CD-ROM drives by their
// Windows paths, drive letters (LinuxVolumeFacts.cpp), and the directories a program asks for.

#include "platform/linux/LinuxStorageFacts.h"

#include "platform/Utf.h"
#include "platform/linux/WindowsNames.h"

#include <ctime>

namespace platform {
namespace fs = std::filesystem;
namespace {

double monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Where a Linux path is in Windows terms ("C:\usr\bin"); empty on no lettered volume.
std::optional<std::u16string> windowsPath(const StorageView& view, const fs::path& path) {
    const auto found = view.windowsPath(path.lexically_normal().generic_string());
    return found ? std::optional(utf8ToUtf16(*found)) : std::nullopt;
}

} // namespace

LinuxStorageFacts::LinuxStorageFacts(StorageRoots roots, double maxAgeSeconds)
    : roots_(std::move(roots)), maxAge_(maxAgeSeconds), mountInfo_(roots_.mountInfo.string()) {}

std::shared_ptr<const StorageFacts> LinuxStorageFacts::facts() {
    std::lock_guard lock(mutex_);
    const double now = monotonicNow();
    if (!current_ || now - readAt_ >= maxAge_) {
        current_ = read();
        readAt_ = now;
    }
    return current_;
}

std::shared_ptr<DeviceChannel> LinuxStorageFacts::channelFor(const BlockDevice& device) {
    auto& channel = channels_[DeviceKey{device.name, device.major, device.minor, device.sectors}];
    if (!channel) {
        channel = std::make_shared<LinuxDevice>(roots_.dev / device.name, device);
    }
    return channel;
}

std::shared_ptr<const StorageFacts> LinuxStorageFacts::read() {
    const StorageView view = StorageView::read(roots_, mountInfo_.table());
    auto facts = std::make_shared<StorageFacts>();
    decltype(channels_) previous;
    previous.swap(channels_); // channels of devices gone are dropped, closing their nodes
    const auto keep = [&](const BlockDevice& device) {
        const DeviceKey key{device.name, device.major, device.minor, device.sectors};
        if (auto it = previous.find(key); it != previous.end()) {
            channels_.insert(previous.extract(it));
        }
        return channelFor(device);
    };
    const auto& inventory = view.inventory();
    for (std::size_t i = 0; i < inventory.disks.size(); ++i) {
        const BlockDevice& device = inventory.disks[i];
        auto disk = std::make_shared<DiskFacts>(
            diskFacts(device, {FILE_DEVICE_DISK, static_cast<std::uint32_t>(i), 0}));
        disk->device = keep(device);
        DeviceFacts record = deviceFacts(device);
        facts->disks.emplace(physicalDrivePath(i), disk);
        facts->disks.emplace(*record.interfacePath, disk);
        facts->devices.push_back(std::move(record));
    }
    for (std::size_t i = 0; i < inventory.cdroms.size(); ++i) {
        const BlockDevice& device = inventory.cdroms[i];
        auto disk = std::make_shared<DiskFacts>(
            diskFacts(device, {FILE_DEVICE_CD_ROM, static_cast<std::uint32_t>(i), 0xFFFFFFFFu}));
        disk->device = keep(device);
        facts->disks.emplace(cdromPath(i), disk);
    }
    for (const DriveLetter& drive : view.letters()) {
        facts->letters.emplace(drive.letter, letterFacts(roots_, view, drive));
    }
    // The system lives on the root file system; its root directory stands for the system
    // directory, which Linux does not have.
    facts->systemDirectory = windowsPath(view, "/");
    if (!program_) {
        // The running program does not move; where its volume is lettered may.
        std::error_code failure;
        const fs::path target = fs::read_symlink(roots_.exe, failure);
        program_ = failure ? fs::path() : target;
    }
    if (!program_->empty()) {
        facts->moduleFileName = windowsPath(view, *program_);
    }
    std::error_code failure;
    const fs::path cwd = roots_.cwd.empty() ? fs::current_path(failure) : roots_.cwd;
    if (const auto path = failure ? std::nullopt : windowsPath(view, cwd)) {
        facts->currentDrive = static_cast<char>((*path)[0]);
    }
    return facts;
}

} // namespace platform
