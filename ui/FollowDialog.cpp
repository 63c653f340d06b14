#include "FollowDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "chart/FileChooser.h"

namespace quarn::ui {

bool NamesBroker(const QString& target) {
  return target.startsWith("mqtt://", Qt::CaseInsensitive) || target.startsWith("mqtts://", Qt::CaseInsensitive);
}

FollowDialog::FollowDialog(QWidget* parent, chart::FileChooser& files, QString startFolder)
    : QDialog(parent), files_(files), startFolder_(std::move(startFolder)) {
  setObjectName("FollowDialog");
  setWindowTitle("Follow");
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      "A folder whose data files are being written, or the MQTT broker the recorders publish to "
      "(mqtt://host[:port]/prefix, or mqtts:// for TLS).",
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* form = new QFormLayout;
  auto* targetRow = new QHBoxLayout;
  target_ = new QLineEdit(this);
  target_->setObjectName("followTarget");
  target_->setPlaceholderText("Folder, or mqtt://host/prefix");
  target_->setMinimumWidth(360);
  browse_ = new QPushButton("Browse\u2026", this);
  browse_->setObjectName("followBrowse");
  browse_->setAutoDefault(false);
  targetRow->addWidget(target_, 1);
  targetRow->addWidget(browse_);
  form->addRow("Follow:", targetRow);
  password_ = new QLineEdit(this);
  password_->setObjectName("followPassword");
  password_->setEchoMode(QLineEdit::Password);
  password_->setPlaceholderText("only for a broker that asks for one (mqtts://user@host/prefix)");
  form->addRow("Broker password:", password_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName("followButtons");
  layout->addWidget(buttons);

  auto brokerChosen = [this] { password_->setEnabled(NamesBroker(Target())); };
  connect(target_, &QLineEdit::textChanged, this, brokerChosen);
  brokerChosen();
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString folder =
        files_.FolderToFollow(this, NamesBroker(Target()) || Target().isEmpty() ? startFolder_ : Target());
    if (!folder.isEmpty()) target_->setText(QDir::toNativeSeparators(folder));
  });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (!Target().isEmpty()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString FollowDialog::Target() const { return target_->text().trimmed(); }

QString FollowDialog::Password() const { return NamesBroker(Target()) ? password_->text() : QString(); }

}  // namespace quarn::ui
