// Print pressed in the main window, end to end against a loopback printer
// that this test starts: the typed quantity reaches the request, the labels
// reach the printer byte for byte, and every outcome arrives as a modal
// message box with only 确定 under the application's title, even when the
// main window is closed while the request waits for the printer.
#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "platform/program_folder.h"
#include "settings/profile_file.h"
#include "ui/qt/application.h"
#include "ui/qt/form1.h"

using zplport::Application;
using zplport::Form1;
using zplport::ui::LifecycleEvent;

namespace {

// A printer on 127.0.0.1 at a port of the system's choice: it keeps every
// byte of a connection and closes its side once the client has finished
// sending. It is served by the event processing of the request's waits.
class LoopbackPrinter : public QObject {
 public:
  LoopbackPrinter() {
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackPrinter::Accept);
    server_.listen(QHostAddress::LocalHost, 0);
  }

  bool listening() const { return server_.isListening(); }
  quint16 port() const { return server_.serverPort(); }

  int connections = 0;
  int finished = 0;  // connections whose client ended its sending
  QByteArray received;

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      ++connections;
      connect(socket, &QTcpSocket::readyRead, this,
              [this, socket] { received += socket->readAll(); });
      connect(socket, &QTcpSocket::readChannelFinished, this, [this, socket] {
        received += socket->readAll();
        ++finished;
        socket->disconnectFromHost();
      });
      connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  QTcpServer server_;
};

// Answers every modal message box that comes up by pressing OK, after
// noting what it showed.
class MessageBoxAnswerer : public QObject {
 public:
  struct Seen {
    QString text;
    QString title;
    QMessageBox::StandardButtons buttons;
    QString button_text;
    QMessageBox::Icon icon;
    bool modal;
  };

  MessageBoxAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &MessageBoxAnswerer::Answer);
    timer_.start(10);
  }

  QList<Seen> seen;

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    seen.append({box->text(), box->windowTitle(), box->standardButtons(),
                 box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString(),
                 box->icon(), box->isModal()});
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  }

  QTimer timer_;
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "测试" in GBK: the lines travel from file.ini to the printer unchanged.
const QByteArray kGbkLine("\xB2\xE2\xCA\xD4");

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void printPressSendsLabelsAndReports_data();
  void printPressSendsLabelsAndReports();
  void closeDuringPrintReportsThenCloses();

 private:
  void WriteSettings(const QByteArray& prtmod, quint16 port);

  QTemporaryDir* folder_ = nullptr;
};

void PrintTest::init() {
  folder_ = new QTemporaryDir;
  QVERIFY(folder_->isValid());
  zplport::OverrideProgramFolderForTesting(folder_->path().toStdString());
}

void PrintTest::cleanup() {
  zplport::OverrideProgramFolderForTesting({});
  delete folder_;
  folder_ = nullptr;
}

void PrintTest::printPressSendsLabelsAndReports_data() {
  QTest::addColumn<QByteArray>("prtmod");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("message");  // empty: the core's own failure text
  QTest::addColumn<int>("connections");
  QTest::addColumn<QByteArray>("printed");

  const QByteArray first =
      "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS^FO50,150^A0,40,40^FD" + kGbkLine + "^FS^PQ1^XZ";
  const QByteArray second =
      "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDline 2^FS^FO50,150^A0,40,40^FD^FS^PQ1^XZ";

  QTest::newRow("two lines, one label") << QByteArray("ip") << "2"
                                        << "打印成功" << 1 << first;
  QTest::newRow("three lines, two labels in one piece") << QByteArray("ip") << "3"
                                                        << "打印成功" << 1 << first + second;
  QTest::newRow("zero opens and closes only") << QByteArray("ip") << "0"
                                              << "打印成功" << 1 << QByteArray();
  QTest::newRow("unknown way of printing") << QByteArray("Ip") << "2"
                                           << "你末JJ！" << 0 << QByteArray();
  QTest::newRow("empty quantity") << QByteArray("ip") << ""
                                  << "" << 0 << QByteArray();
}

