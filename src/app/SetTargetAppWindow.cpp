#include "app/SetTargetAppWindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLineEdit>

#include "app/AppTarget.h"
#include "platform/app/BMessage.h"
#include "app/CommandText.h"
#include "interpreter/ImageInterpreter.h"

SetTargetAppWindow::SetTargetAppWindow(const BRect& frame, ImageInterpreter* interpreter, bool matched)
    : fSignatureCode(matched ? FourCC("smas") : FourCC("stas")),
      fWhatCode(matched ? FourCC("smac") : FourCC("stac")) {
  setObjectName(matched ? "SetTargetAppWindow matched" : "SetTargetAppWindow positions");
  setWindowTitle("Set Target Application");
  setAttribute(Qt::WA_DeleteOnClose);
  // Titled, not zoomable.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
  setGeometry(int(frame.left), int(frame.top), int(frame.Width()) + 1, int(frame.Height()) + 1);

  // A longer signature shows cut to its first 255 characters.
  char signature[256] = {};
  uint32 code = 0;
  if (interpreter != nullptr) {
    if (matched) {
      interpreter->GetMatchedAppSignature(signature, sizeof signature);
      code = interpreter->GetMatchedBMessageCommand();
    } else {
      interpreter->GetDestinationAppSignature(signature, sizeof signature);
      code = interpreter->GetBMessageCommand();
    }
  }

  fSignatureControl = new QLineEdit(QString::fromUtf8(signature));
  fSignatureControl->setObjectName("signature");
  fSignatureControl->setMaxLength(255);
  fWhatControl = new QLineEdit(QString::fromLatin1(CommandCodeText(code).c_str()));
  fWhatControl->setObjectName("what");

  auto* layout = new QFormLayout(this);
  layout->addRow("signature", fSignatureControl);
  layout->addRow("what", fWhatControl);

  connect(fSignatureControl, &QLineEdit::returnPressed, this, [this] { Send(fSignatureControl, fSignatureCode); });
  connect(fWhatControl, &QLineEdit::returnPressed, this, [this] { Send(fWhatControl, fWhatCode); });
  show();
}

void SetTargetAppWindow::Send(QLineEdit* field, uint32 what) {
  // The text travels in the message: the window may be gone when the application reads it.
  // The code field is packed byte by byte, so it goes as Latin-1.
  BMessage message(what);
  const QString text = field->text();
  message.AddString("source", field == fWhatControl ? text.toLatin1().toStdString() : text.toStdString());
  PostToApplication(message);
}

bool SetTargetAppWindow::QuitRequested() {
  Send(fSignatureControl, fSignatureCode);
  Send(fWhatControl, fWhatCode);
  return true;
}

void SetTargetAppWindow::closeEvent(QCloseEvent* event) {
  if (QuitRequested())
    event->accept();
  else
    event->ignore();
}
