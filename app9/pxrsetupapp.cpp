#include "app9/pxrsetupapp.h"

#include "app9/settings.h"
#include "link/port_map.h"

bool CPxrsetupApp::InitInstance(const QString& commandLine) {
  const std::string_view section = env_.profile->settingsSection;
  CPxrsetupDlg dialog(env_);
  dialog_ = &dialog;
  pxr::LoadPortOverrides(dialog.GetPortMap());
  const pxr::SetupSettings stored = pxr::LoadSetupSettings(section);
  dialog.m_speedIndex = stored.speedIndex;
  dialog.m_portIndex = stored.portIndex;
  dialog.m_pxrIp = stored.pxrIp;
  dialog.m_subnetMask = stored.subnetMask;
  dialog.m_gateway = stored.gateway;
  dialog.m_hostIp = stored.hostIp;
  dialog.m_configFile = stored.configFile;
  if (!commandLine.isEmpty()) dialog.m_configFile = commandLine;

  if (dialog.DoModal() == QDialog::Accepted) {
    pxr::SetupSettings values;
    values.speedIndex = dialog.m_speedIndex;
    values.portIndex = dialog.m_portIndex;
    values.pxrIp = dialog.m_pxrIp;
    values.subnetMask = dialog.m_subnetMask;
    values.gateway = dialog.m_gateway;
    values.hostIp = dialog.m_hostIp;
    values.configFile = dialog.m_configFile;
    pxr::SaveSetupSettings(section, values, commandLine.isEmpty());
  }
  dialog_ = nullptr;
  return false;
}

QString CommandLineText(int argc, char** argv) {
  QStringList parts;
  for (int i = 1; i < argc; ++i) parts << QString::fromLocal8Bit(argv[i]);
  return parts.join(QLatin1Char(' '));
}
