#pragma once
// "ｱﾀﾞﾌﾟﾀｰの選択": the modal dialog shown at every capture start. It chooses the
// adapter, an optional capture filter (by name from "capfil.dat"), how the capture
// stops and automatic saving. The state and its rules live in the core's
// CaptureSettingsForm; the choices reach the engine only on confirmation.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_engine.h"
#include "capture/capture_monitor.h"
#include "condition/filter_lists.h"

class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace zelpan {

class CCaptureSettingsDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // The capture filter list editor opened by 編集(&E) (default: CFilterEditDlg).
        std::function<void(QWidget* parent, CaptureFilterList& list, const std::string& directory)> edit_filters;
    };

    // Opening: the state from the stored settings, the adapters as given, the
    // filter list read again from "capfil.dat" in directory.
    CCaptureSettingsDlg(const CaptureSettings& stored, std::vector<CaptureDevice> devices, CaptureFilterList& filters,
                        std::string directory, QWidget* parent = nullptr, Hooks hooks = {});

    const CaptureSettingsForm& form() const { return form_; }
    // After the dialog was accepted: copies the choice into the engine's settings.
    // True when a capture may start (an adapter was chosen).
    bool Confirm(CaptureSettings& engine) const;

    QComboBox* adapters() const { return adapters_; }
    QComboBox* filterNames() const { return filter_names_; }
    QPlainTextEdit* expression() const { return expression_; }
    QPushButton* editButton() const { return edit_; }
    QComboBox* stopMethod() const { return stop_method_; }
    QComboBox* hours() const { return hours_; }
    QComboBox* minutes() const { return minutes_; }
    QComboBox* seconds() const { return seconds_; }
    QCheckBox* autoSave() const { return auto_save_; }
    QComboBox* nameForm() const { return name_form_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

public slots:
    // OK: cancelled when there is no adapter, else confirmed with the selected one.
    void confirmChoice();
    // 編集(&E): edit the list, then show its names again.
    void editFilters();

protected:
    void showEvent(QShowEvent* event) override;
    // Enter acts only on the button that has the focus: a list never confirms.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fillFilterNames(int select);
    void takeFilter(int index);

    CaptureSettingsForm form_;
    std::vector<CaptureDevice> devices_;
    CaptureFilterList& filters_;
    std::string directory_;
    Hooks hooks_;

    QComboBox* adapters_;
    QComboBox* filter_names_;
    QPlainTextEdit* expression_;
    QPushButton* edit_;
    QComboBox* stop_method_;
    QComboBox* hours_;
    QComboBox* minutes_;
    QComboBox* seconds_;
    QCheckBox* auto_save_;
    QComboBox* name_form_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace zelpan
