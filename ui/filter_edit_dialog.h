#pragma once
// The capture filter list editor: named libpcap expressions, each compiled by the
// library before it is kept. The file is rewritten after every change; the list
// in memory stays as edited even when the file cannot be written.
#include <QDialog>
#include <functional>
#include <string>

#include "condition/filter_lists.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zelpan {

// Shows one message to the user (the same alias is declared by every dialog).
// Tests install one that records the text instead of blocking.
using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

class CFilterEditDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        MessageBoxHook message_box;  // default: a warning box
    };

    // list: filled by the caller (LoadCaptureFilters) before the editor opens.
    // directory: the start-up directory holding "capfil.dat".
    CFilterEditDlg(CaptureFilterList& list, const std::string& directory, QWidget* parent = nullptr,
                   Hooks hooks = {});

    // Messages of the editor.
    static const char* const NO_NAME;
    static const char* const NO_EXPRESSION;
    static const char* const NO_LIST;
    static const char* const NAME_SEPARATOR;
    static const char* const LINE_BREAK;

public slots:
    void addEntry();
    void updateEntry();
    void deleteEntry();

private:
    void showRow(int row);
    // The edits' texts when they can be kept, else shows why not.
    bool editedEntry(FilterEntry& entry);
    void save();
    void message(const QString& text);

    CaptureFilterList& list_;
    std::string path_;
    Hooks hooks_;
    QListWidget* names_;
    QLineEdit* name_;
    QLineEdit* expression_;
};

}  // namespace zelpan
