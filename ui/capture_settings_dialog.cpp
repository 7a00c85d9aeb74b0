#include "ui/capture_settings_dialog.h"
#include "ui/dialog_util.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/filter_edit_dialog.h"
#include "ui/info_window.h"

namespace zelpan {

namespace {

template <size_t N>
QComboBox* entry_list(QWidget* parent, const char* name, const char* const (&entries)[N]) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    for (const char* e : entries) c->addItem(u8(e));
    return c;
}

}  // namespace

CCaptureSettingsDlg::CCaptureSettingsDlg(const CaptureSettings& stored, std::vector<CaptureDevice> devices,
                                         CaptureFilterList& filters, std::string directory, QWidget* parent,
                                         Hooks hooks)
    : QDialog(parent),
      form_(stored),
      devices_(std::move(devices)),
      filters_(filters),
      directory_(std::move(directory)),
      hooks_(std::move(hooks)) {
    setObjectName("capture_settings");
    setWindowTitle(u8("ｱﾀﾞﾌﾟﾀｰの選択"));
    setModal(true);
    if (!hooks_.edit_filters)
        hooks_.edit_filters = [](QWidget* p, CaptureFilterList& list, const std::string& dir) {
            CFilterEditDlg editor(list, dir, p);
            editor.exec();
        };

    // ｱﾀﾞﾌﾟﾀｰ
    auto* adapter_group = new QGroupBox(u8("ｱﾀﾞﾌﾟﾀｰ"), this);
    adapters_ = new QComboBox(adapter_group);
    adapters_->setObjectName("adapters");
    adapters_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    adapters_->setMinimumContentsLength(40);
    // The list shows the label; the name alone is what is opened.
    for (const CaptureDevice& d : devices_) adapters_->addItem(u8(d.label()), u8(d.name));
    if (adapters_->count() > 0) adapters_->setCurrentIndex(0);
    (new QVBoxLayout(adapter_group))->addWidget(adapters_);

    // ﾌｨﾙﾀｰ
    auto* filter_group = new QGroupBox(u8("ﾌｨﾙﾀｰ"), this);
    filter_names_ = new QComboBox(filter_group);
    filter_names_->setObjectName("filter_names");
    expression_ = new QPlainTextEdit(filter_group);
    expression_->setObjectName("filter_expression");
    expression_->setReadOnly(true);
    expression_->setFixedHeight(expression_->fontMetrics().lineSpacing() * 3 + 12);
    edit_ = new QPushButton(u8("編集(&E)"), filter_group);
    edit_->setObjectName("edit_filters");
    auto* filter_grid = new QGridLayout(filter_group);
    filter_grid->addWidget(new QLabel(u8("名前 :"), filter_group), 0, 0);
    filter_grid->addWidget(filter_names_, 0, 1);
    filter_grid->addWidget(edit_, 0, 2);
    filter_grid->addWidget(new QLabel(u8("条件式 :"), filter_group), 1, 0, Qt::AlignTop);
    filter_grid->addWidget(expression_, 1, 1, 1, 2);
    filter_grid->setColumnStretch(1, 1);

    // ｷｬﾌﾟﾁｬｰの停止
    auto* stop_group = new QGroupBox(u8("ｷｬﾌﾟﾁｬｰの停止"), this);
    stop_method_ = entry_list(stop_group, "stop_method", STOP_METHOD_ENTRIES);
    hours_ = entry_list(stop_group, "stop_hours", STOP_HOUR_ENTRIES);
    minutes_ = entry_list(stop_group, "stop_minutes", STOP_MINUTE_ENTRIES);
    seconds_ = entry_list(stop_group, "stop_seconds", STOP_SECOND_ENTRIES);
    auto* time_row = new QHBoxLayout;
    time_row->addWidget(hours_);
    time_row->addWidget(new QLabel(u8("："), stop_group));
    time_row->addWidget(minutes_);
    time_row->addWidget(new QLabel(u8("："), stop_group));
    time_row->addWidget(seconds_);
    time_row->addStretch(1);
    auto* stop_grid = new QGridLayout(stop_group);
    stop_grid->addWidget(new QLabel(u8("方法："), stop_group), 0, 0);
    stop_grid->addWidget(stop_method_, 0, 1, Qt::AlignLeft);
    stop_grid->addWidget(new QLabel(u8("停止までの時間："), stop_group), 1, 0);
    stop_grid->addLayout(time_row, 1, 1);

    // 自動保存
    auto* save_group = new QGroupBox(u8("自動保存"), this);
    auto_save_ = new QCheckBox(u8("ON(&A)"), save_group);
    auto_save_->setObjectName("auto_save");
    name_form_ = entry_list(save_group, "name_form", NAME_FORM_ENTRIES);
    auto* save_row = new QHBoxLayout(save_group);
    save_row->addWidget(auto_save_);
    save_row->addSpacing(16);
    save_row->addWidget(new QLabel(u8("ﾌｧｲﾙ名の形式："), save_group));
    save_row->addWidget(name_form_);
    save_row->addStretch(1);

    ok_ = new QPushButton(u8("OK"), this);
    ok_->setObjectName("ok");
    cancel_ = new QPushButton(u8("ｷｬﾝｾﾙ"), this);
    cancel_->setObjectName("cancel");
    // No default button: Enter confirms only from the OK button itself.
    for (QPushButton* b : {ok_, cancel_, edit_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(adapter_group);
    layout->addWidget(filter_group);
    layout->addWidget(stop_group);
    layout->addWidget(save_group);
    layout->addLayout(buttons);

    // The stored state, shown without counting as choices.
    LoadCaptureFilters(CaptureFilterPath(directory_), filters_);
    fillFilterNames(0);
    stop_method_->setCurrentIndex(form_.stop_method);
    hours_->setCurrentIndex(form_.selection.hours);
    minutes_->setCurrentIndex(form_.selection.minutes);
    seconds_->setCurrentIndex(form_.selection.seconds);
    auto_save_->setChecked(form_.auto_save == 1);
    name_form_->setCurrentIndex(form_.name_form);

    connect(adapters_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) form_.ChooseAdapter(adapters_->itemData(i).toString().toStdString());
    });
    connect(filter_names_, &QComboBox::currentIndexChanged, this, &CCaptureSettingsDlg::takeFilter);
    connect(edit_, &QPushButton::clicked, this, &CCaptureSettingsDlg::editFilters);
    connect(stop_method_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) form_.ChooseStopMethod(i);
    });
    connect(hours_, &QComboBox::currentIndexChanged, this, [this](int i) { form_.ChooseHours(i); });
    connect(minutes_, &QComboBox::currentIndexChanged, this, [this](int i) { form_.ChooseMinutes(i); });
    connect(seconds_, &QComboBox::currentIndexChanged, this, [this](int i) { form_.ChooseSeconds(i); });
    connect(auto_save_, &QCheckBox::toggled, this, [this](bool on) { form_.auto_save = on ? 1 : 0; });
    connect(name_form_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) form_.name_form = i;
    });
    connect(ok_, &QPushButton::clicked, this, &CCaptureSettingsDlg::confirmChoice);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CCaptureSettingsDlg::fillFilterNames(int select) {
    QSignalBlocker quiet(filter_names_);
    filter_names_->clear();
    filter_names_->addItem(u8(NO_FILTER_ENTRY));
    for (const FilterEntry& f : filters_) filter_names_->addItem(u8(f.name));
    // An index that no longer exists leaves no entry selected.
    filter_names_->setCurrentIndex(select >= 0 && select < filter_names_->count() ? select : -1);
    takeFilter(filter_names_->currentIndex());
}

void CCaptureSettingsDlg::takeFilter(int index) {
    // "適用しない" or no selection: no filter.
    std::string e;
    if (index >= 1 && size_t(index - 1) < filters_.size()) e = filters_[size_t(index - 1)].expression;
    form_.ChooseFilter(e);
    expression_->setPlainText(u8(e));
}

void CCaptureSettingsDlg::editFilters() {
    int selected = filter_names_->currentIndex();
    hooks_.edit_filters(this, filters_, directory_);
    fillFilterNames(selected);
}

void CCaptureSettingsDlg::confirmChoice() {
    if (adapters_->count() == 0 || adapters_->currentIndex() < 0) {
        reject();
        return;
    }
    form_.ChooseAdapter(adapters_->currentData().toString().toStdString());
    accept();
}

bool CCaptureSettingsDlg::Confirm(CaptureSettings& engine) const {
    if (result() != QDialog::Accepted) return false;
    return form_.Confirm(engine);
}

void CCaptureSettingsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainFrame(this);
}

void CCaptureSettingsDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled()) b->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace zelpan
