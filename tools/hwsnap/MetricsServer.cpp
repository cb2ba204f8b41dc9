#include "tools/hwsnap/MetricsServer.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

namespace hwsnap {
namespace {

// Bounds on what one client may cost. The request line and each header line are capped at
// 8 KiB by the library itself.
constexpr std::size_t workerCount = 4;
constexpr std::size_t queuedConnections = 64;
constexpr std::size_t payloadLimit = 4096;
constexpr std::chrono::seconds ioTimeout{5};
constexpr std::size_t requestsPerConnection = 100;

// A fixed set of workers with a bounded queue: when it is full, accepting waits, so further
// clients wait in the kernel's backlog instead of growing our memory.
class BoundedPool : public httplib::TaskQueue {
public:
    BoundedPool() {
        for (std::size_t i = 0; i < workerCount; ++i) {
            workers_.emplace_back([this] { work(); });
        }
    }

    void enqueue(std::function<void()> job) override {
        std::unique_lock lock(mutex_);
        roomLeft_.wait(lock, [this] { return jobs_.size() < queuedConnections || stopping_; });
        jobs_.push_back(std::move(job));
        jobReady_.notify_one();
    }

    // Runs what is queued (each job closes its connection), then joins the workers.
    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        jobReady_.notify_all();
        roomLeft_.notify_all();
        for (auto& worker : workers_) {
            worker.join();
        }
    }

private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                jobReady_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
                if (jobs_.empty()) {
                    return;
                }
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            roomLeft_.notify_one();
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable jobReady_;
    std::condition_variable roomLeft_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int) {
    stopRequested = true;
}

// Prometheus asks for OpenMetrics first and falls back to text 0.0.4; a client that names only
// the older text format gets it, any other gets OpenMetrics.
Exposition negotiate(const httplib::Request& request) {
    const std::string accept = request.get_header_value("Accept");
    if (accept.find("application/openmetrics-text") == std::string::npos &&
        accept.find("text/plain") != std::string::npos) {
        return Exposition::PrometheusText;
    }
    return Exposition::OpenMetrics;
}

const char* contentType(Exposition flavor) {
    return flavor == Exposition::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

} // namespace

int serveMetrics(const ListenAddress& address, const ExpositionSource& source) {
    httplib::Server server;
    server.new_task_queue = [] { return new BoundedPool; };
    server.set_payload_max_length(payloadLimit);
    server.set_read_timeout(ioTimeout);
    server.set_write_timeout(ioTimeout);
    server.set_keep_alive_timeout(ioTimeout.count());
    server.set_keep_alive_max_count(requestsPerConnection);

    server.set_pre_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (request.path != "/metrics") {
                response.status = 404;
                response.set_content("Not found: try /metrics\n", "text/plain; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (request.method != "GET" && request.method != "HEAD") {
                response.status = 405;
                response.set_header("Allow", "GET, HEAD");
                response.set_content("Method not allowed\n", "text/plain; charset=utf-8");
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server.Get("/metrics", [&source](const httplib::Request& request, httplib::Response& response) {
        const Exposition flavor = negotiate(request);
        response.set_content(source(flavor), contentType(flavor));
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string what = "snapshot failed";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            std::cerr << "hwsnap: " << what << '\n';
            response.status = 500;
            response.set_content("snapshot failed\n", "text/plain; charset=utf-8");
        });

    // Port 0 takes a free port (tests do): the one taken is in the line printed below.
    const int port = address.port == 0
                         ? server.bind_to_any_port(address.host)
                         : (server.bind_to_port(address.host, address.port) ? address.port : -1);
    const std::string host =
        address.host.find(':') == std::string::npos ? address.host : '[' + address.host + ']';
    if (port <= 0) {
        std::cerr << "hwsnap: cannot listen on " << host << ':' << address.port << '\n';
        return 1;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    // A signal handler may only set a flag; stopping the server happens here.
    std::thread stopper([&server] {
        while (!stopRequested) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        server.stop();
    });
    std::cerr << "hwsnap: serving http://" << host << ':' << port << "/metrics" << std::endl;
    const bool served = server.listen_after_bind();
    stopRequested = true;
    stopper.join();
    return served ? 0 : 1;
}

} // namespace hwsnap
