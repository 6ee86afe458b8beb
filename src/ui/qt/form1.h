// The main window: the quantity box, Print and Instructions. It is the print
// host of every request started from it and so owns the network connection
// and the outgoing text for its lifetime.
//
// The window lives as long as the program: closing it only hides it, so
// that the instructions window's Back can show it again while the program
// runs on with the instructions window alone. The instructions window is
// created on demand, at most one at a time, and deletes itself on close.
#pragma once

#include <QPointer>
#include <QWidget>
#include <string>
#include <string_view>

#include "printing/print_host.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zplport {

class Form2;

class Form1 : public QWidget, public PrintHost {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  std::string QuantityText() override;
  void ShowMessage(std::string_view text) override;
  void ProcessPendingEvents() override;

  // Brings the window to the front; centred afresh when it had been closed.
  void ShowAgain();

 private:
  void Command1_Click();
  void Command2_Click();

  QPushButton* Command1;
  QLineEdit* Text1;
  QLabel* Label1;
  QPushButton* Command2;
  QPointer<Form2> form2_;
};

}  // namespace zplport
