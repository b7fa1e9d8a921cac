// pxrping: opens the probe link, reports the handshake and measures transactions.
//
//   pxrping --channel "NETWORK 127.0.0.1" [--count 200] [--size 1024] [--trace]
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/trace.h"
#include "link/clock.h"
#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "loader/loader.h"

int main(int argc, char** argv) {
  CLI::App app{"pxrping - open the PXR probe link and measure transactions"};
  std::string channel = "NETWORK 127.0.0.1";
  int count = 200;
  int size = 1024;
  bool trace = false;
  app.add_option("-c,--channel", channel, "channel spec")->capture_default_str();
  app.add_option("-n,--count", count, "flash reads to run")->capture_default_str();
  app.add_option("-s,--size", size, "bytes per flash read (1..1024)")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  app.add_flag("--trace", trace, "hex dump of every frame");
  CLI11_PARSE(app, argc, argv);

  pxr::PortMap map;
  auto port = pxr::MakeSystemSerialPort(map);
  auto socket = pxr::MakeSystemDatagramSocket();
  pxr::SteadyClock clock;
  pxr::Link link(*port, *socket, clock);
  pxr::cli::FrameTrace tracer(stderr);
  if (trace) link.SetObserver(&tracer);
  pxr::Loader loader(link, clock, 0x27);

  using Clock = std::chrono::steady_clock;
  auto t0 = Clock::now();
  const int32_t rc = link.LinkOpen(channel);
  const double openMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  if (rc != 0) {
    std::fprintf(stderr, "pxrping: cannot open \"%s\": %s (%d)\n", channel.c_str(),
                 pxr::StatusText(rc), rc);
    return 3;
  }
  if (link.IsSerial()) {
    std::printf("link open on %s at %u baud after %.0f ms\n", channel.c_str(), link.SerialSpeed(),
                openMs);
  } else {
    std::printf("link open on %s after %.0f ms\n", channel.c_str(), openMs);
  }

  uint16_t loaderVersion = 0, firmwareVersion = 0;
  std::string serial;
  if (int32_t r = loader.LoaderReadIdentity(loaderVersion, firmwareVersion, serial); r != 0) {
    std::fprintf(stderr, "pxrping: identity read failed: %s (%d)\n", pxr::StatusText(r), r);
    return 1;
  }
  std::printf("probe %s, loader %u, firmware word version %u\n", serial.c_str(), loaderVersion,
              firmwareVersion);

  uint8_t buffer[1024];
  t0 = Clock::now();
  for (int i = 0; i < count; ++i) {
    const int32_t r = loader.LoaderReadFlash(static_cast<uint32_t>(i % 64) * 1024u,
                                             static_cast<uint16_t>(size), buffer);
    if (r != 0) {
      std::fprintf(stderr, "pxrping: read %d failed: %s (%d)\n", i, pxr::StatusText(r), r);
      return 1;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("%d transactions of %d bytes in %.3f s: %.1f per second, %.1f KiB/s\n", count, size,
              seconds, count / seconds, count * size / 1024.0 / seconds);
  link.LinkClose();
  return 0;
}
