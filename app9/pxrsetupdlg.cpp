#include "app9/pxrsetupdlg.h"

#include <QAction>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <thread>

#include "app9/aboutdlg.h"
#include "app9/qt_prompt.h"
#include "app9/system_menu.h"
#include "firmware/flash_check.h"
#include "firmware/srecord.h"
#include "link/datagram_socket.h"
#include "link/serial_port.h"
#include "link/status.h"
#include "ui_pxrsetupdlg.h"

namespace {

constexpr int kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
constexpr int kConnectAttempts = 10;
constexpr int kFallbackAfterAttempt = 5;
const char* const kAppTitle = "Zelvar";

QString FromStd(const std::string& s) {
  return QString::fromStdString(s);
}
QString Version(uint16_t v) {
  return FromStd(pxr::FormatVersion(v));
}

}  // namespace

// The status line as the procedures see it: texts from the worker thread are queued to the
// label, texts from the dialog's own thread are set at once.
class CPxrsetupDlg::StatusForwarder final : public pxr::StatusLine {
 public:
  void SetLabel(QLabel* label) { label_ = label; }
  void SetStatusText(std::string_view text) override {
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == label_->thread()) {
      label_->setText(s);
    } else {
      QMetaObject::invokeMethod(
          label_, [label = label_, s] { label->setText(s); }, Qt::QueuedConnection);
    }
  }

 private:
  QLabel* label_ = nullptr;
};

CPxrsetupDlg::CPxrsetupDlg(DialogEnvironment environment, QWidget* parent)
    : QDialog(parent),
      env_(std::move(environment)),
      ui_(std::make_unique<Ui::CPxrsetupDlg>()),
      prompt_(env_.prompt),
      port_(pxr::MakeSystemSerialPort(portMap_)),
      socket_(pxr::MakeSystemDatagramSocket()),
      link_(*port_, *socket_, clock_),
      loader_(link_, clock_, env_.profile->familyCode),
      files_(env_.firmwareDirectory.empty() ? pxr::FirmwareFiles()
                                            : pxr::FirmwareFiles(env_.firmwareDirectory)),
      status_(std::make_unique<StatusForwarder>()),
      context_{loader_, *status_, progress_} {
  Q_INIT_RESOURCE(pxrsetup);
  ui_->setupUi(this);
  status_->SetLabel(ui_->statusLine);
  if (prompt_ == nullptr) {
    ownPrompt_ = std::make_unique<pxr::QtPrompt>(this);
    prompt_ = ownPrompt_.get();
  }
  m_speedCombo = ui_->speedCombo;
  m_statusLine = ui_->statusLine;
  m_transmitButton = ui_->transmitButton;
  m_updateButton = ui_->updateButton;
  m_eraseButton = ui_->eraseButton;
  m_currentButton = ui_->currentButton;
  m_connectButton = ui_->connectButton;
  m_icon = QIcon(QStringLiteral(":/pxrsetup.png"));
  setWindowIcon(m_icon);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  connect(ui_->connectButton, &QPushButton::clicked, this, &CPxrsetupDlg::OnConnect);
  connect(ui_->currentButton, &QPushButton::clicked, this, &CPxrsetupDlg::OnCurrent);
  connect(ui_->updateButton, &QPushButton::clicked, this, &CPxrsetupDlg::OnUpdate);
  connect(ui_->eraseButton, &QPushButton::clicked, this, &CPxrsetupDlg::OnErase);
  connect(ui_->transmitButton, &QPushButton::clicked, this, &CPxrsetupDlg::OnTransmit);
  connect(ui_->okButton, &QPushButton::clicked, this, &CPxrsetupDlg::accept);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &CPxrsetupDlg::reject);
  connect(ui_->portCombo, &QComboBox::currentIndexChanged, this, [this] {
    if (!exchanging_) OnPortChanged();
  });

  // Where the window system has no system menu for the program to extend, the About entry
  // lives in the dialog's context menu and on F1.
  auto* about = new QAction(tr("&About Zelvar Setup..."), this);
  about->setShortcut(QKeySequence::HelpContents);
  about->setShortcutContext(Qt::WindowShortcut);
  connect(about, &QAction::triggered, this, [this] { OnSysCommand(kAboutCommand); });
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  RefreshPortTooltips();
}

