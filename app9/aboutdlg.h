// About box: the application icon, the program version text and the target profile name.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "app9/profile.h"

namespace Ui {
class CAboutDlg;
}

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg(const pxr::BuildProfile& profile, const QIcon& icon, QWidget* parent = nullptr);
  ~CAboutDlg() override;

  QString m_targetText;  // the target profile name shown in the box

 private:
  std::unique_ptr<Ui::CAboutDlg> ui_;
};
