// pxr9setup / pxr9setup-ppc: compiled once per build profile (the include path selects
// pxr_profile.h).
#include <QApplication>

#include "app9/pxrsetupapp.h"
#include "pxr_profile.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Quellin"));
  QApplication::setApplicationName(QStringLiteral("Zelvar"));
  DialogEnvironment env;
  env.profile = &pxr::kProfile;
  env.makeStore = &pxr::MakeConfigurationStore;
  // For demonstrations and tests: where Connect turns after six failed network attempts.
  const QByteArray fallback = qgetenv("PXRSETUP_FALLBACK_ADDRESS");
  if (!fallback.isEmpty()) env.fallbackAddress = QString::fromLocal8Bit(fallback);
  const QByteArray firmwareDir = qgetenv("PXRSETUP_FIRMWARE_DIR");
  if (!firmwareDir.isEmpty()) env.firmwareDirectory = firmwareDir.toStdString();
  CPxrsetupApp setup(env);
  setup.InitInstance(CommandLineText(argc, argv));
  return 0;
}
