// A C++ host of both interfaces: the C one prints each step of a simulated machine as JSON lines;
// the C++ one takes a snapshot of this machine and must find its root.
#include <devicetree/GetAllDevices.h>
#include <systemmonitor/systemmonitor.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: host MACHINE\n");
        return 2;
    }
    const auto root = systemmonitor::getAllDevices();
    if (root->getKey().toUtf8() != "SYSROOT") {
        std::fprintf(stderr, "host: the C++ root is %s\n", root->getKey().toUtf8().c_str());
        return 1;
    }
    sm_machine* machine = sm_machine_open(argv[1]);
    if (machine == nullptr) {
        std::fprintf(stderr, "host: %s\n", sm_last_error());
        return 2;
    }
    for (std::size_t step = 0; step < sm_machine_step_count(machine); ++step) {
        sm_machine_step(machine, step);
        sm_snapshot* snapshot = sm_snapshot_take();
        std::printf("%s\n", sm_snapshot_to_json(snapshot));
        sm_snapshot_free(snapshot);
    }
    sm_machine_close(machine);
    return 0;
}
