#include "cli/tool.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>

#include "app9/settings.h"
#include "cli/console.h"
#include "cli/serial_ports.h"
#include "cli/trace.h"
#include "firmware/firmware_files.h"
#include "firmware/flash_check.h"
#include "firmware/srecord.h"
#include "firmware/update.h"
#include "link/clock.h"
#include "link/datagram_socket.h"
#include "link/link.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "loader/loader.h"

namespace pxr::cli {

namespace {

constexpr int kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
constexpr size_t kAddressTextLimit = 15;

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

struct Options {
  std::string ip, port, channel, firmwareDir;
  int speed = 115200;
  int attempts = 10;
  bool stayInLoader = false;
  bool verbose = false;
  bool trace = false;
  bool quiet = false;
};

// What a connected session holds: the link, the loader, the identity.
class Session {
 public:
  Session(const BuildProfile& profile, const Options& options, ConsoleStatus& status)
      : profile_(profile),
        options_(options),
        status_(status),
        port_(MakeSystemSerialPort(map_)),
        socket_(MakeSystemDatagramSocket()),
        link_(*port_, *socket_, clock_),
        loader_(link_, clock_, profile.familyCode),
        files_(options.firmwareDir.empty() ? FirmwareFiles() : FirmwareFiles(options.firmwareDir)),
        context_{loader_, status_, progress_},
        trace_(stderr) {
    LoadPortOverrides(map_);
    if (options.trace) link_.SetObserver(&trace_);
  }

  ~Session() { Finish(); }

  // The channel spec from the options or the stored settings; empty on a usage error.
  std::string ChannelSpecification(std::string& error) {
    const int forms = !options_.ip.empty() + !options_.port.empty() + !options_.channel.empty();
    if (forms > 1) {
      error = "give at most one of --ip, --port and --channel";
      return {};
    }
    if (!options_.ip.empty()) return "NETWORK " + options_.ip;
    if (!options_.port.empty()) {
      if (options_.port.find(' ') != std::string::npos) {
        error = "a port name cannot contain spaces: " + options_.port;
        return {};
      }
      return options_.port + " " + std::to_string(options_.speed);
    }
    if (!options_.channel.empty()) return options_.channel;
    const SetupSettings stored = LoadSetupSettings(profile_.settingsSection);
    if (stored.portIndex == 0) return "NETWORK " + stored.pxrIp.toStdString();
    const int speedIndex = stored.speedIndex >= 0 && stored.speedIndex < 5 ? stored.speedIndex : 0;
    return "\\\\.\\COM" + std::to_string(stored.portIndex) + " " +
           std::to_string(kSpeeds[speedIndex]);
  }

  // Opens the link and reads the identity, up to the given number of attempts.
  int Connect(const std::string& spec) {
    spec_ = spec;
    status_.SetStatusText("Connecting to PXR Loader ...");
    int32_t result = status::kNoAnswer;
    for (int attempt = 0; attempt < options_.attempts; ++attempt) {
      result = link_.LinkOpen(spec);
      if (result == status::kOk) {
        result = loader_.LoaderReadIdentity(loaderVersion_, loadedVersion_, serial_);
        if (result == status::kOk) break;
      }
      Verbose("attempt " + std::to_string(attempt + 1), result);
      link_.LinkClose();
      // Opening a missing or busy port will not work on the next try either.
      if (result == status::kSerialConfig || result == status::kInvalidArgument) break;
    }
    if (result != status::kOk || loaderVersion_ == 0) {
      link_.LinkClose();
      status_.SetStatusText("Connecting to PXR loader failed!");
      Error(result != status::kOk ? ConnectFailure(result)
                                  : "There is no PXR9 connected!" +
                                        std::string(" (the loader answered with an identity of "
                                                    "another probe model)"));
      return kExitNoConnection;
    }
    connected_ = true;
    newestVersion_ = files_.FindNewestFirmware(profile_.firmwareBaseName);
    status_.SetStatusText("Connecting to PXR Loader passed!");
    return kExitOk;
  }

  void Finish() {
    if (!connected_) return;
    connected_ = false;
    if (!options_.stayInLoader) {
      status_.SetStatusText("Starting firmware please wait....");
      loader_.LoaderStartFirmware();
    }
    link_.LinkClose();
    status_.EndBar();
  }

