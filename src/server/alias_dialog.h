#pragma once

// The dialog in which the operator picks the database alias: the alias names in the alias
// file's order; OK (or Enter, or a double-click) takes the selected one, Avbryt (or Escape)
// takes none.

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

namespace taurelin {

class TfrmVelgAlias : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmVelgAlias(const QStringList& aliases, QWidget* parent = nullptr);

  // The selected alias; empty when none is selected.
  QString selectedAlias() const;
  QListWidget* lbxAlias() const { return lbxAlias_; }
  QPushButton* bbtOK() const { return bbtOK_; }
  QPushButton* bbtAvbryt() const { return bbtAvbryt_; }

  void lbxAliasDblClick();

 private:
  void FormCreate(const QStringList& aliases);

  QLabel* label1_;
  QListWidget* lbxAlias_;
  QPushButton* bbtOK_;
  QPushButton* bbtAvbryt_;
};

}  // namespace taurelin
