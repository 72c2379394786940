// The Qt back ends: alerts as dialogs, the application loop inside the Qt event loop, and
// canvases shown by widgets.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <thread>
#include <vector>

#include "QtTestSupport.h"
#include "platform/app/AppDefs.h"
#include "platform/app/BApplication.h"
#include "platform/interface/BAlert.h"
#include "platform/interface/BView.h"
#include "platform/interface/BWindow.h"
#include "platform/qt/CanvasLink.h"
#include "platform/qt/CanvasWidget.h"
#include "platform/qt/QtAlertService.h"
#include "platform/qt/QtLoopBackEnd.h"

namespace {

struct ShownAlert {
  QString title;
  QString text;
  std::vector<QString> buttons;  // left to right
};

// Reads the open alert, then presses button `press`; runs from a timer inside the dialog's
// own event loop.
void AnswerAlertWhenShown(int press, ShownAlert* seen) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, press, seen] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr)
      return;
    timer->stop();
    timer->deleteLater();
    if (seen != nullptr) {
      seen->title = dialog->windowTitle();
      seen->text = dialog->findChild<QLabel*>("alertText")->text();
      std::vector<QPushButton*> buttons;
      for (QPushButton* button : dialog->findChildren<QPushButton*>())
        buttons.push_back(button);
      std::sort(buttons.begin(), buttons.end(),
                [](QPushButton* a, QPushButton* b) { return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x(); });
      for (QPushButton* button : buttons)
        seen->buttons.push_back(button->text());
    }
    dialog->findChild<QPushButton*>(QString("alertButton%1").arg(press))->click();
  });
  timer->start();
}

class QtAlertTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApplication(); }
  QtAlertService fService;
  ScopedAlertService fScope{&fService};
};

TEST_F(QtAlertTest, ShowsTitleTextAndButtonsInOrderAndReturnsThePressedOne) {
  ShownAlert seen;
  AnswerAlertWhenShown(1, &seen);
  int32 answer = (new BAlert("Select Resolution", "ZANVEL\nChoose a size.", "320x240", "160x120", "80x60"))->Go();
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(seen.title, "Select Resolution");
  EXPECT_EQ(seen.text, "ZANVEL\nChoose a size.");
  ASSERT_EQ(seen.buttons.size(), 3u);
  EXPECT_EQ(seen.buttons[0], "320x240");
  EXPECT_EQ(seen.buttons[1], "160x120");
  EXPECT_EQ(seen.buttons[2], "80x60");
}

TEST_F(QtAlertTest, AnAlertFromAnotherThreadIsShownOnTheGuiThread) {
  ShownAlert seen;
  AnswerAlertWhenShown(0, &seen);
  std::atomic<int32> answer{-1};
  std::thread worker([&] { answer = (new BAlert("", "can't open /dev/none", "ug"))->Go(); });
  EXPECT_TRUE(WaitFor([&] { return answer.load() != -1; }));
  worker.join();
  EXPECT_EQ(answer.load(), 0);
  EXPECT_EQ(seen.text, "can't open /dev/none");
  ASSERT_EQ(seen.buttons.size(), 1u);
  EXPECT_EQ(seen.buttons[0], "ug");
}

// An application whose handler for 'alrt' shows an alert; everything it handles is logged.
class LoggingApp : public BApplication {
 public:
  LoggingApp() : BApplication(TestSignature("loop").c_str()) {}
  void ReadyToRun() override { log.push_back("ready"); }
  void MessageReceived(BMessage* message) override {
    if (message->what == FourCC("alrt")) {
      log.push_back("alert shown");
      // A command posted while the alert waits must wait too.
      PostMessage(FourCC("next"));
      AnswerAlertWhenShown(0, nullptr);
      (new BAlert("", "wait", "ok"))->Go();
      log.push_back("alert closed");
    } else if (message->what == FourCC("next")) {
      log.push_back("next");
      PostMessage(B_QUIT_REQUESTED);
    }
  }
  bool QuitRequested() override {
    log.push_back("quit requested");
    return true;
  }
  std::vector<std::string> log;
};

