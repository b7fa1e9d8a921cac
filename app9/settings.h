// The stored settings of the PXR9 programs (per-user settings store, organisation "Quellin",
// application "Zelvar"), one section per build profile, and the serial port map overrides.
#pragma once

#include <QString>
#include <string_view>

namespace pxr {

class PortMap;

struct SetupSettings {
  int speedIndex = 0;  // "Baudrate": index in the Speed list
  int portIndex = 0;   // "ComPort": 0 = NETWORK, n = COMn
  QString pxrIp = QStringLiteral("192.168.53.72");
  QString subnetMask = QStringLiteral("255.255.255.0");
  QString gateway = QStringLiteral("255.255.255.255");
  QString hostIp = QStringLiteral("111.111.111.111");
  QString configFile;
};

// The settings group of a section. QSettings reads "/" as a level separator, so a "/" in the
// section name is kept as the text %2F: the section stays one group, apart from the others.
QString SettingsGroup(std::string_view section);

// Reads the section; absent keys take their defaults.
SetupSettings LoadSetupSettings(std::string_view section);
// Writes the section in the stored order; "ConfigFile" only when writeConfigFile is true.
void SaveSetupSettings(std::string_view section, const SetupSettings& settings,
                       bool writeConfigFile);

// Applies the overrides of group "Ports" (keys "COM1".."COM19") to the port map.
void LoadPortOverrides(PortMap& map);
// Stores one override (an empty device removes it).
void SavePortOverride(int number, const QString& device);

}  // namespace pxr
