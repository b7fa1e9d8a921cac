// Runs the real pxrsim program as the far end of integration tests.
#pragma once

#include <string>
#include <vector>

namespace pxr::test {

class SimProcess {
 public:
  // Starts pxrsim with args and waits for it to report ready. For UDP it picks a free loopback
  // address of its own (127.x.y.z) unless args name one with --listen.
  explicit SimProcess(std::vector<std::string> args, bool udp = true);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Ready() const { return ready_; }
  const std::string& Address() const { return address_; }
  const std::string& PtyPath() const { return ptyPath_; }
  std::string NetworkSpec() const { return "NETWORK " + address_; }
  // Stops the simulator (SIGTERM) and returns what it wrote to stderr.
  std::string Stop();

 private:
  bool Launch(const std::vector<std::string>& args);

  int pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  bool ready_ = false;
  std::string address_;
  std::string ptyPath_;
};

// A fresh loopback address for this process (127.a.b.c, never 127.0.0.1).
std::string NextLoopbackAddress();

}  // namespace pxr::test
