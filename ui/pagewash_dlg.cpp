#include "ui/pagewash_dlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "engine/batch/batch_messages.h"
#include "ui/common/control_ids.h"
#include "ui/common/dialog_template.h"
#include "ui/dialog_front_end.h"
#include "ui/dialog_units.h"
#include "ui/file_drop_list.h"
#include "ui/preview_window.h"
#include "ui/text_fit.h"

namespace pagewash {
namespace {

namespace c = control;

constexpr int kNumberBoxes[] = {c::kColorBlackBox, c::kColorWhiteBox,  c::kGrayWhiteBox,
                                c::kGrayBlackBox,  c::kCompressionBox, c::kBlurStrengthBox};
constexpr int kSliders[] = {c::kColorBlackSlider, c::kColorWhiteSlider,  c::kGrayBlackSlider,
                            c::kGrayWhiteSlider,  c::kCompressionSlider, c::kBlurStrengthSlider};

// The gap between a radio button's circle and its text, as narrow as the layout was drawn for.
class CompactRadioStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_RadioButtonLabelSpacing) return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QIcon loadWindowIcon() {
    QIcon icon;
    for (const char* size : {"16", "32", "48", "256"}) {
        icon.addFile(QStringLiteral(":/icons/pagewash-%1.png").arg(QLatin1String(size)));
    }
    return icon;
}

// Read-only boxes show the dialog's background, as a box the user cannot type into should.
void paintAsReadOnly(QLineEdit* box) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    box->setPalette(palette);
}

QWidget* createControl(const ControlTemplate& entry, QWidget* parent, QStyle* radioStyle) {
    const QString text = QString::fromUtf8(entry.text);
    switch (entry.kind) {
        case ControlKind::Static: {
            auto* label = new QLabel(text, parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
        case ControlKind::GroupBox:
            return new QGroupBox(text, parent);
        case ControlKind::ListBox: {
            auto* list = new FileDropList(parent);
            list->setSelectionMode(QAbstractItemView::SingleSelection);
            list->setSortingEnabled(false);
            return list;
        }
        case ControlKind::RadioButton: {
            auto* button = new QRadioButton(text, parent);
            if (radioStyle != nullptr) button->setStyle(radioStyle);
            button->setAcceptDrops(false);
            return button;
        }
        case ControlKind::NumberBox:
        case ControlKind::ProgressBox: {
            auto* box = new QLineEdit(parent);
            box->setReadOnly(true);
            box->setAcceptDrops(false);
            if (entry.digitsOnly) box->setInputMethodHints(Qt::ImhDigitsOnly);
            if (entry.kind == ControlKind::ProgressBox) {
                box->setFrame(false);
                box->setAlignment(Qt::AlignCenter);
            }
            paintAsReadOnly(box);
            return box;
        }
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, parent);
            slider->setRange(kReferenceMin, kReferenceMax);
            slider->setPageStep(20);
            slider->setTickPosition(entry.ticksAbove ? QSlider::TicksAbove : QSlider::NoTicks);
            slider->setTickInterval(10);
            return slider;
        }
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, parent);
            button->setAutoDefault(true);
            button->setDefault(true);
            return button;
        }
    }
    return nullptr;
}

}  // namespace

CPagewashDlg::CPagewashDlg(QWidget* parent)
    : QDialog(parent), m_icon(loadWindowIcon()), m_fileChooser(&chooseFileToOpen) {
    // A window of its own in the task bar, with a minimise box and no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(kDialogTitle));
    setFont(dialogFont(kDialogFontPoints));
    setAcceptDrops(false);
    createControls();
    m_frontEnd = std::make_unique<DialogFrontEnd>(*this);
    initDialog();
}

