#include "app9/settings.h"

#include <QSettings>

#include "link/port_map.h"

namespace pxr {

namespace {
QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quellin"),
                   QStringLiteral("Zelvar"));
}
}  // namespace

QString SettingsGroup(std::string_view section) {
  QString group = QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size()));
  group.replace(QLatin1Char('/'), QStringLiteral("%2F"));
  return group;
}

SetupSettings LoadSetupSettings(std::string_view section) {
  QSettings store = Store();
  store.beginGroup(SettingsGroup(section));
  SetupSettings s;
  s.speedIndex = store.value(QStringLiteral("Baudrate"), 0).toInt();
  s.portIndex = store.value(QStringLiteral("ComPort"), 0).toInt();
  s.pxrIp = store.value(QStringLiteral("PxrIP"), s.pxrIp).toString();
  s.subnetMask = store.value(QStringLiteral("Subnet"), s.subnetMask).toString();
  s.gateway = store.value(QStringLiteral("Gateway"), s.gateway).toString();
  s.hostIp = store.value(QStringLiteral("HostIP"), s.hostIp).toString();
  s.configFile = store.value(QStringLiteral("ConfigFile"), QString()).toString();
  return s;
}

void SaveSetupSettings(std::string_view section, const SetupSettings& s, bool writeConfigFile) {
  QSettings store = Store();
  store.beginGroup(SettingsGroup(section));
  store.setValue(QStringLiteral("Baudrate"), s.speedIndex);
  store.setValue(QStringLiteral("ComPort"), s.portIndex);
  store.setValue(QStringLiteral("PxrIP"), s.pxrIp);
  store.setValue(QStringLiteral("Subnet"), s.subnetMask);
  store.setValue(QStringLiteral("Gateway"), s.gateway);
  store.setValue(QStringLiteral("HostIP"), s.hostIp);
  if (writeConfigFile) store.setValue(QStringLiteral("ConfigFile"), s.configFile);
  store.endGroup();
  store.sync();
}

void LoadPortOverrides(PortMap& map) {
  QSettings store = Store();
  store.beginGroup(QStringLiteral("Ports"));
  for (int n = 1; n <= PortMap::kPorts; ++n) {
    const QString device = store.value(QStringLiteral("COM%1").arg(n)).toString();
    if (!device.isEmpty()) map.Override(n, device.toStdString());
  }
}

void SavePortOverride(int number, const QString& device) {
  QSettings store = Store();
  store.beginGroup(QStringLiteral("Ports"));
  if (device.isEmpty()) {
    store.remove(QStringLiteral("COM%1").arg(number));
  } else {
    store.setValue(QStringLiteral("COM%1").arg(number), device);
  }
  store.endGroup();
  store.sync();
}

}  // namespace pxr
