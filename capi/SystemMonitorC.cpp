// The C interface: the tree is copied into plain structures at snapshot time, so that every
// pointer handed out lives exactly as long as its snapshot; exceptions end at this boundary.

#include "systemmonitor/systemmonitor.h"

#include "devicetree/GetAllDevices.h"
#include "devicetree/json/SnapshotJson.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct sm_property {
    std::string key;
    sm_value_type type = SM_STRING;
    std::string text;
    std::int64_t integer = 0;
    double real = 0.0;
};

struct sm_node {
    sm_node_type type = SM_SYSTEM_ROOT;
    const char* typeName = "";
    std::string name;
    std::string key;
    std::vector<sm_property> properties;
    std::vector<sm_node> children;
};

struct sm_snapshot {
    systemmonitor::Device::DevicePointer tree;
    sm_node root;
    std::optional<std::string> json;
};

struct sm_machine {
    platform::simulated::SimulatedMachine* machine = nullptr;
};

namespace {

// The library's process-wide state (the disk list, the installed machine) is not thread-safe.
std::mutex& callLock() {
    static std::mutex lock;
    return lock;
}

thread_local std::string lastError;
bool snapshotTaken = false;
bool machineOpened = false;

struct NullArgument : std::exception {
    const char* what() const noexcept override { return "a required argument is NULL"; }
};

template <typename T> T* required(T* pointer) {
    if (pointer == nullptr) {
        throw NullArgument();
    }
    return pointer;
}

// Runs `body`; an exception becomes the thread's last error and `failure` the result.
template <typename Result, typename Body> Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& error) {
        try {
            lastError = error.what();
        } catch (...) {
            lastError.clear();
        }
    } catch (...) {
        lastError = "unknown error";
    }
    return failure;
}

sm_node copyNode(const systemmonitor::Device& device) {
    sm_node node;
    node.type = static_cast<sm_node_type>(device.getType());
    node.typeName = systemmonitor::deviceTypeName(device.getType());
    node.name = device.getLocalizedName().toUtf8();
    node.key = device.getKey().toUtf8();
    for (const auto& source : device.getProperties()) {
        sm_property property;
        property.key = source->getKey().toUtf8();
        property.type = static_cast<sm_value_type>(source->getValueType());
        property.text = source->getValue().toUtf8();
        if (property.type == SM_INTEGER) {
            property.integer = systemmonitor::json::integerValue(*source);
        } else if (property.type == SM_DOUBLE) {
            property.real = systemmonitor::json::realValue(*source);
        }
        node.properties.push_back(std::move(property));
    }
    for (const auto& child : device.getChildDevices()) {
        node.children.push_back(copyNode(*child));
    }
    return node;
}

} // namespace

extern "C" {

const char* sm_version(void) {
    return SM_VERSION;
}

const char* sm_last_error(void) {
    return lastError.c_str();
}

sm_snapshot* sm_snapshot_take(void) {
    return guarded<sm_snapshot*>(nullptr, [] {
        const std::lock_guard<std::mutex> hold(callLock());
        snapshotTaken = true;
        auto snapshot = std::make_unique<sm_snapshot>();
        snapshot->tree = systemmonitor::getAllDevices();
        snapshot->root = copyNode(*snapshot->tree);
        return snapshot.release();
    });
}

void sm_snapshot_free(sm_snapshot* snapshot) {
    guarded(0, [snapshot] {
        // The tree's reference counts may be shared with the library's own objects.
        const std::lock_guard<std::mutex> hold(callLock());
        delete snapshot;
        return 0;
    });
}

const sm_node* sm_snapshot_root(const sm_snapshot* snapshot) {
    return guarded<const sm_node*>(nullptr, [snapshot] { return &required(snapshot)->root; });
}

const char* sm_snapshot_to_json(sm_snapshot* snapshot) {
    return guarded<const char*>(nullptr, [snapshot] {
        const std::lock_guard<std::mutex> hold(callLock());
        if (!required(snapshot)->json) {
            snapshot->json = systemmonitor::json::snapshotJson(*snapshot->tree);
        }
        return snapshot->json->c_str();
    });
}

sm_node_type sm_node_type_of(const sm_node* node) {
    return guarded(SM_SYSTEM_ROOT, [node] { return required(node)->type; });
}

const char* sm_node_type_name(const sm_node* node) {
    return guarded<const char*>(nullptr, [node] { return required(node)->typeName; });
}

const char* sm_node_name(const sm_node* node) {
    return guarded<const char*>(nullptr, [node] { return required(node)->name.c_str(); });
}

const char* sm_node_key(const sm_node* node) {
    return guarded<const char*>(nullptr, [node] { return required(node)->key.c_str(); });
}

size_t sm_node_child_count(const sm_node* node) {
    return guarded<size_t>(0, [node] { return required(node)->children.size(); });
}

const sm_node* sm_node_child(const sm_node* node, size_t index) {
    return guarded<const sm_node*>(nullptr, [node, index] {
        const auto& children = required(node)->children;
        if (index >= children.size()) {
            throw std::out_of_range("child index " + std::to_string(index) + " out of range");
        }
        return &children[index];
    });
}

size_t sm_node_property_count(const sm_node* node) {
    return guarded<size_t>(0, [node] { return required(node)->properties.size(); });
}

const sm_property* sm_node_property(const sm_node* node, size_t index) {
    return guarded<const sm_property*>(nullptr, [node, index] {
        const auto& properties = required(node)->properties;
        if (index >= properties.size()) {
            throw std::out_of_range("property index " + std::to_string(index) + " out of range");
        }
        return &properties[index];
    });
}

const char* sm_property_key(const sm_property* property) {
    return guarded<const char*>(nullptr, [property] { return required(property)->key.c_str(); });
}

sm_value_type sm_property_type(const sm_property* property) {
    return guarded(SM_STRING, [property] { return required(property)->type; });
}

const char* sm_property_text(const sm_property* property) {
    return guarded<const char*>(nullptr, [property] { return required(property)->text.c_str(); });
}

int64_t sm_property_integer(const sm_property* property) {
    return guarded<int64_t>(0, [property] { return required(property)->integer; });
}

double sm_property_double(const sm_property* property) {
    return guarded(0.0, [property] { return required(property)->real; });
}

sm_machine* sm_machine_open(const char* path) {
    return guarded<sm_machine*>(nullptr, [path] {
        required(path);
        const std::lock_guard<std::mutex> hold(callLock());
        if (machineOpened) {
            throw std::logic_error("a simulated machine was already opened in this process");
        }
        if (snapshotTaken) {
            throw std::logic_error("a simulated machine must be opened before the first snapshot");
        }
        auto handle = std::make_unique<sm_machine>();
        handle->machine = &platform::simulated::SimulatedMachine::installForProcess(path);
        machineOpened = true;
        return handle.release();
    });
}

size_t sm_machine_step_count(const sm_machine* machine) {
    return guarded<size_t>(0, [machine] {
        const std::lock_guard<std::mutex> hold(callLock());
        return required(machine)->machine->stepCount();
    });
}

int sm_machine_step(sm_machine* machine, size_t step) {
    return guarded(-1, [machine, step] {
        const std::lock_guard<std::mutex> hold(callLock());
        required(machine)->machine->applyStep(step);
        return 0;
    });
}

void sm_machine_close(sm_machine* machine) {
    delete machine;
}

} // extern "C"
