#include "app9/pxrsetupapp.h"

#include "app9/settings.h"
#include "link/port_map.h"

bool CPxrsetupApp::InitInstance(const QString& commandLine) {
  const std::string_view section = env_.profile->settingsSection;
  CPxrsetupDlg dialog(env_);
  dialog_ = &dialog;
  pxr::LoadPortOverrides(dialog.GetPortMap());
  // The stored values and the dialog's members, paired once for both directions.
  pxr::SetupSettings values = pxr::LoadSetupSettings(section);
  const auto pairs = [&](auto exchange) {
    exchange(values.speedIndex, dialog.m_speedIndex);
    exchange(values.portIndex, dialog.m_portIndex);
    exchange(values.pxrIp, dialog.m_pxrIp);
    exchange(values.subnetMask, dialog.m_subnetMask);
    exchange(values.gateway, dialog.m_gateway);
    exchange(values.hostIp, dialog.m_hostIp);
    exchange(values.configFile, dialog.m_configFile);
  };
  pairs([](auto& stored, auto& member) { member = stored; });
  if (!commandLine.isEmpty()) dialog.m_configFile = commandLine;

  if (dialog.DoModal() == QDialog::Accepted) {
    pairs([](auto& stored, auto& member) { stored = member; });
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
