#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>

#ifndef PXRSIM_PATH
#error "PXRSIM_PATH must name the pxrsim program"
#endif

namespace pxr::test {

std::string NextLoopbackAddress() {
  static std::atomic<int> counter{0};
  const int pid = static_cast<int>(getpid());
  const int n = counter++;
  return "127." + std::to_string(1 + (pid >> 8) % 250) + "." + std::to_string(pid & 0xFF) + "." +
         std::to_string(2 + n % 250);
}

SimProcess::SimProcess(std::vector<std::string> args, bool udp) {
  bool hasListen = false;
  for (const auto& a : args) hasListen |= a == "--listen";
  for (int attempt = 0; attempt < 5 && !ready_; ++attempt) {
    std::vector<std::string> full = args;
    if (udp && !hasListen) {
      address_ = NextLoopbackAddress();
      full.insert(full.begin(), {"--listen", address_});
    }
    if (!udp) full.insert(full.begin(), "--no-udp");
    ready_ = Launch(full);
    if (!ready_) Stop();
  }
}

SimProcess::~SimProcess() {
  Stop();
}

bool SimProcess::Launch(const std::vector<std::string>& args) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return false;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(PXRSIM_PATH));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(PXRSIM_PATH, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  const std::string listen = "--listen";
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == listen) address_ = args[i + 1];
  }
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{outFd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    const ssize_t n = read(outFd_, buf, sizeof buf);
    if (n <= 0) return false;  // exited before it was ready
    text.append(buf, static_cast<size_t>(n));
    const auto serial = text.find("pxrsim: serial ");
    if (serial != std::string::npos) {
      const auto start = serial + std::strlen("pxrsim: serial ");
      const auto end = text.find_first_of(" \n", start);
      if (end != std::string::npos) ptyPath_ = text.substr(start, end - start);
    }
    if (text.find("pxrsim: ready\n") != std::string::npos) return true;
  }
  return false;
}

std::string SimProcess::Stop() {
  std::string err;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
  if (errFd_ >= 0) {
    char buf[1024];
    ssize_t n;
    while ((n = read(errFd_, buf, sizeof buf)) > 0) err.append(buf, static_cast<size_t>(n));
    close(errFd_);
    errFd_ = -1;
  }
  if (outFd_ >= 0) {
    close(outFd_);
    outFd_ = -1;
  }
  return err;
}

}  // namespace pxr::test
