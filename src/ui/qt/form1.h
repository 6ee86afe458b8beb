// The main window: the quantity box, Print and Instructions. It is the print
// host of every request started from it and so owns the network connection
// and the outgoing text for its lifetime. Its presses and close requests go
// to the Application, whose decisions it obeys.
#pragma once

#include <QWidget>
#include <string>
#include <string_view>

#include "printing/print_host.h"

class QCloseEvent;
class QLineEdit;

namespace zplport {

class Application;

class Form1 : public QWidget, public PrintHost {
  Q_OBJECT

 public:
  // `app` must outlive this window.
  explicit Form1(Application& app);

  std::string QuantityText() override;
  void ShowMessage(std::string_view text) override;
  void ProcessPendingEvents() override;

  // Runs one print request, telling the Application when it starts and ends.
  void RunRequest();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Command1_Click();
  void Command2_Click();

  Application& app_;
  QLineEdit* Text1;
};

}  // namespace zplport