CPagewashDlg::~CPagewashDlg() {
    m_destroying = true;
    if (m_run.active()) {
        // The run still calls into this dialog (blocking hand-overs): serve them until it ends.
        while (!m_run.ended()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_run.join();
    }
}

void CPagewashDlg::createControls() {
    const DialogUnits units(font());
    setFixedSize(units.toPixels(kDialogWidthDlu, kDialogHeightDlu));

    const std::span<const ControlTemplate> layout = mainDialogTemplate();
    auto radioStyle = std::make_unique<CompactRadioStyle>();
    QWidget* previousTabStop = nullptr;
    QLabel* pendingBuddy = nullptr;
    for (const ControlTemplate& entry : layout) {
        QWidget* widget = createControl(entry, this, radioStyle.get());
        widget->setGeometry(units.toPixels(entry.x, entry.y, entry.width, entry.height));
        widget->setEnabled(entry.enabled);
        widget->setFocusPolicy(entry.tabStop                            ? Qt::StrongFocus
                               : entry.kind == ControlKind::RadioButton ? Qt::ClickFocus
                                                                        : Qt::NoFocus);
        if (entry.id != 0) widget->setObjectName(QString::number(entry.id));
        m_controls.add(entry.id, widget, entry.startsGroup);

        // A static's mnemonic moves the focus to the control that follows it.
        if (pendingBuddy != nullptr) {
            pendingBuddy->setBuddy(widget);
            pendingBuddy = nullptr;
        }
        if (entry.kind == ControlKind::Static && QByteArray(entry.text).contains('&')) {
            pendingBuddy = qobject_cast<QLabel*>(widget);
        }
        if (entry.tabStop) {
            if (previousTabStop != nullptr) setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
    }

    // Made a child only now: children go in the order they were added, so the radio buttons
    // that use the style are destroyed before it.
    radioStyle.release()->setParent(this);
    widenTextControlsIntoFreeSpace(m_controls.widgetsInOrder());

    // One exclusive button group per radio group of the dialog order.
    for (const ControlTemplate& entry : layout) {
        if (entry.kind != ControlKind::RadioButton || !entry.startsGroup) continue;
        auto* group = new QButtonGroup(this);
        for (QRadioButton* button : m_controls.radioGroup(entry.id)) group->addButton(button);
    }

    m_fileList = qobject_cast<FileDropList*>(m_controls.widget(c::kFileList));
    m_bleachButton = qobject_cast<QPushButton*>(m_controls.widget(c::kBleachButton));
    m_progressBox = qobject_cast<QLineEdit*>(m_controls.widget(c::kProgressBox));

    connect(m_fileList, &FileDropList::filesDropped, this, &CPagewashDlg::handleDroppedFiles);
    connect(m_fileList, &QAbstractItemView::doubleClicked, this, [this] { handleListDoubleClick(); });
    connect(m_bleachButton, &QPushButton::clicked, this, [this] { handleBleachClick(); });
    for (int id : kNumberBoxes) {
        auto* box = qobject_cast<QLineEdit*>(m_controls.widget(id));
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (!m_exchange.isExchanging()) handleValueBoxChange();
        });
    }
    for (int id : kSliders) {
        auto* slider = qobject_cast<QSlider*>(m_controls.widget(id));
        // Queued: the handler runs after the exchange that moved the slider has ended, so its own
        // readExchange sees every control as that exchange left it.
        connect(
            slider, &QSlider::valueChanged, this, [this, id] { handleSliderDraw(id); }, Qt::QueuedConnection);
    }
    for (int id : c::kColorModeRadios) {
        connect(qobject_cast<QRadioButton*>(m_controls.widget(id)), &QRadioButton::clicked, this,
                [this] { handleColorModeClick(); });
    }
    for (int id : c::kGrayModeRadios) {
        connect(qobject_cast<QRadioButton*>(m_controls.widget(id)), &QRadioButton::clicked, this,
                [this] { handleGrayModeClick(); });
    }
    connect(m_fileList, &FileDropList::previewRequested, this, &CPagewashDlg::openPreview);
    followSettingsInPreview();
}

void CPagewashDlg::followSettingsInPreview() {
    m_previewSettingsTimer = new QTimer(this);
    m_previewSettingsTimer->setSingleShot(true);
    m_previewSettingsTimer->setInterval(0);
    connect(m_previewSettingsTimer, &QTimer::timeout, this, &CPagewashDlg::sendSettingsToPreview);
    for (QWidget* widget : m_controls.widgetsInOrder()) {
        if (auto* slider = qobject_cast<QSlider*>(widget)) {
            connect(slider, &QSlider::valueChanged, m_previewSettingsTimer, qOverload<>(&QTimer::start));
        } else if (auto* button = qobject_cast<QRadioButton*>(widget)) {
            connect(button, &QRadioButton::toggled, m_previewSettingsTimer, qOverload<>(&QTimer::start));
        }
    }
}

void CPagewashDlg::sendSettingsToPreview() {
    if (m_previewWindow != nullptr && m_previewWindow->isVisible())
        m_previewWindow->setSettings(shownSettings());
}

CorrectionSettings CPagewashDlg::shownSettings() const {
    // A copy, read by an exchange of its own: the dialog's values change only by its own rules.
    DialogValues shown = m_values;
    DialogExchange exchange;
    exchange.read(m_controls, shown);
    return takeSettings(shown);
}

void CPagewashDlg::openPreview(int row) {
    if (row < 1 || row >= m_fileList->count()) return;
    if (m_previewWindow == nullptr) m_previewWindow = new PreviewWindow(this);
    m_previewWindow->showFile(m_fileList->item(row)->text(), shownSettings());
    m_previewWindow->show();
    m_previewWindow->raise();
    m_previewWindow->activateWindow();
}

