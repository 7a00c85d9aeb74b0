#pragma once
// The condition editor: builds a condition text from its pieces (protocol, offset,
// bit operation, comparison), checks it with the condition parser and keeps the
// normalised text in the search expression list and its file. Modeless; the
// search dialog owns it and follows its changes through the signals.
#include <QDialog>
#include <functional>
#include <string>

#include "condition/filter_lists.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace zelpan {

// Shows one message to the user (the same alias is declared by every dialog).
using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

class CCondEditDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        MessageBoxHook message_box;  // default: a warning box
    };

    // list: the application's search expression list, as loaded by the search
    // dialog. directory: the start-up directory holding "findfil.dat".
    CCondEditDlg(SearchExpressionList& list, const std::string& directory, QWidget* parent = nullptr,
                 Hooks hooks = {});

    static const char* const NO_CONDITION;

    // Loads list entry index (its text) into the controls; index -1 (or an index
    // outside the list) empties nothing and only forgets the entry.
    void loadEntry(int index);
    int entryIndex() const { return entry_; }
    // The condition text as built from the controls.
    QString conditionText() const;
    QStringList errorLines() const;

    // Top-left corner for a window of the given frame size: right edge 12 pixels
    // left of the main window's, top 66 below its top.
    static QPoint placement(const QRect& main_frame, const QSize& frame_size);

signals:
    // The list changed at index (already done in the list and saved).
    void entryAdded(int index);
    void entryUpdated(int index);
    // The row removed and the row now selected (-1 when the list is empty).
    void entryRemoved(int index, int selected);

public slots:
    void addEntry();
    void updateEntry();
    void deleteEntry();

private:
    void setStringMode(bool string_mode);
    void fillOperators();
    void rebuild();
    // Parses the built text in the chosen mode and lists its errors; the
    // normalised text, or an empty one on errors.
    std::string check();
    void save();

    SearchExpressionList& list_;
    std::string path_;
    Hooks hooks_;
    int entry_ = -1;
    bool loading_ = false;
    bool string_mode_ = false;

    QListWidget* protocols_;
    QLineEdit* offset_;
    QComboBox* bit_operation_;
    QLineEdit* bit_value_;
    QRadioButton* number_mode_;
    QRadioButton* text_mode_;
    QComboBox* operator_;
    QLineEdit* value_;
    QLineEdit* condition_;
    QListWidget* errors_;
    QPushButton* update_;
};

}  // namespace zelpan