CPxrsetupDlg::~CPxrsetupDlg() {
  link_.LinkClose();
}

int CPxrsetupDlg::DoModal() {
  OnInitDialog();
  return exec();
}

void CPxrsetupDlg::RefreshPortTooltips() {
  for (int n = 1; n <= pxr::PortMap::kPorts; ++n) {
    ui_->portCombo->setItemData(n, FromStd(portMap_.Device(n)), Qt::ToolTipRole);
  }
  ui_->portCombo->setItemData(0, tr("UDP port 2001 of the PXR IP Address"), Qt::ToolTipRole);
}

bool CPxrsetupDlg::UpdateData(bool saveAndValidate) {
  struct Text {
    QLineEdit* edit;
    QString* member;
    bool limited;
  };
  const Text texts[] = {
      {ui_->pxrIpEdit, &m_pxrIp, true},
      {ui_->subnetMaskEdit, &m_subnetMask, true},
      {ui_->gatewayEdit, &m_gateway, true},
      {ui_->serialNumberEdit, &m_serialNumber, false},
      {ui_->macAddressEdit, &m_macAddress, false},
      {ui_->loadedVersionEdit, &m_loadedVersionText, false},
      {ui_->newestVersionEdit, &m_newestVersionText, false},
      {ui_->loaderVersionEdit, &m_loaderVersionText, false},
      {ui_->hostIpEdit, &m_hostIp, true},
      {ui_->configFileEdit, &m_configFile, false},
  };
  if (saveAndValidate) {
    m_portIndex = ui_->portCombo->currentIndex();
    m_speedIndex = ui_->speedCombo->currentIndex();
    for (const Text& t : texts) {
      *t.member = t.edit->text();
      if (t.limited && t.member->size() > kAddressTextLimit) {
        prompt_->ShowMessage(
            tr("Please enter no more than %1 characters.").arg(kAddressTextLimit).toStdString(),
            kAppTitle, pxr::UserPrompt::Icon::kWarning);
        t.edit->setFocus();
        t.edit->selectAll();
        return false;
      }
    }
    return true;
  }
  exchanging_ = true;
  ui_->portCombo->setCurrentIndex(m_portIndex < ui_->portCombo->count() ? m_portIndex : -1);
  ui_->speedCombo->setCurrentIndex(m_speedIndex < ui_->speedCombo->count() ? m_speedIndex : -1);
  for (const Text& t : texts) t.edit->setText(*t.member);
  exchanging_ = false;
  return true;
}

void CPxrsetupDlg::SetStatus(const QString& text) {
  ui_->statusLine->setText(text);
}

void CPxrsetupDlg::Message(const char* text) {
  prompt_->ShowMessage(text, kAppTitle, pxr::UserPrompt::Icon::kNone);
}

