#pragma once
// The TCP data stream of one connection: numbered text lines, red for the data
// sent the way the chosen frame went and blue for the other way, limited to one
// side by the source combo; ﾏｰｸ marks the frames whose data is shown, 保存 writes
// the shown payload bytes to a file. Modeless, deletes itself when closed; a child
// of its window, which it never outlives.
#include <QDialog>
#include <functional>
#include <memory>

#include "stats/tcp_stream.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace zelpan {

class CChildFrame;

class CTcpStreamDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // The save dialog: the chosen path, or "" when cancelled.
        std::function<QString(QWidget* parent, const QString& initial, const QString& filter)> save_file;
        std::function<void(QWidget* parent, const QString& text)> message_box;  // default: a warning box
        std::function<QRect()> main_frame;  // for placing the dialog
    };
    static const QColor DIRECTION_COLOURS[2];

    // frame: the row the stream is built for (a TCP frame; the window's layer
    // indexes exist). The first build runs here.
    CTcpStreamDlg(CChildFrame* window, int32_t frame, Hooks hooks = {});
    ~CTcpStreamDlg() override;

    int32_t frame() const { return frame_; }
    QPlainTextEdit* textView() const { return text_; }
    QString byteCountText() const;
    const TcpStreamBuilder& builder() const { return *builder_; }

public slots:
    void sourceChanged(int index);
    void markFrames();
    void save();

signals:
    void marked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    enum class Mode { Show, Mark };
    void rebuild(Mode mode);

    CChildFrame* window_;
    int32_t frame_;
    Hooks hooks_;
    std::unique_ptr<TcpStreamBuilder> builder_;
    QComboBox* source_;
    QPlainTextEdit* text_;
    QLineEdit* bytes_;
};

}  // namespace zelpan
