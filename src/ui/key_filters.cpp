#include "ui/key_filters.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
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
  for (const QChar character : typed) {
    if (forList_ && !character.isPrint()) continue;
    if (!accepts(kind_, character, box_->text())) return true;  // discarded
  }
  return false;
}

void installKeyFilter(QLineEdit* box, KeyFilter::Kind kind) {
  box->installEventFilter(new KeyFilter(kind, box));
}

void installKeyFilter(QComboBox* box, KeyFilter::Kind kind) {
  QLineEdit* edit = box->lineEdit();
  if (edit == nullptr) return;
  installKeyFilter(edit, kind);
  // A completer has a list only in its popup modes; that list hands the keys
  // typed while it is shown straight to the box, past the box's filter.
  QCompleter* completer = box->completer();
  if (completer != nullptr && completer->completionMode() != QCompleter::InlineCompletion)
    completer->popup()->installEventFilter(new KeyFilter(kind, edit, true));
}

}  // namespace torvex
