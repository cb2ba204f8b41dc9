#include "platform/linux/WindowsNames.h"

#include "platform/Utf.h"

#include "platform/linux/SysfsText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;
using namespace sysfs;

namespace {

// Windows device identifiers: upper case, blanks and separators as underscores.
std::string idText(std::string_view text) {
    std::string out;
    for (const char c : trimText(text)) {
        if (c <= 0x20 || c >= 0x7F || c == ',' || c == '&' || c == '\\' || c == '#' || c == '/') {
            out.push_back('_');
        } else if (c >= 'a' && c <= 'z') {
            out.push_back(static_cast<char>(c - 32));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string paddedIdText(std::string_view text, std::size_t width) {
    std::string out = idText(text);
    if (out.size() < width) {
        out.append(width - out.size(), '_');
    }
    return out;
}

std::uint32_t fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 16777619u;
    }
    return hash;
}

std::string hex8(std::uint32_t value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i) {
        out[static_cast<std::size_t>(i)] = digits[value & 0xF];
        value >>= 4;
    }
    return out;
}

// The device path without its trailing "block/<name>": what the disk hangs off.
std::string parentPath(const BlockDevice& device) {
    std::string_view path = device.devicePath;
    const std::string tail = "/block/" + device.name;
    if (path.ends_with(tail)) {
        path.remove_suffix(tail.size());
    }
    return std::string(path);
}

std::string twoHex(unsigned value) {
    return hex8(value & 0xFF).substr(6);
}

} // namespace

std::string_view enumeratorName(StorageBus bus) {
    switch (bus) {
    case StorageBus::Pata:
        return "IDE";
    case StorageBus::Usb:
        return "USBSTOR";
    case StorageBus::Sd:
    case StorageBus::Mmc:
        return "SD";
    default:
        // The storage port drivers (storahci, stornvme, storport miniports) enumerate as SCSI.
        return "SCSI";
    }
}

std::uint32_t windowsBusType(StorageBus bus) {
    switch (bus) {
    case StorageBus::Scsi:
    case StorageBus::Virtio: // the virtio block miniport registers itself as a SCSI bus
    case StorageBus::Xen:
        return 0x01;
    case StorageBus::Pata:
        return 0x03;
    case StorageBus::Fibre:
        return 0x06;
    case StorageBus::Usb:
        return 0x07;
    case StorageBus::Iscsi:
        return 0x09;
    case StorageBus::Sas:
        return 0x0A;
    case StorageBus::Sata:
        return 0x0B;
    case StorageBus::Sd:
        return 0x0C;
    case StorageBus::Mmc:
        return 0x0D;
    case StorageBus::Nvme:
        return 0x11;
    case StorageBus::Unknown:
        break;
    }
    return 0x00;
}

std::string friendlyName(const BlockDevice& device) {
    // A SCSI-ATA translation layer reports "ATA" as the vendor: it names no maker.
    const bool vendorNamed = !device.vendor.empty() && device.vendor != "ATA";
    if (!device.model.empty()) {
        return vendorNamed ? device.vendor + " " + device.model : device.model;
    }
    if (vendorNamed) {
        return device.vendor + " Disk Device";
    }
    switch (device.bus) {
    case StorageBus::Virtio:
        return "Virtio Block Device";
    case StorageBus::Xen:
        return "Xen Virtual Block Device";
    case StorageBus::Nvme:
        return "NVMe Disk Device";
    case StorageBus::Sd:
        return "SD Memory Card";
    case StorageBus::Mmc:
        return "MMC Memory Card";
    case StorageBus::Usb:
        return "USB Disk Device";
    case StorageBus::Pata:
    case StorageBus::Sata:
        return "ATA Disk Device";
    case StorageBus::Sas:
    case StorageBus::Scsi:
    case StorageBus::Iscsi:
    case StorageBus::Fibre:
        return "SCSI Disk Device";
    case StorageBus::Unknown:
        break;
    }
    return device.driver.empty() ? device.name + " Disk Device" : device.driver + " Disk Device";
}

std::string deviceInstanceId(const BlockDevice& device) {
    const std::string parent = parentPath(device);
    const std::string hash = hex8(fnv1a(parent));
    const auto address = parseScsiAddress(device.scsiAddress);
    const std::string product = device.model.empty() ? friendlyName(device) : device.model;
    switch (device.bus) {
    case StorageBus::Pata: {
        const ScsiAddress a = address.value_or(ScsiAddress{});
        return "IDE\\DISK" + paddedIdText(device.model, 40) + paddedIdText(device.revision, 8) +
               "\\5&" + hash + "&0&" + std::to_string(a.channel) + "." + std::to_string(a.target) +
               "." + std::to_string(a.lun);
    }
    case StorageBus::Usb: {
        const std::string unique = device.serial.empty() ? "7&" + hash : idText(device.serial);
        return "USBSTOR\\DISK&VEN_" + idText(device.vendor) + "&PROD_" + idText(product) + "&REV_" +
               idText(device.revision) + "\\" + unique + "&0";
    }
    default: {
        const ScsiAddress a = address.value_or(ScsiAddress{});
        return std::string(enumeratorName(device.bus)) + "\\DISK&VEN_" + idText(device.vendor) +
               "&PROD_" + idText(product) + "\\4&" + hash + "&0&" + twoHex(a.channel) +
               twoHex(a.target) + twoHex(a.lun);
    }
    }
}

std::string diskInterfacePath(std::string_view instanceId) {
    std::string path = "\\\\?\\";
    for (const char c : instanceId) {
        if (c == '\\') {
            path.push_back('#');
        } else if (c >= 'A' && c <= 'Z') {
            path.push_back(static_cast<char>(c + 32));
        } else {
            path.push_back(c);
        }
    }
    path += "#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    return path;
}

std::u16string physicalDrivePath(std::size_t number) {
    return u"\\\\.\\PhysicalDrive" + utf8ToUtf16(std::to_string(number));
}

std::u16string cdromPath(std::size_t number) {
    return u"\\\\.\\CdRom" + utf8ToUtf16(std::to_string(number));
}

} // namespace platform
