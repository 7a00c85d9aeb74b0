#include "ui/filter_edit_dialog.h"
#include "ui/dialog_util.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelpan {

const char* const CFilterEditDlg::NO_NAME = "ﾌｨﾙﾀｰ名を入力してください。  ";
const char* const CFilterEditDlg::NO_EXPRESSION = "条件式を入力してください。  ";
const char* const CFilterEditDlg::NO_LIST = "ﾌｨﾙﾀｰﾘｽﾄがありません。  ";
// The file has no escaping: such a name would come back cut, its rest glued to the
// expression, and a line break would split the line.
const char* const CFilterEditDlg::NAME_SEPARATOR = "ﾌｨﾙﾀｰ名に \",\" は使えません。  ";
const char* const CFilterEditDlg::LINE_BREAK = "ﾌｨﾙﾀｰ名と条件式に改行は使えません。  ";

namespace {

}  // namespace

CFilterEditDlg::CFilterEditDlg(CaptureFilterList& list, const std::string& directory, QWidget* parent,
                               Hooks hooks)
    : QDialog(parent), list_(list), path_(CaptureFilterPath(directory)), hooks_(std::move(hooks)) {
    if (!hooks_.message_box) hooks_.message_box = warning_box;
    setWindowTitle(QString::fromUtf8("ﾌｨﾙﾀｰの編集"));

    names_ = new QListWidget(this);
    names_->setObjectName("names");
    name_ = new QLineEdit(this);
    name_->setObjectName("name");
    expression_ = new QLineEdit(this);
    expression_->setObjectName("expression");
    expression_->setMinimumWidth(360);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QString::fromUtf8("ﾌｨﾙﾀｰ名"), this), 0, 0);
    fields->addWidget(name_, 0, 1);
    fields->addWidget(new QLabel(QString::fromUtf8("条件式"), this), 1, 0);
    fields->addWidget(expression_, 1, 1);
    fields->setRowStretch(2, 1);

    QPushButton* add = dialog_button("追加(&A)", "add", this);
    QPushButton* update = dialog_button("更新(&U)", "update", this);
    QPushButton* remove = dialog_button("削除(&D)", "delete", this);
    QPushButton* close = dialog_button("ｷｬﾝｾﾙ", "cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {add, update, remove, close}) buttons->addWidget(b);

    auto* top = new QHBoxLayout;
    top->addWidget(names_, 1);
    top->addLayout(fields, 2);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(buttons);

    for (const FilterEntry& e : list_) names_->addItem(QString::fromStdString(e.name));
    if (!list_.empty()) {
        names_->setCurrentRow(0);
        showRow(0);
    }

    connect(names_, &QListWidget::currentRowChanged, this, &CFilterEditDlg::showRow);
    connect(add, &QPushButton::clicked, this, &CFilterEditDlg::addEntry);
    connect(update, &QPushButton::clicked, this, &CFilterEditDlg::updateEntry);
    connect(remove, &QPushButton::clicked, this, &CFilterEditDlg::deleteEntry);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void CFilterEditDlg::message(const QString& text) { hooks_.message_box(this, text); }

void CFilterEditDlg::showRow(int row) {
    if (row < 0 || size_t(row) >= list_.size()) return;
    name_->setText(QString::fromStdString(list_[size_t(row)].name));
    expression_->setText(QString::fromStdString(list_[size_t(row)].expression));
}

bool CFilterEditDlg::editedEntry(FilterEntry& entry) {
    entry.name = name_->text().toStdString();
    entry.expression = expression_->text().toStdString();
    if (entry.name.empty()) {
        message(QString::fromUtf8(NO_NAME));
        return false;
    }
    if (entry.expression.empty()) {
        message(QString::fromUtf8(NO_EXPRESSION));
        return false;
    }
    if (entry.name.find("\",\"") != std::string::npos) {
        message(QString::fromUtf8(NAME_SEPARATOR));
        return false;
    }
    if ((entry.name + entry.expression).find_first_of("\r\n") != std::string::npos) {
        message(QString::fromUtf8(LINE_BREAK));
        return false;
    }
    std::string why;
    if (!CheckCaptureFilter(entry.expression, &why)) {
        message(QString::fromStdString(why));
        return false;
    }
    return true;
}

void CFilterEditDlg::save() {
    std::string failure = SaveCaptureFilters(path_, list_);
    if (!failure.empty()) message(QString::fromStdString(failure));
}

void CFilterEditDlg::addEntry() {
    FilterEntry e;
    if (!editedEntry(e)) return;
    // The entry first: selecting the row shows the entry at that index.
    list_.push_back(e);
    names_->addItem(QString::fromStdString(e.name));
    names_->setCurrentRow(names_->count() - 1);
    save();
}

void CFilterEditDlg::updateEntry() {
    int row = names_->currentRow();
    if (list_.empty() || row < 0 || size_t(row) >= list_.size() || !names_->item(row)->isSelected()) {
        message(QString::fromUtf8(NO_LIST));
        return;
    }
    FilterEntry e;
    if (!editedEntry(e)) return;
    list_[size_t(row)] = e;
    names_->item(row)->setText(QString::fromStdString(e.name));
    save();
}

void CFilterEditDlg::deleteEntry() {
    int row = names_->currentRow();
    if (row < 0 || size_t(row) >= list_.size() || !names_->item(row)->isSelected()) return;
    list_.erase(list_.begin() + row);
    {
        QSignalBlocker quiet(names_);
        delete names_->takeItem(row);
    }
    if (list_.empty()) {
        name_->clear();
        expression_->clear();
    } else {
        int next = std::min(row, int(list_.size()) - 1);
        QSignalBlocker quiet(names_);
        names_->setCurrentRow(next);
        showRow(next);
    }
    save();
}

}  // namespace zelpan
