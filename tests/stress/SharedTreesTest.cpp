// The promise the library makes to hosts about threads: snapshots are taken on one thread, never
// overlapping, while other threads copy, walk and release the trees they were given; the last
// release of a tree (and of its nodes) may happen on any thread. Built with ThreadSanitizer by
// the tsan preset. Exit status 0 when every walk found the same, well-formed tree.

#include "TreeWalk.h"
#include "devicetree/GetAllDevices.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Tree = systemmonitor::Device::DevicePointer;

constexpr int kWorkers = 4;
constexpr int kSnapshots = 60;

// One queue per worker: the snapshot thread hands each worker its own copy of every tree.
struct Inbox {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Tree> trees;
    bool done = false;

    void put(Tree tree) {
        {
            const std::lock_guard lock(mutex);
            trees.push_back(std::move(tree));
        }
        ready.notify_one();
    }
    void close() {
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        ready.notify_one();
    }
    bool take(Tree& tree) {
        std::unique_lock lock(mutex);
        ready.wait(lock, [&] { return done || !trees.empty(); });
        if (trees.empty()) {
            return false;
        }
        tree = std::move(trees.front());
        trees.pop_front();
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MACHINE.json\n", argv[0]);
        return 2;
    }
    auto machine = platform::simulated::SimulatedMachine::fromFile(argv[1]);
    const platform::ScopedBackend scope(machine);

    std::vector<Inbox> inboxes(kWorkers);
    std::mutex faultMutex;
    std::string fault;
    std::vector<std::size_t> sizes(kWorkers * kSnapshots);
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            Tree tree;
            for (int n = 0; inboxes[w].take(tree); ++n) {
                // Copies of the root and of every child pointer, made while other threads make
                // and drop theirs.
                std::vector<Tree> copies(3, tree);
                std::string found;
                sizes[w * kSnapshots + n] = stress::walkTree(*copies[w % 3], found);
                tree = Tree();
                copies.clear(); // maybe the last release of this tree
                if (!found.empty()) {
                    const std::lock_guard lock(faultMutex);
                    fault = found;
                }
            }
        });
    }
    for (int n = 0; n < kSnapshots; ++n) {
        machine.applyStep(static_cast<std::size_t>(n) % machine.stepCount());
        Tree tree = systemmonitor::getAllDevices();
        for (int w = 0; w < kWorkers; ++w) {
            inboxes[w].put(tree);
        }
        // This thread's own reference goes first: a worker releases the tree last.
    }
    for (auto& inbox : inboxes) {
        inbox.close();
    }
    for (auto& worker : workers) {
        worker.join();
    }
    for (int n = 0; n < kSnapshots; ++n) {
        for (int w = 1; w < kWorkers; ++w) {
            if (sizes[w * kSnapshots + n] != sizes[n]) {
                fault = "the workers saw different trees for snapshot " + std::to_string(n);
            }
        }
    }
    if (!fault.empty() || sizes[0] < 2) {
        std::fprintf(stderr, "%s\n", fault.empty() ? "an empty tree" : fault.c_str());
        return 1;
    }
    std::printf("%d snapshots, each walked by %d threads\n", kSnapshots, kWorkers);
    return 0;
}
