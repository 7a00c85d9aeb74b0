#include "ui/condition_edit_dialog.h"
#include "ui/dialog_util.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <vector>

#include "condition/condition.h"
#include "decode/engine.h"

namespace zelpan {

const char* const CCondEditDlg::NO_CONDITION = "条件式がありません。  ";

namespace {

const char* const NONE = "なし";
const char* const NUMBER_OPERATORS[] = {"なし", ">", "<", ">=", "<=", "==", "!="};
const char* const STRING_OPERATORS[] = {"なし", "==", "!="};

QLabel* label(const char* text, QWidget* parent) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

QPoint CCondEditDlg::placement(const QRect& main_frame, const QSize& frame_size) {
    return {main_frame.x() + main_frame.width() - 12 - frame_size.width(), main_frame.y() + 66};
}

CCondEditDlg::CCondEditDlg(SearchExpressionList& list, const std::string& directory, QWidget* parent, Hooks hooks)
    : QDialog(parent), list_(list), path_(SearchExpressionPath(directory)), hooks_(std::move(hooks)) {
    if (!hooks_.message_box) hooks_.message_box = warning_box;
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("条件式の編集"));

    protocols_ = new QListWidget(this);
    protocols_->setObjectName("protocols");
    init_protocol_table();
    std::vector<const char*> names;
    for (int row = 0; row < protocol_count(); ++row)
        if (const char* n = protocol_name(row)) names.push_back(n);
    std::sort(names.begin(), names.end(), [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
    for (const char* n : names) protocols_->addItem(QString::fromLatin1(n));

    offset_ = new QLineEdit(this);
    offset_->setObjectName("offset");
    bit_operation_ = new QComboBox(this);
    bit_operation_->setObjectName("bit_operation");
    bit_operation_->addItems({QString::fromUtf8(NONE), QStringLiteral("and"), QStringLiteral("or")});
    bit_value_ = new QLineEdit(this);
    bit_value_->setObjectName("bit_value");

    number_mode_ = new QRadioButton(QString::fromUtf8("数字(&N)"), this);
    number_mode_->setObjectName("number_mode");
    text_mode_ = new QRadioButton(QString::fromUtf8("文字(&S)"), this);
    text_mode_->setObjectName("string_mode");
    number_mode_->setChecked(true);
    operator_ = new QComboBox(this);
    operator_->setObjectName("operator");
    value_ = new QLineEdit(this);
    value_->setObjectName("value");
    fillOperators();

    condition_ = new QLineEdit(this);
    condition_->setObjectName("condition");
    condition_->setReadOnly(true);
    errors_ = new QListWidget(this);
    errors_->setObjectName("errors");
    // A parse gives a few lines at most; the protocol list gets the room.
    errors_->setMaximumHeight(96);
    protocols_->setMinimumHeight(240);

    auto* field = new QGridLayout;
    field->addWidget(label("ｵﾌｾｯﾄ(：長さ)", this), 0, 0);
    field->addWidget(offset_, 0, 1);
    auto* bits = new QGroupBox(QString::fromUtf8("ﾋﾞｯﾄ演算"), this);
    auto* bits_layout = new QHBoxLayout(bits);
    bits_layout->addWidget(bit_operation_);
    bits_layout->addWidget(bit_value_, 1);
    auto* relation = new QGroupBox(QString::fromUtf8("関係演算"), this);
    auto* relation_layout = new QGridLayout(relation);
    relation_layout->addWidget(number_mode_, 0, 0);
    relation_layout->addWidget(text_mode_, 0, 1);
    relation_layout->addWidget(operator_, 1, 0);
    relation_layout->addWidget(value_, 1, 1, 1, 2);
    relation_layout->setColumnStretch(2, 1);

    auto* right = new QVBoxLayout;
    right->addLayout(field);
    right->addWidget(bits);
    right->addWidget(relation);
    right->addStretch(1);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(label("ﾌﾟﾛﾄｺﾙ", this));
    left->addWidget(protocols_);
    top->addLayout(left, 1);
    top->addLayout(right, 2);

    QPushButton* add = dialog_button("追加(&A)", "add", this);
    update_ = dialog_button("更新(&U)", "update", this);
    QPushButton* remove = dialog_button("削除(&D)", "delete", this);
    QPushButton* close = dialog_button("ｷｬﾝｾﾙ", "cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {add, update_, remove, close}) buttons->addWidget(b);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(label("条件式", this));
    outer->addWidget(condition_);
    outer->addWidget(errors_);
    outer->addLayout(buttons);

    update_->setEnabled(false);

    connect(protocols_, &QListWidget::currentRowChanged, this, [this] { rebuild(); });
    connect(offset_, &QLineEdit::textChanged, this, [this] { rebuild(); });
    connect(bit_operation_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i == 0 && !loading_) bit_value_->clear();
        rebuild();
    });
    connect(bit_value_, &QLineEdit::textChanged, this, [this] { rebuild(); });
    connect(operator_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i == 0 && !loading_) value_->clear();
        rebuild();
    });
    connect(value_, &QLineEdit::textChanged, this, [this] {
        if (operator_->currentIndex() > 0) rebuild();
    });
    connect(text_mode_, &QRadioButton::toggled, this, [this](bool on) { setStringMode(on); });
    connect(add, &QPushButton::clicked, this, &CCondEditDlg::addEntry);
    connect(update_, &QPushButton::clicked, this, &CCondEditDlg::updateEntry);
    connect(remove, &QPushButton::clicked, this, &CCondEditDlg::deleteEntry);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void CCondEditDlg::fillOperators() {
    QSignalBlocker quiet(operator_);
    operator_->clear();
    if (string_mode_)
        for (const char* op : STRING_OPERATORS) operator_->addItem(QString::fromUtf8(op));
    else
        for (const char* op : NUMBER_OPERATORS) operator_->addItem(QString::fromUtf8(op));
    operator_->setCurrentIndex(0);
}

void CCondEditDlg::setStringMode(bool string_mode) {
    if (string_mode == string_mode_) return;
    string_mode_ = string_mode;
    {
        QSignalBlocker quiet(text_mode_);
        text_mode_->setChecked(string_mode);
        number_mode_->setChecked(!string_mode);
    }
    fillOperators();
    {
        QSignalBlocker quiet(value_);
        value_->clear();
    }
    rebuild();
}

QString CCondEditDlg::conditionText() const { return condition_->text(); }

QStringList CCondEditDlg::errorLines() const {
    QStringList lines;
    for (int i = 0; i < errors_->count(); ++i) lines << errors_->item(i)->text();
    return lines;
}

void CCondEditDlg::rebuild() {
    if (loading_) return;
    QString text;
    if (QListWidgetItem* p = protocols_->currentItem()) text = p->text();
    if (!offset_->text().isEmpty()) text += "[" + offset_->text() + "]";
    if (bit_operation_->currentIndex() > 0 && !bit_value_->text().isEmpty())
        text += QString(bit_operation_->currentIndex() == 1 ? " & " : " | ") + bit_value_->text();
    if (operator_->currentIndex() > 0 && !value_->text().isEmpty())
        text += " " + operator_->currentText() + " " + value_->text();
    condition_->setText(text);
}

void CCondEditDlg::loadEntry(int index) {
    if (index < 0 || size_t(index) >= list_.size()) {
        entry_ = -1;
        update_->setEnabled(false);
        return;
    }
    entry_ = index;
    update_->setEnabled(true);

    ConditionParse parse;
    ConditionExpression scratch;
    ParseCondition(parse, list_[size_t(index)].c_str(), VALUE_NUMBER, scratch);

    loading_ = true;
    setStringMode(false);
    QList<QListWidgetItem*> found = protocols_->findItems(QString::fromLatin1(parse.protocol_name), Qt::MatchExactly);
    if (parse.protocol_name[0] && !found.isEmpty())
        protocols_->setCurrentItem(found.front());
    else
        protocols_->setCurrentRow(-1);
    QString offset = QString::fromLatin1(parse.offset_text);
    if (parse.length_text[0]) offset += ":" + QString::fromLatin1(parse.length_text);
    offset_->setText(offset);
    bit_operation_->setCurrentIndex(std::strcmp(parse.bit_operator, "&") == 0   ? 1
                                    : std::strcmp(parse.bit_operator, "|") == 0 ? 2
                                                                                 : 0);
    bit_value_->setText(QString::fromLatin1(parse.bit_value));
    // "=>" and "=<" mean ">=" and "<=", which is how the choice shows them.
    QString op = QString::fromLatin1(parse.relational_operator);
    if (op == "=>") op = ">=";
    if (op == "=<") op = "<=";
    int op_index = op.isEmpty() ? 0 : operator_->findText(op);
    operator_->setCurrentIndex(op_index < 0 ? 0 : op_index);
    value_->setText(QString::fromLatin1(parse.value));
    loading_ = false;
    rebuild();

    errors_->clear();
    for (const std::string& line : ConditionErrorLines(parse.error_flags)) errors_->addItem(QString::fromStdString(line));
}

std::string CCondEditDlg::check() {
    QByteArray text = condition_->text().toUtf8();
    ConditionParse parse;
    ConditionExpression scratch;
    ParseCondition(parse, text.constData(), string_mode_ ? VALUE_STRING : VALUE_NUMBER, scratch);
    errors_->clear();
    for (const std::string& line : ConditionErrorLines(parse.error_flags)) errors_->addItem(QString::fromStdString(line));
    if (parse.error_flags != 0) return {};
    return parse.normalised;
}

void CCondEditDlg::save() {
    std::string failure = SaveSearchExpressions(path_, list_);
    if (!failure.empty()) hooks_.message_box(this, QString::fromStdString(failure));
}

void CCondEditDlg::addEntry() {
    if (condition_->text().isEmpty()) {
        hooks_.message_box(this, QString::fromUtf8(NO_CONDITION));
        return;
    }
    std::string normalised = check();
    if (normalised.empty()) return;
    list_.push_back(normalised);
    save();
    // The new row becomes the entry, so that update and delete act on it.
    entry_ = int(list_.size()) - 1;
    update_->setEnabled(true);
    emit entryAdded(entry_);
}

void CCondEditDlg::updateEntry() {
    if (list_.empty() || entry_ < 0 || size_t(entry_) >= list_.size()) return;
    std::string normalised = check();
    if (normalised.empty()) return;
    list_[size_t(entry_)] = normalised;
    save();
    emit entryUpdated(entry_);
}

void CCondEditDlg::deleteEntry() {
    if (list_.empty() || entry_ < 0 || size_t(entry_) >= list_.size()) return;
    int removed = entry_;
    list_.erase(list_.begin() + removed);
    save();
    int selected = list_.empty() ? -1 : std::min(removed, int(list_.size()) - 1);
    emit entryRemoved(removed, selected);
    loadEntry(selected);
}

}  // namespace zelpan
