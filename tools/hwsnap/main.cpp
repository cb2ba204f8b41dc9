// hwsnap: prints snapshots of this machine, or of a simulated one, as a tree, as JSON lines or
// as a metrics exposition; writes them to a file for a textfile collector.

#include "devicetree/GetAllDevices.h"
#include "foundation/Exception.h"
#include "foundation/Log.h"
#include "platform/Backend.h"
#include "platform/recording/MachineRecording.h"
#include "platform/recording/Privacy.h"
#include "platform/recording/RecordingBackend.h"
#include "platform/simulated/SimulatedMachine.h"
#include "tools/hwsnap/OpenMetricsFormat.h"
#include "tools/hwsnap/RecordProcessors.h"
#ifdef SM_HWSNAP_LISTEN
#include "tools/hwsnap/MetricsServer.h"
#endif
#include "tools/hwsnap/TreeFormat.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

enum class Format { Tree, Json, OpenMetrics };

struct Options {
    Format format = Format::Tree;
    std::string formatName;
    bool json = false;
    std::string output;
    std::string listen;
    std::string machine;
    std::string record;
    bool keepIdentity = false;
    std::optional<double> watch;
    std::optional<unsigned> count;
    bool log = false;
};

void writeAtomically(const std::filesystem::path& path, const std::string& text);

// What the machine answers while snapshots are taken, when --record asks for it. Installed over
// the backend in use (the live machine, or a simulated one), and kept until the process ends for
// the same reason as the machine.
struct Recording {
    platform::recording::RecordingBackend* backend = nullptr;
    platform::recording::MachineRecording machine;
};
Recording recording;

void installRecorder() {
    static std::optional<platform::recording::RecordingBackend> recorder;
    static std::optional<platform::ScopedBackend> scope;
    recorder.emplace(platform::currentBackend());
    scope.emplace(*recorder);
    recording.backend = &*recorder;
}

void recordSnapshot(double at, const systemmonitor::Device& root) {
    platform::recording::RecordingBackend& backend = *recording.backend;
    nlohmann::json machine = backend.machine();
    machine["cpu"] = hwsnap::processorSection(
        hwsnap::processorFacts(hwsnap::formatJson(root), backend.processorFacts()));
    recording.machine.add(at, std::move(machine));
    backend.firstSnapshotTaken();
    recording.machine.setLateAnswers(backend.lateAnswers());
}

void writeRecording(const Options& options) {
    nlohmann::json document = recording.machine.document();
    if (!options.keepIdentity) {
        platform::recording::hideIdentity(document);
    }
    writeAtomically(options.record, document.dump(1) + "\n");
}

std::string takeSnapshot(Format format,
                         hwsnap::Exposition flavor = hwsnap::Exposition::OpenMetrics) {
    const double at = recording.backend != nullptr ? recording.backend->monotonicSeconds() : 0.0;
    const auto started = std::chrono::steady_clock::now();
    const auto root = systemmonitor::getAllDevices();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    if (recording.backend != nullptr) {
        recordSnapshot(at, *root);
    }
    switch (format) {
    case Format::Json: {
        std::string text = hwsnap::formatJson(*root);
        text += '\n';
        return text;
    }
    case Format::OpenMetrics:
        return hwsnap::formatOpenMetrics(*root, took.count(), flavor);
    case Format::Tree:
        break;
    }
    return hwsnap::formatTree(*root);
}

#ifdef SM_HWSNAP_LISTEN
// Each scrape takes one snapshot, one at a time (the library forbids overlapping snapshots); on a
// simulated machine each scrape first moves to the next step and then stays on the last.
int listen(const Options& options, platform::simulated::SimulatedMachine* machine) {
    const auto address = hwsnap::parseListenAddress(options.listen);
    if (!address) {
        std::cerr << "hwsnap: --listen: expected ADDR:PORT, got '" << options.listen << "'\n";
        return 2;
    }
    std::mutex snapshotLock;
    std::size_t nextStep = 0;
    unsigned long taken = 0;
    return hwsnap::serveMetrics(*address, [&](hwsnap::Exposition flavor) {
        std::lock_guard lock(snapshotLock);
        ++taken;
        if (options.log) {
            std::cerr << "hwsnap: snapshot " << taken << " begins\n";
        }
        if (machine != nullptr && machine->stepCount() > 0) {
            machine->applyStep(nextStep);
            nextStep = std::min(nextStep + 1, machine->stepCount() - 1);
        }
        std::string text = takeSnapshot(Format::OpenMetrics, flavor);
        if (options.log) {
            std::cerr << "hwsnap: snapshot " << taken << " ends\n";
        }
        return text;
    });
}
#else
int listen(const Options&, platform::simulated::SimulatedMachine*) {
    std::cerr << "hwsnap: --listen is not supported by this build\n";
    return 2;
}
#endif

