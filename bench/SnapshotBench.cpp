// What a snapshot costs, against a floor: reading the same kernel files with kept descriptors and
// building nothing. Run without arguments, the program re-executes itself once per case, so every
// case starts in a fresh process (no processor or disk state of one case leaks into the next),
// then prints each case's median and its ratio to the floor. With --benchmark_filter it runs the
// chosen cases in this process; other arguments go to Google Benchmark.

#include "devicetree/GetAllDevices.h"
#include "devicetree/json/SnapshotJson.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using systemmonitor::Device;

// The kernel files a warm live snapshot reads on this machine (as strace of a warm call shows):
// /proc/stat and /proc/meminfo; each processor's cpufreq clocks where there is a driver, else
// /proc/cpuinfo unless its clock is the fixed one measured at boot (x86 without APERF/MPERF);
// the processor temperature inputs of hwmon.
struct FloorFile {
    std::string path;
    bool attribute; // sysfs: whole in one read
};

bool contains(const std::string& path, const std::string& text) {
    std::ifstream file(path);
    const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return all.find(text) != std::string::npos;
}

std::vector<FloorFile> floorFiles() {
    namespace fs = std::filesystem;
    std::vector<FloorFile> files = {{"/proc/stat", false}, {"/proc/meminfo", false}};
    std::error_code error;
    bool cpufreq = false;
    for (fs::directory_iterator it("/sys/devices/system/cpu", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const fs::path clocks = it->path() / "cpufreq";
        if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 ||
            !std::isdigit(static_cast<unsigned char>(name[3])) || !fs::exists(clocks, error)) {
            continue;
        }
        cpufreq = true;
        for (const char* attribute : {"scaling_cur_freq", "cpuinfo_min_freq", "cpuinfo_max_freq"}) {
            if (fs::exists(clocks / attribute, error)) {
                files.push_back({(clocks / attribute).string(), true});
            }
        }
    }
    if (!cpufreq && contains("/proc/cpuinfo", " aperfmperf")) {
        files.push_back({"/proc/cpuinfo", false});
    }
    for (fs::directory_iterator it("/sys/class/hwmon", error), end; !error && it != end;
         it.increment(error)) {
        if (!contains((it->path() / "name").string(), "coretemp") &&
            !contains((it->path() / "name").string(), "k10temp")) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(it->path(), error)) {
            const std::string name = entry.path().filename().string();
            if (name.compare(0, 4, "temp") == 0 && name.find("_input") != std::string::npos) {
                files.push_back({entry.path().string(), true});
            }
        }
    }
    return files;
}

// The floor's reader: the files opened once, each read whole from its start on every call.
class FloorReader {
public:
    FloorReader() : buffer_(1 << 16) {
        for (const FloorFile& file : floorFiles()) {
            const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                descriptors_.emplace_back(fd, file.attribute);
            }
        }
    }
    ~FloorReader() {
        for (const auto& entry : descriptors_) {
            ::close(entry.first);
        }
    }
    FloorReader(const FloorReader&) = delete;
    FloorReader& operator=(const FloorReader&) = delete;

    std::size_t files() const { return descriptors_.size(); }
    std::size_t read() {
        std::size_t total = 0;
        for (const auto& [fd, attribute] : descriptors_) {
            off_t offset = 0;
            ssize_t got = 0;
            while ((got = ::pread(fd, buffer_.data(), buffer_.size(), offset)) > 0) {
                offset += got;
                if (attribute) {
                    break;
                }
            }
            total += static_cast<std::size_t>(offset);
        }
        return total;
    }

private:
    std::vector<std::pair<int, bool>> descriptors_;
    std::vector<char> buffer_;
};

void BM_Floor(benchmark::State& state) {
    FloorReader floor;
    for (auto _ : state) {
        benchmark::DoNotOptimize(floor.read());
    }
    state.counters["files"] = static_cast<double>(floor.files());
}
BENCHMARK(BM_Floor);

double cpuSeconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One snapshot, kept from being optimised away.
void snapshotOnce() {
    auto root = systemmonitor::getAllDevices();
    benchmark::DoNotOptimize(root.get());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// A monitor's loop: one call every 210 ms, so caches and branch predictors have gone cold. The
// floor is polled the same way in the same run, the two alternating 105 ms apart, so that both
// meet the same machine (one measured minutes after the other can meet another). The sleeps are
// left out. The counters are the median call's elapsed and processor time, "call_*" for the
// snapshot and "floor_*" for the floor: the typical poll, without the one in 24 that also
// refreshes the disk list (that one is in the mean, the benchmark's own time, and
// BM_SnapshotRefresh).
void BM_SnapshotPolled(benchmark::State& state) {
    FloorReader floor;
    snapshotOnce();
    std::vector<double> real, cpu, floorReal, floorCpu;
    const auto timed = [](auto call, std::vector<double>& elapsedTimes,
                          std::vector<double>& cpuTimes) {
        std::this_thread::sleep_for(std::chrono::milliseconds(105));
        const double cpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const auto start = std::chrono::steady_clock::now();
        call();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuTimes.push_back(cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart);
        elapsedTimes.push_back(elapsed);
        return elapsed;
    };
    for (auto _ : state) {
        timed([&floor] { benchmark::DoNotOptimize(floor.read()); }, floorReal, floorCpu);
        state.SetIterationTime(timed(snapshotOnce, real, cpu));
    }
    state.counters["call_real"] = median(real);
    state.counters["call_cpu"] = median(cpu);
    state.counters["floor_real"] = median(floorReal);
    state.counters["floor_cpu"] = median(floorCpu);
}
BENCHMARK(BM_SnapshotPolled)->UseManualTime()->Iterations(41);

void BM_SnapshotWarm(benchmark::State& state) {
    systemmonitor::getAllDevices();
    for (auto _ : state) {
        snapshotOnce();
    }
}
BENCHMARK(BM_SnapshotWarm);

// What a host does with a snapshot: every name, key and value read once.
std::size_t walk(const Device& node) {
    std::size_t units = node.getKey().size() + node.getLocalizedName().size();
    for (const auto& property : node.getProperties()) {
        units += property->getKey().size() + property->getValue().size();
    }
    for (const auto& child : node.getChildDevices()) {
        units += walk(*child);
    }
    return units;
}

std::size_t countNodes(const Device& node) {
    std::size_t total = 1;
    for (const auto& child : node.getChildDevices()) {
        total += countNodes(*child);
    }
    return total;
}

void BM_SnapshotWarmWalked(benchmark::State& state) {
    systemmonitor::getAllDevices();
    for (auto _ : state) {
        auto root = systemmonitor::getAllDevices();
        benchmark::DoNotOptimize(walk(*root));
    }
}
BENCHMARK(BM_SnapshotWarmWalked);

// The first snapshot of a process: each iteration forks a child that has taken none and times it
// (wall clock as the iteration's time; the child's processor time as the counter "child_cpu").
void BM_SnapshotFirst(benchmark::State& state) {
    double childCpu = 0.0;
    for (auto _ : state) {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            const double cpuStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            const auto start = std::chrono::steady_clock::now();
            systemmonitor::getAllDevices();
            const double times[2] = {
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart};
            (void)!::write(pipeEnds[1], times, sizeof times);
            ::_exit(0);
        }
        ::close(pipeEnds[1]);
        double times[2] = {0.0, 0.0};
        const bool read = child > 0 && ::read(pipeEnds[0], times, sizeof times) ==
                                           static_cast<ssize_t>(sizeof times);
        ::close(pipeEnds[0]);
        if (child > 0) {
            ::waitpid(child, nullptr, 0);
        }
        if (!read) {
            state.SkipWithError("child");
            break;
        }
        state.SetIterationTime(times[0]);
        childCpu += times[1];
    }
    state.counters["child_cpu"] = benchmark::Counter(childCpu, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SnapshotFirst)->UseManualTime()->Iterations(20);

// A snapshot that refreshes the disk list (it is rebuilt when 5 s old), less a warm one.
void BM_SnapshotRefresh(benchmark::State& state) {
    systemmonitor::getAllDevices();
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(5050));
        state.ResumeTiming();
        snapshotOnce();
    }
}
BENCHMARK(BM_SnapshotRefresh)->Iterations(3);

