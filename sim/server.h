// Transports of the simulated probe: a UDP socket and a pseudo-terminal, served by one loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "sim/probe.h"

namespace pxr::sim {

struct ServerOptions {
  bool udp = true;
  std::string udpAddress = "127.0.0.1";
  uint16_t udpPort = 2001;
  bool pty = false;
  std::string ptyLink;    // symlink to place at the slave device, if not empty
  bool paceLine = false;  // serial: hold replies for the time the bytes need on the wire
  std::string flashFile;  // persist the flash here
  bool verbose = false;
};

// Runs until stop becomes true. Prints the endpoints and "pxrsim: ready" on stdout once it
// listens. Returns a process exit status.
int RunServer(Probe& probe, const ServerOptions& options, const std::atomic<bool>& stop);

}  // namespace pxr::sim
