#include "server/alias_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace taurelin {

TfrmVelgAlias::TfrmVelgAlias(const QStringList& aliases, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      label1_(new QLabel(QStringLiteral("Database-alias"), this)),
      lbxAlias_(new QListWidget(this)),
      bbtOK_(new QPushButton(QStringLiteral("&OK"), this)),
      bbtAvbryt_(new QPushButton(QStringLiteral("Avbryt"), this)) {
  setWindowTitle(QStringLiteral("Velg databasetilkopling"));
  setFixedSize(309, 349);
  label1_->setGeometry(4, 4, 301, 16);
  lbxAlias_->setGeometry(4, 22, 301, 293);
  lbxAlias_->setSelectionMode(QAbstractItemView::SingleSelection);
  bbtOK_->setGeometry(4, 320, 100, 25);
  bbtAvbryt_->setGeometry(205, 320, 100, 25);
  bbtOK_->setDefault(true);
  connect(bbtOK_, &QPushButton::clicked, this, &QDialog::accept);
  connect(bbtAvbryt_, &QPushButton::clicked, this, &QDialog::reject);
  connect(lbxAlias_, &QListWidget::itemDoubleClicked, this, &TfrmVelgAlias::lbxAliasDblClick);
  FormCreate(aliases);
  lbxAlias_->setFocus();
}

void TfrmVelgAlias::FormCreate(const QStringList& aliases) {
  lbxAlias_->clear();
  lbxAlias_->addItems(aliases);
}

QString TfrmVelgAlias::selectedAlias() const {
  const QList<QListWidgetItem*> selected = lbxAlias_->selectedItems();
  return selected.isEmpty() ? QString() : selected.first()->text();
}

void TfrmVelgAlias::lbxAliasDblClick() { accept(); }

}  // namespace taurelin