void CPxrsetupDlg::RunProbeWork(const std::function<void()>& work) {
  busy_ = true;
  QEventLoop loop;
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(
        &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
  busy_ = false;
}

void CPxrsetupDlg::EnableSpeedList() {
  ui_->speedCombo->setEnabled(m_portIndex != 0);
}

void CPxrsetupDlg::OnInitDialog() {
  if (!systemMenuExtended_) {
    systemMenuExtended_ =
        AppendSystemMenuCommand(this, tr("&About Zelvar Setup..."), kAboutCommand);
  }
  SetStatus(QString());
  m_loadedVersion = 0;
  m_loaderVersion = 0;
  m_newestVersion = files_.FindNewestFirmware(env_.profile->firmwareBaseName);
  m_newestVersionText = Version(m_newestVersion);
  ui_->connectButton->setEnabled(true);
  ui_->currentButton->setEnabled(false);
  ui_->transmitButton->setEnabled(false);
  ui_->updateButton->setEnabled(false);
  ui_->eraseButton->setEnabled(false);
  EnableSpeedList();
  UpdateData(false);
}

void CPxrsetupDlg::OnPortChanged() {
  UpdateData(true);  // a failed check has shown its message; the handler goes on
  EnableSpeedList();
  UpdateData(false);
}

void CPxrsetupDlg::ReadIdentityInto(int32_t& result) {
  std::string serial = m_serialNumber.toStdString();
  result = loader_.LoaderReadIdentity(m_loaderVersion, m_loadedVersion, serial);
  m_serialNumber = FromStd(serial);
  m_macAddress = FromStd(pxr::MacAddressText(serial));
}

void CPxrsetupDlg::OnConnect() {
  if (!UpdateData(true)) return;
  prompt_->BeginWaitCursor();
  SetStatus(QStringLiteral("Connecting to PXR Loader ..."));
  int32_t result = pxr::status::kNoAnswer;
  const int portIndex = m_portIndex;
  // A Speed list without a selection falls back to its first entry.
  const int speed = kSpeeds[m_speedIndex >= 0 && m_speedIndex < 5 ? m_speedIndex : 0];
  std::string address = m_pxrIp.toStdString();
  const std::string fallback = env_.fallbackAddress.toStdString();
  RunProbeWork([&] {
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
      const std::string spec =
          portIndex != 0 ? "\\\\.\\COM" + std::to_string(portIndex) + " " + std::to_string(speed)
                         : "NETWORK " + address;
      result = link_.LinkOpen(spec);
      if (result == pxr::status::kOk) ReadIdentityInto(result);
      if (result == pxr::status::kOk) {
        m_loaderVersionText = Version(m_loaderVersion);
        m_loadedVersionText = Version(m_loadedVersion);
        break;
      }
      link_.LinkClose();
      if (attempt == kFallbackAfterAttempt && portIndex == 0) address = fallback;
    }
  });
  prompt_->EndWaitCursor();
  UpdateData(false);
  if (result != pxr::status::kOk || m_loaderVersion == 0) {
    link_.LinkClose();
    Message(result != pxr::status::kOk ? "Cannot connect to PXR loader!"
                                       : "There is no PXR9 connected!");
    SetStatus(QStringLiteral("Connecting to PXR loader failed!"));
    return;
  }
  SetStatus(QStringLiteral("Connecting to PXR Loader passed!"));
  ui_->connectButton->setEnabled(true);
  ui_->currentButton->setEnabled(true);
  ui_->eraseButton->setEnabled(true);
  ui_->transmitButton->setEnabled(true);
  ui_->updateButton->setEnabled(m_newestVersion != m_loadedVersion);
}

void CPxrsetupDlg::OnCurrent() {
  prompt_->BeginWaitCursor();
  SetStatus(QStringLiteral("Reading current versions, please wait."));
  int32_t result = 0;
  RunProbeWork([&] { ReadIdentityInto(result); });
  if (result == pxr::status::kOk) {
    m_loaderVersionText = Version(m_loaderVersion);
    m_loadedVersionText = Version(m_loadedVersion);
  }
  prompt_->EndWaitCursor();
  UpdateData(false);
  if (result != pxr::status::kOk) {
    Message("Communication with PXR failed!");
    SetStatus(QStringLiteral("Reading current versions failed!"));
    return;
  }
  SetStatus(QStringLiteral("Reading current versions passed!"));
  ui_->updateButton->setEnabled(m_newestVersion != m_loadedVersion);
}

