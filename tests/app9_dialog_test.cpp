// The PXR9 Update/Setup dialog and start-up, driven like a user would, against pxrsim.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>

#include "app9/aboutdlg.h"
#include "app9/profile.h"
#include "app9/pxrsetupapp.h"
#include "app9/pxrsetupdlg.h"
#include "app9/settings.h"
#include "setupdata/stored_configuration.h"
#include "sim/firmware_writer.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"

namespace {

// Message boxes answered by the test: every message is recorded, questions get `answer`.
struct ScriptedPrompt final : pxr::UserPrompt {
  struct Shown {
    QString text, caption;
    Icon icon;
  };
  QList<Shown> messages;
  QStringList questions;
  bool answer = true;
  int waitDepth = 0;
  int maxWaitDepth = 0;
  void ShowMessage(std::string_view text, std::string_view caption, Icon icon) override {
    messages.push_back({QString::fromUtf8(text.data(), text.size()),
                        QString::fromUtf8(caption.data(), caption.size()), icon});
  }
  bool AskYesNo(std::string_view text, std::string_view) override {
    questions << QString::fromUtf8(text.data(), text.size());
    return answer;
  }
  void BeginWaitCursor() override { maxWaitDepth = std::max(maxWaitDepth, ++waitDepth); }
  void EndWaitCursor() override { --waitDepth; }
  QString Last() const { return messages.isEmpty() ? QString() : messages.back().text; }
};

std::unique_ptr<pxr::ConfigurationStore> StoredConfig(pxr::Loader& loader) {
  return std::make_unique<pxr::StoredConfiguration>(loader);
}

// The control whose caption label reads `caption` (found the way a screen reader would).
template <class T = QWidget>
T* Control(QWidget* dialog, const QString& caption) {
  for (QLabel* label : dialog->findChildren<QLabel*>()) {
    if (label->text() == caption && label->buddy() != nullptr)
      return qobject_cast<T*>(label->buddy());
  }
  return nullptr;
}

QPushButton* Button(QWidget* dialog, const QString& text) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

QString Text(QWidget* dialog, const QString& caption) {
  auto* edit = Control<QLineEdit>(dialog, caption);
  return edit ? edit->text() : QStringLiteral("<no control>");
}

}  // namespace

class DialogTest : public QObject {
  Q_OBJECT

 private:
  pxr::test::TempDir config_;
  pxr::test::TempDir firmware_;
  std::unique_ptr<pxr::test::SimProcess> sim_;
  ScriptedPrompt prompt_;

  DialogEnvironment Env(const pxr::BuildProfile& profile = pxr::kMpc85xxProfile) {
    DialogEnvironment env;
    env.profile = &profile;
    env.makeStore = profile.storedConfiguration ? &StoredConfig : nullptr;
    env.prompt = &prompt_;
    env.firmwareDirectory = firmware_.Path();
    env.fallbackAddress = QString::fromStdString(pxr::test::NextLoopbackAddress());
    return env;
  }

  // A dialog as start-up builds it, with a fresh simulator's address.
  std::unique_ptr<CPxrsetupDlg> OpenDialog(const std::vector<std::string>& simArgs = {}) {
    sim_ = std::make_unique<pxr::test::SimProcess>(simArgs);
    auto dlg = std::make_unique<CPxrsetupDlg>(Env());
    dlg->m_portIndex = 0;
    dlg->m_speedIndex = 4;
    dlg->m_pxrIp = QString::fromStdString(sim_->Address());
    dlg->m_subnetMask = QStringLiteral("255.255.255.0");
    dlg->m_gateway = QStringLiteral("10.0.0.1");
    dlg->m_hostIp = QStringLiteral("10.0.0.2");
    dlg->OnInitDialog();
    dlg->show();
    return dlg;
  }