// 8 packages of 64 cores and 64 SCSI disks, 24 of them with a volume.
std::string largeMachine() {
    std::string cores;
    for (int core = 0; core < 64; ++core) {
        cores += (core ? "," : "") + std::string(R"({"number": )") + std::to_string(core) +
                 R"(, "temperature": 50, "usage": 12})";
    }
    std::string packages;
    for (int package = 0; package < 8; ++package) {
        packages +=
            (package ? "," : "") +
            std::string(R"({"name": "Acme Processor 9000", "signature": {"signature": 329300,
            "family": 6, "model": 85, "stepping": 4, "extFamily": 0, "extModel": 5},
            "speed": {"ratioPrecision": 1, "currentRatio": 24.0, "ratioLow": 10.0,
            "ratioHigh": 35.0, "currentSpeedHz": 2400000000, "busSpeedHz": 100000000},
            "temperature": 55, "usage": 12, "cores": [)") +
            cores + "]}";
    }
    std::string drives;
    std::string devices;
    std::string disks;
    for (int disk = 0; disk < 64; ++disk) {
        const std::string n = std::to_string(disk);
        const std::string path = R"(\\\\?\\scsi#disk&ven_acme&prod_ssd#4&1b2c3d4e&0&)" + n +
                                 R"(#{53f56307-b6bf-11d0-94f2-00a0c91efb8b})";
        if (disk < 24) {
            drives += (disk ? "," : "") + std::string("\"") + static_cast<char>('C' + disk) +
                      R"(": {"type": 3, "deviceNumber": )" + n +
                      R"(, "volume": {"label": "Data", "serial": 43981, "fileSystem": "NTFS",
                      "flags": 0}, "space": {"total": 1073741824, "free": 536870912,
                      "available": 536870912}})";
        }
        devices += (disk ? "," : "") +
                   std::string(R"({"friendlyName": "Acme SSD 512GB", "description": "Disk drive",
            "enumeratorName": "SCSI", "instanceId": "SCSI\\DISK&VEN_ACME&PROD_SSD\\4&1B2C3D4E&0&)") +
                   n + R"(", "interfacePath": ")" + path + R"(", "devnode": {"status": 25174026}})";
        disks += (disk ? "," : "") + std::string("\"") + path +
                 R"(": {"deviceNumber": {"type": 7, "number": )" + n +
                 R"(}, "descriptor": {"removableMedia": false, "busType": 11, "vendorId": "ATA",
            "productId": "Acme SSD", "productRevision": "1.0", "serialNumber": "S)" +
                 n +
                 R"("}, "length": 512110190592, "scsi": {"inquiry": {"vendor": "ATA     ",
            "product": "Acme SSD 512GB  ", "revision": "1.0 "}, "serial": "  S)" +
                 n + R"(", "temperature": 35}})";
    }
    return R"({"memory": {"load": 40, "totalPhys": 17179869184, "availPhys": 10307921510},
        "windows": {"systemDirectory": "C:\\Windows\\system32",
        "moduleFileName": "C:\\Tools\\hwsnap.exe"}, "cpu": {"packages": [)" +
           packages + R"(]}, "drives": {)" + drives + R"(}, "devices": [)" + devices +
           R"(], "disks": {)" + disks + "}}";
}

// Seconds per node: the time over nodes times iterations.
benchmark::Counter perNode(std::size_t nodes) {
    return benchmark::Counter(static_cast<double>(nodes),
                              benchmark::Counter::kIsIterationInvariantRate |
                                  benchmark::Counter::kInvert);
}

void BM_SnapshotLargeSimulated(benchmark::State& state) {
    auto machine = platform::simulated::SimulatedMachine::fromJson(largeMachine());
    platform::ScopedBackend scope(machine);
    std::size_t nodes = 0;
    for (auto _ : state) {
        auto root = systemmonitor::getAllDevices();
        benchmark::DoNotOptimize(root.get());
        if (nodes == 0) {
            nodes = countNodes(*root);
        }
    }
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["per_node"] = perNode(nodes);
}
BENCHMARK(BM_SnapshotLargeSimulated)->Unit(benchmark::kMicrosecond);

// hwsnap --json's writer over the large machine's snapshot, per node.
void BM_JsonLargeSimulated(benchmark::State& state) {
    auto machine = platform::simulated::SimulatedMachine::fromJson(largeMachine());
    platform::ScopedBackend scope(machine);
    const auto root = systemmonitor::getAllDevices();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = systemmonitor::json::snapshotJson(*root);
        bytes = text.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["per_node"] = perNode(countNodes(*root));
}
BENCHMARK(BM_JsonLargeSimulated)->Unit(benchmark::kMicrosecond);

void BM_SnapshotSimulatedMemory(benchmark::State& state) {
    auto machine = platform::simulated::SimulatedMachine::fromFile(std::string(SM_MACHINES_DIR) +
                                                                   "/memory-8gib.json");
    platform::ScopedBackend scope(machine);
    for (auto _ : state) {
        snapshotOnce();
    }
}
BENCHMARK(BM_SnapshotSimulatedMemory);

