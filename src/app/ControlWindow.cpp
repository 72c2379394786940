#include "app/ControlWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/ParameterView.h"
#include "platform/media/BMediaRoster.h"
#include "platform/media/BParameterWeb.h"

namespace {

QWidget* BuildView(const media_node& node) {
  BMediaRoster* roster = BMediaRoster::CurrentRoster();
  if (roster == nullptr)
    return nullptr;
  BParameterWeb* web = nullptr;
  if (roster->GetParameterWebFor(node, &web) != B_OK || web == nullptr)
    return nullptr;
  return ViewForWeb(web);
}

}  // namespace

ControlWindow::ControlWindow(const BRect& frame, QWidget* view, media_node node) : fView(view), fNode(node) {
  setObjectName("Video Preferences");
  setWindowTitle("Video Preferences");
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(fView);
  setGeometry(int(frame.left), int(frame.top), int(frame.Width()) + 1, int(frame.Height()) + 1);

  // Notifications come from the thread that changed the web; the rebuild runs on ours.
  if (BMediaRoster* roster = BMediaRoster::CurrentRoster()) {
    QPointer<ControlWindow> self(this);
    int32 token = -1;
    if (roster->StartWatching(
            [self](int32 what, const media_node&) {
              if (what != B_MEDIA_WEB_CHANGED)
                return;
              QMetaObject::invokeMethod(
                  qApp,
                  [self] {
                    if (self)
                      self->WebChanged();
                  },
                  Qt::QueuedConnection);
            },
            &token) == B_OK)
      fWatch = token;
  }
}

ControlWindow::~ControlWindow() {
  if (BMediaRoster* roster = BMediaRoster::CurrentRoster(); roster != nullptr && fWatch >= 0)
    roster->StopWatching(fWatch);
}

ControlWindow* ControlWindow::Open(media_node node, float left, float top) {
  QWidget* view = BuildView(node);
  if (view == nullptr)
    return nullptr;
  QSize size = view->sizeHint().expandedTo(view->minimumSizeHint());
  BRect frame(left, top, left + float(size.width() - 1), top + float(size.height() - 1));
  auto* window = new ControlWindow(frame, view, node);
  window->show();
  return window;
}

void ControlWindow::WebChanged() {
  // Any change rebuilds the whole editor, whichever node it concerned.
  int selected = -1;
  if (auto* tabs = qobject_cast<QTabWidget*>(fView))
    selected = tabs->currentIndex();
  if (fView != nullptr) {
    layout()->removeWidget(fView);
    delete fView;
    fView = nullptr;
  }
  fView = BuildView(fNode);
  if (fView == nullptr)
    return;
  layout()->addWidget(fView);
  if (auto* tabs = qobject_cast<QTabWidget*>(fView); tabs != nullptr && selected > 0)
    tabs->setCurrentIndex(selected);
}
