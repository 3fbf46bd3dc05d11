#include "qtxApplication.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace qtx {

void ShowException(QWidget* aParent, const std::exception& aException) {
  QMessageBox::critical(aParent, QApplication::applicationDisplayName(), QString::fromUtf8(aException.what()));
}

}  // namespace qtx
