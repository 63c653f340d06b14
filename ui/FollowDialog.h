#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace quarn::chart {
class FileChooser;
}

namespace quarn::ui {

// "Follow…": a folder whose data files are being written, or a broker the recorders publish to
// (mqtt://host[:port]/prefix), with a password for a broker that asks for one.
class FollowDialog : public QDialog {
  Q_OBJECT

 public:
  FollowDialog(QWidget* parent, chart::FileChooser& files, QString startFolder);

  QString Target() const;
  QString Password() const;
  QLineEdit* TargetEdit() const { return target_; }
  QLineEdit* PasswordEdit() const { return password_; }
  QPushButton* BrowseButton() const { return browse_; }

 private:
  chart::FileChooser& files_;
  QString startFolder_;
  QLineEdit* target_ = nullptr;
  QLineEdit* password_ = nullptr;
  QPushButton* browse_ = nullptr;
};

// A followed target names a broker when it starts with mqtt:// or mqtts://; a folder otherwise.
bool NamesBroker(const QString& target);

}  // namespace quarn::ui