void PrintTest::printPressSendsLabelsAndReports() {
  QFETCH(QByteArray, prtmod);
  QFETCH(QString, typed);
  QFETCH(QString, message);
  QFETCH(int, connections);
  QFETCH(QByteArray, printed);

  LoopbackPrinter printer;
  QVERIFY(printer.listening());
  WriteSettings(prtmod, printer.port());

  Application app;
  app.Handle(LifecycleEvent::kProgramStarted);
  Form1& form1 = *app.main_window();
  QVERIFY(QTest::qWaitForWindowExposed(&form1));
  QTest::keyClicks(form1.findChild<QLineEdit*>("Text1"), typed);

  MessageBoxAnswerer answerer;
  QTest::mouseClick(form1.findChild<QPushButton*>("Command1"), Qt::LeftButton);
  // The request has ended when the click returns; let the printer catch up
  // with a close it has not yet seen.
  QTRY_COMPARE(printer.finished, printer.connections);

  QCOMPARE(answerer.seen.size(), 1);
  const auto& seen = answerer.seen.first();
  if (message.isEmpty()) {
    QVERIFY(!seen.text.isEmpty());
    QVERIFY(seen.text != QStringLiteral("打印成功"));
  } else {
    QCOMPARE(seen.text, message);
  }
  QCOMPARE(seen.title, QStringLiteral("ZPL 打印机测试"));
  QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(seen.button_text, QStringLiteral("确定"));
  QVERIFY(seen.icon == QMessageBox::NoIcon || seen.icon == QMessageBox::Information);
  QVERIFY(seen.modal);

  QCOMPARE(printer.connections, connections);
  QCOMPARE(printer.received, printed);
  QVERIFY(!form1.printing());
}

void PrintTest::WriteSettings(const QByteArray& prtmod, quint16 port) {
  const QByteArray config = "[prtmod]\r\nprtmod=" + prtmod +
                            "\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\nzbx1=50\r\n"
                            "zby1=150\r\n[font]\r\na=40\r\nb=40\r\n[network]\r\n"
                            "printerip=127.0.0.1\r\nprinterport=" +
                            QByteArray::number(port) + "\r\n";
  const QByteArray content = "[content]\r\nc(0)=ABC\r\nc(1)=" + kGbkLine + "\r\nc(2)=line 2\r\n";
  QVERIFY(WriteFile(folder_->filePath("Config.ini"), config));
  QVERIFY(WriteFile(folder_->filePath("file.ini"), content));
}

// The close arrives while the request waits for the printer; the window
// stays until the request has reported, then goes.
void PrintTest::closeDuringPrintReportsThenCloses() {
  LoopbackPrinter printer;
  QVERIFY(printer.listening());
  WriteSettings("ip", printer.port());
  Application app;
  app.Handle(LifecycleEvent::kProgramStarted);
  QPointer<Form1> form1 = app.main_window();
  QVERIFY(QTest::qWaitForWindowExposed(form1));
  QTest::keyClicks(form1->findChild<QLineEdit*>("Text1"), "2");

  MessageBoxAnswerer answerer;
  bool visible_after_close = false;
  QTimer::singleShot(0, form1, [&] {
    form1->close();
    visible_after_close = form1->isVisible();
  });
  QTest::mouseClick(form1->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTRY_COMPARE(printer.finished, printer.connections);

  QVERIFY(visible_after_close);
  QCOMPARE(answerer.seen.size(), 1);
  QCOMPARE(answerer.seen.first().text, QStringLiteral("打印成功"));
  QCOMPARE(printer.connections, 1);
  QVERIFY(printer.received.startsWith("^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS"));
  QCOMPARE(app.main_window(), nullptr);
  QTRY_VERIFY(form1.isNull());
}

QTEST_MAIN(PrintTest)
#include "print_test.moc"
