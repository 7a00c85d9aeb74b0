#pragma once
// The search dialog: up to two conditions of the search expression list, each
// optionally negated, joined by and/or, searched upwards or downwards, optionally
// marking. 検索開始 stores the set-up into the application's SearchSettings and
// hands the search to the window through the post hook. Modeless, deletes itself
// when closed; the condition editor it opens is its child.
#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "condition/search.h"

class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace zelpan {

class CCondEditDlg;

// Shows one message to the user (the same alias is declared by every dialog).
using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

class CSearchDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        MessageBoxHook message_box;  // default: a warning box
        // Posts the search request to the window the dialog was opened in.
        std::function<void()> post_search_request;
        // The main window's frame, for placing the dialog and its editor.
        std::function<QRect()> main_frame;
    };

    // Opening restores the settings against the list as it stands, then reloads
    // the list from "findfil.dat" in directory and shows it.
    CSearchDlg(SearchSettings& settings, SearchExpressionList& list, const std::string& directory,
               QWidget* parent = nullptr, Hooks hooks = {});
    ~CSearchDlg() override;

    // What the controls hold.
    SearchDialogState state() const;
    CCondEditDlg* editor() const;
    // Top-left corner for a window of the given frame size: right edge 12 pixels
    // left of the main window's, top 44 below its top.
    static QPoint placement(const QRect& main_frame, const QSize& frame_size);

public slots:
    void takeExpression1();
    void takeExpression2();
    void openEditor();
    void confirm();
    void startSearch();
    // Every way out (start, cancel, close) closes the condition editor first.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void restore();
    void setDirection(int direction);
    void rowChosen(int row);
    void entryAdded(int index);
    void entryUpdated(int index);
    void entryRemoved(int index, int selected);
    bool validate(ConditionExpression& c1, ConditionExpression& c2);
    void message(const std::string& text);

    SearchSettings& settings_;
    SearchExpressionList& list_;
    std::string directory_;
    Hooks hooks_;
    QPointer<CCondEditDlg> editor_;
    // Rows the two expression fields were taken from (-1: none).
    int row1_ = -1, row2_ = -1;
    bool quiet_selection_ = false;

    QListWidget* expressions_;
    QLineEdit* expression1_;
    QLineEdit* expression2_;
    QCheckBox* negate1_;
    QCheckBox* negate2_;
    QRadioButton* operation_none_;
    QRadioButton* operation_and_;
    QRadioButton* operation_or_;
    QCheckBox* all_windows_;
    QCheckBox* mark_while_;
    QCheckBox* mark_and_finish_;
    QRadioButton* up_;
    QRadioButton* down_;
};

}  // namespace zelpan
