#pragma once
// The program's only window: the file list, the correction settings, the progress box and the
// bleach button. Pressing the button starts one batch run on a thread of its own; the dialog is that
// run's front end (dialog_front_end.h).
//
// Threads: every member function runs on the user-interface thread. The batch thread reaches the
// dialog only through DialogFrontEnd, which hands each call over to this thread.
// Lifetime: a run never outlives the dialog: closing is refused while a run is under way, and the
// destructor waits for a run that is still going.

#include <QDialog>
#include <QIcon>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "engine/batch/batch_run.h"
#include "settings/dialog_values.h"
#include "ui/common/dialog_rules.h"
#include "ui/common/dialog_run.h"
#include "ui/control_table.h"
#include "ui/dialog_exchange.h"
#include "ui/file_chooser.h"

class QLineEdit;
class QTimer;
class QPushButton;

namespace pagewash {

class DialogFrontEnd;
class FileDropList;
class PreviewWindow;

class CPagewashDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CPagewashDlg(QWidget* parent = nullptr);
    ~CPagewashDlg() override;

    // ---- the handlers (public so that tests can drive them as the user's actions do)
    // Names delivered by a drop on the list, in drop order.
    void handleDroppedFiles(const QStringList& names);
    // A double-click on the list: the file dialog on the hint item, removal on a file line.
    void handleListDoubleClick();
    void handleBleachClick();
    void handleValueBoxChange();
    // A slider moved (delivered after the exchange that moved it).
    void handleSliderDraw(int sliderId);
    void handleColorModeClick();
    void handleGrayModeClick();
    // Opens the preview window (one per dialog) on file line `row` with the settings the controls show.
    void openPreview(int row);
    // nullptr until the first preview.
    PreviewWindow* previewWindow() const { return m_previewWindow; }

    // Controls to DialogValues; false when a number box does not hold an integer (after a message).
    bool readExchange();
    // DialogValues to controls.
    void writeExchange();

    const DialogValues& values() const { return m_values; }
    QWidget* control(int controlId) const { return m_controls.widget(controlId); }
    const ControlTable& controls() const { return m_controls; }
    bool isRunning() const { return m_run.active(); }

    // Replaces the file dialog (tests stand in for the user with it).
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }

    // ---- what the batch run's front end does on this thread (see DialogFrontEnd)
    // The paths of the list's files (the hint item 0 left out), in the encoding of local file names.
    std::vector<std::string> listedPaths() const;
    void enableControl(int controlId, bool enabled);
    // The controls a run locks while it works (the blur controls stay usable: each file takes its own
    // settings snapshot), and their release, the reference sliders only as the modes say.
    void lockControls();
    void unlockControls();
    void setProgressText(const QString& text);
    void showErrorBox(const QString& text, const QString& caption);
    CorrectionSettings currentSettings() const { return takeSettings(m_values); }
    void addRefusedFile(const QString& path, const QString& reason);

  signals:
    // A run has ended and its thread is joined; controls are unlocked.
    void runFinished();

  public slots:
    void done(int result) override;

  private:
    void createControls();
    void initDialog();
    void appendIfPdfOrJpg(const QString& name);
    void finishRun();
    // The preview follows every control that makes a setting, read without changing the dialog's values.
    void followSettingsInPreview();
    void sendSettingsToPreview();
    CorrectionSettings shownSettings() const;

    QIcon m_icon;
    FileChooser m_fileChooser;
    ControlTable m_controls;
    DialogExchange m_exchange;
    DialogValues m_values;

    FileDropList* m_fileList = nullptr;
    QPushButton* m_bleachButton = nullptr;
    QLineEdit* m_progressBox = nullptr;

    std::unique_ptr<DialogFrontEnd> m_frontEnd;
    DialogRun m_run;
    bool m_destroying = false;
    QStringList m_refusedFiles;

    PreviewWindow* m_previewWindow = nullptr;  // a child window, made on the first preview
    QTimer* m_previewSettingsTimer = nullptr;  // gathers the changes of one user action into one
};

}  // namespace pagewash
