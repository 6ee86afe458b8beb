#include "ui/qt/form1.h"

#include <QColor>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QString>

#include "printing/print_request.h"
#include "ui/qt/form2.h"
#include "ui/qt/ui_style.h"

namespace zplport {

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(geometry);
  button->setFont(YaHeiFont(14.25, true));
  // Enter must not press a button the operator has not chosen.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(ApplicationTitle());
  setWindowIcon(ApplicationIcon());
  resize(312, 213);

  // Created in tab order; the label takes no focus, so Tab goes
  // Print -> quantity -> Instructions.
  Command1 = MakeButton(this, "Command1", QStringLiteral("打印"), QRect(160, 152, 97, 41));

  Text1 = new QLineEdit(this);
  Text1->setObjectName(QStringLiteral("Text1"));
  Text1->setGeometry(56, 80, 201, 57);
  Text1->setFont(YaHeiFont(24, true));
  QPalette quantity_palette = Text1->palette();
  quantity_palette.setColor(QPalette::Text, QColor(0, 0, 128));
  Text1->setPalette(quantity_palette);

  Label1 = new QLabel(QStringLiteral("打印数量："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(8, 8, 201, 41);
  Label1->setFont(YaHeiFont(24, true));
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setFocusPolicy(Qt::NoFocus);

  Command2 = MakeButton(this, "Command2", QStringLiteral("说明"), QRect(56, 152, 89, 41));

  setTabOrder(Command1, Text1);
  setTabOrder(Text1, Command2);
  Command1->setFocus();

  connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

  CentreOnScreen(*this);
}

Form1::~Form1() { delete form2_.data(); }

std::string Form1::QuantityText() { return Text1->text().toStdString(); }

void Form1::ShowMessage(std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, this);
  box.exec();
}

void Form1::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void Form1::ShowAgain() {
  if (isHidden()) CentreOnScreen(*this);
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

// A press during a running request's waits is refused by the request itself.
void Form1::Command1_Click() { RunPrintRequest(*this); }

void Form1::Command2_Click() {
  // A closed instructions window is hidden until its deletion comes round;
  // it is not shown again.
  if (form2_ == nullptr || form2_->isHidden()) form2_ = new Form2(*this);
  form2_->show();
  form2_->raise();
  form2_->activateWindow();
}

}  // namespace zplport
