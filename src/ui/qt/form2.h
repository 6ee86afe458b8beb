// The instructions window: how to choose between parallel-port and network
// printing in Config.ini. Its Back button and its close requests go to the
// Application, which discards the window and brings the main window back.
#pragma once

#include <QWidget>

class QCloseEvent;

namespace zplport {

class Application;

class Form2 : public QWidget {
  Q_OBJECT

 public:
  // `app` must outlive this window.
  explicit Form2(Application& app);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Command1_Click();

  Application& app_;
};

}  // namespace zplport
