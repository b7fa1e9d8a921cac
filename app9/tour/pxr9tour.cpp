// pxr9tour: runs the PXR9 Update/Setup dialog in a real window against a simulated probe and
// saves screenshots of its main moments (start, connected, updating, updated, transmitted).
//
//   pxr9tour --address 127.0.0.1 --firmware-dir DIR --out DIR
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "app9/pxrsetupdlg.h"
#include "setupdata/stored_configuration.h"

namespace {

// Message boxes would stop the tour; it reports them instead.
struct TourPrompt final : pxr::UserPrompt {
  void ShowMessage(std::string_view text, std::string_view, Icon) override {
    std::fprintf(stderr, "pxr9tour: message: %.*s\n", static_cast<int>(text.size()), text.data());
  }
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

std::unique_ptr<pxr::ConfigurationStore> Store(pxr::Loader& loader) {
  return std::make_unique<pxr::StoredConfiguration>(loader);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addOption({"address", "probe address", "address", "127.0.0.1"});
  parser.addOption({"firmware-dir", "firmware directory", "dir"});
  parser.addOption({"config-file", "configuration file for Transmit", "file"});
  parser.addOption({"out", "screenshot directory", "dir", "screenshots"});
  parser.process(app);
  const QString out = parser.value("out");
  QDir().mkpath(out);

  TourPrompt prompt;
  DialogEnvironment env;
  env.makeStore = &Store;
  env.prompt = &prompt;
  env.firmwareDirectory = parser.value("firmware-dir").toStdString();
  env.fallbackAddress = parser.value("address");
  CPxrsetupDlg dlg(env);
  dlg.m_portIndex = 0;
  dlg.m_speedIndex = 4;
  dlg.m_pxrIp = parser.value("address");
  dlg.m_subnetMask = "255.255.255.0";
  dlg.m_gateway = "192.168.0.1";
  dlg.m_hostIp = "";
  dlg.m_configFile = parser.value("config-file");
  dlg.OnInitDialog();
  dlg.show();

  int failures = 0;
  auto shot = [&](const char* name) {
    QApplication::processEvents();
    const QPixmap pixmap = dlg.screen()->grabWindow(dlg.winId());
    const QString path = out + "/" + name;
    if (!pixmap.save(path)) ++failures;
    std::printf("%s  (%s)\n", qPrintable(path), qPrintable(dlg.m_statusLine->text()));
  };

  // During the update, take one picture once the programming is well under way.
  bool updatingShot = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    const QString s = dlg.m_statusLine->text();
    const int open = s.indexOf("( ");
    const int percent = open < 0 ? 0 : s.mid(open + 2, s.indexOf('%') - open - 2).toInt();
    if (!updatingShot && s.startsWith("Firmware: Programming Flash") && percent >= 40) {
      updatingShot = true;
      shot("3-updating.png");
    }
  });

  QTimer::singleShot(500, [&] {
    shot("1-start.png");
    dlg.m_connectButton->click();
    shot("2-connected.png");
    watcher.start(20);
    dlg.m_updateButton->click();
    watcher.stop();
    shot("4-updated.png");
    dlg.m_transmitButton->click();
    shot("5-transmitted.png");
    if (!updatingShot) ++failures;
    dlg.done(QDialog::Accepted);
    app.quit();
  });
  app.exec();
  return failures == 0 ? 0 : 1;
}