  void Connect(CPxrsetupDlg& dlg) {
    QTest::mouseClick(Button(&dlg, QStringLiteral("&Connect")), Qt::LeftButton);
    QCOMPARE(dlg.m_statusLine->text(), QStringLiteral("Connecting to PXR Loader passed!"));
  }

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config_.Path()));
    std::string error;
    pxr::sim::WriteSampleFirmware(firmware_.Path(), "PX9PQ3GD", {}, error);
  }

  void init() {
    prompt_ = ScriptedPrompt();
    QFile::remove(QString::fromStdString(config_.Path()) + "/Quellin/Zelvar.conf");
  }

  void everyEditAndListHasItsCaptionAsBuddy() {
    CPxrsetupDlg dlg(Env());
    const QStringList captions = {"Port",
                                  "Speed",
                                  "SN:",
                                  "MAC:",
                                  "Version:",
                                  "Loaded Version:",
                                  "Newest Version:",
                                  "PXR IP Address",
                                  "Subnet Mask",
                                  "Default Gateway",
                                  "Config - Host IP Address",
                                  "Configuration file "};
    QSet<QWidget*> found;
    for (const QString& c : captions) {
      QWidget* w = Control(&dlg, c);
      QVERIFY2(w != nullptr, qPrintable(c));
      found.insert(w);
    }
    for (QWidget* w : dlg.findChildren<QLineEdit*>()) QVERIFY(found.contains(w));
    for (QWidget* w : dlg.findChildren<QComboBox*>()) QVERIFY(found.contains(w));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("PXR9 Update/Setup"));
    QVERIFY(Button(&dlg, "Ok")->isDefault());
    auto* port = Control<QComboBox>(&dlg, "Port");
    QCOMPARE(port->count(), 20);
    QCOMPARE(port->itemText(0), QStringLiteral("NETWORK"));
    QCOMPARE(port->itemText(19), QStringLiteral("COM19"));
    QCOMPARE(port->itemData(5, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
    auto* speed = Control<QComboBox>(&dlg, "Speed");
    QCOMPARE(speed->count(), 5);
    QCOMPARE(speed->itemText(4), QStringLiteral("115200"));
  }

  void firstRunDefaultsAndCancelStoresNothing() {
    CPxrsetupApp app(Env());
    bool checked = false;
    QTimer::singleShot(0, [&] {
      CPxrsetupDlg* dlg = app.Dialog();
      QCOMPARE(Control<QComboBox>(dlg, "Port")->currentText(), QStringLiteral("NETWORK"));
      QVERIFY(!dlg->m_speedCombo->isEnabled());
      QCOMPARE(Control<QComboBox>(dlg, "Speed")->currentText(), QStringLiteral("9600"));
      QCOMPARE(Text(dlg, "PXR IP Address"), QStringLiteral("192.168.53.72"));
      QCOMPARE(Text(dlg, "Subnet Mask"), QStringLiteral("255.255.255.0"));
      QCOMPARE(Text(dlg, "Default Gateway"), QStringLiteral("255.255.255.255"));
      QCOMPARE(Text(dlg, "Config - Host IP Address"), QStringLiteral("111.111.111.111"));
      QCOMPARE(Text(dlg, "Configuration file "), QString());
      QCOMPARE(Text(dlg, "Newest Version:"), QStringLiteral("1.06"));
      QCOMPARE(Text(dlg, "SN:"), QString());
      QCOMPARE(dlg->m_statusLine->text(), QString());
      QVERIFY(dlg->m_connectButton->isEnabled());
      for (auto* b :
           {dlg->m_currentButton, dlg->m_eraseButton, dlg->m_updateButton, dlg->m_transmitButton}) {
        QVERIFY(!b->isEnabled());
      }
      Control<QLineEdit>(dlg, "Subnet Mask")->setText("255.0.0.0");
      checked = true;
      QTest::mouseClick(Button(dlg, "Cancel"), Qt::LeftButton);
    });
    QCOMPARE(app.InitInstance(QString()), false);
    QVERIFY(checked);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quellin", "Zelvar");
    QVERIFY(store.childGroups().isEmpty());
  }

  void okStoresTheValuesButNotACommandLineFile() {
    pxr::SetupSettings stored;
    stored.configFile = QStringLiteral("stored.cfg");
    pxr::SaveSetupSettings(pxr::kMpc85xxProfile.settingsSection, stored, true);
    CPxrsetupApp app(Env());
    QTimer::singleShot(0, [&] {
      CPxrsetupDlg* dlg = app.Dialog();
      QCOMPARE(Text(dlg, "Configuration file "), QStringLiteral("my board.cfg"));
      auto* port = Control<QComboBox>(dlg, "Port");
      port->setFocus();
      QTest::keyClick(port, Qt::Key_Down);  // COM1
      for (int i = 0; i < 3; ++i) QTest::keyClick(port, Qt::Key_Down);
      QCOMPARE(port->currentText(), QStringLiteral("COM4"));
      QVERIFY(dlg->m_speedCombo->isEnabled());
      dlg->m_speedCombo->setCurrentIndex(3);
      Control<QLineEdit>(dlg, "PXR IP Address")->setText("10.9.8.7");
      QTest::mouseClick(Button(dlg, "Ok"), Qt::LeftButton);
    });
    app.InitInstance(QStringLiteral("my board.cfg"));
    const pxr::SetupSettings now = pxr::LoadSetupSettings(pxr::kMpc85xxProfile.settingsSection);
    QCOMPARE(now.portIndex, 4);
    QCOMPARE(now.speedIndex, 3);
    QCOMPARE(now.pxrIp, QStringLiteral("10.9.8.7"));
    QCOMPARE(now.configFile, QStringLiteral("stored.cfg"));
    // The other profile's section is apart and untouched.
    QCOMPARE(pxr::LoadSetupSettings(pxr::kPpcProfile.settingsSection).portIndex, 0);
  }

  void speedListFollowsThePort() {
    auto dlg = OpenDialog();
    auto* port = Control<QComboBox>(dlg.get(), "Port");
    QVERIFY(!dlg->m_speedCombo->isEnabled());
    port->setCurrentIndex(3);
    QVERIFY(dlg->m_speedCombo->isEnabled());
    QCOMPARE(dlg->m_portIndex, 3);
    port->setCurrentIndex(0);
    QVERIFY(!dlg->m_speedCombo->isEnabled());
  }

  void connectShowsTheProbe() {
    auto dlg = OpenDialog();
    Connect(*dlg);
    QCOMPARE(Text(dlg.get(), "SN:"), QStringLiteral("12345678"));
    QCOMPARE(Text(dlg.get(), "MAC:"), QStringLiteral("029A4E123456"));
    QCOMPARE(Text(dlg.get(), "Version:"), QStringLiteral("1.06"));
    QCOMPARE(Text(dlg.get(), "Loaded Version:"), QStringLiteral("unknown"));
    for (auto* b :
         {dlg->m_currentButton, dlg->m_eraseButton, dlg->m_transmitButton, dlg->m_updateButton}) {
      QVERIFY(b->isEnabled());
    }
    QCOMPARE(prompt_.maxWaitDepth, 1);
    QCOMPARE(prompt_.waitDepth, 0);
    QVERIFY(prompt_.messages.isEmpty());

    QTest::mouseClick(dlg->m_currentButton, Qt::LeftButton);
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Reading current versions passed!"));
  }

  void connectFailures() {
    // Nothing answers at either address: ten attempts, the box, the status line.
    auto dlg = std::make_unique<CPxrsetupDlg>(Env());
    const QString dead = QString::fromStdString(pxr::test::NextLoopbackAddress());
    dlg->m_portIndex = 0;
    dlg->m_pxrIp = dead;
    dlg->OnInitDialog();
    QTest::mouseClick(dlg->m_connectButton, Qt::LeftButton);
    QCOMPARE(prompt_.Last(), QStringLiteral("Cannot connect to PXR loader!"));
    QCOMPARE(prompt_.messages.back().caption, QStringLiteral("Zelvar"));
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Connecting to PXR loader failed!"));
    QCOMPARE(Text(dlg.get(), "PXR IP Address"), dead);
    QVERIFY(!dlg->m_eraseButton->isEnabled());
    QVERIFY(!dlg->GetLink().IsOpen());

    // A loader that answers with another identity length.
    auto other = OpenDialog({"--identity-length", "15"});
    prompt_.messages.clear();
    QTest::mouseClick(other->m_connectButton, Qt::LeftButton);
    QCOMPARE(prompt_.Last(), QStringLiteral("There is no PXR9 connected!"));
    QCOMPARE(other->m_statusLine->text(), QStringLiteral("Connecting to PXR loader failed!"));
    QVERIFY(!other->GetLink().IsOpen());
  }

  void connectTurnsToTheFallbackAddressAfterSixAttempts() {
    pxr::test::SimProcess fallback({});
    QVERIFY(fallback.Ready());
    DialogEnvironment env = Env();
    env.fallbackAddress = QString::fromStdString(fallback.Address());
    CPxrsetupDlg dlg(env);
    const QString dead = QString::fromStdString(pxr::test::NextLoopbackAddress());
    dlg.m_portIndex = 0;
    dlg.m_pxrIp = dead;
    dlg.OnInitDialog();
    Connect(dlg);
    QCOMPARE(dlg.m_pxrIp, dead);
    QCOMPARE(Text(&dlg, "PXR IP Address"), dead);
  }

  void connectOverASerialPort() {
    pxr::test::SimProcess serial({"--pty"}, false);
    QVERIFY(serial.Ready());
    CPxrsetupDlg dlg(Env());
    dlg.GetPortMap().Override(3, serial.PtyPath());
    dlg.m_portIndex = 3;
    dlg.m_speedIndex = 4;
    dlg.OnInitDialog();
    QVERIFY(dlg.m_speedCombo->isEnabled());
    Connect(dlg);
    QCOMPARE(dlg.GetLink().SerialSpeed(), 115200u);
    QCOMPARE(Text(&dlg, "SN:"), QStringLiteral("12345678"));
  }

  void updateEraseAndUpdateAgain() {
    auto dlg = OpenDialog();
    Connect(*dlg);
    QTest::mouseClick(dlg->m_updateButton, Qt::LeftButton);
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Updating firmware passed!"));
    QCOMPARE(Text(dlg.get(), "Loaded Version:"), QStringLiteral("1.06"));
    QVERIFY(!dlg->m_updateButton->isEnabled());

    prompt_.answer = false;
    QTest::mouseClick(dlg->m_eraseButton, Qt::LeftButton);
    QCOMPARE(prompt_.questions, QStringList{"Erase/Check Flash?"});
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Updating firmware passed!"));
    QCOMPARE(Text(dlg.get(), "Loaded Version:"), QStringLiteral("1.06"));

    prompt_.answer = true;
    QTest::mouseClick(dlg->m_eraseButton, Qt::LeftButton);
    QVERIFY2(dlg->m_statusLine->text().startsWith("Erasing Flash passed! (CRC="),
             qPrintable(dlg->m_statusLine->text()));
    QCOMPARE(Text(dlg.get(), "Loaded Version:"), QStringLiteral("unknown"));
    QVERIFY(dlg->m_updateButton->isEnabled());
  }

  void eraseFindsIllegalData() {
    auto dlg = OpenDialog({"--plant", "0x510=0"});
    Connect(*dlg);
    QTest::mouseClick(dlg->m_eraseButton, Qt::LeftButton);
    QCOMPARE(dlg->m_statusLine->text(),
             QStringLiteral("Illegal data in boot/loader sectors detected!"));
    QCOMPARE(Text(dlg.get(), "Loaded Version:"), QStringLiteral("unknown"));
  }

  void updateFailureShowsTheBox() {
    pxr::test::TempDir bad;
    bad.Write("PX9PQ3GD.107", std::string(120000, 'S') + "\n");
    sim_ = std::make_unique<pxr::test::SimProcess>(std::vector<std::string>{});
    DialogEnvironment env = Env();
    env.firmwareDirectory = bad.Path();
    CPxrsetupDlg dlg(env);
    dlg.m_portIndex = 0;
    dlg.m_pxrIp = QString::fromStdString(sim_->Address());
    dlg.OnInitDialog();
    Connect(dlg);
    QTest::mouseClick(dlg.m_updateButton, Qt::LeftButton);
    QCOMPARE(prompt_.Last(), QStringLiteral("Firmware update failed!"));
    QCOMPARE(dlg.m_statusLine->text(), QStringLiteral("Updating firmware failed!"));
    QCOMPARE(Text(&dlg, "Loaded Version:"), QStringLiteral("unknown"));
  }

  void transmitPassesAndFails() {
    auto dlg = OpenDialog();
    Connect(*dlg);
    QTest::mouseClick(dlg->m_transmitButton, Qt::LeftButton);
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Writing setup data passed"));
    QVERIFY(prompt_.messages.isEmpty());

    Control<QLineEdit>(dlg.get(), "Config - Host IP Address")->clear();
    Control<QLineEdit>(dlg.get(), "Configuration file ")->setText("/no/such/board.cfg");
    QTest::mouseClick(dlg->m_transmitButton, Qt::LeftButton);
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Writing setup data failed!"));
    QCOMPARE(prompt_.Last(), QStringLiteral("Transfer failed!"));
    QCOMPARE(prompt_.messages.back().caption, QStringLiteral("Error"));
    QVERIFY(prompt_.messages.back().icon == pxr::UserPrompt::Icon::kWarning);
  }

  void addressTextsAreLimitedTo15Characters() {
    auto dlg = OpenDialog();
    Connect(*dlg);
    dlg->m_statusLine->setText("before");
    Control<QLineEdit>(dlg.get(), "Default Gateway")->setText("255.255.255.2550");
    QTest::mouseClick(dlg->m_transmitButton, Qt::LeftButton);
    QCOMPARE(prompt_.Last(), QStringLiteral("Please enter no more than 15 characters."));
    QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("before"));
    QCOMPARE(QApplication::focusWidget(), Control<QWidget>(dlg.get(), "Default Gateway"));
    // OK stays open after a failed check.
    QTest::mouseClick(Button(dlg.get(), "Ok"), Qt::LeftButton);
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->result(), 0);
  }

  void okAndCancelStartTheFirmware() {
    for (const char* button : {"Ok", "Cancel"}) {
      auto dlg = OpenDialog();
      Connect(*dlg);
      QTest::mouseClick(Button(dlg.get(), button), Qt::LeftButton);
      QVERIFY(!dlg->GetLink().IsOpen());
      QCOMPARE(dlg->m_statusLine->text(), QStringLiteral("Starting firmware please wait...."));
      QVERIFY(!dlg->isVisible());
      QCOMPARE(dlg->result(),
               QString(button) == "Ok" ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }
  }

  void aboutBoxShowsTheProfile() {
    for (const pxr::BuildProfile* profile : {&pxr::kMpc85xxProfile, &pxr::kPpcProfile}) {
      CPxrsetupDlg dlg(Env(*profile));
      dlg.OnInitDialog();
      dlg.show();
      QStringList texts;
      QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        QVERIFY(about != nullptr);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Zelvar Setup"));
        for (QLabel* l : about->findChildren<QLabel*>()) texts << l->text();
        about->accept();
      });
      QCOMPARE(dlg.actions().size(), 1);
      QCOMPARE(dlg.actions()[0]->text(), QStringLiteral("&About Zelvar Setup..."));
      dlg.actions()[0]->trigger();
      QVERIFY(texts.contains(
          QString::fromUtf8(profile->targetText.data(), profile->targetText.size())));
      QVERIFY(texts.contains(
          QString::fromUtf8(profile->versionText.data(), profile->versionText.size())));
    }
  }

  void realMessageBoxesCanBeDismissed() {
    DialogEnvironment env = Env();
    env.prompt = nullptr;  // the Qt message boxes
    CPxrsetupDlg dlg(env);
    dlg.m_portIndex = 0;
    dlg.m_pxrIp = QStringLiteral("1234567890123456");
    dlg.OnInitDialog();
    dlg.show();
    QString seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      seen = box->windowTitle() + ": " + box->text();
      box->accept();
    });
    QTest::mouseClick(dlg.m_connectButton, Qt::LeftButton);
    QCOMPARE(seen, QStringLiteral("Zelvar: Please enter no more than 15 characters."));
  }
};

QTEST_MAIN(DialogTest)
#include "app9_dialog_test.moc"
