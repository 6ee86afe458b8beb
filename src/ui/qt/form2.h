// The instructions window: how to choose between parallel-port and network
// printing in Config.ini. It is opened by the main window, deletes itself
// when closed, and its Back button shows the main window again.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace zplport {

class Form1;

class Form2 : public QWidget {
  Q_OBJECT

 public:
  // `main_window` must outlive this window.
  explicit Form2(Form1& main_window);

 private:
  void Form_Load();
  void Command1_Click();

  Form1& main_window_;
  QLabel* Label1;
  QPushButton* Command1;
};

}  // namespace zplport
