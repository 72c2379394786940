#include "platform/qt/QtAlertService.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <cstdio>

namespace {

// A dialog that only a button can end: closing it some other way would leave the caller
// without an answer.
class AlertDialog : public QDialog {
 public:
  AlertDialog(const AlertRequest& request, bool modal) {
    setObjectName("alert");
    setWindowTitle(QString::fromStdString(request.title));
    setModal(modal);

    auto* text = new QLabel(QString::fromStdString(request.text));
    text->setObjectName("alertText");
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    auto* icon = new QLabel;
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxInformation;
    if (request.type == B_WARNING_ALERT)
      pixmap = QStyle::SP_MessageBoxWarning;
    else if (request.type == B_STOP_ALERT)
      pixmap = QStyle::SP_MessageBoxCritical;
    if (request.type != B_EMPTY_ALERT)
      icon->setPixmap(style()->standardIcon(pixmap).pixmap(32, 32));

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    int count = static_cast<int>(request.buttons.size());
    int widest = 0;
    std::vector<QPushButton*> made;
    for (int i = 0; i < count; i++) {
      auto* button = new QPushButton(QString::fromStdString(request.buttons[size_t(i)]));
      button->setObjectName(QString("alertButton%1").arg(i));
      button->setAutoDefault(false);
      if (i == count - 1)
        button->setDefault(true);
      connect(button, &QPushButton::clicked, this, [this, i] { done(i + 1); });
      buttons->addWidget(button);
      widest = std::max(widest, button->sizeHint().width());
      made.push_back(button);
    }
    if (request.width == B_WIDTH_FROM_WIDEST) {
      for (QPushButton* button : made)
        button->setMinimumWidth(widest);
    } else if (request.width == B_WIDTH_AS_USUAL) {
      for (QPushButton* button : made)
        button->setMinimumWidth(std::max(75, button->sizeHint().width()));
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    fButtonCount = count;
  }

  void reject() override {
    // Escape or the close box answer a one-button alert; a choice needs a button.
    if (fButtonCount <= 1)
      done(1);
  }

 private:
  int fButtonCount = 0;
};

int32 ShowOnGuiThread(const AlertRequest& request) {
  if (request.buttons.empty())
    return 0;
  AlertDialog dialog(request, true);
  int result = dialog.exec();
  // exec() gives 0 only when the dialog was torn down without a button (the application
  // going away): take the last button, as the back ends agree to answer in range.
  if (result <= 0)
    return int32(request.buttons.size()) - 1;
  return result - 1;
}

}  // namespace

int32 QtAlertService::Show(const AlertRequest& request) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr)
    return 0;
  if (QThread::currentThread() == app->thread())
    return ShowOnGuiThread(request);
  int32 answer = 0;
  QMetaObject::invokeMethod(
      app, [&] { answer = ShowOnGuiThread(request); }, Qt::BlockingQueuedConnection);
  return answer;
}

void QtAlertService::Post(const AlertRequest& request) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr)
    return;
  QMetaObject::invokeMethod(
      app, [request] { ShowOnGuiThread(request); }, Qt::QueuedConnection);
}

void QtAlertService::Notify(const AlertRequest& request) {
  const std::string line = AlertLine(request) + "\n";
  std::fputs(line.c_str(), stderr);
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || request.buttons.empty())
    return;
  QMetaObject::invokeMethod(
      app,
      [this, request] {
        auto* dialog = new AlertDialog(request, false);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        fOpen.emplace_back(dialog);
        dialog->show();
      },
      Qt::QueuedConnection);
}

QtAlertService::~QtAlertService() {
  for (QPointer<QDialog>& dialog : fOpen)
    delete dialog.data();
}
