// The PXR9 setup program: reads the stored settings into the dialog, runs it, stores the
// settings again when it ends with OK.
#pragma once

#include <QString>

#include "app9/pxrsetupdlg.h"

class CPxrsetupApp {
 public:
  explicit CPxrsetupApp(DialogEnvironment environment) : env_(std::move(environment)) {}

  // commandLine: everything after the program name, as one text (a configuration file name).
  // Returns false, as the program ends once the dialog has closed.
  bool InitInstance(const QString& commandLine);

  // The dialog while it runs (for tests driving the program).
  CPxrsetupDlg* Dialog() { return dialog_; }

 private:
  DialogEnvironment env_;
  CPxrsetupDlg* dialog_ = nullptr;
};

// The command line after the program name, joined with spaces (quotes are gone by now on
// POSIX; a name with spaces arrives as one argument or as several, and both give the same text).
QString CommandLineText(int argc, char** argv);
