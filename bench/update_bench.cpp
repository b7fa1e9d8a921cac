// Firmware update throughput against pxrsim, and the floor a bare UDP client reaches with the
// same requests.
//
//   update_bench udp [IMAGE_BYTES]     update over UDP loopback, then the raw ping-pong floor
//   update_bench pty [IMAGE_BYTES]     update over a paced pseudo-terminal at 115200 baud
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/srecord.h"
#include "firmware/update.h"
#include "link/clock.h"
#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/serial_framing.h"
#include "link/serial_port.h"
#include "loader/loader.h"
#include "sim/firmware_writer.h"
#include "tests/support/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Recorder final : pxr::LinkObserver {
  std::vector<std::vector<uint8_t>> sent;
  uint64_t framedBytes = 0;
  bool serial = false;
  void OnFrameSent(const uint8_t* f, int32_t n) override {
    sent.emplace_back(f, f + n);
    Count(f, n);
  }
  void OnFrameReceived(const uint8_t* f, int32_t n) override { Count(f, n); }
  void Count(const uint8_t* f, int32_t n) {
    uint8_t out[pxr::FramedSize(1500)];
    framedBytes += static_cast<uint64_t>(pxr::EncodeSerialFrame(f, n, out));
  }
};

struct Status final : pxr::StatusLine {
  void SetStatusText(std::string_view) override {}
};

struct Result {
  int32_t status = 0;
  double wall = 0, cpu = 0;
  Recorder recorder;
};

Result RunUpdate(const std::string& spec, const std::string& file, bool record) {
  pxr::PortMap map;
  auto port = pxr::MakeSystemSerialPort(map);
  auto socket = pxr::MakeSystemDatagramSocket();
  pxr::SteadyClock clock;
  pxr::Link link(*port, *socket, clock);
  Result r;
  if ((r.status = link.LinkOpen(spec)) != 0) return r;
  if (record) link.SetObserver(&r.recorder);
  pxr::Loader loader(link, clock, 0x27);
  Status status;
  pxr::ProgressState progress;
  pxr::ProcedureContext context{loader, status, progress};
  pxr::FirmwareReader reader;
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  r.status = pxr::UpdateFirmware(context, reader, file);
  r.wall = std::chrono::duration<double>(Clock::now() - t0).count();
  r.cpu = CpuSeconds() - cpu0;
  link.SetObserver(nullptr);
  link.LinkClose();
  return r;
}

// Sends the recorded frames one by one on a bare connected UDP socket, each after the reply to
// the one before: the least any client can do for the same exchange.
double RawFloor(const std::string& address, const std::vector<std::vector<uint8_t>>& frames,
                double& cpu) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(2001);
  inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
  const uint8_t ping[] = {0, 1, 1};
  uint8_t reply[1500];
  send(fd, ping, 3, 0);
  recv(fd, reply, sizeof reply, 0);
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  uint8_t seq = 0x40;  // a fresh sequence so the simulator does not take them as resends
  for (auto frame : frames) {
    frame[0] = static_cast<uint8_t>((frame[0] & 0x3F) | seq);
    seq = static_cast<uint8_t>(seq + 0x40);
    send(fd, frame.data(), frame.size(), 0);
    for (;;) {
      const ssize_t n = recv(fd, reply, sizeof reply, 0);
      if (n != 3 || reply[0] != 0x08) break;  // skip busy replies
    }
  }
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  cpu = CpuSeconds() - cpu0;
  close(fd);
  return wall;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "udp";
  const uint32_t imageBytes =
      argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0)) : 2u * 1024 * 1024;
  char dir[] = "/tmp/pxr-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  pxr::sim::SampleFirmware spec;
  spec.imageBytes = imageBytes;
  std::string error;
  const std::string file = pxr::sim::WriteSampleFirmware(dir, "PX9PQ3GD", spec, error);

  if (mode == "udp") {
    // One run records the requests; a second, on a fresh simulator and without the recorder,
    // is the one timed.
    Result recorded;
    {
      pxr::test::SimProcess sim({"--listen", "127.0.0.2"});
      if (!sim.Ready()) return 1;
      recorded = RunUpdate(sim.NetworkSpec(), file, true);
    }
    // Best of five, each on a fresh simulator, for the update and for the floor.
    Result r;
    r.wall = 1e9;
    double floor = 1e9, floorCpu = 0;
    for (int rep = 0; rep < 5; ++rep) {
      pxr::test::SimProcess sim({"--listen", "127.0.0.1"});
      if (!sim.Ready()) return 1;
      Result run = RunUpdate(sim.NetworkSpec(), file, false);
      if (run.status != 0) {
        std::fprintf(stderr, "update failed: %d\n", run.status);
        return 1;
      }
      if (run.wall < r.wall) r = std::move(run);
    }
    r.recorder = std::move(recorded.recorder);
    for (int rep = 0; rep < 5; ++rep) {
      pxr::test::SimProcess sim({"--listen", "127.0.0.1"});
      if (!sim.Ready()) return 1;
      double cpu = 0;
      const double wall = RawFloor("127.0.0.1", r.recorder.sent, cpu);
      if (wall < floor) {
        floor = wall;
        floorCpu = cpu;
      }
    }
    std::printf("image %u bytes, %zu requests\n", imageBytes, r.recorder.sent.size());
    std::printf("update over UDP: wall %.3f s, client CPU %.3f s\n", r.wall, r.cpu);
    std::printf("raw UDP floor:   wall %.3f s, client CPU %.3f s\n", floor, floorCpu);
    std::printf("ratio update/floor: %.2f (target <= 1.2)\n", r.wall / floor);
  } else {
    pxr::test::SimProcess sim({"--pty", "--pace"}, false);
    if (!sim.Ready()) return 1;
    const Result r = RunUpdate(sim.PtyPath() + " 115200", file, true);
    if (r.status != 0) {
      std::fprintf(stderr, "update failed: %d\n", r.status);
      return 1;
    }
    const double wire = static_cast<double>(r.recorder.framedBytes) * 10.0 / 115200.0;
    std::printf("image %u bytes, %zu requests, %llu bytes on the wire\n", imageBytes,
                r.recorder.sent.size(), static_cast<unsigned long long>(r.recorder.framedBytes));
    std::printf("update over a paced pty at 115200: wall %.2f s, client CPU %.3f s\n", r.wall,
                r.cpu);
    std::printf("time the bytes need on the wire:   %.2f s\n", wire);
    std::printf("ratio wall/wire: %.3f (target <= 1.05)\n", r.wall / wire);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
