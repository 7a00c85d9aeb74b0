#pragma once
// Small helpers the dialogs and commands share.
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <string>

namespace zelpan {

inline QString u8(const char* s) { return QString::fromUtf8(s); }
inline QString u8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A message box titled "Zelpan" with one OK button.
inline void message_box(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QStringLiteral("Zelpan"), text, QMessageBox::Ok, parent);
    box.exec();
}
inline void warning_box(QWidget* parent, const QString& text) { message_box(parent, text, QMessageBox::Warning); }

// A named push button that Return does not press unless it has the focus.
inline QPushButton* dialog_button(const char* text, const char* name, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

}  // namespace zelpan