void CPagewashDlg::initDialog() {
    writeExchange();
    setWindowIcon(m_icon);
    m_fileList->addItem(QString::fromUtf8(kHintItemText));
    auto* blurSlider = qobject_cast<QSlider*>(m_controls.widget(c::kBlurStrengthSlider));
    blurSlider->setRange(kBlurStrengthMin, kBlurStrengthMax);
    blurSlider->setPageStep(1);
    blurSlider->setTickInterval(1);
    m_fileList->setFocus();
}

bool CPagewashDlg::readExchange() {
    int failedControlId = 0;
    if (m_exchange.read(m_controls, m_values, &failedControlId)) return true;
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kDialogTitle),
                    QString::fromUtf8(kNotAnIntegerText), QMessageBox::Ok, this);
    box.exec();
    if (QWidget* failed = m_controls.widget(failedControlId)) failed->setFocus();
    return false;
}

void CPagewashDlg::writeExchange() { m_exchange.write(m_controls, m_values); }

void CPagewashDlg::appendIfPdfOrJpg(const QString& name) {
    if (isListableName(std::u16string_view(name.toStdU16String()))) m_fileList->addItem(name);
}

void CPagewashDlg::handleDroppedFiles(const QStringList& names) {
    for (const QString& name : names) appendIfPdfOrJpg(name.left(kMaxDroppedNameLength));
}

void CPagewashDlg::handleListDoubleClick() {
    const QList<QListWidgetItem*> selected = m_fileList->selectedItems();
    if (selected.isEmpty()) return;
    const int row = m_fileList->row(selected.front());
    if (row == 0) {
        const QString path = m_fileChooser(this);
        if (!path.isEmpty()) appendIfPdfOrJpg(path);
    } else if (row > 0) {
        std::unique_ptr<QListWidgetItem> removed(m_fileList->takeItem(row));
    }
}

void CPagewashDlg::handleBleachClick() {
    // A press that arrives before the run has disabled the button starts nothing.
    if (isRunning()) return;
    if (m_fileList->count() <= 1) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kEmptyListCaption),
                        QString::fromUtf8(kEmptyListText), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    readExchange();
    m_refusedFiles.clear();
    m_run.start(*m_frontEnd, listedPaths(), [this] {
        QMetaObject::invokeMethod(
            this, [this] { finishRun(); }, Qt::QueuedConnection);
    });
}

void CPagewashDlg::finishRun() {
    if (m_destroying || !m_run.active()) return;
    m_run.join();
    if (!m_run.failure().empty()) {
        // The run left early: give the controls back as its own end would have.
        unlockControls();
        setProgressText(QString());
        showErrorBox(QString::fromStdString(m_run.failure()), QString::fromUtf8(kErrorCaption));
    }
    if (!m_refusedFiles.isEmpty()) {
        const QString text = QString::fromUtf8(kRefusedFilesText) + m_refusedFiles.join(QLatin1Char('\n'));
        m_refusedFiles.clear();
        showErrorBox(text, QString::fromUtf8(kErrorCaption));
    }
    emit runFinished();
}

void CPagewashDlg::lockControls() {
    for (int id : controlsLockedByRun()) enableControl(id, false);
}

void CPagewashDlg::unlockControls() {
    for (int id : controlsUnlockedAfterRun(m_values)) enableControl(id, true);
}

void CPagewashDlg::handleValueBoxChange() {
    readExchange();
    copyBoxesToSliders(m_values);
    writeExchange();
}

void CPagewashDlg::handleSliderDraw(int sliderId) {
    readExchange();
    applySliderMove(m_values, sliderId);
    writeExchange();
}

void CPagewashDlg::handleColorModeClick() {
    readExchange();
    for (const ControlEnabling& change : colorModeEnabling(m_values.colorMode))
        enableControl(change.controlId, change.enabled);
}

void CPagewashDlg::handleGrayModeClick() {
    readExchange();
    for (const ControlEnabling& change : grayModeEnabling(m_values.grayMode))
        enableControl(change.controlId, change.enabled);
}

void CPagewashDlg::done(int result) {
    // The run uses this dialog until its end: closing waits until then (the user may try again).
    if (isRunning()) {
        QApplication::beep();
        return;
    }
    QDialog::done(result);
}

std::vector<std::string> CPagewashDlg::listedPaths() const {
    std::vector<std::string> paths;
    for (int row = 1; row < m_fileList->count(); ++row)
        paths.push_back(QFile::encodeName(m_fileList->item(row)->text()).toStdString());
    return paths;
}

void CPagewashDlg::enableControl(int controlId, bool enabled) {
    if (QWidget* widget = m_controls.widget(controlId)) widget->setEnabled(enabled);
}

void CPagewashDlg::setProgressText(const QString& text) { m_progressBox->setText(text); }

void CPagewashDlg::showErrorBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, this);
    box.exec();
}

void CPagewashDlg::addRefusedFile(const QString& path, const QString& reason) {
    m_refusedFiles.append(reason.isEmpty() ? path : reason);
}

}  // namespace pagewash
