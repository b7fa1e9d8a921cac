// The PXR9 Update/Setup dialog: channel and connection, firmware versions with Update, Erase
// and Current, and the network configuration with Transmit.
//
// Probe work runs on a worker thread while a local event loop keeps the window painting and
// holds back user input, so every handler still behaves like one modal step.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app9/profile.h"
#include "firmware/firmware_files.h"
#include "firmware/update.h"
#include "firmware/user_prompt.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/port_map.h"
#include "loader/loader.h"
#include "setupdata/setup_block.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class CPxrsetupDlg;
}

namespace pxr {
class DatagramSocket;
class SerialPort;
using ConfigurationStoreFactory = std::unique_ptr<ConfigurationStore> (*)(Loader&);
}  // namespace pxr

// What the dialog is built with: the build profile and what tests or the program inject.
struct DialogEnvironment {
  const pxr::BuildProfile* profile = &pxr::kMpc85xxProfile;
  pxr::ConfigurationStoreFactory makeStore = nullptr;
  pxr::UserPrompt* prompt = nullptr;  // null: Qt message boxes and cursor
  std::string firmwareDirectory;      // empty: beside the program
  QString fallbackAddress = QStringLiteral("192.168.53.72");
};

class CPxrsetupDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CPxrsetupDlg(DialogEnvironment environment, QWidget* parent = nullptr);
  ~CPxrsetupDlg() override;

  // Runs OnInitDialog, then the dialog modally.
  int DoModal();

  // Data exchange: true reads the controls into the members with the 15-character checks
  // (false when a check failed), false shows the members in the controls.
  bool UpdateData(bool saveAndValidate);

  // Handlers.
  void OnInitDialog();
  void OnConnect();
  void OnCurrent();
  void OnUpdate();
  void OnErase();
  void OnTransmit();
  void OnPortChanged();
  void OnOK();
  void OnCancel();
  void OnSysCommand(int id);

  pxr::Link& GetLink() { return link_; }
  pxr::PortMap& GetPortMap() { return portMap_; }
  bool Busy() const { return busy_; }

  // Controls.
  QComboBox* m_speedCombo = nullptr;
  QLabel* m_statusLine = nullptr;
  QPushButton* m_transmitButton = nullptr;
  QPushButton* m_updateButton = nullptr;
  QPushButton* m_eraseButton = nullptr;
  QPushButton* m_currentButton = nullptr;
  QPushButton* m_connectButton = nullptr;

  // Values.
  int m_portIndex = -1;
  int m_speedIndex = -1;
  QString m_pxrIp;
  QString m_subnetMask;
  QString m_gateway;
  QString m_serialNumber;
  QString m_macAddress;
  QString m_loadedVersionText;
  QString m_newestVersionText;
  QString m_loaderVersionText;
  QString m_hostIp;
  QString m_configFile;
  QIcon m_icon;
  uint16_t m_loaderVersion = 0;
  uint16_t m_loadedVersion = 0;
  uint16_t m_newestVersion = 0;

  static constexpr int kAboutCommand = 0x10;
  static constexpr int kAddressTextLimit = 15;

 public slots:
  void accept() override;
  void reject() override;

 protected:
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  class StatusForwarder;

  void SetStatus(const QString& text);
  void Message(const char* text);
  void RunProbeWork(const std::function<void()>& work);
  void EnableSpeedList();
  void RefreshPortTooltips();
  void ReadIdentityInto(int32_t& result);
  void StartFirmwareAndClose();

  DialogEnvironment env_;
  std::unique_ptr<Ui::CPxrsetupDlg> ui_;
  std::unique_ptr<pxr::UserPrompt> ownPrompt_;
  pxr::UserPrompt* prompt_;
  pxr::PortMap portMap_;
  pxr::SteadyClock clock_;
  std::unique_ptr<pxr::SerialPort> port_;
  std::unique_ptr<pxr::DatagramSocket> socket_;
  pxr::Link link_;
  pxr::Loader loader_;
  pxr::FirmwareFiles files_;
  std::unique_ptr<StatusForwarder> status_;
  pxr::ProgressState progress_;
  pxr::ProcedureContext context_;
  bool busy_ = false;
  bool exchanging_ = false;
  bool systemMenuExtended_ = false;
};
