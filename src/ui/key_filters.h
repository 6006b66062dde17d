#pragma once
// Typing filters of the parameter boxes. They act on typed characters only:
// keys that type nothing (arrows, Delete, Home, Tab) always pass, and text
// set from code or pasted is not filtered.

#include <QLineEdit>
#include <QObject>

class QComboBox;

namespace torvex {

class KeyFilter : public QObject {
  Q_OBJECT

 public:
  enum class Kind {
    Integer,  // digits and backspace
    Decimal,  // digits, backspace and one full stop
  };
  // Filters the keys typed into box. When the filter watches a list that
  // drops down from the box (and passes its keys on to it), only printable
  // characters are filtered: the list's own keys, Return and Escape, stay.
  KeyFilter(Kind kind, QLineEdit* box, bool forList = false)
      : QObject(box), kind_(kind), box_(box), forList_(forList) {}

  // Whether a typed character passes the filter for a box holding text.
  static bool accepts(Kind kind, QChar typed, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Kind kind_;
  QLineEdit* box_;
  bool forList_;
};

// Installs the filter on an edit box, or on the edit part of a combo box (and
// on its completer's list, which hands typed keys straight to the box).
void installKeyFilter(QLineEdit* box, KeyFilter::Kind kind);
void installKeyFilter(QComboBox* box, KeyFilter::Kind kind);

}  // namespace torvex
