#include "app9/aboutdlg.h"

#include <QIcon>

#include "ui_aboutdlg.h"

CAboutDlg::CAboutDlg(const pxr::BuildProfile& profile, const QIcon& icon, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CAboutDlg>()) {
  ui_->setupUi(this);
  m_targetText = QString::fromUtf8(profile.targetText.data(),
                                   static_cast<qsizetype>(profile.targetText.size()));
  ui_->iconLabel->setPixmap(icon.pixmap(32, 32));
  ui_->versionLabel->setText(QString::fromUtf8(profile.versionText.data(),
                                               static_cast<qsizetype>(profile.versionText.size())));
  ui_->targetLabel->setText(m_targetText);
  connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;