  int Info(bool json) {
    if (json) {
      std::printf(
          "{\"serial_number\": %s, \"mac_address\": %s, \"loader_version\": %s, "
          "\"loaded_version\": %s, \"newest_version\": %s, \"loader_version_raw\": %u, "
          "\"loaded_version_raw\": %u, \"newest_version_raw\": %u, \"target\": %s, "
          "\"channel\": %s}\n",
          JsonString(serial_).c_str(), JsonString(MacAddressText(serial_)).c_str(),
          JsonString(FormatVersion(loaderVersion_)).c_str(),
          JsonString(FormatVersion(loadedVersion_)).c_str(),
          JsonString(FormatVersion(newestVersion_)).c_str(), loaderVersion_, loadedVersion_,
          newestVersion_, JsonString(profile_.targetText).c_str(), JsonString(spec_).c_str());
    } else {
      std::printf("Serial number:   %s\n", serial_.c_str());
      std::printf("MAC address:     %s\n", MacAddressText(serial_).c_str());
      std::printf("Loader version:  %s\n", FormatVersion(loaderVersion_).c_str());
      std::printf("Loaded version:  %s\n", FormatVersion(loadedVersion_).c_str());
      std::printf("Newest version:  %s\n", FormatVersion(newestVersion_).c_str());
    }
    std::fflush(stdout);
    return kExitOk;
  }

  int Update() {
    if (newestVersion_ == 0 || newestVersion_ > 255) {
      Error(newestVersion_ == 0 ? "no firmware file " + std::string(profile_.firmwareBaseName) +
                                      ".nnn in " + files_.Directory()
                                : "the newest firmware file has no usable version (" +
                                      std::to_string(newestVersion_) + ")");
      return kExitFailed;
    }
    if (newestVersion_ != loadedVersion_) {
      const std::string path = files_.FirmwarePath(profile_.firmwareBaseName, newestVersion_);
      FirmwareReader reader;
      const int32_t rc = UpdateFirmware(context_, reader, path);
      if (rc != status::kOk) {
        const std::string step = status_.Last();
        status_.SetStatusText("Updating firmware failed!");
        loadedVersion_ = 0;
        Verbose("update", rc);
        if (rc == status::kInvalidFirmware && step != "Invalid Firmware File!") {
          Error("Firmware update failed! cannot open firmware file " + path);
        } else if (rc == status::kInvalidFirmware) {
          Error("Firmware update failed! invalid firmware file " + path);
        } else {
          Error("Firmware update failed! " + ProbeFailure(rc));
        }
        return kExitFailed;
      }
    } else {
      std::printf("Firmware %s is already loaded\n", FormatVersion(loadedVersion_).c_str());
    }
    const int32_t rc = loader_.LoaderReadIdentity(loaderVersion_, loadedVersion_, serial_);
    if (rc != status::kOk) {
      loadedVersion_ = 0;
      status_.SetStatusText("Updating firmware failed!");
      Error(ProbeFailure(rc));
      return kExitFailed;
    }
    status_.SetStatusText("Updating firmware passed!");
    std::printf("Loaded version:  %s\n", FormatVersion(loadedVersion_).c_str());
    return kExitOk;
  }

  int Erase() {
    status_.SetStatusText("Erasing Flash ...");
    uint16_t crc = 0;
    const int32_t rc = EraseAndCheckFlash(context_, crc);
    loadedVersion_ = 0;
    if (rc == status::kOk) {
      char text[80];
      std::snprintf(text, sizeof text, "Erasing Flash passed! (CRC=%u)",
                    static_cast<unsigned>(crc));
      status_.SetStatusText(text);
      status_.EndBar();
      std::printf("CRC=%u (0x%04X)\n", static_cast<unsigned>(crc), static_cast<unsigned>(crc));
      return kExitOk;
    }
    Verbose("erase", rc);
    if (rc == status::kIllegalData) {
      status_.SetStatusText("Illegal data in boot/loader sectors detected!");
      Error("the boot or loader sectors hold data where they must be blank");
    } else {
      status_.SetStatusText("Erasing Flash failed!");
      Error(ProbeFailure(rc));
    }
    return kExitFailed;
  }

  int Transmit(const SetupSettings& values) {
    status_.SetStatusText("Writing setup data ....");
    auto store = makeStore_ ? makeStore_(loader_) : nullptr;
    const std::string configFile = values.configFile.toStdString();
    const int32_t rc = TransmitSetup(context_, values.pxrIp.toStdString(),
                                     values.subnetMask.toStdString(), values.gateway.toStdString(),
                                     values.hostIp.toStdString(), configFile, store.get());
    if (rc == status::kOk) {
      status_.SetStatusText("Writing setup data passed");
      return kExitOk;
    }
    status_.SetStatusText("Writing setup data failed!");
    Verbose("transmit", rc);
    switch (rc) {
      case status::kConfigTooLarge:
        Error("Transfer failed! the configuration file " +
              (configFile.empty() ? std::string("(none given)") : configFile) +
              " cannot be read or is 64 KiB or larger");
        break;
      case status::kRegisterPath:
        Error("Transfer failed! a register file named in the [REGS] section of " + configFile +
              " cannot be read, its path is too long, or the register files exceed 64 KiB");
        break;
      case status::kIllegalData:
        Error("Transfer failed! the setup data read back from the probe differs");
        break;
      default:
        Error("Transfer failed! " + ProbeFailure(rc));
    }
    return kExitFailed;
  }

