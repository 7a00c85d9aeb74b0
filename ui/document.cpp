#include "ui/document.h"

#include <QFileInfo>

#include "ui/child_frame.h"

namespace zelpan {

namespace {
int untitled_count = 0;
}

CZelpanDoc::CZelpanDoc(QObject* parent) : QObject(parent) {}

void CZelpanDoc::setUntitled() {
    path_.clear();
    title_ = QStringLiteral("Zelpan%1").arg(++untitled_count);
    retitle();
}

void CZelpanDoc::setPath(const QString& path) {
    path_ = QFileInfo(path).absoluteFilePath();
    title_ = QFileInfo(path).fileName();
    retitle();
}

void CZelpanDoc::setModified(bool on) {
    if (modified_ == on) return;
    modified_ = on;
    for (CChildFrame* w : windows()) w->updateTitle();
    emit changed();
}

void CZelpanDoc::addWindow(CChildFrame* w) {
    windows_.append(w);
    retitle();
}

void CZelpanDoc::removeWindow(CChildFrame* w) {
    windows_.removeAll(w);
    for (qsizetype i = windows_.size() - 1; i >= 0; --i)
        if (!windows_[i]) windows_.removeAt(i);
    retitle();
}

QList<CChildFrame*> CZelpanDoc::windows() const {
    QList<CChildFrame*> out;
    for (const QPointer<CChildFrame>& w : windows_)
        if (w) out.append(w.data());
    return out;
}

void CZelpanDoc::retitle() {
    QList<CChildFrame*> ws = windows();
    for (qsizetype i = 0; i < ws.size(); ++i)
        ws[i]->setTitle(ws.size() == 1 ? title_ : QStringLiteral("%1:%2").arg(title_).arg(i + 1));
    emit changed();
}

}  // namespace zelpan