void CPxrsetupDlg::OnUpdate() {
  prompt_->BeginWaitCursor();
  int32_t result = pxr::status::kOk;
  bool updated = true;
  if (m_newestVersion != m_loadedVersion) {
    const std::string path = files_.FirmwarePath(env_.profile->firmwareBaseName, m_newestVersion);
    pxr::FirmwareReader reader;
    RunProbeWork([&] { result = pxr::UpdateFirmware(context_, reader, path); });
    updated = result == pxr::status::kOk;
  }
  if (!updated) {
    Message("Firmware update failed!");
    SetStatus(QStringLiteral("Updating firmware failed!"));
    m_loadedVersion = 0;
  } else {
    RunProbeWork([&] { ReadIdentityInto(result); });
    if (result != pxr::status::kOk) {
      SetStatus(QStringLiteral("Updating firmware failed!"));
      m_loadedVersion = 0;
    } else {
      SetStatus(QStringLiteral("Updating firmware passed!"));
      ui_->updateButton->setEnabled(m_newestVersion != m_loadedVersion);
    }
  }
  m_loadedVersionText = Version(m_loadedVersion);
  UpdateData(false);
  prompt_->EndWaitCursor();
}

void CPxrsetupDlg::OnErase() {
  if (!prompt_->AskYesNo("Erase/Check Flash?", kAppTitle)) return;
  prompt_->BeginWaitCursor();
  SetStatus(QStringLiteral("Erasing Flash ..."));
  uint16_t crc = 0;
  int32_t result = 0;
  RunProbeWork([&] { result = pxr::EraseAndCheckFlash(context_, crc); });
  if (result == pxr::status::kOk) {
    UpdateData(false);
    SetStatus(QStringLiteral("Erasing Flash passed! (CRC=%1)").arg(crc));
    ui_->updateButton->setEnabled(true);
  } else if (result == pxr::status::kIllegalData) {
    SetStatus(QStringLiteral("Illegal data in boot/loader sectors detected!"));
  } else {
    SetStatus(QStringLiteral("Erasing Flash failed!"));
  }
  m_loadedVersion = 0;
  m_loadedVersionText = Version(m_loadedVersion);
  UpdateData(false);
  prompt_->EndWaitCursor();
}

void CPxrsetupDlg::OnTransmit() {
  if (!UpdateData(true)) return;
  prompt_->BeginWaitCursor();
  SetStatus(QStringLiteral("Writing setup data ...."));
  const std::string pxrIp = m_pxrIp.toStdString(), subnet = m_subnetMask.toStdString(),
                    gateway = m_gateway.toStdString(), hostIp = m_hostIp.toStdString(),
                    configFile = m_configFile.toStdString();
  int32_t result = 0;
  RunProbeWork([&] {
    auto store = env_.makeStore ? env_.makeStore(loader_) : nullptr;
    result = pxr::TransmitSetup(context_, pxrIp, subnet, gateway, hostIp, configFile, store.get());
  });
  prompt_->EndWaitCursor();
  if (result == pxr::status::kOk) {
    SetStatus(QStringLiteral("Writing setup data passed"));
  } else {
    SetStatus(QStringLiteral("Writing setup data failed!"));
    prompt_->ShowMessage("Transfer failed!", "Error", pxr::UserPrompt::Icon::kWarning);
  }
}

void CPxrsetupDlg::StartFirmwareAndClose() {
  prompt_->BeginWaitCursor();
  SetStatus(QStringLiteral("Starting firmware please wait...."));
  // On a closed link the request fails at once; its result does not matter either way.
  RunProbeWork([&] {
    loader_.LoaderStartFirmware();
    link_.LinkClose();
  });
  prompt_->EndWaitCursor();
}

void CPxrsetupDlg::OnOK() {
  StartFirmwareAndClose();
  if (!UpdateData(true)) return;
  QDialog::accept();
}

void CPxrsetupDlg::OnCancel() {
  StartFirmwareAndClose();
  QDialog::reject();
}

void CPxrsetupDlg::accept() {
  if (!busy_) OnOK();
}

void CPxrsetupDlg::reject() {
  if (!busy_) OnCancel();
}

bool CPxrsetupDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  int id = 0;
  if (SystemMenuCommandOf(eventType, message, id) && (id & 0xFFF0) == kAboutCommand) {
    OnSysCommand(id);
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(eventType, message, result);
}

void CPxrsetupDlg::OnSysCommand(int id) {
  if ((id & 0xFFF0) == kAboutCommand) {
    CAboutDlg about(*env_.profile, m_icon, this);
    about.exec();
  }
}
