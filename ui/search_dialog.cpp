#include "ui/search_dialog.h"
#include "ui/dialog_util.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/condition_edit_dialog.h"

namespace zelpan {

namespace {

template <class T>
T* control(const char* text, const char* name, QWidget* parent) {
    auto* c = new T(QString::fromUtf8(text), parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

int row_of(const SearchExpressionList& list, const char* text) {
    if (!text[0]) return -1;
    auto it = std::find(list.begin(), list.end(), std::string(text));
    return it == list.end() ? -1 : int(it - list.begin());
}

}  // namespace

QPoint CSearchDlg::placement(const QRect& main_frame, const QSize& frame_size) {
    return {main_frame.x() + main_frame.width() - 12 - frame_size.width(), main_frame.y() + 44};
}

CSearchDlg::CSearchDlg(SearchSettings& settings, SearchExpressionList& list, const std::string& directory,
                       QWidget* parent, Hooks hooks)
    : QDialog(parent), settings_(settings), list_(list), directory_(directory), hooks_(std::move(hooks)) {
    if (!hooks_.message_box) hooks_.message_box = warning_box;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("検索"));

    expressions_ = new QListWidget(this);
    expressions_->setObjectName("expressions");
    expressions_->setMinimumWidth(260);

    QPushButton* take1 = dialog_button("式１(&1)", "take1", this);
    QPushButton* take2 = dialog_button("式２(&2)", "take2", this);
    expression1_ = new QLineEdit(this);
    expression1_->setObjectName("expression1");
    expression1_->setReadOnly(true);
    expression2_ = new QLineEdit(this);
    expression2_->setObjectName("expression2");
    expression2_->setReadOnly(true);
    negate1_ = control<QCheckBox>("否定", "negate1", this);
    negate2_ = control<QCheckBox>("否定", "negate2", this);
    auto* fields = new QGridLayout;
    fields->addWidget(take1, 0, 0);
    fields->addWidget(expression1_, 0, 1);
    fields->addWidget(negate1_, 0, 2);
    fields->addWidget(take2, 1, 0);
    fields->addWidget(expression2_, 1, 1);
    fields->addWidget(negate2_, 1, 2);
    fields->setColumnStretch(1, 1);
    fields->setColumnMinimumWidth(1, 220);

    auto* operation = new QGroupBox(QString::fromUtf8("論理演算"), this);
    operation_none_ = control<QRadioButton>("しない(&N)", "operation_none", operation);
    operation_and_ = control<QRadioButton>("and(&D)", "operation_and", operation);
    operation_or_ = control<QRadioButton>("or(&R)", "operation_or", operation);
    auto* operation_layout = new QHBoxLayout(operation);
    for (QRadioButton* r : {operation_none_, operation_and_, operation_or_}) operation_layout->addWidget(r);

    auto* direction = new QGroupBox(QString::fromUtf8("検索方向"), this);
    up_ = control<QRadioButton>("上方", "up", direction);
    down_ = control<QRadioButton>("下方", "down", direction);
    auto* direction_layout = new QHBoxLayout(direction);
    direction_layout->addWidget(up_);
    direction_layout->addWidget(down_);

    all_windows_ = control<QCheckBox>("開いているﾌｧｲﾙを全て検索(&A)", "all_windows", this);
    mark_while_ = control<QCheckBox>("ﾏｰｸしながら検索(&K)", "mark_while", this);
    mark_and_finish_ = control<QCheckBox>("ﾏｰｸして検索終了(&M)", "mark_and_finish", this);

    QPushButton* edit = dialog_button("編集(&E)", "edit", this);
    QPushButton* check = dialog_button("確認(&C)", "confirm", this);
    QPushButton* start = dialog_button("検索開始(&F)", "start", this);
    QPushButton* cancel = dialog_button("ｷｬﾝｾﾙ", "cancel", this);
    start->setDefault(true);

    auto* right = new QVBoxLayout;
    right->addLayout(fields);
    auto* groups = new QHBoxLayout;
    groups->addWidget(operation);
    groups->addWidget(direction);
    right->addLayout(groups);
    right->addWidget(all_windows_);
    right->addWidget(mark_while_);
    right->addWidget(mark_and_finish_);
    right->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(expressions_, 1);
    top->addLayout(right, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(edit);
    buttons->addStretch(1);
    for (QPushButton* b : {check, start, cancel}) buttons->addWidget(b);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(buttons);

    restore();

    connect(take1, &QPushButton::clicked, this, &CSearchDlg::takeExpression1);
    connect(take2, &QPushButton::clicked, this, &CSearchDlg::takeExpression2);
    connect(operation_none_, &QRadioButton::clicked, this, [this] {
        expression2_->clear();
        row2_ = -1;
    });
    connect(mark_while_, &QCheckBox::clicked, this, [this](bool on) {
        if (on) mark_and_finish_->setChecked(false);
    });
    connect(mark_and_finish_, &QCheckBox::clicked, this, [this](bool on) {
        if (!on) return;
        mark_while_->setChecked(false);
        setDirection(-1);
    });
    for (QRadioButton* r : {up_, down_})
        connect(r, &QRadioButton::clicked, this, [this] { mark_and_finish_->setChecked(false); });
    connect(expressions_, &QListWidget::currentRowChanged, this, &CSearchDlg::rowChosen);
    connect(edit, &QPushButton::clicked, this, &CSearchDlg::openEditor);
    connect(check, &QPushButton::clicked, this, &CSearchDlg::confirm);
    connect(start, &QPushButton::clicked, this, &CSearchDlg::startSearch);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CSearchDlg::~CSearchDlg() = default;

void CSearchDlg::restore() {
    RestoreSearchSettings(settings_, list_);
    SearchDialogState d = DialogStateFrom(settings_);
    negate1_->setChecked(d.negate1);
    negate2_->setChecked(d.negate2);
    (d.operation == 1 ? operation_and_ : d.operation == 2 ? operation_or_ : operation_none_)->setChecked(true);
    all_windows_->setChecked(d.all_windows);
    mark_while_->setChecked(d.mark_while_searching);
    mark_and_finish_->setChecked(d.mark_all_and_finish);
    setDirection(d.direction);

    LoadSearchExpressions(SearchExpressionPath(directory_), list_);
    QSignalBlocker quiet(expressions_);
    for (const std::string& e : list_) expressions_->addItem(QString::fromStdString(e));
    if (!list_.empty()) {
        expressions_->setCurrentRow(0);
        expression1_->setText(QString::fromStdString(d.expression1));
        expression2_->setText(QString::fromStdString(d.expression2));
        row1_ = row_of(list_, settings_.expression1);
        row2_ = row_of(list_, settings_.expression2);
    }
}

void CSearchDlg::setDirection(int direction) {
    for (QRadioButton* r : {up_, down_}) {
        // An exclusive pair cannot otherwise show "none chosen".
        r->setAutoExclusive(false);
        r->setChecked((r == up_ && direction == 0) || (r == down_ && direction == 1));
        r->setAutoExclusive(true);
    }
}

SearchDialogState CSearchDlg::state() const {
    SearchDialogState d;
    d.expression1 = expression1_->text().toStdString();
    d.expression2 = expression2_->text().toStdString();
    d.negate1 = negate1_->isChecked();
    d.negate2 = negate2_->isChecked();
    d.operation = operation_and_->isChecked() ? 1 : operation_or_->isChecked() ? 2 : 0;
    d.all_windows = all_windows_->isChecked();
    d.mark_while_searching = mark_while_->isChecked();
    d.mark_all_and_finish = mark_and_finish_->isChecked();
    d.direction = up_->isChecked() ? 0 : down_->isChecked() ? 1 : -1;
    return d;
}

void CSearchDlg::message(const std::string& text) { hooks_.message_box(this, QString::fromStdString(text)); }

void CSearchDlg::takeExpression1() {
    QListWidgetItem* item = expressions_->currentItem();
    if (!item || !item->isSelected()) return;
    expression1_->setText(item->text());
    row1_ = expressions_->row(item);
}

void CSearchDlg::takeExpression2() {
    if (operation_none_->isChecked()) {
        message(SEARCH_OPERATION_FIRST);
        return;
    }
    QListWidgetItem* item = expressions_->currentItem();
    if (!item || !item->isSelected()) return;
    expression2_->setText(item->text());
    row2_ = expressions_->row(item);
}

void CSearchDlg::rowChosen(int row) {
    if (editor_ && !quiet_selection_) editor_->loadEntry(row);
}

void CSearchDlg::openEditor() {
    if (editor_) return;
    CCondEditDlg::Hooks hooks;
    hooks.message_box = hooks_.message_box;
    editor_ = new CCondEditDlg(list_, directory_, this, hooks);
    connect(editor_, &CCondEditDlg::entryAdded, this, &CSearchDlg::entryAdded);
    connect(editor_, &CCondEditDlg::entryUpdated, this, &CSearchDlg::entryUpdated);
    connect(editor_, &CCondEditDlg::entryRemoved, this, &CSearchDlg::entryRemoved);
    QListWidgetItem* item = expressions_->currentItem();
    if (item && item->isSelected()) editor_->loadEntry(expressions_->row(item));
    editor_->show();
    if (hooks_.main_frame) editor_->move(CCondEditDlg::placement(hooks_.main_frame(), editor_->frameGeometry().size()));
}

void CSearchDlg::entryAdded(int index) {
    if (index < 0 || size_t(index) >= list_.size()) return;
    expressions_->insertItem(index, QString::fromStdString(list_[size_t(index)]));
    // Shown selected, as the editor now holds it; no reload of the editor.
    quiet_selection_ = true;
    expressions_->setCurrentRow(index);
    quiet_selection_ = false;
}

void CSearchDlg::entryUpdated(int index) {
    if (index < 0 || size_t(index) >= list_.size() || index >= expressions_->count()) return;
    QString text = QString::fromStdString(list_[size_t(index)]);
    expressions_->item(index)->setText(text);
    if (row1_ == index) expression1_->setText(text);
    if (row2_ == index) expression2_->setText(text);
}

void CSearchDlg::entryRemoved(int index, int selected) {
    if (index < 0 || index >= expressions_->count()) return;
    quiet_selection_ = true;
    delete expressions_->takeItem(index);
    if (selected >= 0) expressions_->setCurrentRow(selected);
    quiet_selection_ = false;
    auto follow = [index](int& row, QLineEdit* field) {
        if (row == index) {
            field->clear();
            row = -1;
        } else if (row > index) {
            --row;
        }
    };
    follow(row1_, expression1_);
    follow(row2_, expression2_);
}

bool CSearchDlg::validate(ConditionExpression& c1, ConditionExpression& c2) {
    std::string why = ValidateSearch(state(), c1, c2);
    if (why.empty()) return true;
    message(why);
    return false;
}

void CSearchDlg::confirm() {
    ConditionExpression c1, c2;
    if (validate(c1, c2)) message(SearchConfirmText(state()));
}

void CSearchDlg::startSearch() {
    ConditionExpression c1, c2;
    if (!validate(c1, c2)) return;
    StoreSearchSettings(state(), c1, c2, settings_);
    if (hooks_.post_search_request) hooks_.post_search_request();
    accept();
}

void CSearchDlg::done(int result) {
    if (editor_) editor_->close();
    QDialog::done(result);
}

void CSearchDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hooks_.main_frame) move(placement(hooks_.main_frame(), frameGeometry().size()));
}

CCondEditDlg* CSearchDlg::editor() const { return editor_; }

}  // namespace zelpan