// A reader (a textfile collector) sees the old file or the new one, never a part: the text goes
// to a temporary file beside it, which is then renamed over it.
void writeAtomically(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    std::filesystem::rename(temporary, path);
}

void printSnapshot(const Options& options) {
    const std::string text = takeSnapshot(options.format);
    if (!options.output.empty()) {
        writeAtomically(options.output, text);
        return;
    }
    std::cout << text;
    std::cout.flush();
}

int run(const Options& options) {
    if (options.log) {
        qel::LogFactory::setSink(
            [](const qel::String& logger, int priority, const qel::String& message) {
                std::cerr << "[" << logger.toUtf8() << "] " << priority << ": " << message.toUtf8()
                          << '\n';
            });
    }
    if (!options.machine.empty()) {
        platform::simulated::SimulatedMachine* machine = nullptr;
        try {
            machine = &platform::simulated::SimulatedMachine::installForProcess(options.machine);
        } catch (const std::exception& error) {
            std::cerr << "hwsnap: " << error.what() << '\n';
            return 2;
        }
        if (!options.listen.empty()) {
            return listen(options, machine);
        }
        if (!options.record.empty()) {
            installRecorder();
        }
        for (std::size_t step = 0; step < machine->stepCount(); ++step) {
            machine->applyStep(step);
            printSnapshot(options);
        }
        if (!options.record.empty()) {
            writeRecording(options);
        }
        return 0;
    }
    if (!options.listen.empty()) {
        return listen(options, nullptr);
    }
    if (!options.record.empty()) {
        installRecorder();
    }
    const unsigned count = options.count.value_or(options.watch ? 0u : 1u);
    for (unsigned taken = 0; count == 0 || taken < count; ++taken) {
        if (taken > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(*options.watch));
        }
        printSnapshot(options);
    }
    if (!options.record.empty()) {
        writeRecording(options);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app("Prints a snapshot of the machine's hardware: processors, disks and memory.",
                 "hwsnap");
    app.set_version_flag("--version", std::string("hwsnap ") + SM_VERSION);
    const std::map<std::string, Format> formats{
        {"tree", Format::Tree}, {"json", Format::Json}, {"openmetrics", Format::OpenMetrics}};
    auto* format =
        app.add_option("--format", options.formatName,
                       "tree (default), json (one object per line) or openmetrics (metrics "
                       "exposition)")
            ->type_name("FORMAT")
            ->check(CLI::IsMember({"tree", "json", "openmetrics"}));
    app.add_flag("--json", options.json, "Short for --format json")->excludes(format);
    app.add_option("--output", options.output,
                   "Write each snapshot to FILE (replaced atomically) instead of stdout")
        ->type_name("FILE");
    app.add_option("--machine", options.machine,
                   "Read a simulated machine (JSON) instead: one snapshot per step")
        ->type_name("FILE");
    auto* watch = app.add_option("--watch", options.watch,
                                 "Take a snapshot every SECONDS, until stopped or --count")
                      ->type_name("SECONDS")
                      ->check(CLI::PositiveNumber);
    app.add_option("--count", options.count, "Stop after N snapshots (with --watch)")
        ->type_name("N")
        ->check(CLI::PositiveNumber)
        ->needs(watch);
    app.add_option("--listen", options.listen,
                   "Serve GET /metrics over HTTP on ADDR:PORT (ADDR defaults to 127.0.0.1); "
                   "with --machine each scrape takes the next step")
        ->type_name("ADDR:PORT")
        ->excludes(watch)
        ->excludes("--output")
        ->excludes("--json")
        ->excludes(format);
    auto* record = app.add_option("--record", options.record,
                                  "Also write what the machine answered as a simulated machine "
                                  "(JSON) to FILE, for --machine; with --watch and --count, one "
                                  "step per snapshot")
                       ->type_name("FILE")
                       ->excludes("--listen");
    app.add_flag("--keep-identity", options.keepIdentity,
                 "With --record: keep serial numbers, volume labels and the folders of "
                 "hwsnap's path (by default each is replaced by a placeholder of the same length "
                 "and kind of characters)")
        ->needs(record);
    app.add_flag("--log", options.log, "Print the library's log messages to stderr");
    app.get_option("--machine")->excludes(watch);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << '\n';
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "hwsnap: " << error.what() << '\n';
        return 2;
    }
    if (!options.record.empty() && options.watch && !options.count) {
        std::cerr << "hwsnap: --record with --watch needs --count\n";
        return 2;
    }
    if (!options.formatName.empty()) {
        options.format = formats.at(options.formatName);
    }
    if (options.json) {
        options.format = Format::Json;
    }
    try {
        return run(options);
    } catch (const std::exception& error) {
        std::cerr << "hwsnap: " << error.what() << '\n';
        return 1;
    }
}
