// hwsnap: prints snapshots of this machine, or of a simulated one, as a tree, as JSON lines or
// as a metrics exposition; writes them to a file for a textfile collector.

#include "devicetree/GetAllDevices.h"
#include "foundation/Exception.h"
#include "foundation/Log.h"
#include "platform/Backend.h"
#include "platform/simulated/SimulatedMachine.h"
#include "tools/hwsnap/OpenMetricsFormat.h"
#include "tools/hwsnap/TreeFormat.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

enum class Format { Tree, Json, OpenMetrics };

struct Options {
    Format format = Format::Tree;
    bool json = false;
    std::string output;
    std::string machine;
    std::optional<double> watch;
    std::optional<unsigned> count;
    bool log = false;
};

// The machine stays installed until the process ends: the library's process-wide objects (the
// disks with their open handles) are destroyed at exit, and must close their handles on the
// machine that opened them. Both statics exist before the first snapshot, so they outlive them.
platform::simulated::SimulatedMachine& installMachine(const std::string& path) {
    static std::optional<platform::simulated::SimulatedMachine> machine;
    static std::optional<platform::ScopedBackend> scope;
    machine.emplace(platform::simulated::SimulatedMachine::fromFile(path));
    scope.emplace(*machine);
    return *machine;
}

std::string takeSnapshot(Format format) {
    const auto started = std::chrono::steady_clock::now();
    const auto root = systemmonitor::getAllDevices();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    switch (format) {
    case Format::Json:
        return hwsnap::formatJson(*root) + '\n';
    case Format::OpenMetrics:
        return hwsnap::formatOpenMetrics(*root, took.count());
    case Format::Tree:
        break;
    }
    return hwsnap::formatTree(*root);
}

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
            machine = &installMachine(options.machine);
        } catch (const std::exception& error) {
            std::cerr << "hwsnap: " << error.what() << '\n';
            return 2;
        }
        for (std::size_t step = 0; step < machine->stepCount(); ++step) {
            machine->applyStep(step);
            printSnapshot(options);
        }
        return 0;
    }
    const unsigned count = options.count.value_or(options.watch ? 0u : 1u);
    for (unsigned taken = 0; count == 0 || taken < count; ++taken) {
        if (taken > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(*options.watch));
        }
        printSnapshot(options);
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
        app.add_option("--format", options.format,
                       "tree (default), json (one object per line) or openmetrics (metrics "
                       "exposition)")
            ->type_name("FORMAT")
            ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
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
