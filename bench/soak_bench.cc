// Soak: readers and writers over HTTP against a running `lxmdataflow serve`
// for a bounded time (bench/soak.sh starts the server and runs this).
//
//   soak_bench URL DESCRIPTOR SERVER_PID SECONDS [READERS] [WRITERS]
//
// Each writer renames a top class of its own in the template, numbering the
// names ("Soak<w> <n>") one after another, and also moves one user's
// overlay. Readers take the template and users' listings. A reader notes the
// last number each writer had been told was written before it sends; the
// template it gets back must hold that number or a later one: a read never
// serves a copy older than a commit that finished before it began. Prints
// requests, errors, stale reads and the server's resident memory every ten
// seconds; exits 1 on any error or stale read.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "server/http_client.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Totals {
  std::atomic<int64_t> reads{0};
  std::atomic<int64_t> writes{0};
  std::atomic<int64_t> errors{0};
  std::atomic<int64_t> stale{0};
};

// The server's resident memory in KiB, from /proc.
int64_t ResidentKib(const std::string& pid) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
  }
  return -1;
}

// The number in "Soak<writer> <n>" inside `body`; -1 when absent.
int64_t NumberOf(const std::string& body, int writer) {
  const std::string tag = "Soak" + std::to_string(writer) + " ";
  size_t at = body.find(tag);
  return at == std::string::npos ? -1 : std::atoll(body.c_str() + at + tag.size());
}

std::string WithUser(const std::string& descriptor, int user) {
  std::string text = descriptor;
  size_t at = text.find("UserID=");
  if (at == std::string::npos) return text;
  size_t end = text.find(';', at);
  return text.replace(at + 7, (end == std::string::npos ? text.size() : end) - at - 7, std::to_string(user));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s URL DESCRIPTOR SERVER_PID SECONDS [READERS] [WRITERS]\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const std::string descriptor = argv[2];
  const std::string pid = argv[3];
  const int seconds = std::atoi(argv[4]);
  const int readers = argc > 5 ? std::atoi(argv[5]) : 8;
  const int writers = argc > 6 ? std::atoi(argv[6]) : 2;

  Totals totals;
  std::vector<std::atomic<int64_t>> written(static_cast<size_t>(writers));
  for (auto& each : written) each = -1;
  std::atomic<bool> stop{false};
  std::mutex print_mutex;
  auto post = [&](const std::string& method, const Json& args) {
    return lxm::server::PostCall(url, method, args.dump());
  };
  auto report_error = [&](const std::string& what, const lxm::server::HttpReply& reply) {
    ++totals.errors;
    std::lock_guard<std::mutex> lock(print_mutex);
    std::fprintf(stderr, "%s: %d %s\n", what.c_str(), reply.status, reply.body.substr(0, 300).c_str());
  };

  std::vector<std::thread> threads;
  for (int w = 0; w < writers; ++w) {
    threads.emplace_back([&, w] {
      for (int64_t n = 0; !stop; ++n) {
        lxm::server::HttpReply renamed = post("LXMDataFlow.DatasUpdate/UpdateTopClassName",
                                              Json::array({descriptor, w + 1, "Soak" + std::to_string(w) + " " +
                                                                                  std::to_string(n)}));
        if (renamed.status != 200) {
          report_error("rename", renamed);
          continue;
        }
        written[static_cast<size_t>(w)] = n;
        ++totals.writes;
        // A user's overlay too, so that users' copies move as well.
        Json values = {{"Visible", n % 2 == 0}};
        lxm::server::HttpReply moved = post("LXMDataFlow.DatasUpdate/UpdateSystemFunc",
                                            Json::array({WithUser(descriptor, 20000 + static_cast<int>(n % 50)),
                                                         1001, values}));
        if (moved.status != 200) report_error("overlay", moved);
        else ++totals.writes;
      }
    });
  }
  for (int r = 0; r < readers; ++r) {
    threads.emplace_back([&, r] {
      for (int64_t i = 0; !stop; ++i) {
        if (i % 2 == 0) {
          std::vector<int64_t> before(static_cast<size_t>(writers));
          for (int w = 0; w < writers; ++w) before[static_cast<size_t>(w)] = written[static_cast<size_t>(w)];
          lxm::server::HttpReply reply = post("LXMDataFlow.clsDataInfo/GetTemplate", Json::array({descriptor}));
          if (reply.status != 200) {
            report_error("template", reply);
            continue;
          }
          ++totals.reads;
          for (int w = 0; w < writers; ++w) {
            int64_t seen = NumberOf(reply.body, w);
            if (before[static_cast<size_t>(w)] >= 0 && seen < before[static_cast<size_t>(w)]) {
              ++totals.stale;
              std::lock_guard<std::mutex> lock(print_mutex);
              std::fprintf(stderr, "stale: writer %d had written %lld, the read gave %lld\n", w,
                           static_cast<long long>(before[static_cast<size_t>(w)]), static_cast<long long>(seen));
            }
          }
        } else {
          std::string dsn = WithUser(descriptor, 20000 + static_cast<int>((i + r) % 50));
          lxm::server::HttpReply reply = post("LXMDataFlow.DatasInfo/GetSubSystem", Json::array({dsn, 0}));
          if (reply.status != 200) report_error("listing", reply);
          else ++totals.reads;
        }
      }
    });
  }

  const Clock::time_point start = Clock::now();
  std::printf("%8s %12s %10s %8s %8s %12s\n", "seconds", "reads", "writes", "errors", "stale", "rss KiB");
  std::vector<int64_t> rss;
  for (int elapsed = 10; elapsed <= seconds; elapsed += 10) {
    std::this_thread::sleep_until(start + std::chrono::seconds(elapsed));
    rss.push_back(ResidentKib(pid));
    std::printf("%8d %12lld %10lld %8lld %8lld %12lld\n", elapsed, static_cast<long long>(totals.reads.load()),
                static_cast<long long>(totals.writes.load()), static_cast<long long>(totals.errors.load()),
                static_cast<long long>(totals.stale.load()), static_cast<long long>(rss.back()));
    std::fflush(stdout);
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();
  const double total_seconds = std::chrono::duration<double>(Clock::now() - start).count();

  // Memory after the first minute (warm-up) against the end.
  const size_t warm = rss.size() > 6 ? 5 : 0;
  const int64_t after_warm_up = rss.empty() ? -1 : rss[warm];
  const int64_t at_end = rss.empty() ? -1 : rss.back();
  std::printf("requests %lld (%.0f/s), errors %lld, stale reads %lld; rss after warm-up %lld KiB, at the end %lld KiB "
              "(%+.1f%%)\n",
              static_cast<long long>(totals.reads + totals.writes), (totals.reads + totals.writes) / total_seconds,
              static_cast<long long>(totals.errors.load()), static_cast<long long>(totals.stale.load()),
              static_cast<long long>(after_warm_up), static_cast<long long>(at_end),
              after_warm_up > 0 ? 100.0 * static_cast<double>(at_end - after_warm_up) / static_cast<double>(after_warm_up)
                                : 0.0);
  return totals.errors == 0 && totals.stale == 0 ? 0 : 1;
}