  void SetStoreFactory(ConfigurationStoreFactory f) { makeStore_ = f; }

 private:
  std::string PortDevice() const { return port_->LastDevice(); }

  std::string ConnectFailure(int32_t rc) const {
    if (rc == status::kSerialConfig) {
      const std::string device = PortDevice();
      switch (port_->LastError()) {
        case PortError::kNotFound:
          return "serial port " + device + " not found";
        case PortError::kBusy:
          return "serial port " + device + " is busy (another program is using it)";
        case PortError::kAccessDenied:
          return "permission denied on " + device +
                 ": join the dialout group (sudo usermod -aG dialout $USER, then log in again) "
                 "or install the udev rule from the README";
        case PortError::kNotATerminal:
          return device + " is not a serial port";
        default:
          return "serial port " + device + " cannot be opened or configured";
      }
    }
    if (rc == status::kInvalidArgument) {
      return "unusable channel \"" + spec_ + "\" (unknown port name or address)";
    }
    return ProbeFailure(rc);
  }

  std::string ProbeFailure(int32_t rc) const {
    switch (rc) {
      case status::kNoAnswer:
      case status::kSerialTimeout:
      case status::kNetTimeout:
        return "no answer from the probe on " + spec_ +
               " (is it powered, cabled and running its loader?)";
      case status::kNetFailed:
        return "network error talking to the probe on " + spec_;
      case status::kUnexpectedReply:
        return "the probe sent an unexpected reply";
      case status::kLoaderRestart:
        return "the probe's loader asked to be contacted again";
      case status::kEraseFailed:
        return "the probe could not erase a flash sector";
      case status::kProgramFailed:
        return "the probe could not program its flash";
      default:
        return std::string("the probe link failed (") + StatusText(rc) + ")";
    }
  }

  void Error(const std::string& message) {
    status_.EndBar();
    std::fprintf(stderr, "%s: %s\n", std::string(profile_.toolName).c_str(), message.c_str());
  }

  void Verbose(const std::string& what, int32_t rc) {
    if (!options_.verbose || rc == status::kOk) return;
    status_.EndBar();
    std::fprintf(stderr, "%s: %s: status %d (%s)\n", std::string(profile_.toolName).c_str(),
                 what.c_str(), rc, StatusText(rc));
  }

