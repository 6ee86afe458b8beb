#include "ui/qt/form2.h"

#include <QLabel>
#include <QPushButton>
#include <QString>

#include "ui/qt/form1.h"
#include "ui/qt/ui_style.h"

namespace zplport {

Form2::Form2(Form1& main_window) : main_window_(main_window) {
  setObjectName(QStringLiteral("Form2"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("说明"));
  setWindowIcon(ApplicationIcon());
  setFont(SongFont(12));
  resize(312, 213);

  Label1 = new QLabel(QStringLiteral("Label1"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(16, 24, 281, 145);
  Label1->setFont(YaHeiFont(12, false));
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setWordWrap(true);
  Label1->setFocusPolicy(Qt::NoFocus);

  Command1 = new QPushButton(QStringLiteral("返回"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setGeometry(232, 176, 65, 33);
  Command1->setFont(YaHeiFont(12, true));
  Command1->setAutoDefault(false);
  Command1->setDefault(false);
  Command1->setFocus();

  connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);

  Form_Load();
  CentreOnScreen(*this);
}

void Form2::Form_Load() {
  const QString text = QStringLiteral("该程序是测试用斑马ZPL语言打印机的并口和网口测试程序。") +
                       QStringLiteral(
                           "不用安装驱动。更改打印方式，请修改CONFIG.INI文件的prtmod=lpt1(或者lpt2,"
                           "lpt3等);或者prtmod=ip;别的参数切勿测试。") +
                       QStringLiteral("请设置好打印机IP和端口后，在配置文件处修改。");
  // Seven wrapped lines must fit the label's height; the Chinese faces that
  // stand in for the Windows one have taller natural lines, so the spacing
  // is fixed.
  Label1->setTextFormat(Qt::RichText);
  Label1->setText(
      QStringLiteral("<div style=\"line-height:20px; -qt-line-height-type:fixed\">%1</div>")
          .arg(text.toHtmlEscaped()));
}

// Closing first, then showing the main window: showing a window cancels the
// automatic quit that closing the last visible window has just requested,
// so the program keeps running when the main window had been closed.
void Form2::Command1_Click() {
  close();
  main_window_.ShowAgain();
}

}  // namespace zplport
