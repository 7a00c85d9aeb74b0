#pragma once
// A document: one capture, shown in one or more child windows. The frames belong
// to the windows; the document holds the file name, the title and the modified flag.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace zelpan {

class CChildFrame;

class CZelpanDoc : public QObject {
    Q_OBJECT
public:
    explicit CZelpanDoc(QObject* parent = nullptr);

    const QString& path() const { return path_; }
    // The name shown: the file's name, or "Zelpan" and a number for a new document.
    const QString& title() const { return title_; }
    void setPath(const QString& path);
    void setUntitled();

    bool modified() const { return modified_; }
    void setModified(bool on);

    // The file is in a form the program reads but does not write (pcapng, a
    // nanosecond or big-endian savefile). Saving under its own name would replace
    // it with another form (and a partly read pcapng with fewer frames), so a save
    // asks for a name instead.
    bool otherForm() const { return other_form_; }
    void setOtherForm(bool on) { other_form_ = on; }

    // Windows in opening order; titles become "name:1", "name:2" while there are several.
    void addWindow(CChildFrame* w);
    void removeWindow(CChildFrame* w);
    QList<CChildFrame*> windows() const;
    int windowCount() const { return int(windows_.size()); }

signals:
    void changed();

private:
    void retitle();
    QString path_, title_;
    bool modified_ = false;
    bool other_form_ = false;
    QList<QPointer<CChildFrame>> windows_;
};

}  // namespace zelpan