TEST_F(QtAlertTest, CommandsArrivingDuringAnAlertRunAfterItInOrder) {
  LoggingApp app;
  app.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());
  app.PostMessage(FourCC("alrt"));
  app.Run();  // returns once QuitRequested agreed
  std::vector<std::string> expected = {"ready", "alert shown", "alert closed", "next", "quit requested"};
  EXPECT_EQ(app.log, expected);
}

TEST_F(QtAlertTest, MessagesFromOtherThreadsAreHandledOnTheGuiThread) {
  struct ThreadApp : BApplication {
    ThreadApp() : BApplication(TestSignature("threads").c_str()) {}
    void MessageReceived(BMessage* message) override {
      if (message->what == FourCC("work")) {
        onGuiThread = onGuiThread && QThread::currentThread() == QApplication::instance()->thread();
        if (++count == 50)
          PostMessage(B_QUIT_REQUESTED);
      }
    }
    int count = 0;
    bool onGuiThread = true;
  } app;
  app.SetLoopBackEnd(std::make_unique<QtLoopBackEnd>());
  std::thread poster([&] {
    for (int i = 0; i < 50; i++)
      app.PostMessage(FourCC("work"));
  });
  app.Run();
  poster.join();
  EXPECT_EQ(app.count, 50);
  EXPECT_TRUE(app.onGuiThread);
}

TEST(CanvasWidgetTest, ShowsWhatAnotherThreadDrewAfterItUnlocks) {
  TestApplication();
  BWindow window(BRect(0, 0, 99, 99), "canvas");
  auto* view = new BView(BRect(0, 0, 19, 9), "histo");
  window.AddChild(view);
  CanvasLink link(&window);
  CanvasWidget widget(view, &link);
  EXPECT_EQ(widget.width(), 20);
  EXPECT_EQ(widget.height(), 10);
  EXPECT_EQ(widget.objectName(), "histo");

  std::thread painter([&] {
    ASSERT_TRUE(window.Lock());
    view->SetHighColor(rgb_color{255, 0, 0, 255});
    view->FillRect(view->Bounds());
    window.Unlock();
  });
  painter.join();
  EXPECT_TRUE(WaitFor([&] { return widget.Image().pixel(5, 5) == qRgb(255, 0, 0); }));
  EXPECT_EQ(widget.Image().pixel(19, 9), qRgb(255, 0, 0));
}

TEST(CanvasWidgetTest, ABusyWindowLockDelaysTheCopyInsteadOfBlockingTheGuiThread) {
  TestApplication();
  BWindow window(BRect(0, 0, 99, 99), "canvas");
  auto* view = new BView(BRect(0, 0, 9, 9), "keyframe");
  window.AddChild(view);
  CanvasLink link(&window);
  CanvasWidget widget(view, &link);

  std::atomic<bool> release{false};
  std::atomic<bool> holding{false};
  std::thread holder([&] {
    window.Lock();
    view->SetHighColor(rgb_color{0, 0, 255, 255});
    view->FillRect(view->Bounds());
    view->Flush();
    holding = true;
    while (!release.load())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    window.Unlock();
  });
  ASSERT_TRUE(WaitFor([&] { return holding.load(); }));
  // The GUI thread keeps running while the lock is held.
  EXPECT_FALSE(link.Refresh());
  QTest::qWait(50);
  EXPECT_GT(link.BusyRetries(), 0);
  EXPECT_NE(widget.Image().pixel(1, 1), qRgb(0, 0, 255));
  release = true;
  holder.join();
  EXPECT_TRUE(WaitFor([&] { return widget.Image().pixel(1, 1) == qRgb(0, 0, 255); }));
}

TEST(CanvasWidgetTest, QuittingTheWindowReachesTheGuiThread) {
  TestApplication();
  BWindow window(BRect(0, 0, 9, 9), "canvas");
  CanvasLink link(&window);
  bool closed = false;
  link.SetQuitCallback([&] { closed = QThread::currentThread() == QApplication::instance()->thread(); });
  std::thread quitter([&] {
    window.Lock();
    window.Quit();
  });
  quitter.join();
  EXPECT_TRUE(WaitFor([&] { return closed; }));
}

}  // namespace
