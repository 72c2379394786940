#pragma once
// "Set Target Application": edits the signature and the message code of one output's
// target (the positions, or the matched example). Each field sends its text when confirmed,
// and closing the window sends both, the signature first.

#include <QWidget>

#include "platform/interface/BRect.h"
#include "platform/support/Status.h"

class ImageInterpreter;
class QLineEdit;

class SetTargetAppWindow : public QWidget {
 public:
  SetTargetAppWindow(const BRect& frame, ImageInterpreter* interpreter, bool matched);

  QLineEdit* SignatureControl() const { return fSignatureControl; }
  QLineEdit* WhatControl() const { return fWhatControl; }

  // Sends both fields, as if each had been confirmed; always agrees to close.
  bool QuitRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Send(QLineEdit* field, uint32 what);

  QLineEdit* fWhatControl = nullptr;
  QLineEdit* fSignatureControl = nullptr;
  uint32 fSignatureCode;
  uint32 fWhatCode;
};