  const BuildProfile& profile_;
  const Options& options_;
  ConsoleStatus& status_;
  PortMap map_;
  SteadyClock clock_;
  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<DatagramSocket> socket_;
  Link link_;
  Loader loader_;
  FirmwareFiles files_;
  ProgressState progress_;
  ProcedureContext context_;
  FrameTrace trace_;
  ConfigurationStoreFactory makeStore_ = nullptr;
  std::string spec_;
  bool connected_ = false;
  uint16_t loaderVersion_ = 0;
  uint16_t loadedVersion_ = 0;
  uint16_t newestVersion_ = 0;
  std::string serial_;
};

bool AskYesNo(const char* question) {
  std::fprintf(stderr, "%s [y/N] ", question);
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace

int RunTool(int argc, char** argv, const BuildProfile& profile,
            ConfigurationStoreFactory makeStore) {
  QCoreApplication::setOrganizationName(QStringLiteral("Quellin"));
  QCoreApplication::setApplicationName(QStringLiteral("Zelvar"));
  const std::string tool(profile.toolName);
  CLI::App app{tool + " - set up PXR9 probes (" + std::string(profile.targetText) + " firmware)"};
  app.set_version_flag("--version", std::string(profile.versionText));
  app.require_subcommand(1);
  Options o;
  auto* ip = app.add_option("--ip", o.ip, "network channel to ADDR (UDP port 2001)");
  auto* port = app.add_option("--port", o.port, "serial port: COMn, \\\\.\\COMn or a device path");
  app.add_option("--speed", o.speed, "serial speed in baud")->capture_default_str()->needs(port);
  auto* channel = app.add_option("--channel", o.channel, "a raw channel spec");
  ip->excludes(port)->excludes(channel);
  port->excludes(channel);
  app.add_option("--firmware-dir", o.firmwareDir, "where to look for firmware files");
  app.add_option("--attempts", o.attempts, "connection attempts")
      ->capture_default_str()
      ->check(CLI::Range(1, 100));
  app.add_flag("--stay-in-loader", o.stayInLoader, "do not start the firmware afterwards");
  app.add_flag("-v,--verbose", o.verbose, "report status codes");
  app.add_flag("--trace", o.trace, "hex dump of every frame sent and received");
  app.add_flag("-q,--quiet", o.quiet, "no status lines");

  bool json = false;
  auto* info = app.add_subcommand("info", "serial number, MAC address and versions");
  info->add_flag("--json", json, "one JSON object on stdout");
  auto* update = app.add_subcommand("update", "load the newest firmware file into the probe");
  bool yes = false;
  auto* erase = app.add_subcommand("erase", "erase and check the probe's flash, print the CRC");
  erase->add_flag("--yes", yes, "do not ask");
  auto* transmit = app.add_subcommand("transmit", "store the network configuration in the probe");
  std::string pxrIp, subnet, gateway, hostIp, configFile;
  auto* optPxrIp = transmit->add_option("--pxr-ip", pxrIp, "the probe's IP address");
  auto* optSubnet = transmit->add_option("--subnet", subnet, "subnet mask");
  auto* optGateway = transmit->add_option("--gateway", gateway, "default gateway");
  auto* optHost = transmit->add_option("--host-ip", hostIp, "configuration host IP address");
  auto* optConfig = transmit->add_option("--config-file", configFile, "configuration file");
  auto* ports = app.add_subcommand("ports", "list serial ports and the COM port map");
  std::vector<std::string> maps;
  ports->add_option("--map", maps, "COMn=DEVICE: store a port map override (DEVICE empty: remove)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }

  if (*ports) {
    for (const auto& m : maps) {
      const auto eq = m.find('=');
      const int number = eq == std::string::npos ? 0 : PortMap::PortNumber(m.substr(0, eq));
      if (number < 1 || number > PortMap::kPorts) {
        std::fprintf(stderr, "%s: --map wants COMn=DEVICE with n from 1 to 19, not %s\n",
                     tool.c_str(), m.c_str());
        return kExitUsage;
      }
      SavePortOverride(number, QString::fromStdString(m.substr(eq + 1)));
    }
    PortMap map;
    LoadPortOverrides(map);
    const auto found = ListSerialPorts();
    std::printf("%-20s %-28s %-10s %s\n", "DEVICE", "DESCRIPTION", "USB ID", "SERIAL");
    for (const auto& p : found) {
      std::printf("%-20s %-28s %-10s %s\n", p.device.c_str(), p.description.c_str(),
                  p.usbId.c_str(), p.serialNumber.c_str());
    }
    std::printf("\nPort map:");
    for (int n = 1; n <= PortMap::kPorts; ++n) {
      std::printf("%s COM%d=%s", n % 4 == 1 ? "\n" : "", n, map.Device(n).c_str());
    }
    std::printf("\n");
    return kExitOk;
  }

  ConsoleStatus status(stderr, isatty(STDERR_FILENO) != 0, o.quiet);
  Session session(profile, o, status);
  session.SetStoreFactory(makeStore);

  SetupSettings values;
  if (*transmit) {
    values = LoadSetupSettings(profile.settingsSection);
    if (*optPxrIp) values.pxrIp = QString::fromStdString(pxrIp);
    if (*optSubnet) values.subnetMask = QString::fromStdString(subnet);
    if (*optGateway) values.gateway = QString::fromStdString(gateway);
    if (*optHost) values.hostIp = QString::fromStdString(hostIp);
    if (*optConfig) values.configFile = QString::fromStdString(configFile);
    for (const QString* text :
         {&values.pxrIp, &values.subnetMask, &values.gateway, &values.hostIp}) {
      if (static_cast<size_t>(text->size()) > kAddressTextLimit) {
        std::fprintf(stderr, "%s: Please enter no more than 15 characters. (%s)\n", tool.c_str(),
                     text->toStdString().c_str());
        return kExitUsage;
      }
    }
  }
  if (*erase && !yes) {
    if (!isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "%s: erase needs --yes when not run on a terminal\n", tool.c_str());
      return kExitUsage;
    }
    if (!AskYesNo("Erase/Check Flash?")) return kExitFailed;
  }

  std::string error;
  const std::string spec = session.ChannelSpecification(error);
  if (spec.empty()) {
    std::fprintf(stderr, "%s: %s\n", tool.c_str(), error.c_str());
    return kExitUsage;
  }
  if (const int rc = session.Connect(spec); rc != kExitOk) return rc;

  int rc = kExitOk;
  if (*info) rc = session.Info(json);
  if (*update) rc = session.Update();
  if (*erase) rc = session.Erase();
  if (*transmit) rc = session.Transmit(values);
  session.Finish();
  return rc;
}

}  // namespace pxr::cli
