#include "FileChooser.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>

#include "chart/ChartExport.h"

namespace quarn::chart {

QStringList DialogFileChooser::DataFilesToOpen(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileNames(parent, "Open data file", folder, "Data files (*.txt);;All files (*)");
}

QString DialogFileChooser::FolderToFollow(QWidget* parent, const QString& folder) {
  return QFileDialog::getExistingDirectory(parent, "Follow folder", folder);
}

QString DialogFileChooser::LimitsFileToOpen(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileName(parent, "Acceptance limits", folder, "Limits files (*.ini);;All files (*)");
}

QString DialogFileChooser::DataFileSavePath(QWidget* parent, const QString& suggested) {
  return QFileDialog::getSaveFileName(parent, "Input FileName", suggested, "Text File (*.txt)", nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

std::optional<FileChooser::SaveChoice> DialogFileChooser::SavePath(QWidget* parent, const QString& caption,
                                                                   const QString& suggested, const QString& filters) {
  QString filter;
  const QString path = QFileDialog::getSaveFileName(parent, caption, suggested, filters, &filter);
  if (path.isEmpty()) return std::nullopt;
  return SaveChoice{path, filter};
}

std::optional<QSize> DialogFileChooser::PictureSize(QWidget* parent, QSize suggested, PictureFormat format) {
  const PictureUnit unit = PictureUnitOf(format);
  QDialog dialog(parent);
  dialog.setObjectName("pictureSizeDialog");
  dialog.setWindowTitle("Picture size");
  auto* layout = new QFormLayout(&dialog);
  const auto sideBox = [&](int value, const char* name) {
    auto* box = new QSpinBox(&dialog);
    box->setObjectName(name);
    box->setRange(unit.min, unit.max);
    box->setValue(value);
    box->setSuffix(unit.suffix);
    return box;
  };
  QSpinBox* width = sideBox(suggested.width(), "pictureWidth");
  QSpinBox* height = sideBox(suggested.height(), "pictureHeight");
  layout->addRow("Width:", width);
  layout->addRow("Height:", height);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return QSize(width->value(), height->value());
}

}  // namespace quarn::chart
