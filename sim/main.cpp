// pxrsim: a simulated PXR9 probe loader on UDP and/or a pseudo-terminal.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "sim/firmware_writer.h"
#include "sim/probe.h"
#include "sim/server.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop.store(true);
}

uint32_t ParseNumber(const std::string& text) {
  return static_cast<uint32_t>(std::stoul(text, nullptr, 0));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"pxrsim - simulated PXR probe loader (UDP port 2001 and/or a pseudo-terminal)"};
  app.set_version_flag("--version", "pxrsim 0.1.0");

  pxr::sim::ProbeConfig probe;
  pxr::sim::ServerOptions server;
  bool noUdp = false;
  std::string ptyLink;
  std::vector<std::string> plants;

  app.add_option("--listen", server.udpAddress, "UDP address to listen on")->capture_default_str();
  app.add_option("--udp-port", server.udpPort, "UDP port")->capture_default_str();
  app.add_flag("--no-udp", noUdp, "do not listen on UDP");
  auto* ptyOpt = app.add_option("--pty", ptyLink,
                                "serve a pseudo-terminal; optional PATH gets a symlink to it")
                     ->expected(0, 1);
  app.add_option("--start-speed", probe.startSpeed, "serial speed the loader listens at first")
      ->capture_default_str();
  app.add_flag("--pace", server.paceLine, "serial: hold replies for their time on the wire");
  app.add_option("--serial-number", probe.serialNumber, "8-character serial number")
      ->capture_default_str();
  app.add_option("--loader-version", probe.loaderVersion, "loader version in hundredths")
      ->capture_default_str();
  app.add_option("--identity-length", probe.identityLength,
                 "length of the identity reply (21 for a PXR9)")
      ->capture_default_str();
  app.add_option("--flash", server.flashFile, "load the flash from FILE and save it back");
  app.add_option("--plant", plants, "ADDR=BYTE: write a byte into the flash at start")->take_all();
  app.add_option("--erase-ms", probe.eraseMs, "simulated sector erase time (busy replies)");
  app.add_option("--program-ms", probe.programMs, "simulated programming time (busy replies)");
  app.add_option("--drop-every", probe.dropEvery, "drop the reply to every Nth request");
  app.add_option("--busy-every", probe.busyEvery, "send a busy reply before every Nth reply");
  app.add_option("--stale-every", probe.staleEvery,
                 "send a reply with wrong sequence bits before every Nth reply");
  app.add_option("--corrupt-every", probe.corruptEvery,
                 "corrupt the checksum of every Nth serial reply");
  app.add_option("--silent-after", probe.silentAfter, "stop answering after N requests");
  app.add_flag("--silent", probe.silent, "receive but never answer");
  app.add_flag("-v,--verbose", server.verbose, "report what happens");

  auto* make = app.add_subcommand("make-firmware", "write a sample S-record firmware file");
  std::string base = "PX9PQ3GD", dir = ".", family = "0x27";
  pxr::sim::SampleFirmware sample;
  make->add_option("--base", base, "firmware base name")->capture_default_str();
  make->add_option("--version", sample.version, "version in hundredths (1..255)")
      ->capture_default_str()
      ->check(CLI::Range(1, 999));
  make->add_option("--family", family, "target family code")->capture_default_str();
  make->add_option("--size", sample.imageBytes, "image size in bytes")->capture_default_str();
  make->add_option("--dir", dir, "directory to write into")->capture_default_str();

  CLI11_PARSE(app, argc, argv);

  if (*make) {
    sample.family = static_cast<uint8_t>(ParseNumber(family));
    std::string error;
    const std::string path = pxr::sim::WriteSampleFirmware(dir, base, sample, error);
    if (path.empty()) {
      std::fprintf(stderr, "pxrsim: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
  }

  server.udp = !noUdp;
  server.pty = ptyOpt->count() > 0;
  server.ptyLink = ptyLink;
  if (!server.udp && !server.pty) {
    std::fprintf(stderr, "pxrsim: nothing to serve (--no-udp without --pty)\n");
    return 2;
  }

  pxr::sim::Probe sim(probe);
  if (!server.flashFile.empty()) {
    std::string error;
    if (!sim.Flash().Load(server.flashFile, error)) {
      std::fprintf(stderr, "pxrsim: %s\n", error.c_str());
      return 1;
    }
  }
  for (const auto& plant : plants) {
    const auto eq = plant.find('=');
    try {
      if (eq == std::string::npos) throw std::invalid_argument(plant);
      sim.Flash().Poke(ParseNumber(plant.substr(0, eq)),
                       static_cast<uint8_t>(ParseNumber(plant.substr(eq + 1))));
    } catch (const std::exception&) {
      std::fprintf(stderr, "pxrsim: --plant wants ADDR=BYTE, not %s\n", plant.c_str());
      return 2;
    }
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const int rc = pxr::sim::RunServer(sim, server, g_stop);
  const auto& c = sim.Counters();
  std::fprintf(stderr,
               "pxrsim: %d requests, %d resends answered, %d dropped, %d busy, %d stale, "
               "%d corrupted\n",
               c.requests, c.duplicates, c.dropped, c.busy, c.stale, c.corrupted);
  return rc;
}