// Loading a large machine with many small steps, the last one invalid: linear in the file.
void BM_LoadManySteps(benchmark::State& state) {
    std::string text = R"({"devices": [)";
    for (int i = 0; i < 6000; ++i) {
        text += R"({"friendlyName": "a device of some length, to weigh", "instanceId": "x"},)";
    }
    text += R"({}], "steps": [)";
    for (int i = 0; i < state.range(0); ++i) {
        text += R"({"at": )" + std::to_string(i) + R"(, "patch": {"drives": {"C": {"type": 3}}}},)";
    }
    text += R"({"patch": {"drives": {"C": {"type": -1}}}}]})";
    for (auto _ : state) {
        try {
            platform::simulated::Machine::fromJsonText(text);
        } catch (const platform::simulated::MachineError&) {
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadManySteps)->Arg(1500)->Unit(benchmark::kMillisecond);

struct Result {
    double realNs = 0.0;
    double cpuNs = 0.0;
};

// Prints as the console does, then a line "sm-result NAME REAL_NS CPU_NS" per case with the median
// (or the only run) for the parent to collect.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    CollectingReporter() : ConsoleReporter(OO_Tabular) {} // no colours: the parent reads it

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred ||
                (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")) {
                continue;
            }
            const double perUnit = 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Result& result = results_[run.run_name.function_name];
            result.realNs = run.GetAdjustedRealTime() * perUnit;
            result.cpuNs = run.GetAdjustedCPUTime() * perUnit;
            for (const char* counter : {"child_cpu", "call_cpu"}) {
                if (const auto found = run.counters.find(counter); found != run.counters.end()) {
                    result.cpuNs = found->second.value * 1e9;
                }
            }
            if (const auto found = run.counters.find("call_real"); found != run.counters.end()) {
                result.realNs = found->second.value * 1e9;
            }
            // The polled floor, measured alongside.
            const auto floorReal = run.counters.find("floor_real");
            const auto floorCpu = run.counters.find("floor_cpu");
            if (floorReal != run.counters.end() && floorCpu != run.counters.end()) {
                results_["BM_FloorPolled"] = {floorReal->second.value * 1e9,
                                              floorCpu->second.value * 1e9};
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::fflush(stdout);
        for (const auto& [name, result] : results_) {
            std::printf("sm-result %s %.1f %.1f\n", name.c_str(), result.realNs, result.cpuNs);
        }
        std::fflush(stdout);
    }

private:
    std::map<std::string, Result> results_;
};

int runCases(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

constexpr const char* kCases[] = {
    "BM_Floor",           "BM_SnapshotWarm",           "BM_SnapshotWarmWalked",
    "BM_FloorPolled",     "BM_SnapshotPolled",         "BM_SnapshotFirst",
    "BM_SnapshotRefresh", "BM_SnapshotLargeSimulated", "BM_JsonLargeSimulated"};

// Each polled case is measured against the floor polled the same way.
const char* floorOf(const std::string& name) {
    return name == "BM_SnapshotPolled" || name == "BM_FloorPolled" ? "BM_FloorPolled" : "BM_Floor";
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> passed;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--benchmark_filter", 18) == 0) {
            return runCases(argc, argv);
        }
        passed.emplace_back(argv[i]);
    }
    std::map<std::string, Result> results;
    for (const char* name : kCases) {
        if (std::strcmp(name, "BM_FloorPolled") == 0) {
            continue; // measured by BM_SnapshotPolled, alongside it
        }
        std::string command = "exec " + quoted(argv[0]) +
                              " --benchmark_filter=" + quoted(std::string("^") + name + "(/|$)");
        for (const std::string& argument : passed) {
            command += " " + quoted(argument);
        }
        std::FILE* child = ::popen(command.c_str(), "r");
        if (child == nullptr) {
            std::perror("popen");
            return 1;
        }
        char line[1024];
        while (std::fgets(line, sizeof line, child) != nullptr) {
            char found[256];
            Result result;
            if (std::sscanf(line, "sm-result %255s %lf %lf", found, &result.realNs,
                            &result.cpuNs) == 3) {
                results[found] = result;
            } else {
                std::fputs(line, stdout);
            }
        }
        if (::pclose(child) != 0) {
            std::fprintf(stderr, "%s failed\n", name);
        }
    }
    const auto measured = [&results](const char* name) {
        const auto found = results.find(name);
        return found != results.end() && found->second.realNs > 0.0 && found->second.cpuNs > 0.0;
    };
    if (!measured("BM_Floor") || !measured("BM_FloorPolled")) {
        std::fprintf(stderr, "no floor measured\n");
        return 1;
    }
    std::printf("\n%-26s %12s %12s %9s %9s\n", "median of each case", "time (us)", "CPU (us)",
                "x floor", "CPU x fl");
    for (const char* name : kCases) {
        const auto found = results.find(name);
        if (found != results.end()) {
            const Result& result = found->second;
            const Result& floor = results[floorOf(name)];
            std::printf("%-26s %12.1f %12.1f %9.2f %9.2f\n", name, result.realNs / 1000.0,
                        result.cpuNs / 1000.0, result.realNs / floor.realNs,
                        result.cpuNs / floor.cpuNs);
        }
    }
    std::printf("(the polled cases against BM_FloorPolled, the others against BM_Floor)\n");
    return 0;
}
