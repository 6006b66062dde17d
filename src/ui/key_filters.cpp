#include "ui/key_filters.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace torvex {

bool KeyFilter::accepts(Kind kind, QChar typed, const QString& text) {
  if (typed == QChar('\b')) return true;
  if (typed >= QChar('0') && typed <= QChar('9')) return true;
  // The decimal separator is always the full stop, whatever the locale.
  return kind == Kind::Decimal && typed == QChar('.') && !text.contains(QChar('.'));
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  // Keys that type no character are not the filter's business.
  switch (key->key()) {
    case Qt::Key_Backspace: return false;
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return false;
    default: break;
  }
  const QString typed = key->text();
  if (typed.isEmpty()) return false;
  const auto* box = qobject_cast<QLineEdit*>(watched);
  const QString text = box != nullptr ? box->text() : QString();
  for (const QChar character : typed)
    if (!accepts(kind_, character, text)) return true;  // discarded
  return false;
}

void installKeyFilter(QLineEdit* box, KeyFilter::Kind kind) {
  box->installEventFilter(new KeyFilter(kind, box));
}

void installKeyFilter(QComboBox* box, KeyFilter::Kind kind) {
  if (box->lineEdit() != nullptr) installKeyFilter(box->lineEdit(), kind);
}

}  // namespace torvex
