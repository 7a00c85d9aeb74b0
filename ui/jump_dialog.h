#pragma once
// The jump sheet of one window: to a frame number, or to the next or previous
// frame shown as marked. Modeless, deletes itself when closed; the window keeps a
// QPointer to it (one sheet per window).
#include <QDialog>
#include <QWidget>
#include <functional>

#include "condition/search.h"

class QLineEdit;
class QTabWidget;

namespace zelpan {

// Shows one message to the user (the same alias is declared by every dialog).
using MessageBoxHook = std::function<void(QWidget* parent, const QString& text)>;

struct JumpHooks {
    MessageBoxHook message_box;                         // default: a warning box
    std::function<void(const QString&)> show_message;  // the information window
    // Whether a row is shown as marked; default: the frame's mark bit.
    std::function<bool(int32_t)> row_marked;
    // The main window's frame, for placing the sheet.
    std::function<QRect()> main_frame;
};

class CJumpNumber : public QWidget {
    Q_OBJECT
public:
    CJumpNumber(SearchWindow* window, JumpHooks hooks, QWidget* parent = nullptr);
public slots:
    void jump();

private:
    SearchWindow* window_;
    JumpHooks hooks_;
    QLineEdit* number_;
};

class CJumpMark : public QWidget {
    Q_OBJECT
public:
    CJumpMark(SearchWindow* window, JumpHooks hooks, QWidget* parent = nullptr);
public slots:
    void jump(bool up);

private:
    SearchWindow* window_;
    JumpHooks hooks_;
};

class CJumpDlg : public QDialog {
    Q_OBJECT
public:
    // window: the window jumped in; it outlives the sheet (the window closes its
    // sheet when it goes). title: the window's title.
    CJumpDlg(SearchWindow* window, const QString& title, QWidget* parent = nullptr, JumpHooks hooks = {});

    CJumpNumber* numberPage() const { return number_; }
    CJumpMark* markPage() const { return mark_; }
    // Top-left corner for a window of the given frame size: centred on the main window.
    static QPoint placement(const QRect& main_frame, const QSize& frame_size);

protected:
    void showEvent(QShowEvent* event) override;

private:
    JumpHooks hooks_;
    QTabWidget* pages_;
    CJumpNumber* number_;
    CJumpMark* mark_;
};

}  // namespace zelpan
