#pragma once
// Typing filters of the parameter boxes. They act on typed characters only:
// keys that type nothing (arrows, Delete, Home, Tab) always pass, and text
// set from code or pasted is not filtered.

#include <QObject>

class QLineEdit;
class QComboBox;

namespace torvex {

class KeyFilter : public QObject {
  Q_OBJECT

 public:
  enum class Kind {
    Integer,  // digits and backspace
    Decimal,  // digits, backspace and one full stop
  };
  KeyFilter(Kind kind, QObject* parent) : QObject(parent), kind_(kind) {}

  // Whether a typed character passes the filter for a box holding text.
  static bool accepts(Kind kind, QChar typed, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Kind kind_;
};

// Installs the filter on an edit box, or on the edit part of a combo box.
void installKeyFilter(QLineEdit* box, KeyFilter::Kind kind);
void installKeyFilter(QComboBox* box, KeyFilter::Kind kind);

}  // namespace torvex
