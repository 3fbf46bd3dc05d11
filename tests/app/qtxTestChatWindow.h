#pragma once
// Helpers of the window tests: the window's components by name, and the
// message box that an action shows.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>
#include <ostream>
#include <string>

#include "fKivra.h"

namespace qtx::test {

// The window's component of that name and class; fails the test when missing.
template <typename T>
T& Component(const TFRMKivra& aForm, const char* aName) {
  T* component = aForm.findChild<T*>(aName);
  if (!component) throw std::runtime_error(std::string("no component ") + aName);
  return *component;
}

// Runs aAction. The message box it shows is read and closed; its text is
// returned, or nothing when no box came up.
template <typename F>
std::optional<QString> MessageBoxShownBy(F&& aAction) {
  std::optional<QString> shown;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
        shown = box->text();
        box->accept();
      }
    }
  });
  poll.start(10);
  aAction();
  return shown;
}

inline std::string Text(const QString& aText) { return aText.toStdString(); }

}  // namespace qtx::test

// Readable values in failure messages.
inline void PrintTo(const QString& aText, std::ostream* aStream) { *aStream << '"' << aText.toStdString() << '"'; }
inline void PrintTo(const QRect& aRect, std::ostream* aStream) {
  *aStream << aRect.x() << ',' << aRect.y() << ' ' << aRect.width() << 'x' << aRect.height();
}
inline void PrintTo(const QSize& aSize, std::ostream* aStream) { *aStream << aSize.width() << 'x' << aSize.height(); }
inline void PrintTo(const QPoint& aPoint, std::ostream* aStream) { *aStream << aPoint.x() << ',' << aPoint.y(); }
